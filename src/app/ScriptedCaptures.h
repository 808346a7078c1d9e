#pragma once

#include "platform/Desktop.h"

#include <QObject>

#include <functional>

namespace vistrel {

class CaptureFlow;

// Captures for scripts: no toolbar, no editor. The area is taken when its drag ends, a window
// when it is clicked; the picture goes to the file (type by extension), to the caller as PNG
// ("-"), and/or to the clipboard. `done` gets why no picture was taken (empty when one was)
// and, for "-", its PNG. When `caller` goes (the script was killed or hung up), the overlay it
// waits on closes: nobody would get the picture. Only a regular file is replaced; anything else
// by that name is refused.
class ScriptedCaptures : public QObject
{
    Q_OBJECT
public:
    ScriptedCaptures(const Platform &platform, CaptureFlow &flow, QObject *parent = nullptr);

    struct Request
    {
        enum class Source { Area, Full, Window } source = Source::Full;
        QString output;
        bool clipboard = false;
    };
    using Done = std::function<void(const QString &why, const QByteArray &png)>;
    void capture(const Request &request, Done done, QObject *caller = nullptr);

private:
    // The picture to where the script asked, or why there is none.
    void finish(const Request &request, const Done &done, const Result<QImage> &picture);

    Platform m_platform;
    CaptureFlow &m_flow;
    const QObject *m_caller = nullptr; // only compared: it may be gone
};

} // namespace vistrel
