// Redact on screenshots of real programs, made by redact_corpus.sh: for each screen NAME.png,
// NAME.secrets lists its planted secrets ("kind<TAB>text", one a line) and NAME.s<k>.png is the
// same screen with secret k hidden, so the pixels that differ are that secret's ink.
//   - recall: a secret counts only when all of its ink lies under the marks Redact places;
//   - look-alikes covered per screen: marks that touch no planted secret (the screens also show
//     pod names, integrity strings, key fingerprints, commit hashes and links, versions, dates);
//   - time per screen: Redact's (recognition, finding, placing) beside the tesseract tool's own
//     on the same picture (the floor).
// Targets: recall >= 98 %, <= 0.2 look-alikes covered per screen, <= 1.5 s per 1280x900 screen.
// Usage: vistrel_redact_corpus DIR [-v]
#include "engines/OCRService.h"
#include "engines/Redaction.h"
#include "engines/SecretFinder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QRegion>

#include <algorithm>
#include <cstdio>

using namespace vistrel;

namespace {

// The pixels where two pictures of one screen differ.
QRegion differences(const QImage &a, const QImage &b)
{
    QRegion out;
    if (a.size() != b.size())
        return out;
    const QImage x = a.convertToFormat(QImage::Format_RGB32),
                 y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        int start = -1;
        for (int col = 0; col <= x.width(); ++col) {
            const bool differs =
                col < x.width() && std::abs(qRed(p[col]) - qRed(q[col])) +
                                           std::abs(qGreen(p[col]) - qGreen(q[col])) +
                                           std::abs(qBlue(p[col]) - qBlue(q[col])) >
                                       48;
            if (differs && start < 0)
                start = col;
            if (!differs && start >= 0) {
                out += QRect(start, row, col - start, 1);
                start = -1;
            }
        }
    }
    return out;
}

