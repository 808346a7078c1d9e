#pragma once

#include <QIcon>
#include <QProxyStyle>
#include <QString>

namespace vistrel {

// An icon by its freedesktop name, from the desktop's icon theme. Where the theme has none,
// the bundled picture (":/icons/<name>.svg"), drawn at the device pixel ratio of wherever it
// is shown and inked with the window theme's text colour, so it reads on light and dark themes
// alike; its "on" state (a highlighted tool) is drawn white.
QIcon symbolIcon(const QString &name);
// The same from the theme, else the bundled picture in its own dark ink.
QIcon themeIcon(const QString &name);

// The application's style, with the toolbar's overflow button drawn from the symbol set. The
// stock picture is a PNG whose reading makes the toolkit load every picture-format plugin
// (and keep them loaded) the first time an editor opens.
class SymbolStyle : public QProxyStyle
{
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

} // namespace vistrel
