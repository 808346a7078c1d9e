#pragma once

#include "engines/Beautify.h"
#include "platform/Desktop.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QScrollArea;
class QSlider;

namespace vistrel {

// Shows the beautified picture at a magnification; one view unit per output pixel at 1.
class BeautifyView : public QWidget
{
    Q_OBJECT
public:
    explicit BeautifyView(const QImage &image, QWidget *parent = nullptr);

    Beautifier &beautifier() { return m_beautifier; }
    const Beautifier &beautifier() const { return m_beautifier; }
    qreal magnification() const { return m_magnification; }
    void setMagnification(qreal m);
    // Call after changing the picture's settings: resizes to the new output and repaints.
    void changed();

    QImage render() const { return m_beautifier.render(); }

    static constexpr qreal minMagnification = 0.1;
    static constexpr qreal maxMagnification = 4.0;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Beautifier m_beautifier;
    qreal m_magnification = 1.0;
    QImage m_cache;  // the picture at the view's size, made on the first paint after a change
    QImage m_scaled; // the screenshot reduced to the card's size on screen
};

class BeautifyWindowController : public QObject
{
    Q_OBJECT
public:
    // Copy and Save go to the platform's clipboard and save chooser.
    BeautifyWindowController(const QImage &image, const Platform &platform,
                             QObject *parent = nullptr);
    ~BeautifyWindowController() override;

    QWidget *window() const { return m_window; }
    BeautifyView *view() const { return m_view; }
    QList<QAbstractButton *> swatches() const { return m_swatches; }
    QSlider *paddingSlider() const { return m_padSlider; }
    QSlider *radiusSlider() const { return m_radSlider; }
    int selectedPreset() const { return m_selected; }
    void showWindow();

    void pickPreset(int index);
    void padChanged(int value);
    void radChanged(int value);
    void copyImg();
    void save();

    static QString title() { return tr("Vistrel — Beautify"); }
    static constexpr double barH = 54;

private:
    void styleSwatches();

    Platform m_platform;
    QPointer<QWidget> m_window;
    QScrollArea *m_scroll = nullptr;
    BeautifyView *m_view = nullptr;
    QList<QAbstractButton *> m_swatches;
    QSlider *m_padSlider = nullptr;
    QSlider *m_radSlider = nullptr;
    int m_selected = 0;
};

} // namespace vistrel
