#include "model/ToolKind.h"

#include <array>

namespace vistrel {

namespace {

struct ToolRow
{
    ToolKind kind;
    const char *raw;
    const char *symbol;
    const char *tip;
    char key;
};

constexpr std::array<ToolRow, 11> rows{{
    {ToolKind::Select, "select", "tool-pointer", "Select / Move (V)", 'v'},
    {ToolKind::Arrow, "arrow", "draw-arrow", "Arrow (A)", 'a'},
    {ToolKind::Line, "line", "draw-line", "Line (L)", 'l'},
    {ToolKind::Rect, "rect", "draw-rectangle", "Rectangle (R)", 'r'},
    {ToolKind::Ellipse, "ellipse", "draw-ellipse", "Ellipse (O)", 'o'},
    {ToolKind::Pen, "pen", "draw-freehand", "Pen (P)", 'p'},
    {ToolKind::Highlight, "highlight", "draw-highlight", "Highlight (H)", 'h'},
    {ToolKind::Text, "text", "draw-text", "Text (T)", 't'},
    {ToolKind::Step, "step", "draw-number", "Numbered Step (S)", 's'},
    {ToolKind::Blur, "blur", "blurfx", "Blur / Redact (B)", 'b'},
    {ToolKind::Crop, "crop", "transform-crop", "Crop (C)", 'c'},
}};

const ToolRow &row(ToolKind kind)
{
    return rows[size_t(kind)];
}

} // namespace

const QList<ToolKind> &allToolKinds()
{
    static const QList<ToolKind> all = [] {
        QList<ToolKind> out;
        for (const ToolRow &r : rows)
            out.append(r.kind);
        return out;
    }();
    return all;
}

QString toolKindName(ToolKind kind)
{
    return QString::fromLatin1(row(kind).raw);
}

std::optional<ToolKind> toolKindFromName(const QString &raw)
{
    for (const ToolRow &r : rows)
        if (raw == QLatin1String(r.raw))
            return r.kind;
    return std::nullopt;
}

QString symbolName(ToolKind kind)
{
    return QString::fromLatin1(row(kind).symbol);
}

QString tooltip(ToolKind kind)
{
    return QString::fromLatin1(row(kind).tip);
}

QChar keyLetter(ToolKind kind)
{
    return QChar::fromLatin1(row(kind).key);
}

QString iconPath(ToolKind kind)
{
    return QStringLiteral(":/icons/%1.svg").arg(symbolName(kind));
}

} // namespace vistrel
