#include "ui/Palette.h"

#include "model/Annotation.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace vistrel {

const QList<QColor> &Palette::colors()
{
    static const QList<QColor> all{
        QColor(31, 41, 55),   Annotation::defaultColor(), QColor(249, 115, 22),
        QColor(245, 158, 11), QColor(34, 197, 94),        QColor(20, 184, 166),
        QColor(59, 130, 246), QColor(99, 102, 241),       QColor(139, 92, 246),
        QColor(236, 72, 153), QColor(255, 255, 255),      QColor(15, 23, 42),
    };
    return all;
}

bool Palette::isApprox(const QColor &a, const QColor &b)
{
    if (!a.isValid() || !b.isValid())
        return false;
    const QColor x = a.toRgb();
    const QColor y = b.toRgb();
    return std::abs(x.redF() - y.redF()) < 0.02 && std::abs(x.greenF() - y.greenF()) < 0.02 &&
           std::abs(x.blueF() - y.blueF()) < 0.02;
}

// --- grid --------------------------------------------------------------------------------------

namespace {
constexpr int columns = 6;
constexpr int swatch = 30;
constexpr int pitch = 38;
constexpr int inset = 12;
} // namespace

QSize PaletteGridView::gridSize(int count)
{
    const int rows = (count + columns - 1) / columns;
    return QSize(244, rows * swatch + (rows - 1) * 8 + 24);
}

PaletteGridView::PaletteGridView(const QColor &selected, QWidget *parent) : QWidget(parent)
{
    const QList<QColor> &all = Palette::colors();
    setFixedSize(gridSize(int(all.size())));
    const QColor accent = palette().color(QPalette::Highlight);
    for (int i = 0; i < all.size(); ++i) {
        auto *b = new QPushButton(this);
        b->setFlat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(inset + (i % columns) * pitch, inset + (i / columns) * pitch, swatch,
                       swatch);
        b->setToolTip(all[i].name(QColor::HexRgb).toUpper());
        const bool marked = m_marked < 0 && Palette::isApprox(all[i], selected);
        if (marked)
            m_marked = i;
        b->setStyleSheet(
            QStringLiteral("QPushButton { background: %1; border-radius: 7px; "
                           "border: %2px solid %3; }")
                .arg(all[i].name(), marked ? QStringLiteral("3") : QStringLiteral("1"),
                     marked ? accent.name() : QStringLiteral("rgba(153,153,153,0.4)")));
        connect(b, &QPushButton::clicked, this, [this, i] { pick(i); });
        m_swatches.append(b);
    }
}

void PaletteGridView::pick(int index)
{
    if (index >= 0 && index < Palette::colors().size())
        emit picked(Palette::colors()[index]);
}

// --- colour button -----------------------------------------------------------------------------

namespace {

// A transient pop-up: a click anywhere else closes it. A click on the button that opened it
// only closes it, rather than closing and reopening at once.
class Popover : public QFrame
{
public:
    Popover(QWidget *owner) : QFrame(nullptr, Qt::Popup), m_owner(owner)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setFrameShape(QFrame::StyledPanel);
    }

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        if (!rect().contains(e->position().toPoint()) && m_owner &&
            m_owner->rect().contains(m_owner->mapFromGlobal(e->globalPosition().toPoint())))
            setAttribute(Qt::WA_NoMouseReplay);
        QFrame::mousePressEvent(e);
    }

private:
    QPointer<QWidget> m_owner;
};

} // namespace

PaletteColorButton::PaletteColorButton(const QColor &color, QWidget *parent)
    : QAbstractButton(parent), m_selectedColor(color)
{
    setFocusPolicy(Qt::NoFocus);
    setToolTip(tr("Colour"));
    connect(this, &QAbstractButton::clicked, this, &PaletteColorButton::togglePopover);
}

PaletteColorButton::~PaletteColorButton()
{
    delete m_popover.data();
}

QWidget *PaletteColorButton::popover() const
{
    return m_popover && m_popover->isVisible() ? m_popover.data() : nullptr;
}

PaletteGridView *PaletteColorButton::grid() const
{
    return m_popover ? m_popover->findChild<PaletteGridView *>() : nullptr;
}

void PaletteColorButton::togglePopover()
{
    if (m_popover && m_popover->isVisible()) {
        m_popover->close();
        return;
    }
    delete m_popover.data();
    auto *pop = new Popover(this);
    auto *layout = new QVBoxLayout(pop);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *grid = new PaletteGridView(m_selectedColor, pop);
    layout->addWidget(grid);
    connect(grid, &PaletteGridView::picked, this, [this](const QColor &c) {
        QPointer<PaletteColorButton> self(this);
        m_selectedColor = c;
        update();
        emit picked(c);
        if (self && m_popover)
            m_popover->close();
    });
    pop->adjustSize();
    m_popover = pop;
    // Under the button, as the toolbar runs along the top of the window.
    pop->move(mapToGlobal(QPoint(width() / 2 - pop->width() / 2, height() + 4)));
    pop->show();
}

void PaletteColorButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(3, 3, -3, -3);
    QPainterPath path;
    path.addRoundedRect(r, 6, 6);
    p.fillPath(path, m_selectedColor);
    p.setPen(QPen(QColor::fromRgbF(0.5, 0.5, 0.5, 0.5), 1));
    p.drawPath(path);
}

} // namespace vistrel
