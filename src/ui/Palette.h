#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFrame>
#include <QList>
#include <QPointer>
#include <QWidget>

class QPushButton;

namespace vistrel {

// The fixed annotation colours; the second is the colour new marks start with
// (`Annotation::defaultColor`).
class Palette
{
public:
    static const QList<QColor> &colors();
    // Close when red, green and blue each differ by less than 0.02 in sRGB; alpha is ignored.
    static bool isApprox(const QColor &a, const QColor &b);
};

// The grid of swatches shown by the colour button; the swatch close to `selected` is marked.
class PaletteGridView : public QWidget
{
    Q_OBJECT
public:
    explicit PaletteGridView(const QColor &selected, QWidget *parent = nullptr);

    static QSize gridSize(int colorCount);
    QList<QPushButton *> swatches() const { return m_swatches; }
    // Which swatch is marked as the current colour, or -1.
    int markedIndex() const { return m_marked; }

signals:
    void picked(const QColor &color);

private:
    void pick(int index);

    QList<QPushButton *> m_swatches;
    int m_marked = -1;
};

// The colour well: a swatch that opens the palette grid in a transient pop-up.
class PaletteColorButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit PaletteColorButton(const QColor &color, QWidget *parent = nullptr);
    ~PaletteColorButton() override;

    QColor selectedColor() const { return m_selectedColor; }
    // The pop-up while it is open, else null.
    QWidget *popover() const;
    PaletteGridView *grid() const;
    void togglePopover();

    QSize sizeHint() const override { return QSize(34, 30); }

signals:
    // A swatch was chosen; the pop-up closes after.
    void picked(const QColor &color);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor m_selectedColor;
    QPointer<QFrame> m_popover;
};

} // namespace vistrel
