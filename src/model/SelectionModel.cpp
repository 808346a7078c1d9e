#include "model/SelectionModel.h"

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {
QRectF rectFromPoints(QPointF a, QPointF b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()),
                  std::abs(b.y() - a.y()));
}
} // namespace

SelectionModel::SelectionModel(Setup setup) : m_setup(std::move(setup)) {}

QList<QPointF> SelectionModel::handlePoints(const QRectF &r)
{
    return handles::points(r);
}

SelectionModel::Handle SelectionModel::hitHandle(QPointF p) const
{
    return handles::hit(m_selection, p, handleRadius);
}

void SelectionModel::adjust(Handle handle, QPointF d)
{
    if (handle == Handle::None)
        return;
    const QRectF moved = handles::dragged(m_selection, handle, d);
    double x = moved.x(), y = moved.y(), w = moved.width(), h = moved.height();
    // Never flips: past the opposite edge the size stays at the minimum and the origin moves on.
    const QSizeF b = bounds();
    w = std::max(w, minSize);
    h = std::max(h, minSize);
    x = std::max(x, 0.0);
    x = std::min(x, b.width() - w);
    y = std::max(y, 0.0);
    y = std::min(y, b.height() - h);
    m_selection = QRectF(x, y, w, h);
}

std::optional<WindowInfo> SelectionModel::windowUnder(QPointF p) const
{
    const QRectF f = m_setup.display.frame;
    const QPointF global = f.topLeft() + p;
    for (const WindowInfo &w : m_setup.windows) {
        if (!w.onScreen || !w.frame.contains(global))
            continue;
        if (w.ownerPid && *w.ownerPid == m_setup.ownPid)
            continue; // never our own windows, the overlay included
        return w;
    }
    return std::nullopt;
}

std::optional<QRectF> SelectionModel::windowRectInView() const
{
    if (!m_hoveredWindow)
        return std::nullopt;
    const QRectF d = m_setup.display.frame;
    const QRectF w = m_hoveredWindow->frame;
    return w.translated(-d.topLeft());
}

SelectionModel::Cursor SelectionModel::cursorForHandle(Handle handle)
{
    switch (handle) {
    case Handle::BL:
    case Handle::TR:
        return Cursor::DiagonalNESW;
    case Handle::BR:
    case Handle::TL:
        return Cursor::DiagonalNWSE;
    case Handle::Left:
    case Handle::Right:
        return Cursor::Horizontal;
    case Handle::Bottom:
    case Handle::Top:
        return Cursor::Vertical;
    case Handle::Move:
        return Cursor::Move;
    case Handle::None:
        break;
    }
    return Cursor::Crosshair;
}

SelectionModel::Cursor SelectionModel::cursorFor(QPointF p, bool overToolbar) const
{
    if (overToolbar || m_setup.windowPicking)
        return Cursor::Arrow;
    if (m_state == State::Adjusting)
        return cursorForHandle(hitHandle(p));
    return Cursor::Crosshair;
}

QRectF SelectionModel::hole() const
{
    if (m_setup.windowPicking)
        return windowRectInView().value_or(QRectF());
    return m_selection;
}

SelectionModel::Reaction SelectionModel::complete(SelectionAction action) const
{
    Reaction r;
    r.report = true;
    if (m_selection.width() > reportMin && m_selection.height() > reportMin) {
        r.outcome = SelectionOutcome{RectSelection{m_selection, m_setup.display}, action};
    }
    return r;
}

SelectionModel::Reaction SelectionModel::mouseMoved(QPointF p, bool overToolbar)
{
    m_cursorPoint = p;
    if (m_setup.windowPicking || m_state == State::Idle)
        m_hoveredWindow = windowUnder(p);
    Reaction r;
    r.cursor = cursorFor(p, overToolbar);
    return r;
}

QPointF SelectionModel::snapToFarEdges(QPointF p) const
{
    const double pixel = 1.0 / std::max(m_setup.display.scale, 1.0);
    if (p.x() >= bounds().width() - pixel - 1e-9)
        p.setX(std::max(p.x(), bounds().width()));
    if (p.y() >= bounds().height() - pixel - 1e-9)
        p.setY(std::max(p.y(), bounds().height()));
    return p;
}

SelectionModel::Reaction SelectionModel::mouseDown(QPointF p)
{
    Reaction r;
    if (m_setup.windowPicking)
        return r;
    if (m_state == State::Adjusting) {
        const Handle h = hitHandle(p);
        if (h != Handle::None) {
            m_activeHandle = h;
            m_dragLast = p;
            return r;
        }
    }
    r.dropToolbar = true;
    m_state = State::Drawing;
    m_dragStart = p;
    m_selection = QRectF();
    return r;
}

