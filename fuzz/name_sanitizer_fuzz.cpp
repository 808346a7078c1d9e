// Feeds arbitrary text (as UTF-8 and as raw UTF-16) to the file-name sanitiser. Whatever
// comes out must be a safe slug: 3 to 48 characters of a-z, 0-9 and inner hyphens.
#include "engines/NameSanitizer.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace vistrel;

namespace {

void check(const QString &output)
{
    const std::optional<QString> slug = sanitizeName(output);
    if (!slug)
        return;
    if (slug->size() < 3 || slug->size() > 48 || slug->startsWith(QLatin1Char('-')) ||
        slug->contains(QLatin1String("credit")) || slug->contains(QLatin1String("error")) ||
        slug->contains(QLatin1String("--")))
        std::abort();
    for (const QChar c : *slug) {
        const bool allowed = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                             (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                             c == QLatin1Char('-');
        if (!allowed)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    check(QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2)));
    return 0;
}
