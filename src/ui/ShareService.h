#pragma once

#include "engines/ShareSettings.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace vistrel {

struct Platform;

// Without a byte either way for `ShareService::timeoutMs` an upload fails; and it never runs
// longer than `deadlineMs`, however slowly the server answers. A click on its toast cancels it.
// A keyring slower than `ShareService::keyringNoticeMs` is waited for with a toast a click
// cancels, and given up on after `keyringWaitMs` (time enough to type a password into its
// prompt).
struct ShareWaits
{
    int deadlineMs = 180000;
    int keyringWaitMs = 45000;
};

// Uploads one finished picture (or a recording's file) to the share endpoint and puts the
// returned link on the clipboard. Stateless: every upload has its own request, boundary and
// connection.
class ShareService
{
public:
    using Done = std::function<void(const std::optional<QString> &link)>;

    // Starts the upload to the address and with the token `settings` give, and returns at
    // once. Every outcome is shown as a toast of the platform's, the link put on its clipboard;
    // `done` then runs on the GUI thread with the link, or nothing on failure, unless `context`
    // is gone. The upload itself carries on when `context` goes away. When sharing is not set
    // up, or set up with an address it cannot use, `setUp` runs after the toast saying so.
    static void share(const QImage &image, const Platform &platform, const ShareSettings &settings,
                      QObject *context = nullptr, Done done = {}, std::function<void()> setUp = {},
                      ShareWaits waits = {});
    // The same for a file (a recording), sent as `mimeType` and read off the GUI thread; one
    // that cannot be read, or is larger than `maxFileBytes`, fails with the reason in the toast.
    static void shareFile(const QString &path, const QString &mimeType, const Platform &platform,
                          const ShareSettings &settings, QObject *context = nullptr, Done done = {},
                          std::function<void()> setUp = {}, ShareWaits waits = {});
    static constexpr qint64 maxFileBytes = 500ll * 1000 * 1000;

    // "vl-" and a fresh upper-case UUID.
    static QByteArray newBoundary();
    // The multipart form holding the PNG as the one "file" part.
    static QByteArray body(const QByteArray &png, const QByteArray &boundary);
    // The same with any file's bytes, under its name and MIME type.
    static QByteArray body(const QByteArray &bytes, const QByteArray &boundary,
                           const QByteArray &fileName, const QByteArray &mimeType);

    static constexpr int timeoutMs = 60000;
    static constexpr int keyringNoticeMs = 1000;
};

} // namespace vistrel
