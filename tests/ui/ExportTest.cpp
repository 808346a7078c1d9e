#include "FakeDesktop.h"
#include "TestSupport.h"
#include "engines/ImageFiles.h"
#include "engines/QuickSave.h"
#include "platform/QtDesktop.h"
#include "ui/ImageExport.h"
#include "ui/PinWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QMap>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

QImage pattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 13) % 256, (y * 7) % 256, ((x ^ y) * 3) % 256));
    return img;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(ImageExport, TimestampAndDefaultNames)
{
    const QDateTime when(QDate(2026, 3, 14), QTime(9, 5, 7));
    EXPECT_EQ(ImageFiles::timestamp(when), "2026-03-14 at 09.05.07");
    EXPECT_EQ(ImageFiles::defaultBaseName(when), "Vistrel 2026-03-14 at 09.05.07");

    FakeDesktop desktop;
    ImageExport::savePanel(desktop.platform(), pattern(4, 4), true,
                           QStringLiteral("report 2026-03-14"));
    ImageExport::savePanel(desktop.platform(), pattern(4, 4), true, std::nullopt);
    ImageExport::savePanel(desktop.platform(), pattern(4, 4));
    ASSERT_EQ(desktop.saveRequests.size(), 3);
    EXPECT_EQ(desktop.saveRequests[0].suggestedName, "report 2026-03-14.pdf");
    EXPECT_TRUE(desktop.saveRequests[1].suggestedName.startsWith("Vistrel 20"));
    EXPECT_TRUE(desktop.saveRequests[1].suggestedName.endsWith(".pdf"));
    EXPECT_TRUE(desktop.saveRequests[2].suggestedName.endsWith(".png"));
    EXPECT_EQ(desktop.saveRequests[2].nameFilters.size(), 3); // PNG, JPEG, then PDF
    EXPECT_TRUE(desktop.saveRequests[2].nameFilters[0].contains("png"));
}

TEST(ImageExport, ContentFollowsTheFinalExtension)
{
    QTemporaryDir dir;
    const QImage img = pattern(64, 48);
    ASSERT_TRUE(ImageFiles::saveImage(img, dir.filePath("doc.PDF")));
    EXPECT_TRUE(readAll(dir.filePath("doc.PDF")).startsWith("%PDF"));
    const QStringList jpeg = {"shot.JPG", "shot.jpeg", "a.png.jpg"};
    const QStringList png = {"shot.png", "shot.jpg.txt", "shot"};
    for (const QString &name : jpeg) {
        ASSERT_TRUE(ImageFiles::saveImage(img, dir.filePath(name)));
        EXPECT_TRUE(readAll(dir.filePath(name)).startsWith("\xFF\xD8\xFF")) << name.toStdString();
    }
    for (const QString &name : png) {
        ASSERT_TRUE(ImageFiles::saveImage(img, dir.filePath(name)));
        EXPECT_TRUE(readAll(dir.filePath(name)).startsWith("\x89PNG")) << name.toStdString();
        EXPECT_EQ(QImage(dir.filePath(name), "PNG").convertToFormat(QImage::Format_RGB32), img);
    }
}

