#pragma once

#include "model/SelectionModel.h"

#include <QImage>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <optional>

namespace vistrel {

class SelectionToolbar;

// One screen of the overlay: a frameless window above everything that shows the frozen
// picture of its display, dimmed, and turns mouse and keys into the selection model's events.
class SelectionView : public QWidget
{
    Q_OBJECT
public:
    enum class Purpose { Select, PickColor };

    SelectionView(SelectionModel::Setup setup, const QImage &displayImage, double scale,
                  Purpose purpose = Purpose::Select);
    ~SelectionView() override;

    // Makes a kept window ready for another capture, as if it were new.
    void reset(SelectionModel::Setup setup, const QImage &displayImage, double scale,
               Purpose purpose = Purpose::Select);
    // Lets go of what the capture brought (its picture, toolbar and receivers), so a hidden
    // window holds no frozen picture and tells the next capture's controller only.
    void release();

    SelectionModel &model() { return m_model; }
    SelectionToolbar *toolbar() const { return m_toolbar; }
    bool hasToolbar() const { return m_toolbar != nullptr; }

    // Takes the pointer's position before the first move, so the first frame shows it.
    void seedPointer(QPoint globalPosition);
    void toolbarAction(int tag);
    void cancelAction();
    // Hex code of the frozen pixel under the pointer, "#------" without one.
    QString hexAtCursor(int ix, int iyTop) const;

    // The parts of the widget that the current state paints beyond the plain dimmed picture.
    QRegion decoratedRegion() const;

    static QString hintText(bool windowPicking,
                            std::optional<SelectionAction> immediateAction = {});
    // Opens the overlay's font faces and shapes its characters once, off the hot key's path:
    // the first overlay would otherwise load them while the user waits for it.
    static void loadFonts();
    // Paints a first frame once, of a stand-in picture and into a picture of its own, so that
    // what a first frame needs beyond the fonts is loaded too; the window is left untouched.
    void paintOnce();

signals:
    // Each capture hears at most one of `completed` and `colorPicked`.
    void completed(std::optional<SelectionOutcome> outcome);
    void colorPicked(std::optional<QColor> colour);
    // Keys that concern the whole overlay (Escape, Return), for the controller.
    void keyPressed(int key);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void react(const SelectionModel::Reaction &r);
    void refresh();
    void showToolbar();
    void positionToolbar();
    void applyCursor(SelectionModel::Cursor c);
    bool overToolbar(QPointF widgetPoint) const;

    void drawHint(QPainter &p);
    void drawWindowHoverHighlight(QPainter &p);
    void drawLoupe(QPainter &p);
    void drawDimensions(QPainter &p, const QRectF &r);
    void drawHandles(QPainter &p, const QRectF &r);
    QRectF hintRect() const;
    QRectF hintPill() const;
    QRectF toolbarViewRect() const;
    QRectF dimensionBadgeRect(const QRectF &hole) const;
    QRectF loupeBadgeRect(const QRectF &box) const;
    QString loupeText() const;
    bool loupeShown() const;

    SelectionModel m_model;
    Purpose m_purpose = Purpose::Select;
    QImage m_picture; // device pixels, row 0 on top
    double m_scale = 1.0;
    QColor m_accent;
    SelectionToolbar *m_toolbar = nullptr;
    QRegion m_lastDecorated;
    bool m_reported = false;
};

} // namespace vistrel
