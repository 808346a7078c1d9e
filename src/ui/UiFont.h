#pragma once

#include <QFont>
#include <QGuiApplication>

namespace vistrel {

// The application's font at a pixel size and weight: panels, badges and hints use one look.
inline QFont uiFont(int pixels, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

} // namespace vistrel
