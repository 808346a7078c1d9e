#pragma once

#include "platform/Desktop.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace vistrel {

// A short, translucent message near the bottom of the main screen. One at a time; it never
// takes focus or clicks.
class Toast : public QWidget
{
    Q_OBJECT
public:
    // Without `onClick` the toast lets clicks through; with it, a click runs it.
    explicit Toast(const QString &text, std::function<void()> onClick = {});
    QString text() const { return m_text; }
    bool clickable() const { return bool(m_onClick); }

    static constexpr int fadeInMs = 150;
    static constexpr int holdMs = 1400; // from show until the fade-out starts
    static constexpr int fadeOutMs = 350;

    // Panel geometry for a text of the given size on a visible frame (top-down coordinates);
    // never wider than the frame, so a long text is elided rather than run off the screen.
    static QRect placement(const QSize &textSize, const QRect &visibleFrame);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_text;
    std::function<void()> m_onClick;
};

// Shows the app's toasts: one on screen at a time, a new one replacing it at once. A toast
// still up when its host goes is closed with it.
class ToastHost : public QObject, public Toasts
{
public:
    ToastHost() = default;
    ~ToastHost() override;

    // Fades in, stays `Toast::holdMs`, fades out.
    void show(const QString &text) override;
    void showUntilReplaced(const QString &text, std::function<void()> onClick) override;
    void dismiss() override { replaceCurrent(nullptr); }
    // The toast on screen now, if any.
    Toast *current() const { return m_current; }

private:
    Toast *replaceCurrent(Toast *toast);

    QPointer<Toast> m_current;
};

} // namespace vistrel
