#include "engines/NameSanitizer.h"

#include <QStringList>

namespace vistrel {

namespace {

constexpr qsizetype maxSlugLength = 48;
constexpr qsizetype minSlugLength = 3;

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QStringView trimSpacesAndTabs(QStringView text)
{
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (!text.isEmpty() && blank(text.front()))
        text = text.mid(1);
    while (!text.isEmpty() && blank(text.back()))
        text.chop(1);
    return text;
}

// Tools often say something first ("Sure!"); the answer is the last line with text.
QString lastLine(const QString &output)
{
    qsizetype end = output.size();
    while (end > 0) {
        qsizetype start = end;
        while (start > 0 && !isLineBreak(output[start - 1]))
            --start;
        const QStringView piece = trimSpacesAndTabs(QStringView(output).mid(start, end - start));
        if (!piece.isEmpty())
            return piece.toString();
        end = start - 1;
    }
    return output;
}

} // namespace

std::optional<QString> sanitizeName(const std::optional<QString> &output)
{
    if (!output)
        return std::nullopt;
    const QString lower = lastLine(*output).toLower();

    // Every run of characters outside a-z and 0-9 becomes one hyphen.
    QString slug;
    slug.reserve(qMin(lower.size(), maxSlugLength * 2));
    for (const QChar c : lower) {
        const bool keep = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (keep)
            slug.append(c);
        else if (!slug.endsWith(QLatin1Char('-')))
            slug.append(QLatin1Char('-'));
    }
    while (slug.startsWith(QLatin1Char('-')))
        slug.remove(0, 1);
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    slug.truncate(maxSlugLength);

    if (slug.size() < minSlugLength || slug.contains(QLatin1String("credit")) ||
        slug.contains(QLatin1String("error")))
        return std::nullopt;
    return slug;
}

} // namespace vistrel
