#include "output/Hud.h"
#include "output/ImageExport.h"
#include "output/Notifier.h"
#include "output/PinWindow.h"
#include "platform/FakeDesktop.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    EXPECT_EQ(ImageExport::timestamp(when), "2026-03-14 at 09.05.07");
    EXPECT_EQ(ImageExport::defaultBaseName(when), "Vistrel 2026-03-14 at 09.05.07");

    FakeDesktop desktop;
    ImageExport::savePanel(desktop, pattern(4, 4), true, QStringLiteral("report 2026-03-14"));
    ImageExport::savePanel(desktop, pattern(4, 4), true, std::nullopt);
    ImageExport::savePanel(desktop, pattern(4, 4));
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
    ASSERT_TRUE(ImageExport::saveImage(img, dir.filePath("doc.PDF")));
    EXPECT_TRUE(readAll(dir.filePath("doc.PDF")).startsWith("%PDF"));
    const QStringList jpeg = {"shot.JPG", "shot.jpeg", "a.png.jpg"};
    const QStringList png = {"shot.png", "shot.jpg.txt", "shot"};
    for (const QString &name : jpeg) {
        ASSERT_TRUE(ImageExport::saveImage(img, dir.filePath(name)));
        EXPECT_TRUE(readAll(dir.filePath(name)).startsWith("\xFF\xD8\xFF")) << name.toStdString();
    }
    for (const QString &name : png) {
        ASSERT_TRUE(ImageExport::saveImage(img, dir.filePath(name)));
        EXPECT_TRUE(readAll(dir.filePath(name)).startsWith("\x89PNG")) << name.toStdString();
        EXPECT_EQ(QImage(dir.filePath(name), "PNG").convertToFormat(QImage::Format_RGB32), img);
    }
}

