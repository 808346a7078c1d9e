#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <atomic>
#include <utility>

namespace vistrel {

// One HTTP(S) POST, blocking, for a worker thread. Unlike the toolkit's network access it reads
// the answer itself, so nothing past `maxReplyBytes` is ever read: the connection is closed
// there, whatever the server goes on sending.
struct UploadRequest
{
    QUrl url; // http or https
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int idleTimeoutMs = 60000; // without a byte either way
    int deadlineMs = 180000;   // the whole exchange
    qint64 maxReplyBytes = 1 << 20;
};

struct UploadReply
{
    enum class Error { None, Offline, TimedOut, Cancelled, TooLarge, BadReply };
    Error error = Error::None;
    // What went wrong with the connection, for the user (Offline): refused, closed by the
    // server, a name not found…; empty when the network simply could not be reached.
    QString why;
    int status = 0;
    QByteArray body;
};

// `cancel` is looked at several times a second; set it to end the exchange at once.
UploadReply postOnce(const UploadRequest &request, const std::atomic<bool> &cancel);

} // namespace vistrel