// One table names the types: each one's filter offers exactly its extensions, its encoder
// writes what its MIME type says, and a path with any of its extensions is written that way.
TEST(ImageExport, EveryExportTypeIsWrittenAsItsTableEntrySays)
{
    const QImage img = pattern(16, 12);
    const QMap<QString, QByteArray> signature{
        {"image/png", "\x89PNG"}, {"image/jpeg", "\xFF\xD8\xFF"}, {"application/pdf", "%PDF"}};
    ASSERT_EQ(ImageFiles::exportFormats().size(), signature.size());
    EXPECT_EQ(ImageFiles::exportFormats().first().type, ExportFormat::Type::Png); // the default
    for (const ExportFormat &format : ImageFiles::exportFormats()) {
        SCOPED_TRACE(format.mimeType.toStdString());
        ASSERT_TRUE(signature.contains(format.mimeType));
        EXPECT_TRUE(format.encode(img).startsWith(signature.value(format.mimeType)));
        QStringList patterns;
        for (const QString &extension : format.extensions) {
            patterns.append("*." + extension);
            EXPECT_EQ(ImageFiles::exportFormatFor("a." + extension.toUpper()), &format);
            EXPECT_TRUE(ImageFiles::encodeForPath(img, "a." + extension)
                            .startsWith(signature.value(format.mimeType)));
            EXPECT_EQ(ImageFiles::completedPath("a." + extension, "png"), "a." + extension);
        }
        EXPECT_TRUE(QString(format.filter).endsWith("(" + patterns.join(' ') + ")"));
    }
    EXPECT_EQ(ImageFiles::exportFormatFor("a.gif"), nullptr);
    EXPECT_EQ(ImageFiles::completedPath("a.gif", "pdf"), "a.gif.pdf");
}