SelectionModel::Reaction SelectionModel::mouseDragged(QPointF p)
{
    Reaction r;
    if (m_setup.windowPicking)
        return r;
    switch (m_state) {
    case State::Idle:
        m_cursorPoint = p;
        break;
    case State::Drawing:
        if (m_dragStart) {
            m_cursorPoint = p;
            // Not clamped: a drag that leaves the screen is reported as drawn. The pointer
            // cannot go past the last pixel, so that pixel stands for the screen's edge.
            m_selection = rectFromPoints(snapToFarEdges(*m_dragStart), snapToFarEdges(p));
        }
        break;
    case State::Adjusting:
        if (m_dragLast) {
            m_cursorPoint = p;
            adjust(m_activeHandle, p - *m_dragLast);
            m_dragLast = p;
            r.cursor = cursorForHandle(m_activeHandle);
            r.moveToolbar = true;
        }
        break;
    }
    return r;
}

SelectionModel::Reaction SelectionModel::mouseUp(QPointF)
{
    Reaction r;
    if (m_setup.windowPicking) {
        r.report = true;
        if (m_hoveredWindow)
            r.outcome = SelectionOutcome{*m_hoveredWindow, SelectionAction::Edit};
        return r;
    }
    switch (m_state) {
    case State::Idle:
        break;
    case State::Adjusting:
        m_activeHandle = Handle::None;
        m_dragLast.reset();
        break;
    case State::Drawing: {
        m_dragStart.reset();
        if (!(m_selection.width() > reportMin && m_selection.height() > reportMin)) {
            // A plain click takes the frame of the window under the pointer, cut to this screen.
            const auto windowRect = m_hoveredWindow ? windowRectInView() : std::nullopt;
            if (!windowRect) {
                m_selection = QRectF();
                m_state = State::Idle;
                return r;
            }
            m_selection = windowRect->intersected(QRectF(QPointF(0, 0), bounds()));
        }
        if (!m_setup.immediateAction) {
            m_state = State::Adjusting;
            r.showToolbar = true;
        } else {
            return complete(*m_setup.immediateAction);
        }
        break;
    }
    }
    return r;
}

QPointF SelectionModel::toolbarOrigin(const QRectF &s, const QSizeF &b, const QSizeF &t)
{
    double x = std::max(s.center().x() - t.width() / 2, 8.0);
    x = std::min(x, b.width() - t.width() - 8);
    double y = s.bottom() + 10; // below the selection, else above it, else over its middle
    if (y + t.height() > b.height() - 8)
        y = s.top() - t.height() - 10;
    if (y < 8)
        y = std::min(s.center().y() - t.height() / 2, b.height() - t.height() - 8);
    return QPointF(x, y);
}

QString SelectionModel::dimensionText(const QRectF &r, double scale)
{
    return QStringLiteral("%1 × %2")
        .arg(qint64(std::trunc(r.width() * scale)))
        .arg(qint64(std::trunc(r.height() * scale)));
}

QRectF SelectionModel::dimensionBadge(const QRectF &r, const QSizeF &text, const QSizeF &b,
                                      const QRectF &avoid)
{
    QRectF badge(r.left(), 0, text.width() + 12, text.height() + 6);
    badge.moveTop(r.top() - badge.height() - 6);
    if (badge.top() < 4)
        badge.moveTop(r.bottom() + 6);
    const auto fits = [&](const QRectF &place) {
        return !place.intersects(avoid) && place.top() >= 4 && place.bottom() <= b.height() - 4;
    };
    if (fits(badge))
        return badge;
    // The toolbar took that place, or the selection fills the screen's height: above, below,
    // then inside the selection's top-left corner.
    const QRectF places[] = {
        badge.translated(0, r.top() - badge.height() - 6 - badge.top()),
        badge.translated(0, r.bottom() + 6 - badge.top()),
        QRectF(r.left() + 6, r.top() + 6, badge.width(), badge.height()),
    };
    for (const QRectF &place : places)
        if (fits(place))
            return place;
    return places[2];
}

QRectF SelectionModel::loupeBox(QPointF c, const QSizeF &b)
{
    // Up and to the right of the pointer, with its read-out below it; turned away from the
    // screen's edges.
    QPointF origin(c.x() + 22, c.y() - 22 - 118);
    if (c.x() + 22 + 118 > b.width() - 8)
        origin.setX(c.x() - 140);
    if (c.y() - 22 - 118 - 24 < 8)
        origin.setY(c.y() + 46);
    return QRectF(origin, QSizeF(118, 118));
}

QPoint SelectionModel::pixelUnder(QPointF c, double scale)
{
    return QPoint(int(std::floor(c.x() * scale)), int(std::floor(c.y() * scale)));
}

QRect SelectionModel::loupeSample(QPointF c, double scale, const QSize &picture)
{
    const double side = 14.75 * scale;
    const QPointF centre = c * scale;
    const QRectF square(centre.x() - side / 2, centre.y() - side / 2, side, side);
    return square.intersected(QRectF(QPointF(0, 0), QSizeF(picture)))
        .toAlignedRect()
        .intersected(QRect(QPoint(0, 0), picture));
}

} // namespace vistrel
