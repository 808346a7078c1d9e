#include "ui/SymbolIcon.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QWidget>

namespace vistrel {

namespace {

class SymbolIconEngine : public QIconEngine
{
public:
    explicit SymbolIconEngine(const QString &name) : m_name(name)
    {
        QFile file(QStringLiteral(":/icons/%1.svg").arg(name));
        if (file.open(QIODevice::ReadOnly))
            m_svg = file.readAll();
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        if (m_svg.isEmpty())
            return;
        const QPalette pal = QApplication::palette();
        QColor ink = pal.color(QPalette::WindowText);
        QColor paper = pal.color(QPalette::Window);
        if (state == QIcon::On) {
            ink = Qt::white;
            paper = pal.color(QPalette::Highlight);
        } else if (mode == QIcon::Disabled) {
            ink = pal.color(QPalette::Disabled, QPalette::WindowText);
        }
        // The set draws in one dark ink, with white for cut-outs inside filled shapes.
        QByteArray svg = m_svg;
        svg.replace("#fff\"", paper.name().toLatin1() + '"');
        svg.replace("#202020", ink.name().toLatin1());
        QSvgRenderer renderer(svg);
        if (mode == QIcon::Disabled && state != QIcon::On)
            painter->setOpacity(0.6);
        renderer.render(painter, QRectF(rect));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        paint(&p, QRect(QPoint(), size), mode, state);
        return pm;
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(*this); }
    QString key() const override { return QStringLiteral("vistrel-symbol"); }
    bool isNull() override { return m_svg.isEmpty(); }

private:
    QString m_name;
    QByteArray m_svg;
};

} // namespace

QIcon symbolIcon(const QString &name)
{
    return QIcon::fromTheme(name, QIcon(new SymbolIconEngine(name)));
}

QIcon themeIcon(const QString &name)
{
    return QIcon::fromTheme(name, QIcon(QStringLiteral(":/icons/%1.svg").arg(name)));
}

QIcon SymbolStyle::standardIcon(StandardPixmap which, const QStyleOption *option,
                                const QWidget *widget) const
{
    if (which == SP_ToolBarHorizontalExtensionButton) {
        // The toolbar asks with an option and no widget.
        const bool rtl =
            option ? option->direction == Qt::RightToLeft : widget && widget->isRightToLeft();
        return symbolIcon(rtl ? QStringLiteral("arrow-left-double")
                              : QStringLiteral("arrow-right-double"));
    }
    if (which == SP_ToolBarVerticalExtensionButton)
        return symbolIcon(QStringLiteral("arrow-down-double"));
    return QProxyStyle::standardIcon(which, option, widget);
}

} // namespace vistrel
