#pragma once

#include "engines/Compare.h"
#include "platform/Desktop.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vistrel {

// The two pictures on screen with the divider; a press or drag moves the divider.
class CompareView : public QWidget
{
    Q_OBJECT
public:
    CompareView(const QImage &before, const QImage &after, QWidget *parent = nullptr);

    BeforeAfter &model() { return m_model; }
    const BeforeAfter &model() const { return m_model; }
    bool dragging() const { return m_dragging; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    BeforeAfter m_model;
    bool m_dragging = false;
};

class CompareWindowController : public QObject
{
    Q_OBJECT
public:
    // Copy, Save and the GIF go to the platform's clipboard and save chooser.
    CompareWindowController(const QImage &before, const QImage &after, const Platform &platform,
                            QObject *parent = nullptr);
    ~CompareWindowController() override;

    QWidget *window() const { return m_window; }
    CompareView *view() const { return m_view; }
    void showWindow();

    void copyImg();
    void save();
    void exportGIF();

    static QString title() { return tr("Vistrel — Compare"); }
    static constexpr double barH = 48;

signals:
    // After an export: whether the GIF was written.
    void gifExported(bool ok);

private:
    Platform m_platform;
    QPointer<QWidget> m_window;
    CompareView *m_view = nullptr;
};

} // namespace vistrel
