#pragma once

#include <QMarginsF>
#include <QSize>
#include <QSizeF>

namespace vistrel {

// How big an editor opens and at what magnification, for a picture on a visible frame.
struct EditorGeometry
{
    qreal fitMagnification = 1.0;
    QSizeF contentSize; // toolbar included

    static constexpr qreal toolbarHeight = 46.0;
    static constexpr qreal minMagnification = 0.1;
    static constexpr qreal maxMagnification = 8.0;

    // `frame` is what the window manager adds around the content (title bar, borders), when
    // known: the whole window then fits the visible frame too.
    // The magnification at which `content` (canvas points) shows whole in `view` (pixels),
    // never above 1.
    static qreal fit(const QSizeF &content, const QSizeF &view);

    static EditorGeometry forImage(const QSize &imagePixels, const QSizeF &visibleFrame,
                                   const QMarginsF &frame = QMarginsF());
};

} // namespace vistrel
