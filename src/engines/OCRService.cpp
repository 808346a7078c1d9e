#include "engines/OCRService.h"

#include "platform/Desktop.h"

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
    return QRectF(r.x() / w, r.y() / h, r.width() / w, r.height() / h);
}

// One line when their middles are closer than half the smaller height: a fixed share of the
// picture would merge neighbouring lines of any picture taller than some fifty lines.
bool before(const TextObservation &a, const TextObservation &b)
{
    const double ay = a.boundingBox.center().y(), by = b.boundingBox.center().y();
    const double tolerance = 0.5 * std::min(a.boundingBox.height(), b.boundingBox.height());
    if (std::abs(ay - by) > tolerance)
        return ay > by;
    return a.boundingBox.center().x() < b.boundingBox.center().x();
}

// Runs `work` on the recognition pool and hands its result to `done` on the context's thread,
// once.
template <class T>
void runAndDeliver(QThreadPool &pool, QObject *context, std::function<T()> work,
                   std::function<void(T)> done)
{
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, watcher, [watcher, done] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(&pool, std::move(work)));
}

// Big pictures are read in tiles cut through blank rows and columns, two engines at a time
// (one per core); the lines come back in picture coordinates. Small tiles also spare the
// engine its cost per word, which grows with the number of words on its page.
// Wider than the gaps between the words of a line, even two-space gaps of a listing.
int columnGap(const PreparedImage &prepared)
{
    return int(std::lround(24 * prepared.scale));
}

using TileWork = std::function<Result<QList<EngineLine>>(const QImage &)>;
QList<Result<QList<EngineLine>>> inTiles(const QImage &grey, qint64 tilePixels, int minColumnGap,
                                         const TileWork &work, bool columnsFirst = false)
{
    const QList<QRect> parts = OCRService::tiles(grey, tilePixels, minColumnGap, columnsFirst);
    return QtConcurrent::blockingMapped(
        parts, std::function<Result<QList<EngineLine>>(const QRect &)>([&](const QRect &tile) {
            auto lines = work(grey.copy(tile));
            if (lines)
                for (EngineLine &l : lines.value()) {
                    l.box.translate(tile.topLeft());
                    for (LayoutWord &w : l.words)
                        w.box.translate(tile.topLeft());
                }
            return lines;
        }));
}

} // namespace

OCRService::OCRService()
{
    m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
}

OCRService::~OCRService()
{
    finishRecognitions();
}

void OCRService::prepareForRecognition(const QStringList &languages)
{
    m_engine.warmUp(languageSpec(languages));
}

