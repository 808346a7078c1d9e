#pragma once

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

class Hud
{
public:
    static void show(const QString &text);
    // A toast that stays until the next one replaces it (work in progress); a click on it
    // runs `onClick`, which is how such work is cancelled.
    static void showUntilReplaced(const QString &text, std::function<void()> onClick);
    static Toast *current();
};

} // namespace vistrel
