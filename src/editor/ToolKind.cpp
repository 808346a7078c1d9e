#include "editor/ToolKind.h"

#include <QCoreApplication>

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
    {ToolKind::Select, "select", "cursorarrow", QT_TRANSLATE_NOOP("ToolKind", "Select / Move (V)"), 'v'},
    {ToolKind::Arrow, "arrow", "arrow.up.right", QT_TRANSLATE_NOOP("ToolKind", "Arrow (A)"), 'a'},
    {ToolKind::Line, "line", "line.diagonal", QT_TRANSLATE_NOOP("ToolKind", "Line (L)"), 'l'},
    {ToolKind::Rect, "rect", "rectangle", QT_TRANSLATE_NOOP("ToolKind", "Rectangle (R)"), 'r'},
    {ToolKind::Ellipse, "ellipse", "circle", QT_TRANSLATE_NOOP("ToolKind", "Ellipse (O)"), 'o'},
    {ToolKind::Pen, "pen", "pencil.tip", QT_TRANSLATE_NOOP("ToolKind", "Pen (P)"), 'p'},
    {ToolKind::Highlight, "highlight", "highlighter", QT_TRANSLATE_NOOP("ToolKind", "Highlight (H)"), 'h'},
    {ToolKind::Text, "text", "textformat", QT_TRANSLATE_NOOP("ToolKind", "Text (T)"), 't'},
    {ToolKind::Step, "step", "1.circle.fill", QT_TRANSLATE_NOOP("ToolKind", "Numbered Step (S)"), 's'},
    {ToolKind::Blur, "blur", "mosaic", QT_TRANSLATE_NOOP("ToolKind", "Blur / Redact (B)"), 'b'},
    {ToolKind::Crop, "crop", "crop", QT_TRANSLATE_NOOP("ToolKind", "Crop (C)"), 'c'},
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

QString rawValue(ToolKind kind)
{
    return QString::fromLatin1(row(kind).raw);
}

std::optional<ToolKind> toolKindFromRawValue(const QString &raw)
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
    return QCoreApplication::translate("ToolKind", row(kind).tip);
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