TEST(ImageExport, FailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.png");
    ASSERT_TRUE(ImageFiles::saveImage(pattern(10, 10), path));
    const QByteArray before = readAll(path);

    // The encoder dies half way through.
    const bool ok = ImageFiles::writeAtomically(path, [](QIODevice &out) {
        out.write("\x89PNG half a file");
        return false;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.png"}); // no leftovers

    // Nothing to encode: the old file stays too.
    EXPECT_FALSE(ImageFiles::saveImage(QImage(), path));
    EXPECT_EQ(readAll(path), before);
    // A place that cannot be written.
    EXPECT_FALSE(ImageFiles::saveImage(pattern(4, 4), dir.filePath("missing/dir/x.png")));
}

// A picture saved without the dialog is as readable by others as one saved through it: what the
// user's umask allows, not the private mode of the temporary file it is written through.
TEST(ImageExport, QuickSaveGivesTheModeOfADialogSave)
{
    QTemporaryDir dir;
    auto modeOf = [](const QString &path) {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    struct KeepUmask
    {
        mode_t saved = ::umask(022);
        ~KeepUmask() { ::umask(saved); }
    } keep;
    for (const mode_t mask : {mode_t(022), mode_t(002), mode_t(077)}) {
        ::umask(mask);
        const QString viaDialog =
            dir.filePath(QStringLiteral("dialog-%1.png").arg(mask, 3, 8, QLatin1Char('0')));
        ASSERT_TRUE(ImageFiles::saveImage(pattern(8, 8), viaDialog));
        const auto quick =
            QuickSave::saveInFolder(pattern(8, 8), dir.path(), QDateTime::currentDateTime(),
                                    QStringLiteral("quick-%1").arg(mask, 3, 8, QLatin1Char('0')));
        ASSERT_TRUE(quick) << quick.error().errorDescription().toStdString();
        EXPECT_EQ(modeOf(*quick), modeOf(viaDialog)) << "umask " << std::oct << mask;
        EXPECT_EQ(modeOf(*quick), int(0666 & ~mask)) << "umask " << std::oct << mask;
    }
}

TEST(ImageExport, SavePanelWritesWhatTheNameSaysAndNeverFailsSilently)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    int completions = 0;
    auto saveAs = [&](const QString &name) {
        desktop.saveAnswer = name.isEmpty() ? QString() : dir.filePath(name);
        ImageExport::savePanel(desktop.platform(), pattern(30, 20), [&] { ++completions; });
        desktop.saveAnswer.clear(); // a panel that comes back is cancelled
    };
    auto savedAnnounced = [&] {
        return QTest::qWaitFor([&] { return desktop.toastTexts.contains("Saved"); }, 3000);
    };
    saveAs("panel.jpg");
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(savedAnnounced());
    EXPECT_TRUE(readAll(dir.filePath("panel.jpg")).startsWith("\xFF\xD8\xFF"));
    desktop.toastTexts.clear();
    saveAs("x.pdf");
    ASSERT_TRUE(savedAnnounced());
    EXPECT_TRUE(readAll(dir.filePath("x.pdf")).startsWith("%PDF"));
    desktop.toastTexts.clear();
    saveAs("noext");
    ASSERT_TRUE(savedAnnounced());
    EXPECT_FALSE(QFile::exists(dir.filePath("noext")));
    EXPECT_TRUE(readAll(dir.filePath("noext.png")).startsWith("\x89PNG"));

    // A place that cannot be written: the error says what and where, and the panel comes back.
    desktop.toastTexts.clear();
    const int asked = int(desktop.saveRequests.size());
    saveAs("missing/dir/lost.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.warnings.isEmpty(); }, 3000));
    EXPECT_TRUE(desktop.warnings[0].second.startsWith("Could not save “lost.png” in "));
    EXPECT_TRUE(desktop.warnings[0].second.contains("missing/dir"));
    EXPECT_EQ(desktop.saveRequests.size(), asked + 2);
    EXPECT_FALSE(desktop.toastTexts.contains("Saved"));
    // It comes back where the user was, nearest to the missing folder, with the name typed.
    EXPECT_EQ(desktop.saveRequests.last().folder, QDir(dir.path()).absolutePath());
    EXPECT_EQ(desktop.saveRequests.last().suggestedName, QStringLiteral("lost.png"));

    saveAs(QString()); // cancel
    EXPECT_EQ(completions, 5);
}

namespace {

// Records how many dialogs had been asked for when each alert came up.
struct AlertOrder : Alerts
{
    explicit AlertOrder(FakeDesktop &d) : desktop(d) {}
    void warn(const QString &, const QString &message) override
    {
        seen.append({message, int(desktop.saveRequests.size())});
    }
    void ask(const Question &q, std::function<void(int)> done) override { done(q.cancelChoice); }
    FakeDesktop &desktop;
    QList<std::pair<QString, int>> seen;
};

bool waitForFile(const QString &path)
{
    return QTest::qWaitFor([&] { return QFileInfo(path).size() > 0; }, 5000);
}

} // namespace

TEST(ImageExport, SaveOffersEveryTypeFromTheFolderAndTheTypedExtensionDecides)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    QList<bool> answers;
    auto record = [&](bool writing) { answers.append(writing); };
    SaveSettings settings;
    settings.folder = dir.path();

    desktop.saveAnswer = dir.filePath("mark1.jpg");
    ImageExport::save(desktop.platform(), pattern(40, 30), settings, record);
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    const SaveRequest asked = desktop.saveRequests[0];
    EXPECT_EQ(asked.folder, dir.path());
    EXPECT_TRUE(asked.suggestedName.startsWith("Vistrel 20") &&
                asked.suggestedName.endsWith(".png"));
    ASSERT_EQ(asked.nameFilters.size(), 3);
    EXPECT_TRUE(asked.nameFilters[0].contains("*.png"));
    EXPECT_TRUE(asked.nameFilters[1].contains("*.jpg"));
    EXPECT_TRUE(asked.nameFilters[2].contains("*.pdf"));
    ASSERT_TRUE(waitForFile(dir.filePath("mark1.jpg")));
    EXPECT_TRUE(readAll(dir.filePath("mark1.jpg")).startsWith("\xFF\xD8\xFF"));
    EXPECT_FALSE(QFile::exists(dir.filePath("mark1.jpg.png")));

    // A PDF export with a smart name: PDF first, and a bare name becomes a PDF.
    settings.preferPdf = true;
    settings.suggestedBase = QStringLiteral("report 2026-03-14");
    desktop.saveAnswer = dir.filePath("bare");
    ImageExport::save(desktop.platform(), pattern(40, 30), settings, record);
    EXPECT_EQ(desktop.saveRequests[1].suggestedName, "report 2026-03-14.pdf");
    EXPECT_TRUE(desktop.saveRequests[1].nameFilters[0].contains("*.pdf"));
    EXPECT_EQ(desktop.saveRequests[1].nameFilters.size(), 3);
    ASSERT_TRUE(waitForFile(dir.filePath("bare.pdf")));
    EXPECT_TRUE(readAll(dir.filePath("bare.pdf")).startsWith("%PDF"));
    // ... but a typed .png is a PNG.
    desktop.saveAnswer = dir.filePath("typed.PNG");
    ImageExport::save(desktop.platform(), pattern(40, 30), settings, record);
    ASSERT_TRUE(waitForFile(dir.filePath("typed.PNG")));
    EXPECT_TRUE(readAll(dir.filePath("typed.PNG")).startsWith("\x89PNG"));

    // Cancel writes nothing and says so; a folder not there yet opens its nearest parent.
    desktop.saveAnswer.clear();
    settings.folder = dir.filePath("not/yet");
    ImageExport::save(desktop.platform(), pattern(40, 30), settings, record);
    EXPECT_EQ(desktop.saveRequests.last().folder, dir.path());
    EXPECT_EQ(answers, (QList<bool>{true, true, true, false}));
    drain();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(ImageExport, SaveWithoutAskingWritesNewFilesAndAFailureAsksAboveTheError)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    AlertOrder alerts(desktop);
    Platform platform = desktop.platform();
    platform.alerts = &alerts;
    SaveSettings settings;
    settings.folder = dir.filePath("shots");
    settings.withoutAsking = true;
    int writing = 0;
    ImageExport::save(platform, pattern(40, 30), settings, [&](bool w) { writing += w; });
    EXPECT_EQ(writing, 1);
    EXPECT_TRUE(desktop.saveRequests.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QDir(settings.folder).entryList(QDir::Files).size() == 1; }, 5000));
    EXPECT_TRUE(QDir(settings.folder).entryList(QDir::Files).first().startsWith("Vistrel "));

    // A smart-named PDF, twice: the second never replaces the first.
    settings.preferPdf = true;
    settings.suggestedBase = QStringLiteral("report 2026-03-14");
    ImageExport::save(platform, pattern(40, 30), settings);
    ASSERT_TRUE(waitForFile(QDir(settings.folder).filePath("report 2026-03-14.pdf")));
    ImageExport::save(platform, pattern(40, 30), settings);
    ASSERT_TRUE(waitForFile(QDir(settings.folder).filePath("report 2026-03-14 (2).pdf")));
    EXPECT_TRUE(
        readAll(QDir(settings.folder).filePath("report 2026-03-14 (2).pdf")).startsWith("%PDF"));
    EXPECT_TRUE(desktop.saveRequests.isEmpty());

    // A folder that cannot be made: the dialog opens where the last save went, then the error
    // comes up above it; what is chosen there is written.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings.folder = dir.filePath("blocker/shots");
    desktop.saveAnswer = dir.filePath("rescued");
    ImageExport::save(platform, pattern(40, 30), settings);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.seen.isEmpty(); }, 5000));
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_EQ(desktop.saveRequests[0].folder, dir.filePath("shots"));
    EXPECT_EQ(desktop.saveRequests[0].suggestedName, "report 2026-03-14.pdf");
    EXPECT_EQ(alerts.seen[0].second, 1) << "the error came up before the dialog";
    EXPECT_TRUE(alerts.seen[0].first.contains("blocker/shots"));
    ASSERT_TRUE(waitForFile(dir.filePath("rescued.pdf")));

    // A write that fails after the dialog: the dialog again, at the same place, then the error.
    alerts.seen.clear();
    settings.withoutAsking = false;
    desktop.saveAnswer = dir.filePath("blocker/lost.png");
    ImageExport::save(platform, pattern(40, 30), settings);
    desktop.saveAnswer.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.seen.isEmpty(); }, 5000));
    ASSERT_EQ(desktop.saveRequests.size(), 3);
    EXPECT_EQ(desktop.saveRequests[2].suggestedName, "lost.png");
    EXPECT_EQ(alerts.seen[0].second, 3);
    EXPECT_EQ(desktop.saveRequests[2].folder, dir.path()) << "where rescued.pdf went";

    // A save into /proc never brings the dialog back there, where listing the folder can
    // block (/proc/kmsg): it comes back where the last save went, or in the home folder.
    QDir(dir.path()).removeRecursively();
    for (const char *place : {"/proc/shot.png", "/sys/kernel/shot.png"}) {
        alerts.seen.clear();
        desktop.saveAnswer = QString::fromLatin1(place);
        ImageExport::save(platform, pattern(40, 30), settings);
        desktop.saveAnswer.clear();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.seen.isEmpty(); }, 5000)) << place;
        EXPECT_EQ(desktop.saveRequests.last().folder, QDir::homePath()) << place;
    }
}

