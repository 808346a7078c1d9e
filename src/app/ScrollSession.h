#pragma once

#include "model/Annotation.h"
#include "platform/Desktop.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace vistrel {

class CaptureFlow;
class PreviewCardController;
class EditorSessions;
class ScrollCaptureController;

// A scrolling capture: its area chosen on the overlay, the picture grown while the page
// scrolls, and the preview card it opens in. One runs at a time; a second asks first.
class ScrollSession : public QObject
{
    Q_OBJECT
public:
    ScrollSession(const Platform &platform, CaptureFlow &flow, EditorSessions &sessions,
                  QObject *parent = nullptr);
    ~ScrollSession() override;

    void startScrollCapture();
    // A scrolling capture of `rect` (display points, origin top-left); its picture opens in
    // a preview card.
    void startScrollSession(const QRectF &rect, const DisplayInfo &display);
    PreviewCardController *openPreviewCard(const QImage &image);
    ScrollCaptureController *scrollController() const;
    const QList<PreviewCardController *> &previews() const { return m_previews; }

private:
    // A second scrolling capture while one runs: keep it, finish it or discard it first.
    void askToReplaceScrollCapture();

    Platform m_platform;
    CaptureFlow &m_flow;
    EditorSessions &m_sessions;
    QPointer<ScrollCaptureController> m_scrollController;
    QList<PreviewCardController *> m_previews;
    bool m_askingToReplaceScroll = false;
};

} // namespace vistrel