// The load average of the last minute, beside each screen's time.
double load()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : 0.0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VISTREL_RECOGNIZER"))
        qputenv("VISTREL_RECOGNIZER", VISTREL_BENCH_RECOGNIZER);
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [-v]\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const bool verbose = argc > 2 && QByteArray(argv[2]) == "-v";
    // -v NAME...: only those screens.
    QStringList only;
    for (int i = 3; i < argc; ++i)
        only << QString::fromLocal8Bit(argv[i]);
    // REDACT_FLOOR=0 leaves the tesseract tool out (quicker runs while the finder changes).
    const bool floor = qEnvironmentVariable("REDACT_FLOOR") != "0";
    OCRService ocr;
    const SecretFinder finder;
    (void)ocr.readWordsNow(QImage(64, 64, QImage::Format_RGB32)); // the engine started

    int screens = 0, planted = 0, covered = 0, lookalikes = 0;
    double redactMs = 0, redactMax = 0, floorMs = 0, findMax = 0;
    QMap<QString, std::pair<int, int>> byKind; // covered, planted
    QMap<QString, std::pair<int, int>> bySource;
    const QStringList names = dir.entryList({"*.png"}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (name.contains(".s"))
            continue;
        const QString base = name.chopped(4);
        if (!only.isEmpty() && !only.contains(base))
            continue;
        QFile list(dir.filePath(base + ".secrets"));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        const QImage screen(dir.filePath(name));
        QList<std::pair<QString, QString>> secrets;
        for (const QByteArray &line : list.readAll().split('\n'))
            if (line.contains('\t'))
                secrets.append({QString::fromUtf8(line.left(line.indexOf('\t'))),
                                QString::fromUtf8(line.mid(line.indexOf('\t') + 1))});

        QElapsedTimer t;
        t.start();
        const auto words = ocr.readWordsNow(screen);
        if (!words) {
            std::printf("%s: recognition failed\n", qPrintable(base));
            return 1;
        }
        const double readMs = double(t.nsecsElapsed()) / 1e6;
        const auto placed = Redaction::place(finder.find(*words, screen), screen,
                                             QRectF(0, 0, screen.width(), screen.height()));
        const double ms = double(t.nsecsElapsed()) / 1e6;
        findMax = std::max(findMax, ms - readMs);
        redactMs += ms;
        redactMax = std::max(redactMax, ms);
        QList<QRect> marks;
        for (const PlacedFinding &f : placed)
            for (const QRectF &r : f.cover)
                marks.append(r.toAlignedRect());
        QRegion marked;
        for (const QRect &m : marks)
            marked += m;

        if (floor) {
            t.restart();
            QProcess tesseract;
            tesseract.start("tesseract", {dir.filePath(name), "stdout"});
            tesseract.waitForFinished(60000);
            floorMs += double(t.nsecsElapsed()) / 1e6;
        }

        QRegion inked;
        int screenCovered = 0;
        for (int k = 0; k < secrets.size(); ++k) {
            const QImage hidden(dir.filePath(QString("%1.s%2.png").arg(base).arg(k)));
            const QRegion ink = differences(screen, hidden);
            inked += ink;
            const bool whole = !ink.isEmpty() && ink.subtracted(marked).isEmpty();
            ++planted, ++byKind[secrets[k].first].second,
                ++bySource[base.section('-', 0, 0)].second;
            if (whole) {
                ++covered, ++screenCovered, ++byKind[secrets[k].first].first,
                    ++bySource[base.section('-', 0, 0)].first;
            } else if (verbose) {
                auto area = [](const QRegion &r) {
                    long long n = 0;
                    for (const QRect &x : r)
                        n += (long long)x.width() * x.height();
                    return n;
                };
                std::printf("  missed in %s: [%s] %s (%lld of %lld ink pixels bare%s)\n",
                            qPrintable(base), qPrintable(secrets[k].first),
                            qPrintable(secrets[k].second), area(ink.subtracted(marked)), area(ink),
                            ink.isEmpty() ? ", not on screen" : "");
                const QRect where = ink.boundingRect(),
                            bare = ink.subtracted(marked).boundingRect();
                std::printf("    ink %d,%d %dx%d, bare %d,%d %dx%d\n", where.x(), where.y(),
                            where.width(), where.height(), bare.x(), bare.y(), bare.width(),
                            bare.height());
                // What recognition read there, and the marks.
                for (const LayoutLine &line : *words)
                    if (line.box.intersects(where.adjusted(-4, -4, 4, 4))) {
                        QString read;
                        for (const LayoutWord &w : line.words)
                            read += QString(" [%1 @%2,%3 %4x%5]")
                                        .arg(w.text)
                                        .arg(w.box.x())
                                        .arg(w.box.y())
                                        .arg(w.box.width())
                                        .arg(w.box.height());
                        std::printf("    read:%s\n", qPrintable(read));
                    }
                for (const QRect &m : marks)
                    if (m.intersects(where.adjusted(-4, -4, 4, 4)))
                        std::printf("    mark %d,%d %dx%d\n", m.x(), m.y(), m.width(), m.height());
            }
        }
        int strays = 0;
        for (const PlacedFinding &f : placed) {
            bool touches = false;
            for (const QRectF &r : f.cover)
                touches = touches || inked.intersects(r.toAlignedRect());
            if (!touches) {
                ++strays;
                if (verbose)
                    std::printf("  look-alike covered in %s: [%s] %s\n", qPrintable(base),
                                qPrintable(SecretFinder::settingsName(f.kind)), qPrintable(f.text));
            }
        }
        lookalikes += strays;
        ++screens;
        std::printf("%-34s %dx%d  %d of %d covered  %d look-alikes  Redact %5.0f ms "
                    "(reading %5.0f ms)  load %.1f\n",
                    qPrintable(base), screen.width(), screen.height(), screenCovered,
                    int(secrets.size()), strays, ms, readMs, load());
        std::fflush(stdout);
    }
    if (screens == 0) {
        std::printf("no screens in %s\n", argv[1]);
        return 1;
    }
    std::printf("corpus: %d screens, %d planted secrets\n", screens, planted);
    std::printf("recall: %.1f %% (%d of %d fully covered)  target >= 98 %%\n",
                100.0 * covered / std::max(1, planted), covered, planted);
    for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
        std::printf("  %-10s %d / %d\n", qPrintable(it.key()), it->first, it->second);
    for (auto it = bySource.cbegin(); it != bySource.cend(); ++it)
        std::printf("  %-10s %d / %d\n", qPrintable(it.key()), it->first, it->second);
    std::printf("look-alikes covered: %.2f per screen (%d)  target <= 0.2\n",
                double(lookalikes) / screens, lookalikes);
    std::printf("time per screen: Redact %.0f ms on average, %.0f ms at most (target <= 1500 ms), "
                "of which finding and placing %.0f ms at most; the tesseract tool alone %.0f ms "
                "on average (floor)\n",
                redactMs / screens, redactMax, findMax, floor ? floorMs / screens : 0.0);
    return 0;
}
