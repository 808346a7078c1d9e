#pragma once

#include <QImage>
#include <QList>
#include <QRect>

#include <vector>

namespace vistrel {

// The flat backgrounds of a screen (windows, panes, dialogs, bars, buttons) and, for every
// pixel, the one it lies on. A glyph belongs to the background around it, so a dark terminal
// inside a light window is a panel of its own, with its own polarity.
class PanelMap
{
public:
    struct Panel
    {
        QRect box;
        int background = 255;     // mean grey of the panel's own pixels
        bool lightOnDark = false; // its text is lighter than its background
    };

    // Ink differs from its background by at least this much.
    static constexpr int inkContrast = 48;

    PanelMap() = default;
    // Panels of a grey (Format_Grayscale8) picture.
    static PanelMap of(const QImage &grey);

    QSize size() const { return m_size; }
    const QList<Panel> &panels() const { return m_panels; }
    // The panel under a pixel (clamped into the picture); -1 for an empty map.
    int at(QPoint p) const;
    // The same picture with every light-on-dark panel inverted: all text dark on light.
    QImage darkOnLight(const QImage &grey) const;

private:
    QSize m_size;
    std::vector<int> m_panelOf; // row after row
    QList<Panel> m_panels;
};

} // namespace vistrel
