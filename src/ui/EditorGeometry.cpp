#include "ui/EditorGeometry.h"

#include <algorithm>

namespace vistrel {

qreal EditorGeometry::fit(const QSizeF &content, const QSizeF &view)
{
    const qreal w = std::max(content.width(), 1.0), h = std::max(content.height(), 1.0);
    return std::clamp(std::min({view.width() / w, view.height() / h, 1.0}), minMagnification,
                      maxMagnification);
}

EditorGeometry EditorGeometry::forImage(const QSize &image, const QSizeF &visible,
                                        const QMarginsF &frame)
{
    EditorGeometry g;
    const qreal w = std::max(1, image.width());
    const qreal h = std::max(1, image.height());
    g.fitMagnification =
        std::min({visible.width() * 0.85 / w, (visible.height() * 0.85 - toolbarHeight) / h, 1.0});
    g.fitMagnification = std::max(g.fitMagnification, minMagnification);
    // Never narrower than 1280 so the whole toolbar fits, whatever the picture.
    const QSizeF wanted(std::max(g.fitMagnification * w, 1280.0),
                        std::max(g.fitMagnification * h, 320.0) + toolbarHeight);
    // Nor larger than the screen: a picture that is still too big at the smallest
    // magnification (or a screen narrower than the toolbar) scrolls inside the window.
    const QSizeF room(std::max(visible.width() - frame.left() - frame.right(), 1.0),
                      std::max(visible.height() - frame.top() - frame.bottom(), 1.0));
    g.contentSize = wanted.boundedTo(room);
    return g;
}

} // namespace vistrel
