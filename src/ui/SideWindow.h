#pragma once

#include <QList>
#include <QSizeF>
#include <QWidget>

class QPushButton;

namespace vistrel {

// Content size of a side window (beautify, compare): the picture fits within 70 % of the
// width and 75 % of the height of the visible frame, never enlarged, never narrower than
// `minWidth`; the control bar's `barHeight` is added below.
QSizeF sideWindowContentSize(const QSizeF &picture, const QSizeF &visible, double barHeight,
                             double minWidth);

// The main screen's visible frame, or 1400 × 900 when there is none.
QRect sideWindowVisibleFrame();

// A side window whose owner goes away stays until the user closes it; one already closed goes
// at once. Takes `controller`, whose window is `window`.
void keepUntilClosed(QObject *controller, QWidget *window);

// Escape and Ctrl+W (and the desktop's own Close keys) close `window`, wherever its focus is.
void addCloseKeys(QWidget *window);

// The control bar along the bottom of a side window: controls placed from the left at fixed
// spots, and buttons kept at their distance from the right edge as the window resizes.
class ControlBar : public QWidget
{
    Q_OBJECT
public:
    ControlBar(int height, QWidget *parent);
    // Buttons from the right edge leftwards, the first ending 12 from the edge, 6 apart.
    QPushButton *addRightButton(const QString &title, int width, int y, int height);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeRight();
    QList<std::pair<QPushButton *, int>> m_right;
};

} // namespace vistrel
