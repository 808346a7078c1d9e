#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vistrel {

// The small panel beside a recording: the time recorded so far, Pause/Resume and Stop. It is
// placed outside the recorded area, never takes the keyboard from the window being recorded,
// and stays above other windows.
class RecordingControl : public QWidget
{
    Q_OBJECT
public:
    explicit RecordingControl(QWidget *parent = nullptr);

    void setElapsedText(const QString &text);
    void setPaused(bool paused);
    QString elapsedText() const;
    QPushButton *pauseButton() const { return m_pause; }
    QPushButton *stopButton() const { return m_stop; }

signals:
    void pauseToggled();
    void stopRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_elapsed;
    QPushButton *m_pause;
    QPushButton *m_stop;
};

} // namespace vistrel
