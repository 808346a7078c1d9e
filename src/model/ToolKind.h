#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

namespace vistrel {

// The closed list of annotation tools, in the editor palette's order; each has its row in
// MarkRules. Redaction boxes are drawn with the Redact tool or placed by the editor's Redact
// Secrets action.
enum class ToolKind {
    Select,
    Arrow,
    Line,
    Rect,
    Ellipse,
    Pen,
    Highlight,
    Text,
    Step,
    Blur,
    Redact,
    Crop,
    Count // not a tool: how many there are
};

// Every tool, in the palette's order.
const QList<ToolKind> &allToolKinds();
// The tools the preview card offers, in its order.
const QList<ToolKind> &previewCardToolKinds();
QString toolKindName(ToolKind kind);
std::optional<ToolKind> toolKindFromName(const QString &raw);
// The tool's freedesktop icon name; the bundled picture is iconPath().
QString symbolName(ToolKind kind);
QString tooltip(ToolKind kind);
// The lower-case letter that selects the tool on the canvas.
QChar keyLetter(ToolKind kind);
QString iconPath(ToolKind kind);

inline size_t qHash(ToolKind kind, size_t seed = 0)
{
    return ::qHash(toolKindName(kind), seed);
}

} // namespace vistrel
