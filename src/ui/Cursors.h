#pragma once

#include "model/ToolKind.h"

#include <QCursor>
#include <QImage>

#include <optional>

namespace vistrel {

// Mouse pointers for the canvas tools and the selection handles. Glyph pointers are drawn
// white with a thin black outline so they show on light and dark pictures alike; each is
// built once.
class Cursors
{
public:
    static const QCursor &move();
    static const QCursor &horizontal();
    static const QCursor &vertical();
    static const QCursor &diagonalNWSE();
    static const QCursor &diagonalNESW();

    // The pointer of a tool over the canvas, as its kind's rules describe it.
    static QCursor tool(ToolKind kind);

    // A pointer from an icon of the project's set; nothing when there is no such icon.
    static std::optional<QCursor> symbolCursor(const QString &name, int pointSize);
    // A copy in which every painted pixel takes the colour, keeping its alpha.
    static QImage tinted(const QImage &image, const QColor &colour);
};

} // namespace vistrel
