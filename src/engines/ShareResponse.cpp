#include "engines/ShareResponse.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace vistrel::ShareResponse {

std::optional<QString> parse(int httpStatus, const QByteArray &body)
{
    if (httpStatus != 200 || body.size() > maxBodyBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue url = document.object().value(QLatin1String("url"));
    if (!url.isString())
        return std::nullopt;
    const QString link = url.toString();
    if (!isSafeLink(link))
        return std::nullopt;
    return link;
}

bool isSafeLink(const QString &link)
{
    if (link.isEmpty())
        return false;
    for (const QChar c : link) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return false;
        default:
            break;
        }
    }
    // Surrogates must come in pairs; a lone half is not text.
    if (!QStringView(link).isValidUtf16())
        return false;
    const QUrl url(link, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    // User information before the host ("https://bank.example@evil.test/") makes a link
    // read as another site's: no sharing service needs it.
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty() && url.userInfo().isEmpty();
}

bool isAcceptableEndpoint(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty() ||
        !url.path().endsWith(QLatin1String("/api/upload")))
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace vistrel::ShareResponse
