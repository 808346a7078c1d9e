#pragma once

#include "engines/SceneArchive.h"
#include "engines/SecretFinder.h"
#include "model/Annotation.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

#include <optional>

namespace vistrel {

// One picture of the editor and where it lies on the canvas (points); the picture is
// stretched over its frame.
struct CanvasPicture
{
    QImage picture;
    QRectF frame;
};

// A finding placed on the canvas: the boxes of its words (`words`) and the larger boxes a
// redaction mark covers (`cover`), one of each per line, in canvas points.
struct PlacedFinding
{
    SecretKind kind;
    QString text;
    QList<QRectF> words;
    QList<QRectF> cover;
    QColor fill = Annotation::redactionColor();
};

// From findings in a picture to redaction marks on the canvas, and what is still uncovered.
class Redaction
{
public:
    // Around each box: recognition's word boxes hug the glyphs, and a glyph's soft edge
    // (and JPEG's ringing near it) reaches a pixel or two beyond.
    static int marginFor(const QRect &box) { return 2 + box.height() / 8; }
    static QList<PlacedFinding> place(const QList<SecretFinding> &findings, QSize pictureSize,
                                      const QRectF &frame);
    // As above, each filled in a colour that stands out from the background around it: the
    // usual dark fill on light backgrounds, a light grey on dark ones (a black terminal).
    static QList<PlacedFinding> place(const QList<SecretFinding> &findings, const QImage &picture,
                                      const QRectF &frame);
    // Whether every word box of the finding lies under redaction marks.
    static bool covered(const PlacedFinding &finding, const QList<AnnotationRef> &marks);
    // The findings no redaction mark covers; with a crop, only those that reach into it (the
    // rest never leaves).
    static QList<PlacedFinding> uncovered(const QList<PlacedFinding> &findings,
                                          const QList<AnnotationRef> &marks,
                                          const std::optional<QRectF> &crop = std::nullopt);
    static QList<AnnotationRef> marksFor(const QList<PlacedFinding> &findings);
    // "2 e-mail addresses, 1 API key", kinds in the order they were first found.
    static QString tally(const QList<PlacedFinding> &findings);
    // "Redacted 3: 2 e-mail addresses, 1 API key".
    static QString summary(const QList<PlacedFinding> &findings);

    // The scene as it may leave the editor's memory: every pixel of its pictures that a
    // concealing mark touches is its opaque fill colour, so a file, the history or kept work
    // never holds what the user covered. The marks stay, editable.
    static EditorScene destroyUnder(const EditorScene &scene);
    // Changes whenever what destroyUnder does to the pictures changes.
    static size_t concealedKey(const QList<AnnotationRef> &marks);
};

} // namespace vistrel
