#include "editor/EditorGeometry.h"

#include <algorithm>

namespace vistrel {

EditorGeometry EditorGeometry::forImage(const QSize &image, const QSizeF &visible)
{
    EditorGeometry g;
    const qreal w = std::max(1, image.width());
    const qreal h = std::max(1, image.height());
    g.fitMagnification = std::min({visible.width() * 0.85 / w,
                                    (visible.height() * 0.85 - toolbarHeight) / h, 1.0});
    g.fitMagnification = std::max(g.fitMagnification, minMagnification);
    // Never narrower than 1280 so the whole toolbar fits, whatever the picture.
    g.contentSize = QSizeF(std::max(g.fitMagnification * w, 1280.0),
                           std::max(g.fitMagnification * h, 320.0) + toolbarHeight);
    return g;
}

} // namespace vistrel