TEST(ImageExport, AnErrorStandsAboveTheOpenSaveDialog)
{
    QtSaveChooser chooser;
    QtAlerts alerts(&chooser);
    QTemporaryDir dir;
    SaveRequest request;
    request.folder = dir.path();
    request.suggestedName = QStringLiteral("x.png");
    request.nameFilters = {QStringLiteral("PNG image (*.png)")};
    QString answer = QStringLiteral("none yet");
    chooser.choose(request, [&](const QString &path) { answer = path; });
    QPointer<QFileDialog> dialog;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
            dialog = d;
    ASSERT_TRUE(dialog);
    // Its file types come from names, never from contents: a special file (/proc/kmsg) may
    // never answer a read. A PNG without its extension is just a file here.
    const QString disguised = dir.filePath("kmsg");
    ASSERT_TRUE(pattern(8, 8).save(disguised, "PNG"));
    ASSERT_TRUE(dialog->iconProvider());
    EXPECT_FALSE(dialog->iconProvider()->type(QFileInfo(disguised)).contains("PNG"));
    EXPECT_TRUE(dialog->iconProvider()->type(QFileInfo(dir.filePath("x.png"))).contains("PNG"));
    alerts.warn(QStringLiteral("Vistrel"), QStringLiteral("Could not save x.png"));
    QPointer<QMessageBox> box;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible())
            box = b;
    ASSERT_TRUE(box);
    ASSERT_TRUE(box->windowHandle() && dialog->windowHandle());
    EXPECT_EQ(box->windowHandle()->transientParent(), dialog->windowHandle());
    // The message is not the dialog's: it stays when the dialog goes first.
    dialog->reject();
    drain();
    EXPECT_TRUE(answer.isEmpty());
    EXPECT_FALSE(dialog);
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    box->close();
    drain();

    // With no dialog open an alert stands on its own.
    alerts.warn(QStringLiteral("Vistrel"), QStringLiteral("Something else"));
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible())
            box = b;
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowHandle() ? box->windowHandle()->transientParent() : nullptr, nullptr);
    box->close();
    drain();
}

