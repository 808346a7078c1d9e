#include "services/OCRService.h"

#include "services/TesseractEngine.h"

#include <QFutureWatcher>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

QRectF normalised(const QRect &box, double scale, const QSize &original)
{
    const double w = original.width(), h = original.height();
    const QRectF r(box.x() / scale, box.y() / scale, (box.width()) / scale, (box.height()) / scale);
    return QRectF(r.x() / w, 1.0 - (r.y() + r.height()) / h, r.width() / w, r.height() / h);
}

bool before(const TextObservation &a, const TextObservation &b)
{
    const double ay = a.boundingBox.center().y(), by = b.boundingBox.center().y();
    if (std::abs(ay - by) > 0.02)
        return ay > by;
    return a.boundingBox.center().x() < b.boundingBox.center().x();
}

// Whole recognitions wait for their bands, which run on the global pool. Were they on that
// pool too, two at once on a two-core machine would hold every thread while waiting for
// bands that can never start, and the GUI's own threaded painting would hang behind them.
QThreadPool &recognitionPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return p;
    }();
    return *pool;
}

// Runs `work` on the recognition pool and hands its result to `done` on the context's thread,
// once.
template <class T>
void runAndDeliver(QObject *context, std::function<T()> work, std::function<void(T)> done)
{
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, watcher, [watcher, done] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(&recognitionPool(), std::move(work)));
}

// Big pictures are worked on in bands, one per core, each by its own engine; the lines come
// back in picture coordinates, band after band.
using BandWork = std::function<Result<QList<EngineLine>>(const QImage &)>;
QList<Result<QList<EngineLine>>> inBands(const QImage &grey, const BandWork &work)
{
    const int workers = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    QList<QRect> parts{grey.rect()};
    if (workers > 1 && grey.width() * qint64(grey.height()) > 1'500'000)
        parts = OCRService::bands(grey, workers);
    return QtConcurrent::blockingMapped(
        parts, std::function<Result<QList<EngineLine>>(const QRect &)>([&](const QRect &band) {
            auto lines = work(grey.copy(band));
            if (lines)
                for (EngineLine &l : lines.value())
                    l.box.translate(band.topLeft());
            return lines;
        }));
}

} // namespace

void OCRService::finishRecognitions()
{
    recognitionPool().clear();
    recognitionPool().waitForDone();
}

QString OCRService::languageSpec(const QStringList &languages)
{
    return languages.isEmpty() ? QStringLiteral("eng") : languages.join('+');
}

QList<TextObservation> OCRService::sorted(QList<TextObservation> list)
{
    // Insertion sort: stable, and safe with an ordering that is not transitive across lines.
    for (qsizetype i = 1; i < list.size(); ++i) {
        TextObservation item = list[i];
        qsizetype j = i;
        while (j > 0 && before(item, list[j - 1])) {
            list[j] = list[j - 1];
            --j;
        }
        list[j] = item;
    }
    return list;
}

QString OCRService::joined(const QList<TextObservation> &observations)
{
    QStringList lines;
    for (const TextObservation &o : observations)
        if (o.topCandidate)
            lines << *o.topCandidate;
    return lines.join('\n');
}

QList<QRect> OCRService::bands(const QImage &grey, int count)
{
    const int h = grey.height(), w = grey.width();
    QList<QRect> out;
    if (count <= 1 || h < 2 * count) {
        out << grey.rect();
        return out;
    }
    // A row with no contrast along it has no text in it.
    std::vector<char> blank(size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        const uchar *line = grey.constScanLine(y);
        const auto [lo, hi] = std::minmax_element(line, line + w);
        blank[size_t(y)] = (*hi - *lo) < 48;
    }
    int start = 0;
    for (int k = 1; k < count; ++k) {
        const int target = h * k / count;
        int cut = -1;
        for (int d = 0; d < h / count / 2 && cut < 0; ++d) {
            if (target + d < h && blank[size_t(target + d)])
                cut = target + d;
            else if (target - d > start && blank[size_t(target - d)])
                cut = target - d;
        }
        if (cut <= start)
            continue; // text all the way: this band stays whole
        out << QRect(0, start, w, cut - start);
        start = cut;
    }
    out << QRect(0, start, w, h - start);
    return out;
}

Result<QList<TextObservation>> OCRService::observe(const QImage &image, const QStringList &languages)
{
    if (image.isNull())
        return QList<TextObservation>{};
    const PreparedImage prepared = TesseractEngine::prepare(image, TesseractEngine::readingBudget);
    const QString spec = languageSpec(languages);

    const auto results = inBands(prepared.grey, [&spec](const QImage &band) {
        return TesseractEngine::recognize(band, spec);
    });
    QList<TextObservation> observations;
    for (const auto &r : results) {
        if (!r)
            return r.error();
        for (const EngineLine &line : *r)
            observations.append({normalised(line.box, prepared.scale, image.size()), line.text});
    }
    return observations;
}

Result<QString> OCRService::recognizeTextNow(const QImage &image, const QStringList &languages)
{
    auto observations = observe(image, languages);
    if (!observations)
        return observations.error();
    return joined(sorted(*observations));
}

void OCRService::recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                               Done done)
{
    runAndDeliver<Result<QString>>(
        context, [image, languages] { return recognizeTextNow(image, languages); }, std::move(done));
}

QList<QRectF> TextBoxDetector::detectNow(const QImage &image)
{
    QList<QRectF> out;
    if (image.isNull())
        return out;
    try {
        const PreparedImage prepared = TesseractEngine::prepare(image, TesseractEngine::layoutBudget);
        const auto parts = inBands(prepared.grey, [](const QImage &band) {
            return Result<QList<EngineLine>>(TesseractEngine::layout(band));
        });
        for (const auto &lines : parts)
            for (const EngineLine &line : *lines)
                out.append(normalised(line.box, prepared.scale, image.size()));
    } catch (...) {
        out.clear(); // the engine failed: no boxes, never an error
    }
    return out;
}

void TextBoxDetector::detect(const QImage &image, QObject *context,
                             std::function<void(QList<QRectF>)> done)
{
    runAndDeliver<QList<QRectF>>(context, [image] { return detectNow(image); }, std::move(done));
}

} // namespace vistrel
