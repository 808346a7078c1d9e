// The German catalogue against the sources: every text the sources mark for translation has a
// finished German translation, and no text reaches a visible widget, toast or alert unmarked.
// Failures name the text (and for the scan, file:line); `ninja vistrel_lupdate` adds new texts
// to translations/vistrel_de.ts for translating.

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

const QString sourceRoot = QStringLiteral(VISTREL_SOURCE_DIR);

// The shipped program's sources, as cmake/VistrelTranslations.cmake takes them: without the
// test-only fake desktop and the recognizer helper, which only writes to stderr.
QStringList translatedSources()
{
    QStringList files;
    QDirIterator it(sourceRoot + QStringLiteral("/src"),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!file.contains(
                QRegularExpression(QStringLiteral("/(FakeDesktop|RecognizerMain)\\.[^/]*$"))))
            files.append(file);
    }
    files.sort();
    return files;
}

QString lineList(const QStringList &lines)
{
    return QStringLiteral("\n  ") + lines.join(QStringLiteral("\n  "));
}

TEST(Translations, EveryMarkedTextHasAFinishedGermanTranslation)
{
    // lupdate merges the sources' texts into a copy of the catalogue: texts it lacks come out
    // unfinished, texts the sources no longer have come out vanished.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString merged = dir.filePath(QStringLiteral("vistrel_de.ts"));
    ASSERT_TRUE(QFile::copy(sourceRoot + QStringLiteral("/translations/vistrel_de.ts"), merged));
    QFile::setPermissions(merged, QFile::ReadOwner | QFile::WriteOwner);
    QProcess lupdate;
    lupdate.start(QStringLiteral(VISTREL_LUPDATE),
                  QStringList{QStringLiteral("-I"), sourceRoot + QStringLiteral("/src"),
                              QStringLiteral("-locations"), QStringLiteral("none")} +
                      translatedSources() + QStringList{QStringLiteral("-ts"), merged});
    ASSERT_TRUE(lupdate.waitForFinished(120000)) << qPrintable(lupdate.errorString());
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();
    // "file:line: …": a tr() lupdate cannot place (a class without Q_OBJECT, a text it
    // cannot read), which would not be translated at run time either.
    QStringList warnings;
    for (const QByteArray &line : lupdate.readAllStandardError().split('\n'))
        if (QString::fromLocal8Bit(line).contains(
                QRegularExpression(QStringLiteral("^\\S+:\\d+: "))))
            warnings.append(QString::fromLocal8Bit(line));
    EXPECT_TRUE(warnings.isEmpty()) << "lupdate warns:" << qPrintable(lineList(warnings));

    QFile file(merged);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList untranslated, stale;
    QString context, source, type, translation;
    bool inTranslation = false, emptyForm = false;
    int messages = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
            ++messages;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("translation")) {
            type = xml.attributes().value(QLatin1String("type")).toString();
            translation.clear();
            inTranslation = true;
            emptyForm = false;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("numerusform")) {
            // A text with a count: every form is needed.
            const QString form = xml.readElementText();
            emptyForm = emptyForm || form.isEmpty();
            translation += form;
        } else if (xml.isCharacters() && inTranslation) {
            translation += xml.text();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("translation")) {
            inTranslation = false;
            const QString what = context + QStringLiteral(": \"") + source + QLatin1Char('"');
            if (type == QLatin1String("vanished") || type == QLatin1String("obsolete"))
                stale.append(what);
            else if (type == QLatin1String("unfinished") || translation.trimmed().isEmpty() ||
                     emptyForm)
                untranslated.append(what);
        }
    }
    ASSERT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_GT(messages, 100); // the sources were read
    EXPECT_TRUE(untranslated.isEmpty())
        << "no finished German translation for:" << qPrintable(lineList(untranslated));
    EXPECT_TRUE(stale.isEmpty()) << "in translations/vistrel_de.ts but no longer in the sources:"
                                 << qPrintable(lineList(stale));
}

