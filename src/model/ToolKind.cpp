#include "model/ToolKind.h"

#include "model/MarkRules.h"

#include <QCoreApplication>

namespace vistrel {

QString toolKindName(ToolKind kind)
{
    return QString::fromLatin1(MarkRules::of(kind).name);
}

std::optional<ToolKind> toolKindFromName(const QString &raw)
{
    for (ToolKind kind : allToolKinds())
        if (raw == QLatin1String(MarkRules::of(kind).name))
            return kind;
    return std::nullopt;
}

QString symbolName(ToolKind kind)
{
    return QString::fromLatin1(MarkRules::of(kind).icon);
}

QString tooltip(ToolKind kind)
{
    return QCoreApplication::translate("ToolKind", MarkRules::of(kind).tip);
}

QChar keyLetter(ToolKind kind)
{
    const char key = MarkRules::of(kind).key;
    return key ? QChar::fromLatin1(key) : QChar();
}

QString iconPath(ToolKind kind)
{
    return QStringLiteral(":/icons/%1.svg").arg(symbolName(kind));
}

} // namespace vistrel