TEST(ImageExport, PdfIsOnePagePixelSizedAndLossless)
{
    const QImage img = pattern(1200, 800);
    const QByteArray pdf = ImageFiles::pdfData(img);
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    const QString text = QString::fromLatin1(pdf);
    EXPECT_EQ(text.count(QRegularExpression("/Type\\s*/Page\\b")), 1);
    EXPECT_TRUE(text.contains(
        QRegularExpression("/MediaBox\\s*\\[\\s*0\\s+0\\s+1200(\\.0+)?\\s+800(\\.0+)?\\s*\\]")));
    EXPECT_FALSE(text.contains("/DCTDecode"));

    // Decode it back with poppler's image extractor when it is there.
    const QString pdfimages = QStandardPaths::findExecutable("pdfimages");
    if (pdfimages.isEmpty())
        GTEST_SKIP() << "pdfimages not installed";
    QTemporaryDir dir;
    QFile out(dir.filePath("x.pdf"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(pdf);
    out.close();
    QProcess::execute(pdfimages, {"-png", dir.filePath("x.pdf"), dir.filePath("img")});
    const QImage back(dir.filePath("img-000.png"));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), img);

    EXPECT_TRUE(ImageFiles::pdfData(QImage()).isEmpty());
}

TEST(ImageExport, CopyPdfPutsPdfBeforePng)
{
    FakeDesktop desktop;
    ASSERT_TRUE(ImageFiles::copyPDF(desktop, pattern(40, 30)));
    ASSERT_EQ(desktop.clipboardFormats.size(), 2);
    EXPECT_EQ(desktop.clipboardFormats[0].first, "application/pdf");
    EXPECT_EQ(desktop.clipboardFormats[1].first, "image/png");
    EXPECT_FALSE(ImageFiles::copyPDF(desktop, QImage()));
    EXPECT_EQ(desktop.clipboardWrites, 1);
}

