#pragma once

#include "engines/TesseractEngine.h"
#include "platform/Result.h"

#include <QCoreApplication>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <optional>

class QObject;

namespace vistrel {

// One line of recognised text. The box is normalised to the image (0…1), the origin at its
// top-left corner.
struct TextObservation
{
    QRectF boundingBox;
    std::optional<QString> topCandidate;
};

// Plain text of a picture, lines in reading order, and where text lines lie in it. Its engines
// and the threads that wait for them are its own.
class OCRService
{
public:
    using Done = std::function<void(Result<QString>)>;

    OCRService();
    // Finishes its recognitions (finishRecognitions), then stops its engines.
    ~OCRService();
    OCRService(const OCRService &) = delete;
    OCRService &operator=(const OCRService &) = delete;

    // Runs on the worker pool and calls `done` exactly once on `context`'s thread; nothing is
    // called when `context` is gone by then. An empty language list reads English.
    void recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                       Done done);
    // Lines in the reading order of the screen (OCRLayout), the gaps of a row kept as spaces.
    Result<QString> recognizeTextNow(const QImage &image, const QStringList &languages = {});
    // Starts the engine ahead of a recognition expected soon (Extract Text's hot key).
    void prepareForRecognition(const QStringList &languages = {});
    // For quitting: queued recognitions are dropped and running ones finish, so that none
    // still runs while the toolkit's thread pools are taken down.
    void finishRecognitions();
    // The lines of recognizeTextNow with their words and the words' boxes (the picture's
    // top-down pixels), in reading order, with the words the engine doubts too (random
    // tokens are exactly those).
    Result<QList<LayoutLine>> readWordsNow(const QImage &image, const QStringList &languages = {});
    using WordsDone = std::function<void(Result<QList<LayoutLine>>)>;
    void readWords(const QImage &image, const QStringList &languages, QObject *context,
                   WordsDone done);
    // The lines of recognizeTextNow with their boxes, in the same order.
    Result<QList<TextObservation>> observe(const QImage &image, const QStringList &languages = {});

    // Where text lines lie, without reading them, as normalised boxes like TextObservation's.
    // Calls `done` exactly once on `context`'s thread; an empty list when anything fails.
    void detectTextBoxes(const QImage &image, QObject *context,
                         std::function<void(QList<QRectF>)> done);
    QList<QRectF> detectTextBoxesNow(const QImage &image);

    TesseractEngine &engine() { return m_engine; }

    // Top to bottom; pieces whose vertical centres are closer than half the smaller one's
    // height form one line and go left to right. Stable. (Recognition itself orders its lines
    // by the screen's layout: OCRLayout.)
    static QList<TextObservation> sorted(QList<TextObservation> observations);
    // The best candidates joined by line feeds; observations without one add nothing.
    static QString joined(const QList<TextObservation> &observations);
    static QString languageSpec(const QStringList &languages);
    // Tiles of a grey picture of at most `maxPixels` each where blank rows and columns allow,
    // cut only through them (columns only where at least `minColumnGap` wide), for reading
    // them side by side. Between lines first, unless `columnsFirst`: finding lines without
    // reading them has no words to split a line at a gap with, so windows side by side are
    // best cut apart before their rows are.
    static QList<QRect> tiles(const QImage &grey, qint64 maxPixels, int minColumnGap,
                              bool columnsFirst = false);
    static constexpr qint64 tilePixels = 400'000;
    // The size of the tiles read side by side (tilePixels unless changed); what is read does
    // not depend on it.
    void setTilePixels(qint64 pixels) { m_tilePixels = pixels; }

private:
    TesseractEngine m_engine;
    qint64 m_tilePixels = tilePixels;
    // Whole recognitions wait for their tiles, which run on the global pool. Were they on that
    // pool too, two at once on a two-core machine would hold every thread while waiting for
    // tiles that can never start, and the GUI's own threaded painting would hang behind them.
    QThreadPool m_pool;
};

} // namespace vistrel
