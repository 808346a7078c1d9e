#include "engines/SmartNaming.h"
#include "engines/NameSanitizer.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

#include <signal.h>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace vistrel;

namespace {

const QString textPromptHead = QStringLiteral(
    "Reply with ONLY a 2-5 word lowercase kebab-case slug \u2014 no date, no quotes, no file "
    "extension, max 40 chars \u2014 that names this screenshot so it's easy to find later. Base "
    "it on what it is about (examples: payment-proof-acme, whatsapp-chat-john, "
    "react-type-error, flight-booking-confirmation). Screenshot text:\n");

// A fake `claude` in a private home (and a private temporary directory, and a PATH of one
// private folder) that records what it was given and answers with a script body the test
// chooses.
class Naming : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_tmp.isValid());
        m_saved = {qgetenv("HOME"), qgetenv("TMPDIR"), qgetenv("ANTHROPIC_API_KEY"),
                   qgetenv("PATH")};
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("TMPDIR", m_tmp.path().toUtf8());
        qputenv("PATH", m_home.filePath(QStringLiteral("bin")).toUtf8());
        qputenv("VISTREL_SMART_NAMES", "1");
        m_image = QImage(40, 30, QImage::Format_RGB32);
        m_image.fill(Qt::darkCyan);
    }
    void TearDown() override
    {
        auto restore = [](const char *name, const QByteArray &value) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        restore("HOME", m_saved[0]);
        restore("TMPDIR", m_saved[1]);
        restore("ANTHROPIC_API_KEY", m_saved[2]);
        restore("PATH", m_saved[3]);
        qputenv("VISTREL_SMART_NAMES", "0");
    }

    QString record(const QString &name) const { return m_home.filePath(name); }

    // The tool writes its arguments (NUL-separated), environment and, for the image prompt,
    // the picture file's mode and a copy of it; then runs `answer`. It goes into `folder` of
    // the home.
    void installTool(const QString &answer, const QString &folder = QStringLiteral(".local/bin"))
    {
        QDir(m_home.path()).mkpath(folder);
        const QString script =
            QStringLiteral("#!/bin/sh\n"
                           "PATH=/usr/bin:/bin\n"
                           "printf '%s\\0' \"$@\" > '%1/args'\n"
                           "env > '%1/env'\n"
                           "echo $$ > '%1/pid'\n"
                           "if [ \"$2\" = --allowed-tools ]; then\n"
                           "  p=\"${4#View the image at }\"; p=\"${p%% and reply*}\"\n"
                           "  echo \"$p\" > '%1/image-path'; stat -c %a \"$p\" > '%1/image-mode'\n"
                           "  cp \"$p\" '%1/image.png'\n"
                           "fi\n")
                .arg(m_home.path()) +
            answer + QLatin1Char('\n');
        QFile file(m_home.filePath(folder + QStringLiteral("/claude")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QStringList arguments() const
    {
        QFile file(record(QStringLiteral("args")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList list = QString::fromUtf8(file.readAll()).split(QChar(0));
        list.removeLast(); // after the final NUL
        return list;
    }

    QByteArray readRecord(const QString &name) const
    {
        QFile file(record(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    }

    QStringList leftoverPictures() const
    {
        return QDir(m_tmp.path()).entryList({QStringLiteral("vl-name-*")}, QDir::Files);
    }

    QTemporaryDir m_home;
    QTemporaryDir m_tmp;
    QList<QByteArray> m_saved;
    QImage m_image;
    SmartNaming m_naming;
};

} // namespace

TEST_F(Naming, LongTextAsksWithTheTextPromptWithoutTheApiKey)
{
    installTool(QStringLiteral("printf 'Sure!\\nPayment Proof ACME\\n'"));
    qputenv("ANTHROPIC_API_KEY", "sk-secret");
    qputenv("VISTREL_NAMING_TEST_MARK", "kept");
    const QString text = QStringLiteral("Hello world!") + QString(2000, QLatin1Char('x'));

    EXPECT_EQ(
        m_naming.suggest(QStringLiteral("  \n") + text + QStringLiteral("\n "), m_image).result(),
        QStringLiteral("payment-proof-acme"));
    qunsetenv("VISTREL_NAMING_TEST_MARK");
    EXPECT_EQ(arguments(), QStringList({QStringLiteral("-p"), textPromptHead + text.left(1400)}));
    const QByteArray environment = readRecord(QStringLiteral("env"));
    EXPECT_FALSE(environment.contains("ANTHROPIC_API_KEY"));
    EXPECT_TRUE(environment.contains("VISTREL_NAMING_TEST_MARK=kept"));
    EXPECT_TRUE(leftoverPictures().isEmpty());

    EXPECT_TRUE(QRegularExpression(QStringLiteral("^payment-proof-acme \\d{4}-\\d\\d-\\d\\d$"))
                    .match(SmartNaming::filename(QStringLiteral("payment-proof-acme")))
                    .hasMatch());
}

TEST_F(Naming, ShortTextShowsTheToolAPrivatePictureThatIsRemovedAfterwards)
{
    installTool(QStringLiteral("echo 'Beach Selfie'"));
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral(" Hello world \n"), m_image),
              QStringLiteral("beach-selfie"));
    const QStringList args = arguments();
    ASSERT_EQ(args.size(), 4);
    EXPECT_EQ(args.mid(0, 3), QStringList({QStringLiteral("-p"), QStringLiteral("--allowed-tools"),
                                           QStringLiteral("Read")}));
    const QString path = QString::fromUtf8(readRecord(QStringLiteral("image-path")));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("/vl-name-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                   "[0-9A-F]{12}\\.png$"))
                    .match(path)
                    .hasMatch())
        << path.toStdString();
    EXPECT_TRUE(path.startsWith(m_tmp.path()));
    EXPECT_EQ(args[3],
              QStringLiteral("View the image at ") + path +
                  QStringLiteral(" and reply with ONLY a 2-5 word lowercase kebab-case slug (no "
                                 "date, no quotes, no extension) describing it for filename "
                                 "search (examples: beach-selfie, sales-dashboard-chart, "
                                 "handwritten-note)."));
    EXPECT_EQ(readRecord(QStringLiteral("image-mode")), "600");
    EXPECT_EQ(QImage(record(QStringLiteral("image.png"))).convertToFormat(QImage::Format_RGB32),
              m_image);
    EXPECT_TRUE(leftoverPictures().isEmpty());

    // Twelve characters are enough for the text prompt.
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("Hello world!"), m_image),
              QStringLiteral("beach-selfie"));
    EXPECT_EQ(arguments().size(), 2);
}

TEST_F(Naming, OnlyAToolThatSucceedsNamesAndNothingItStartedOutlivesIt)
{
    // It ignores the polite request, so it has to be killed: a killed tool has no answer.
    installTool(QStringLiteral("trap '' TERM\necho 'Handwritten Note'\nexec sleep 600"));
    SmartNaming::Limits limits;
    limits.timeoutMs = 400;
    limits.killGraceMs = 200;
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("tiny"), m_image, limits), std::nullopt);
    const pid_t pid = readRecord(QStringLiteral("pid")).toInt();
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid, 0), 0); // gone, not lingering
    EXPECT_TRUE(leftoverPictures().isEmpty());

    // An answer without end is not read without end.
    installTool(QStringLiteral("exec yes long-answer"));
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("Some recognised text"), m_image, limits),
              std::nullopt);

    // An error message on a failing exit is not a name.
    installTool(QStringLiteral("echo 'Rate Limit Exceeded'\nexit 1"));
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("Some recognised text"), m_image), std::nullopt);

    // A background child of a tool that answered is ended with it.
    installTool(
        QStringLiteral("sleep 600 &\necho $! > '%1/child'\necho 'Sales Chart'").arg(m_home.path()));
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("Some recognised text"), m_image),
              QStringLiteral("sales-chart"));
    const pid_t child = readRecord(QStringLiteral("child")).toInt();
    ASSERT_GT(child, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(child, 0) != 0; }, 2000));
}