TEST(ImageExport, FailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.png");
    ASSERT_TRUE(ImageExport::saveImage(pattern(10, 10), path));
    const QByteArray before = readAll(path);

    // The encoder dies half way through.
    const bool ok = ImageExport::writeAtomically(path, [](QIODevice &out) {
        out.write("\x89PNG half a file");
        return false;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.png"}); // no leftovers

    // Nothing to encode: the old file stays too.
    EXPECT_FALSE(ImageExport::saveImage(QImage(), path));
    EXPECT_EQ(readAll(path), before);
    // A place that cannot be written.
    EXPECT_FALSE(ImageExport::saveImage(pattern(4, 4), dir.filePath("missing/dir/x.png")));
}

TEST(ImageExport, SavePanelWritesWhatTheNameSaysAndNeverFailsSilently)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    Notifier::install(&desktop);
    int completions = 0;
    auto saveAs = [&](const QString &name) {
        desktop.saveAnswer = name.isEmpty() ? QString() : dir.filePath(name);
        ImageExport::savePanel(desktop, pattern(30, 20), [&] { ++completions; });
        desktop.saveAnswer.clear(); // a panel that comes back is cancelled
    };
    auto savedAnnounced = [] {
        return QTest::qWaitFor([] { return Hud::current() && Hud::current()->text() == "Saved"; }, 3000);
    };
    saveAs("panel.jpg");
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(savedAnnounced());
    EXPECT_TRUE(readAll(dir.filePath("panel.jpg")).startsWith("\xFF\xD8\xFF"));
    Hud::show("-");
    saveAs("x.pdf");
    ASSERT_TRUE(savedAnnounced());
    EXPECT_TRUE(readAll(dir.filePath("x.pdf")).startsWith("%PDF"));
    Hud::show("-");
    saveAs("noext");
    ASSERT_TRUE(savedAnnounced());
    EXPECT_FALSE(QFile::exists(dir.filePath("noext")));
    EXPECT_TRUE(readAll(dir.filePath("noext.png")).startsWith("\x89PNG"));

    // A place that cannot be written: the error says what and where, and the panel comes back.
    Hud::show("-");
    const int asked = int(desktop.saveRequests.size());
    saveAs("missing/dir/lost.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.warnings.isEmpty(); }, 3000));
    EXPECT_TRUE(desktop.warnings[0].second.startsWith("Could not save “lost.png” in "));
    EXPECT_TRUE(desktop.warnings[0].second.contains("missing/dir"));
    EXPECT_EQ(desktop.saveRequests.size(), asked + 2);
    EXPECT_FALSE(Hud::current() && Hud::current()->text() == "Saved");
    // It comes back where the user was, nearest to the missing folder, with the name typed.
    EXPECT_EQ(desktop.saveRequests.last().folder, QDir(dir.path()).absolutePath());
    EXPECT_EQ(desktop.saveRequests.last().suggestedName, QStringLiteral("lost.png"));

    saveAs(QString()); // cancel
    EXPECT_EQ(completions, 5);
    Notifier::install(nullptr);
}

TEST(ImageExport, PdfIsOnePagePixelSizedAndLossless)
{
    const QImage img = pattern(1200, 800);
    const QByteArray pdf = ImageExport::pdfData(img);
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    const QString text = QString::fromLatin1(pdf);
    EXPECT_EQ(text.count(QRegularExpression("/Type\\s*/Page\\b")), 1);
    EXPECT_TRUE(text.contains(QRegularExpression("/MediaBox\\s*\\[\\s*0\\s+0\\s+1200(\\.0+)?\\s+800(\\.0+)?\\s*\\]")));
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

    EXPECT_TRUE(ImageExport::pdfData(QImage()).isEmpty());
}

TEST(ImageExport, CopyPdfPutsPdfBeforePng)
{
    FakeDesktop desktop;
    ASSERT_TRUE(ImageExport::copyPDF(desktop, pattern(40, 30)));
    ASSERT_EQ(desktop.clipboardFormats.size(), 2);
    EXPECT_EQ(desktop.clipboardFormats[0].first, "application/pdf");
    EXPECT_EQ(desktop.clipboardFormats[1].first, "image/png");
    EXPECT_FALSE(ImageExport::copyPDF(desktop, QImage()));
    EXPECT_EQ(desktop.clipboardWrites, 1);
}

TEST(PinWindow, RealSizeTopRightAndZoomLimits)
{
    // The offscreen screen has one pixel per point: a pin shows every pixel once.
    auto *pin = PinWindow::pin(pattern(1440, 900));
    EXPECT_TRUE(PinWindow::pins().contains(pin));
    EXPECT_EQ(pin->baseSize(), QSizeF(1440, 900));
    EXPECT_EQ(PinWindow::placement(QSize(1440, 900), QRect(0, 25, 3000, 2000)), QPoint(1520, 65));
    const int bottom = pin->geometry().bottom(), left = pin->geometry().left();
    pin->zoomBy(1500);
    EXPECT_DOUBLE_EQ(pin->scale(), 4.0);
    pin->zoomBy(-500);
    EXPECT_DOUBLE_EQ(pin->scale(), 3.0);
    pin->zoomBy(-5000);
    EXPECT_DOUBLE_EQ(pin->scale(), 0.2);
    EXPECT_EQ(pin->size(), QSize(288, 180));
    EXPECT_EQ(pin->geometry().bottom(), bottom); // the bottom-left corner stays
    EXPECT_EQ(pin->geometry().left(), left);
    pin->close();
    drain();
}

TEST(PinWindow, DoubleClickOrEscapeClosesOnlyThatPin)
{
    QPointer<PinWindow> a = PinWindow::pin(pattern(200, 100));
    QPointer<PinWindow> b = PinWindow::pin(pattern(200, 100));
    EXPECT_TRUE(a->testAttribute(Qt::WA_ShowWithoutActivating));
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(10, 10));
    drain();
    EXPECT_TRUE(a && a->isVisible()); // a single click does not close
    QTest::mouseDClick(a, Qt::LeftButton, {}, QPoint(10, 10));
    drain();
    EXPECT_FALSE(a);
    EXPECT_EQ(PinWindow::pins(), QList<PinWindow *>{b.data()});
    QTest::keyClick(b, Qt::Key_A); // swallowed
    EXPECT_TRUE(b);
    QTest::keyClick(b, Qt::Key_Escape);
    drain();
    EXPECT_FALSE(b);
    EXPECT_TRUE(PinWindow::pins().isEmpty());
}