TEST(PinWindow, RealSizeTopRightAndZoomLimits)
{
    // The offscreen screen has one pixel per point: a pin shows every pixel once.
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    const QRect visible = screen->availableGeometry();
    const QImage small = pattern(visible.width() / 2, visible.height() / 2);
    PinBoard board;
    board.pin(small, nullptr);
    ASSERT_EQ(board.pins().size(), 1);
    PinWindow *pin = board.pins().first();
    EXPECT_EQ(pin->baseSize(), QSizeF(small.size()));
    EXPECT_DOUBLE_EQ(pin->scale(), 1.0);
    EXPECT_EQ(pin->geometry(), QRect(PinWindow::placement(small.size(), visible), small.size()));
    EXPECT_EQ(PinWindow::placement(QSize(1440, 900), QRect(0, 25, 3000, 2000)), QPoint(1520, 65));
    const int bottom = pin->geometry().bottom(), left = pin->geometry().left();
    pin->zoomBy(1500);
    EXPECT_DOUBLE_EQ(pin->scale(), 4.0);
    pin->zoomBy(-500);
    EXPECT_DOUBLE_EQ(pin->scale(), 3.0);
    pin->zoomBy(-5000);
    EXPECT_DOUBLE_EQ(pin->scale(), 0.2);
    EXPECT_EQ(pin->size(), (QSizeF(small.size()) * 0.2).toSize());
    EXPECT_EQ(pin->geometry().bottom(), bottom); // the bottom-left corner stays
    EXPECT_EQ(pin->geometry().left(), left);
    pin->close();
    EXPECT_TRUE(board.pins().isEmpty());
    drain();
}