TEST_F(Naming, QuittingEndsTheToolAndLeavesNoPictureBehind)
{
    installTool(QStringLiteral("exec sleep 600"));
    auto future = m_naming.suggest(QStringLiteral("tiny"), m_image);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !readRecord(QStringLiteral("pid")).isEmpty(); }, 5000));
    EXPECT_EQ(leftoverPictures().size(), 1);
    QElapsedTimer clock;
    clock.start();
    m_naming.stopAll();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(future.isFinished());
    EXPECT_TRUE(leftoverPictures().isEmpty());

    // A naming object that goes ends its tools the same way.
    QFile::remove(record(QStringLiteral("pid")));
    clock.restart();
    {
        SmartNaming going;
        future = going.suggest(QStringLiteral("tiny"), m_image);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !readRecord(QStringLiteral("pid")).isEmpty(); }, 5000));
    }
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(future.isFinished());
    EXPECT_TRUE(leftoverPictures().isEmpty());

    // What a killed run left: removed at the next start once it is old, a fresh one is kept.
    auto plant = [&](const QString &name, qint64 ageMs) {
        QFile file(m_tmp.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("png");
        file.flush(); // written before the time is set, which needs the file open
        file.setFileTime(QDateTime::currentDateTime().addMSecs(-ageMs),
                         QFileDevice::FileModificationTime);
    };
    plant(QStringLiteral("vl-name-OLD.png"), 120000);
    plant(QStringLiteral("vl-name-NEW.png"), 0);
    plant(QStringLiteral("other.png"), 120000);
    SmartNaming::removeLeftovers(60000);
    EXPECT_EQ(leftoverPictures(), QStringList{QStringLiteral("vl-name-NEW.png")});
    EXPECT_TRUE(QFileInfo::exists(m_tmp.filePath(QStringLiteral("other.png"))));
}

