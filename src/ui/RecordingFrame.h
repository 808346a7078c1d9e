#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace vistrel {

// The thin frame that shows what is being recorded: strips just outside the area (global
// points), each a small window of its own, so nothing of it ever lies over a recorded pixel.
// The strips let clicks through and never take the keyboard.
class RecordingFrame : public QObject
{
    Q_OBJECT
public:
    explicit RecordingFrame(const QList<QRect> &strips, QObject *parent = nullptr);
    ~RecordingFrame() override;

    void show();
    void hide();
    void setPaused(bool paused);
    QList<QWidget *> windows() const;

private:
    QList<QPointer<QWidget>> m_strips;
};

} // namespace vistrel
