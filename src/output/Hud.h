#pragma once

#include <QPointer>
#include <QWidget>

namespace vistrel {

// A short, translucent message near the bottom of the main screen. One at a time; it never
// takes focus or clicks.
class Toast : public QWidget
{
    Q_OBJECT
public:
    explicit Toast(const QString &text);
    QString text() const { return m_text; }

    static constexpr int fadeInMs = 150;
    static constexpr int holdMs = 1400; // from show until the fade-out starts
    static constexpr int fadeOutMs = 350;

    // Panel geometry for a text of the given size on a visible frame (top-down coordinates).
    static QRect placement(const QSize &textSize, const QRect &visibleFrame);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_text;
};

class Hud
{
public:
    static void show(const QString &text);
    static Toast *current();
};

} // namespace vistrel
