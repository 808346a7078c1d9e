#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>

#include <cmath>

namespace vistrel::handles {

// The eight grips of a rectangle, in the order they are tried: the lower corners first.
enum class Handle { BL, BR, TL, TR, Bottom, Top, Left, Right, Move, None };

inline QList<QPointF> points(const QRectF &r)
{
    const double minX = r.left(), maxX = r.right(), minY = r.top(), maxY = r.bottom();
    const double midX = r.center().x(), midY = r.center().y();
    return {{minX, maxY}, {maxX, maxY}, {minX, minY}, {maxX, minY},
            {midX, maxY}, {midX, minY}, {minX, midY}, {maxX, midY}};
}

// The grip within `radius` of `p`, else Move inside the rectangle, else None.
inline Handle hit(const QRectF &r, QPointF p, double radius)
{
    const QList<QPointF> grips = points(r);
    for (int i = 0; i < grips.size(); ++i)
        if (std::hypot(grips[i].x() - p.x(), grips[i].y() - p.y()) < radius)
            return Handle(i);
    return r.contains(p) ? Handle::Move : Handle::None;
}

// The rectangle with the edges the grip holds moved by `d`, before any clamping (the width or
// height may come out negative).
inline QRectF dragged(const QRectF &r, Handle handle, QPointF d)
{
    double x = r.x(), y = r.y(), w = r.width(), h = r.height();
    const double dx = d.x(), dy = d.y();
    switch (handle) {
    case Handle::BL:
        x += dx, w -= dx, h += dy;
        break;
    case Handle::BR:
        w += dx, h += dy;
        break;
    case Handle::TL:
        x += dx, w -= dx, y += dy, h -= dy;
        break;
    case Handle::TR:
        w += dx, y += dy, h -= dy;
        break;
    case Handle::Bottom:
        h += dy;
        break;
    case Handle::Top:
        y += dy, h -= dy;
        break;
    case Handle::Left:
        x += dx, w -= dx;
        break;
    case Handle::Right:
        w += dx;
        break;
    case Handle::Move:
        x += dx, y += dy;
        break;
    case Handle::None:
        break;
    }
    return QRectF(x, y, w, h);
}

} // namespace vistrel::handles
