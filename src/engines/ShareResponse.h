#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace vistrel {

// What the share endpoint's answer means. Kept free of networking and widgets so it can be
// tested and fuzzed on its own.
namespace ShareResponse {

// Replies larger than this are not read to the end; no link needs more.
inline constexpr qint64 maxBodyBytes = 1024 * 1024;

// The link in a reply: status exactly 200, a JSON object with a string "url" that is a
// safe link. Anything else is no link.
std::optional<QString> parse(int httpStatus, const QByteArray &body);

// A link we are willing to put on the clipboard and in a toast: http or https with a host and
// no user information before it, and no control, format or line-separator characters that could
// hide or reorder text.
bool isSafeLink(const QString &link);

// Where uploads may go: https anywhere, plain http only to this machine (the token would
// otherwise cross the network in the clear). The path must end in "/api/upload".
bool isAcceptableEndpoint(const QUrl &url);

} // namespace ShareResponse

} // namespace vistrel