TEST(PinWindow, OpensWithinEightyPercentOfItsScreenAndOnIt)
{
    // Fits: real size, top-right corner 40 in.
    auto o = PinWindow::initialFrame(QSizeF(1440, 900), QRect(0, 25, 3000, 2000));
    EXPECT_DOUBLE_EQ(o.scale, 1.0);
    EXPECT_EQ(o.frame, QRect(1520, 65, 1440, 900));

    // A full-screen capture of a screen right of the main one opens on that screen, height-bound.
    const QRect right(1920, 0, 1920, 1050);
    o = PinWindow::initialFrame(QSizeF(1920, 1080), right);
    EXPECT_NEAR(o.scale, 840.0 / 1080.0, 1e-12);
    EXPECT_EQ(o.frame.size(), QSize(1493, 840));
    EXPECT_EQ(o.frame.topLeft(), QPoint(1920 + 1920 - 1493 - 40, 40));

    struct Case
    {
        QSizeF base;
        QRect visible;
    };
    const QList<Case> cases = {
        {{1280, 12000}, {0, 0, 1280, 800}},       // a tall scrolling capture
        {{12000, 300}, {-1280, 200, 1280, 1024}}, // a wide one, on a screen left of the main one
        {{3000, 2000}, {0, 0, 1280, 800}},
        {{10, 10}, {100, 100, 60, 40}}, // no room for the margin
        {{1, 1}, {0, 0, 800, 600}},
    };
    for (const Case &c : cases) {
        const auto open = PinWindow::initialFrame(c.base, c.visible);
        SCOPED_TRACE(testing::Message() << c.base.width() << "x" << c.base.height());
        EXPECT_LE(open.scale, 1.0);
        EXPECT_TRUE(c.visible.contains(open.frame)) << open.frame.x() << "," << open.frame.y();
        if (open.scale < 1.0) {
            EXPECT_LE(open.frame.width(), c.visible.width() * 0.8 + 0.5);
            EXPECT_LE(open.frame.height(), c.visible.height() * 0.8 + 0.5);
            // Bound by one side exactly, and the proportions kept.
            EXPECT_TRUE(std::abs(open.frame.width() - c.visible.width() * 0.8) <= 1 ||
                        std::abs(open.frame.height() - c.visible.height() * 0.8) <= 1);
            EXPECT_NEAR(open.frame.width() / double(open.frame.height()),
                        c.base.width() / c.base.height(),
                        0.02 * c.base.width() / c.base.height() + 0.1);
        }
    }

    // A real pin of a picture twice the screen's size, and zooming out from there.
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    const QRect visible = screen->availableGeometry();
    const QImage big = pattern(visible.width() * 2, visible.height() * 3);
    PinBoard board;
    board.pin(big, screen);
    ASSERT_EQ(board.pins().size(), 1);
    QPointer<PinWindow> pin = board.pins().last();
    EXPECT_EQ(pin->baseSize(), QSizeF(big.size()));
    EXPECT_NEAR(pin->scale(), 0.8 / 3, 1e-9);
    EXPECT_TRUE(visible.contains(pin->geometry()));
    EXPECT_EQ(pin->geometry(), PinWindow::initialFrame(pin->baseSize(), visible).frame);
    pin->zoomBy(-5000);
    EXPECT_DOUBLE_EQ(pin->scale(), 0.2); // the usual floor when the pin opened above it
    delete pin;

    // Opened below the floor: zooming out does not make it jump bigger.
    const QImage tall = pattern(visible.width() / 2, visible.height() * 5);
    board.pin(tall, screen);
    ASSERT_EQ(board.pins().size(), 1);
    pin = board.pins().last();
    const double opened = pin->scale();
    EXPECT_NEAR(opened, 0.16, 1e-9);
    const QSize openedSize = pin->size();
    pin->zoomBy(-100);
    EXPECT_DOUBLE_EQ(pin->scale(), opened);
    EXPECT_EQ(pin->size(), openedSize);
    pin->zoomBy(100);
    EXPECT_NEAR(pin->scale(), opened + 0.2, 1e-9);
    delete pin;
    EXPECT_TRUE(board.pins().isEmpty());
}

TEST(PinWindow, DoubleClickOrEscapeClosesOnlyThatPin)
{
    PinBoard board;
    board.pin(pattern(200, 100), nullptr);
    board.pin(pattern(200, 100), nullptr);
    ASSERT_EQ(board.pins().size(), 2);
    QPointer<PinWindow> a = board.pins()[0];
    QPointer<PinWindow> b = board.pins()[1];
    EXPECT_TRUE(a->testAttribute(Qt::WA_ShowWithoutActivating));
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(10, 10));
    drain();
    EXPECT_TRUE(a && a->isVisible()); // a single click does not close
    QTest::mouseDClick(a, Qt::LeftButton, {}, QPoint(10, 10));
    drain();
    EXPECT_FALSE(a);
    EXPECT_EQ(board.pins(), QList<PinWindow *>{b.data()});
    QTest::keyClick(b, Qt::Key_A); // swallowed
    EXPECT_TRUE(b);
    QTest::keyClick(b, Qt::Key_Escape);
    drain();
    EXPECT_FALSE(b);
    EXPECT_TRUE(board.pins().isEmpty());

    // Pins still open when their board goes go with it.
    QPointer<PinWindow> left;
    {
        PinBoard gone;
        gone.pin(pattern(20, 10), nullptr);
        left = gone.pins().first();
    }
    EXPECT_FALSE(left);
}
