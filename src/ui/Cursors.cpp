#include "ui/Cursors.h"

#include "model/MarkRules.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <map>
#include <string>

namespace vistrel {

QImage Cursors::tinted(const QImage &image, const QColor &colour)
{
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    p.fillRect(out.rect(), colour);
    return out;
}

std::optional<QCursor> Cursors::symbolCursor(const QString &name, int pointSize)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    if (!QFile::exists(path))
        return std::nullopt;
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return std::nullopt;
    QImage glyph(pointSize, pointSize, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    {
        QPainter p(&glyph);
        renderer.render(&p);
    }
    const QImage black = tinted(glyph, Qt::black);
    const QImage white = tinted(glyph, Qt::white);
    QImage canvas(pointSize + 6, pointSize + 6, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF at(3, 3, pointSize, pointSize);
        const double o = 1.5;
        const QPointF offsets[] = {{-o, -o}, {-o, 0}, {-o, o}, {0, -o},
                                   {0, o},   {o, -o}, {o, 0},  {o, o}};
        for (QPointF d : offsets)
            p.drawImage(at.translated(d), black);
        p.drawImage(at, white);
    }
    // The hot spot is the centre, for arrow-shaped glyphs too.
    return QCursor(QPixmap::fromImage(canvas), canvas.width() / 2, canvas.height() / 2);
}

namespace {

const QCursor &built(const char *name, int size, Qt::CursorShape fallback)
{
    // Built on first use and kept; map nodes never move, so the references stay valid.
    static std::map<std::pair<std::string, int>, QCursor> cache;
    const auto key = std::make_pair(std::string(name), size);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache
                 .emplace(
                     key,
                     Cursors::symbolCursor(QLatin1String(name), size).value_or(QCursor(fallback)))
                 .first;
    return it->second;
}

} // namespace

const QCursor &Cursors::move()
{
    return built("move", 18, Qt::OpenHandCursor);
}

const QCursor &Cursors::horizontal()
{
    static const QCursor c(Qt::SizeHorCursor);
    return c;
}

const QCursor &Cursors::vertical()
{
    static const QCursor c(Qt::SizeVerCursor);
    return c;
}

const QCursor &Cursors::diagonalNWSE()
{
    return built("nwse-resize", 18, Qt::CrossCursor);
}

const QCursor &Cursors::diagonalNESW()
{
    return built("nesw-resize", 18, Qt::CrossCursor);
}

QCursor Cursors::tool(ToolKind kind)
{
    const MarkRules &rules = MarkRules::of(kind);
    if (!rules.cursorSymbol)
        return QCursor(rules.cursorShape);
    return built(rules.cursorSymbol, rules.cursorSize, rules.cursorShape);
}

} // namespace vistrel
