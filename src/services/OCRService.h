#pragma once

#include "platform/Result.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;

namespace vistrel {

// One line of recognised text. The box is normalised to the image (0…1) with the origin at
// its bottom-left corner and y up.
struct TextObservation
{
    QRectF boundingBox;
    std::optional<QString> topCandidate;
};

// Plain text of a picture, lines in reading order.
class OCRService
{
public:
    using Done = std::function<void(Result<QString>)>;

    // Runs on the worker pool and calls `done` exactly once on `context`'s thread; nothing is
    // called when `context` is gone by then. An empty language list reads English.
    static void recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                              Done done);
    static Result<QString> recognizeTextNow(const QImage &image, const QStringList &languages = {});
    // For quitting: queued recognitions are dropped and running ones finish, so that none
    // still runs while the toolkit's thread pools are taken down.
    static void finishRecognitions();
    static Result<QList<TextObservation>> observe(const QImage &image, const QStringList &languages = {});

    // Top to bottom; pieces whose vertical centres are within 2 % of the height form one line
    // and go left to right. Stable.
    static QList<TextObservation> sorted(QList<TextObservation> observations);
    // The best candidates joined by line feeds; observations without one add nothing.
    static QString joined(const QList<TextObservation> &observations);
    static QString languageSpec(const QStringList &languages);
    // Horizontal bands of a grey picture, cut only through blank rows, for reading them side
    // by side.
    static QList<QRect> bands(const QImage &grey, int count);
};

// Where text lines lie in a picture, without reading them.
class TextBoxDetector
{
public:
    // Calls `done` exactly once on `context`'s thread; an empty list when anything fails.
    static void detect(const QImage &image, QObject *context, std::function<void(QList<QRectF>)> done);
    static QList<QRectF> detectNow(const QImage &image);
};

} // namespace vistrel
