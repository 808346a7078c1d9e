// Feeds arbitrary bytes to the share reply parser as a 200 reply's body, and as a link and
// an endpoint. A link that comes out must be one we would put on the clipboard.
#include "engines/ShareResponse.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

using namespace vistrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto link = ShareResponse::parse(200, bytes)) {
        if (!ShareResponse::isSafeLink(*link))
            std::abort();
        for (const QChar c : *link) {
            if (c.category() == QChar::Other_Control || c == QChar::LineSeparator)
                std::abort();
        }
        if (!link->startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
            !link->startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            std::abort();
    }
    if (ShareResponse::parse(201, bytes))
        std::abort();

    const QString text = QString::fromUtf8(bytes);
    ShareResponse::isSafeLink(text);
    const QUrl url(text, QUrl::StrictMode);
    if (ShareResponse::isAcceptableEndpoint(url) && url.scheme() != QLatin1String("https") &&
        url.scheme() != QLatin1String("http"))
        std::abort();
    return 0;
}
