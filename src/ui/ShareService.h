#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace vistrel {

struct Platform;

// Uploads one finished picture to the share endpoint and puts the returned link on the
// clipboard. Stateless: every upload has its own request, boundary and connection.
class ShareService
{
public:
    using Done = std::function<void(const std::optional<QString> &link)>;

    // Starts the upload and returns at once. Every outcome is shown as a toast of the
    // platform's, the link put on its clipboard; `done` then runs on the GUI thread with the
    // link, or nothing on failure, unless `context` is gone. The upload itself carries on when
    // `context` goes away.
    static void share(const QImage &image, const Platform &platform, QObject *context = nullptr,
                      Done done = {});

    // VISTREL_UPLOAD_TOKEN exactly as given, else ~/.vistrel/share-token trimmed.
    static std::optional<QString> token();
    // VISTREL_UPLOAD_URL, else ~/.vistrel/share-url; nothing unless it is a safe endpoint.
    static std::optional<QUrl> endpoint();

    // "vl-" and a fresh upper-case UUID.
    static QByteArray newBoundary();
    // The multipart form holding the PNG as the one "file" part.
    static QByteArray body(const QByteArray &png, const QByteArray &boundary);

    // Without a byte either way for this long the upload fails; and it never runs longer than
    // the deadline, however slowly the server answers. A click on its toast cancels it.
    static constexpr int timeoutMs = 60000;
    static inline int deadlineMs = 180000; // tests shorten it
};

} // namespace vistrel
