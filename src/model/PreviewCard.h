#pragma once

#include "model/RectHandles.h"

#include "model/Annotation.h"

#include <QColor>
#include <QList>
#include <QRectF>
#include <QSize>

#include <optional>

namespace vistrel {

// What the preview card knows and decides, without any widget: the crop, its handles
// and the marks. Image coordinates are pixels with the origin at the image's top-left; view
// coordinates are the same scaled by `displayScale`.
class PreviewCard
{
public:
    enum class Mode { Adjust, Mark };
    using Handle = handles::Handle;

    PreviewCard(QSize imageSize, double displayScale);

    Mode mode = Mode::Adjust;
    ToolKind markerTool = ToolKind::Arrow;
    QColor strokeColor = Annotation::defaultColor();
    double lineWidth = 6.0;

    QSize imageSize() const { return m_imageSize; }
    double displayScale() const { return m_displayScale; }
    QRectF cropRect() const { return m_cropRect; }
    void setCropRect(const QRectF &r) { m_cropRect = r; }
    const QList<AnnotationRef> &annotations() const { return m_annotations; }
    const AnnotationRef &draft() const { return m_draft; }
    Handle activeHandle() const { return m_activeHandle; }

    // Mouse input at a point in view coordinates. `mouseDragged` says whether the crop was
    // dragged (the size read-out is told after every such step, changed or not).
    void mouseDown(QPointF view);
    bool mouseDragged(QPointF view);
    void mouseUp();

    // Keys typed after a text mark is placed go into it, until the next click or Return.
    bool typing() const { return bool(m_typing); }
    void typeText(const QString &text);
    void backspace();
    void endTyping() { m_typing.reset(); }

    Handle hitHandle(QPointF view) const;
    void adjustCrop(Handle handle, QPointF by);
    static QList<QPointF> handlePoints(const QRectF &r);

    // The crop in whole image pixels, as bitmaps are cut.
    QRect cropInImage() const;
    // Copies of the marks moved into the crop's own coordinates.
    QList<AnnotationRef> marksInCrop() const;
    // "W × H px", each rounded.
    static QString sizeText(QSizeF size);

    static constexpr double handleRadius = 10; // view points
    static constexpr double minCrop = 20;      // image pixels

private:
    QSize m_imageSize;
    double m_displayScale;
    QRectF m_cropRect;
    QList<AnnotationRef> m_annotations;
    AnnotationRef m_draft;
    AnnotationRef m_typing;
    Handle m_activeHandle = Handle::None;
    std::optional<QPointF> m_dragLast;
};

// Size and scale of the preview card for an image, on a visible frame in points.
struct CardGeometry
{
    double displayScale = 1;
    QSizeF content;         // the whole card
    double imageHeight = 0; // the canvas's height in points
    double viewHeight = 0;  // how much of it shows at once: a taller canvas scrolls
    double bottomH = botH;  // the bottom bar, one row taller when the tools wrap
    bool toolsWrap() const { return bottomH > botH; }
    // `scrollBarExtent` is the width a vertical scroll bar takes beside a canvas that scrolls.
    static CardGeometry forImage(QSize imagePixels, QSizeF visible, double devicePixelRatio,
                                 double scrollBarExtent = 0);
    static constexpr double topH = 38;
    static constexpr double botH = 46;
    static constexpr double rowH = 34; // a further row of the bottom bar
    static constexpr double minWidth = 360;
    static constexpr double barMargin = 10;
    static constexpr double toolsW = 194;   // five 28-point tools, the colour well and gaps
    static constexpr double actionsW = 322; // Edit, Copy, Save, Pin and Close with gaps
    // Narrower than this, the marker tools get a row of their own above the actions.
    static constexpr double oneRowWidth = 3 * barMargin + toolsW + actionsW;
};

} // namespace vistrel