TEST_F(Naming, TheToolIsLookedForOnThePathThenInTheHomesLocalBin)
{
    if (!QStandardPaths::findExecutable(QStringLiteral("claude"),
                                        {QStringLiteral("/usr/local/bin")})
             .isEmpty())
        GTEST_SKIP() << "a claude tool is installed system-wide on this machine";
    EXPECT_EQ(SmartNaming::claudeExecutable(), std::nullopt);
    installTool(QStringLiteral("echo 'Local Bin'"));
    EXPECT_EQ(SmartNaming::claudeExecutable(),
              m_home.filePath(QStringLiteral(".local/bin/claude")));
    // A file of that name that cannot be run is passed over.
    QDir(m_home.path()).mkpath(QStringLiteral("bin"));
    QFile plain(m_home.filePath(QStringLiteral("bin/claude")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(SmartNaming::claudeExecutable(),
              m_home.filePath(QStringLiteral(".local/bin/claude")));
    installTool(QStringLiteral("echo 'On The Path'"), QStringLiteral("bin"));
    EXPECT_EQ(SmartNaming::claudeExecutable(), m_home.filePath(QStringLiteral("bin/claude")));
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("Some recognised text"), m_image),
              QStringLiteral("on-the-path"));
}

TEST_F(Naming, NothingIsAskedWhenThereIsNoToolOrNamingIsOff)
{
    if (!QStandardPaths::findExecutable(QStringLiteral("claude"),
                                        {QStringLiteral("/usr/local/bin")})
             .isEmpty())
        GTEST_SKIP() << "a claude tool is installed system-wide on this machine";
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("tiny"), m_image), std::nullopt);
    EXPECT_TRUE(leftoverPictures().isEmpty());

    installTool(QStringLiteral("echo 'Beach Selfie'"));
    qputenv("VISTREL_SMART_NAMES", "0");
    EXPECT_EQ(m_naming.suggestNow(QStringLiteral("tiny"), m_image), std::nullopt);
    EXPECT_FALSE(QFile::exists(record(QStringLiteral("args"))));
}

TEST(NameSanitizer, KeepsTheLastLineAsALowerCaseSlug)
{
    const struct
    {
        std::optional<QString> output;
        std::optional<QString> slug;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {QStringLiteral(""), std::nullopt},
        {QStringLiteral("Sure!\nPayment Proof ACME\n"), QStringLiteral("payment-proof-acme")},
        {QStringLiteral("  Caf\u00e9 Menu \u2014 Lunch  "), QStringLiteral("caf-menu-lunch")},
        {QStringLiteral("Credit balance is too low"), std::nullopt},
        {QStringLiteral("react-type-ERROR"), std::nullopt},
        {QStringLiteral("ab"), std::nullopt},
        {QStringLiteral("--a--b--"), QStringLiteral("a-b")},
        {QStringLiteral("\"quoted-name.png\""), QStringLiteral("quoted-name-png")},
        // Every kind of line break separates lines; blank lines and tabs do not count.
        {QStringLiteral("first\r\nsecond\u2028third\u0085fourth\u2029 \t \n\v\f"),
         QStringLiteral("fourth")},
        {QStringLiteral("one\rtwo-words"), QStringLiteral("two-words")},
        // Without any line that has text, the whole output is used.
        {QStringLiteral(" \t \n \t"), std::nullopt},
        // Cut at 48 characters, in the middle of a word or right after a hyphen.
        {QString(60, QLatin1Char('a')), QString(48, QLatin1Char('a'))},
        {QString(47, QLatin1Char('b')) + QStringLiteral(" cdef"),
         QString(47, QLatin1Char('b')) + QStringLiteral("-")},
        // Path separators and dots never survive into a file name.
        {QStringLiteral("../../etc/passwd"), QStringLiteral("etc-passwd")},
        {QStringLiteral("naïve \U0001F600 emoji 2026"), QStringLiteral("na-ve-emoji-2026")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sanitizeName(c.output), c.slug) << (c.output ? c.output->toStdString() : "none");
}