void OCRService::finishRecognitions()
{
    m_pool.clear();
    m_pool.waitForDone();
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

QList<QRect> OCRService::tiles(const QImage &grey, qint64 maxPixels, int minColumnGap,
                               bool columnsFirst)
{
    QList<QRect> out;
    // A line of the rectangle with no contrast along it has no text on it.
    auto blank = [&grey](const QRect &r, bool row, int at) {
        int lo = 255, hi = 0;
        if (row) {
            const uchar *line = grey.constScanLine(at);
            const auto [mn, mx] = std::minmax_element(line + r.left(), line + r.right() + 1);
            lo = *mn, hi = *mx;
        } else {
            for (int y = r.top(); y <= r.bottom(); ++y) {
                const uchar v = grey.constScanLine(y)[at];
                lo = std::min<int>(lo, v), hi = std::max<int>(hi, v);
            }
        }
        return hi - lo < 48;
    };
    // The middle of the blank run nearest the middle of the rectangle along one axis; -1 when
    // there is none inside it.
    auto cutAlong = [&](const QRect &r, bool rows) {
        const int first = rows ? r.top() : r.left(), last = rows ? r.bottom() : r.right();
        const int minRun = rows ? 1 : minColumnGap;
        const int middle = (first + last) / 2;
        int best = -1;
        for (int at = first + 1; at < last;) {
            if (!blank(r, rows, at)) {
                ++at;
                continue;
            }
            int end = at;
            while (end < last && blank(r, rows, end))
                ++end;
            const int cut = (at + end) / 2;
            if (end - at < minRun) {
                at = end + 1;
                continue;
            }
            if (best < 0 || std::abs(cut - middle) < std::abs(best - middle))
                best = cut;
            at = end + 1;
        }
        return best;
    };
    QList<QRect> todo{grey.rect()};
    while (!todo.isEmpty()) {
        const QRect r = todo.takeLast();
        if (qint64(r.width()) * r.height() <= maxPixels || r.width() < 2 || r.height() < 2) {
            out << r;
            continue;
        }
        // Between lines first (or across first, when asked); across a line only through a gap
        // far wider than a word's, between windows or columns.
        bool rows = !columnsFirst;
        int cut = cutAlong(r, rows);
        if (cut < 0) {
            rows = !rows;
            cut = cutAlong(r, rows);
        }
        if (cut < 0) {
            out << r; // text from edge to edge: read whole
            continue;
        }
        const QRect a = rows ? QRect(r.left(), r.top(), r.width(), cut - r.top())
                             : QRect(r.left(), r.top(), cut - r.left(), r.height());
        const QRect b = rows ? QRect(r.left(), cut, r.width(), r.bottom() - cut + 1)
                             : QRect(cut, r.top(), r.right() - cut + 1, r.height());
        todo << b << a;
    }
    return out;
}

namespace {

// The picture's lines as the engine read them, in its own pixels (top-down), with the
// prepared picture they came from.
Result<QList<LayoutLine>> readLines(TesseractEngine &engine, const PreparedImage &prepared,
                                    const QString &spec, qint64 tilePixels)
{
    const auto results =
        inTiles(prepared.grey, tilePixels, columnGap(prepared),
                [&engine, &spec](const QImage &band) { return engine.recognize(band, spec); });
    auto back = [&](const QRect &r) {
        const double k = prepared.scale;
        return QRect(QPoint(int(std::floor(r.left() / k)), int(std::floor(r.top() / k))),
                     QPoint(int(std::ceil((r.right() + 1) / k)) - 1,
                            int(std::ceil((r.bottom() + 1) / k)) - 1));
    };
    QList<LayoutLine> lines;
    for (const auto &r : results) {
        if (!r)
            return r.error();
        for (const EngineLine &engineLine : *r) {
            LayoutLine line;
            line.box = back(engineLine.box);
            line.block = engineLine.block;
            for (const LayoutWord &w : engineLine.words)
                line.words.append(LayoutWord{back(w.box), w.text, w.confidence});
            if (!line.words.isEmpty())
                lines.append(line);
        }
    }
    return lines;
}

Result<QList<LayoutLine>> arranged(TesseractEngine &engine, qint64 tilePixels, const QImage &image,
                                   const QStringList &languages, bool keepUnsure = false)
{
    if (image.isNull())
        return QList<LayoutLine>{};
    const PreparedImage prepared = TesseractEngine::prepare(image, TesseractEngine::readingBudget);
    auto lines = readLines(engine, prepared, OCRService::languageSpec(languages), tilePixels);
    if (!lines)
        return lines.error();
    return OCRLayout::readingOrder(OCRLayout::joinRows(
        OCRLayout::splitAtPanels(*lines, prepared.panels, keepUnsure), prepared.flat));
}

} // namespace

Result<QList<TextObservation>> OCRService::observe(const QImage &image,
                                                   const QStringList &languages)
{
    const auto lines = arranged(m_engine, m_tilePixels, image, languages);
    if (!lines)
        return lines.error();
    QList<TextObservation> observations;
    for (const LayoutLine &line : *lines) {
        const QString text = OCRLayout::text({line});
        observations.append({normalised(line.box, 1.0, image.size()),
                             text.isEmpty() ? std::nullopt : std::optional<QString>(text)});
    }
    return observations;
}

Result<QList<LayoutLine>> OCRService::readWordsNow(const QImage &image,
                                                   const QStringList &languages)
{
    return arranged(m_engine, m_tilePixels, image, languages, true);
}

void OCRService::readWords(const QImage &image, const QStringList &languages, QObject *context,
                           WordsDone done)
{
    runAndDeliver<Result<QList<LayoutLine>>>(
        m_pool, context, [this, image, languages] { return readWordsNow(image, languages); },
        std::move(done));
}

Result<QString> OCRService::recognizeTextNow(const QImage &image, const QStringList &languages)
{
    const auto lines = arranged(m_engine, m_tilePixels, image, languages);
    if (!lines)
        return lines.error();
    return OCRLayout::text(*lines);
}

void OCRService::recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                               Done done)
{
    runAndDeliver<Result<QString>>(
        m_pool, context, [this, image, languages] { return recognizeTextNow(image, languages); },
        std::move(done));
}

QList<QRectF> OCRService::detectTextBoxesNow(const QImage &image)
{
    QList<QRectF> out;
    if (image.isNull())
        return out;
    try {
        const PreparedImage prepared =
            TesseractEngine::prepare(image, TesseractEngine::layoutBudget);
        const auto parts = inTiles(
            prepared.grey, m_tilePixels, columnGap(prepared),
            [this](const QImage &band) { return Result<QList<EngineLine>>(m_engine.layout(band)); },
            true);
        for (const auto &lines : parts)
            for (const EngineLine &line : *lines)
                out.append(normalised(line.box, prepared.scale, image.size()));
    } catch (...) {
        out.clear(); // the engine failed: no boxes, never an error
    }
    return out;
}

void OCRService::detectTextBoxes(const QImage &image, QObject *context,
                                 std::function<void(QList<QRectF>)> done)
{
    runAndDeliver<QList<QRectF>>(
        m_pool, context, [this, image] { return detectTextBoxesNow(image); }, std::move(done));
}

} // namespace vistrel