TEST(Translations, EveryTextWithACountHasItsEnglishSingular)
{
    // The English catalogue holds the texts with a count: merged with the sources, none is
    // missing or unfinished, and "%n frames" says "1 frame".
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString merged = dir.filePath(QStringLiteral("vistrel_en.ts"));
    ASSERT_TRUE(QFile::copy(sourceRoot + QStringLiteral("/translations/vistrel_en.ts"), merged));
    QFile::setPermissions(merged, QFile::ReadOwner | QFile::WriteOwner);
    QProcess tool;
    tool.start(QStringLiteral(VISTREL_LUPDATE),
               QStringList{QStringLiteral("-pluralonly"), QStringLiteral("-locations"),
                           QStringLiteral("none"), QStringLiteral("-I"),
                           sourceRoot + QStringLiteral("/src")} +
                   translatedSources() + QStringList{QStringLiteral("-ts"), merged});
    ASSERT_TRUE(tool.waitForFinished(120000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    QFile file(merged);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString ts = QString::fromUtf8(file.readAll());
    EXPECT_GE(ts.count(QStringLiteral("numerus=\"yes\"")), 5);
    EXPECT_FALSE(ts.contains(QStringLiteral("type=\"unfinished\"")) ||
                 ts.contains(QStringLiteral("<numerusform></numerusform>")))
        << "a text with a count lacks its English forms:\n"
        << ts.toStdString();

    const QString qm = dir.filePath(QStringLiteral("vistrel_en.qm"));
    tool.start(QStringLiteral(VISTREL_LRELEASE),
               {QStringLiteral("-silent"), merged, QStringLiteral("-qm"), qm});
    ASSERT_TRUE(tool.waitForFinished(60000));
    QTranslator english;
    ASSERT_TRUE(english.load(qm));
    const char *context = "vistrel::ScrollCaptureController",
               *text = "Captured %1 px \u00b7 %n frames";
    EXPECT_EQ(english.translate(context, text, nullptr, 1),
              QStringLiteral("Captured %1 px \u00b7 %n frame"));
    EXPECT_EQ(english.translate(context, text, nullptr, 2),
              QStringLiteral("Captured %1 px \u00b7 %n frames"));
}

TEST(Translations, NoVisibleTextBypassesTranslation)
{
    // A string literal as the text of a call that puts it on screen: a widget's text, title,
    // tooltip or placeholder, a menu entry, a button, a toast, an alert, an error a window
    // shows. An icon may come first (addAction, QPushButton), a message box's icon or a
    // dialog's parent too.
    static const QRegularExpression visible(QStringLiteral(
        R"re(\b(set(?:Text|ToolTip|WindowTitle|PlaceholderText|StatusTip|WhatsThis|AccessibleName|)re"
        R"re(AccessibleDescription|InformativeText|DetailedText|Title|LabelText)|)re"
        R"re(add(?:Action|Button|Row|Tab|Menu|RightButton)|smallLabel|say|describe|warn|)re"
        R"re((?:ToastHost::|toasts(?:->|\.))show(?:UntilReplaced)?|pasteRefused|Notifier::error|CaptureError::failed|)re"
        R"re(new\s+Q(?:Label|PushButton|ToolButton|CheckBox|RadioButton|GroupBox|Action|Menu)|)re"
        R"re(QMessageBox(?:::\w+)?|QFileDialog::get\w+)\s*\(\s*)re"
        // what may come before the text: an icon, a message box's icon, a dialog's parent
        R"re((?:(?:symbolIcon|QIcon)\s*\((?:[^()]|\([^()]*\))*\)\s*,\s*|QMessageBox::\w+\s*,\s*|)re"
        R"re((?:this|nullptr|m_window|window|[\w.>-]*alerts)\s*,\s*)?)re"
        R"re((?:(?:QStringLiteral|QLatin1String|QLatin1StringView|QString::fromLatin1|QString::fromUtf8|QString)\s*\(\s*)?)re"
        R"re("((?:[^"\\]|\\.)*)")re"));
    static const QRegularExpression letter(QStringLiteral("[A-Za-z]"));
    QStringList bypassing;
    for (const QString &path : translatedSources()) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
        const QString text = QString::fromUtf8(file.readAll());
        for (auto it = visible.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString literal = m.captured(2);
            // The product's name, and texts without words (separators, numbers), stay.
            if (literal == QLatin1String("Vistrel") || !literal.contains(letter))
                continue;
            const int line = int(text.left(m.capturedStart()).count(QLatin1Char('\n'))) + 1;
            bypassing.append(QStringLiteral("%1:%2: %3(\"%4\")")
                                 .arg(path.mid(sourceRoot.size() + 1))
                                 .arg(line)
                                 .arg(m.captured(1), literal));
        }
    }
    EXPECT_TRUE(bypassing.isEmpty()) << "shown without tr() or QCoreApplication::translate():"
                                     << qPrintable(lineList(bypassing));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
