#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>

class QPainter;

namespace vistrel {

class CanvasModel;

// Paints what a canvas model holds, in canvas points: on screen with the dotted
// background, the tiles' shadows, the draft, the snap preview, the crop's dimming and the
// selection's grips, or as an export shows it; and the flattened export itself. Keeps the
// pixelated copy of the picture that blur marks show, built when the first one needs it.
class CanvasPainter
{
public:
    explicit CanvasPainter(const CanvasModel &model) : m_model(model) {}

    // The painter maps canvas points to its device; only what meets `dirty` is drawn.
    void paint(QPainter &painter, const QRectF &dirty, bool screen) const;
    // The export rectangle flattened into a bitmap, painted in bands on every core.
    QImage renderComposite(bool opaqueBackground) const;
    const QImage &pixelatedImage() const;
    static QImage exportBitmap(int width, int height);

    // What a placed picture's tile covers on screen: its shadow and its selection ring.
    static QRectF tileArea(const QRectF &frame);
    static QColor accentColor();

private:
    void paintTile(QPainter &p, const QRectF &frame, const QImage &picture, bool screen) const;
    void paintDecorations(QPainter &p) const;
    void paintCrop(QPainter &p, const QRectF &dirty) const;

    const CanvasModel &m_model;
    mutable QImage m_pixelated;
    mutable bool m_pixelatedBuilt = false;
};

} // namespace vistrel
