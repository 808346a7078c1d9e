#pragma once

#include "model/RectHandles.h"

#include "model/SelectionTypes.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace vistrel {

// What one overlay screen knows and decides, without any widget: the drag, the handles, the
// window under the pointer and the placement of everything it paints. View coordinates are
// points with the origin at the screen's top-left corner.
class SelectionModel
{
public:
    enum class State { Idle, Drawing, Adjusting };
    using Handle = handles::Handle;
    enum class Cursor { Arrow, Crosshair, DiagonalNESW, DiagonalNWSE, Horizontal, Vertical, Move };

    struct Setup
    {
        DisplayInfo display;       // frame: global points
        QList<WindowInfo> windows; // front-most first
        qint64 ownPid = -1;
        bool windowPicking = false;
        std::optional<SelectionAction> immediateAction;
        bool offersRecording = false; // the toolbar has Record
    };

    // What the view has to do after an event.
    struct Reaction
    {
        bool report = false; // the overlay is done; `outcome` empty means cancelled
        std::optional<SelectionOutcome> outcome;
        bool showToolbar = false;
        bool dropToolbar = false;
        bool moveToolbar = false;
        std::optional<Cursor> cursor;
    };

    explicit SelectionModel(Setup setup);

    Reaction mouseDown(QPointF p);
    Reaction mouseDragged(QPointF p);
    Reaction mouseUp(QPointF p);
    Reaction mouseMoved(QPointF p, bool overToolbar = false);

    // The selection reported with an action, or nothing when it is 4 points or less across.
    Reaction complete(SelectionAction action) const;
    static Reaction cancel()
    {
        Reaction r;
        r.report = true;
        return r;
    }

    Handle hitHandle(QPointF p) const;
    void adjust(Handle handle, QPointF by);
    std::optional<WindowInfo> windowUnder(QPointF p) const;
    std::optional<QRectF> windowRectInView() const;
    Cursor cursorFor(QPointF p, bool overToolbar) const;
    static Cursor cursorForHandle(Handle handle);
    static QList<QPointF> handlePoints(const QRectF &r);

    // What the screen shows as the clear hole: the picked window or the selection.
    QRectF hole() const;

    // Placement of painted parts, all in view coordinates.
    static QPointF toolbarOrigin(const QRectF &selection, const QSizeF &bounds,
                                 const QSizeF &toolbar);
    static QString dimensionText(const QRectF &r, double scale);
    // Above the selection, or below it at the screen's top; never over `avoid` (the toolbar).
    static QRectF dimensionBadge(const QRectF &r, const QSizeF &textSize, const QSizeF &bounds,
                                 const QRectF &avoid = {});
    static QRectF loupeBox(QPointF cursor, const QSizeF &bounds);
    // The pixels of the frozen picture (row 0 on top) that the loupe magnifies.
    static QRect loupeSample(QPointF cursor, double scale, const QSize &picture);
    static QPoint pixelUnder(QPointF cursor, double scale);

    const Setup &setup() const { return m_setup; }
    QSizeF bounds() const { return m_setup.display.frame.size(); }
    State state() const { return m_state; }
    QRectF selection() const { return m_selection; }
    void setSelection(const QRectF &r) { m_selection = r; }
    void setState(State s) { m_state = s; }
    QPointF cursorPoint() const { return m_cursorPoint; }
    const std::optional<WindowInfo> &hoveredWindow() const { return m_hoveredWindow; }
    Handle activeHandle() const { return m_activeHandle; }

    static constexpr double handleRadius = 11;
    static constexpr double minSize = 10;
    static constexpr double reportMin = 4;

private:
    QPointF snapToFarEdges(QPointF p) const;

    Setup m_setup;
    State m_state = State::Idle;
    QRectF m_selection;
    std::optional<QPointF> m_dragStart;
    std::optional<WindowInfo> m_hoveredWindow;
    Handle m_activeHandle = Handle::None;
    std::optional<QPointF> m_dragLast;
    QPointF m_cursorPoint;
};

} // namespace vistrel
