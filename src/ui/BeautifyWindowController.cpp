#include "ui/BeautifyWindowController.h"

#include "engines/ClipboardTools.h"
#include "ui/ImageExport.h"
#include "ui/SideWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

namespace vistrel {

BeautifyView::BeautifyView(const QImage &image, QWidget *parent)
    : QWidget(parent), m_beautifier(image)
{
    changed();
}

void BeautifyView::setMagnification(qreal m)
{
    m_magnification = std::clamp(m, minMagnification, maxMagnification);
    changed();
}

void BeautifyView::changed()
{
    const QSizeF total = m_beautifier.totalSize() * m_magnification;
    setFixedSize(std::max(1, int(std::lround(total.width()))),
                 std::max(1, int(std::lround(total.height()))));
    m_cache = QImage();
    update();
}

void BeautifyView::paintEvent(QPaintEvent *event)
{
    if (m_cache.isNull() || m_cache.deviceIndependentSize().toSize() != size()) {
        m_cache = QImage(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        m_cache.setDevicePixelRatio(devicePixelRatioF());
        QPainter c(&m_cache);
        const double k = width() / m_beautifier.totalSize().width();
        // Reduced once per size: a texture brush alone would alias text at small scales.
        const QSize card =
            (m_beautifier.cardSize(QSizeF(size()), k) * devicePixelRatioF()).toSize();
        if (card.width() < m_beautifier.image().width() && !card.isEmpty() &&
            m_scaled.size() != card)
            m_scaled =
                m_beautifier.image().scaled(card, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const bool reduce = card.width() < m_beautifier.image().width();
        m_beautifier.paint(c, QSizeF(size()), k, reduce ? m_scaled : QImage());
    }
    QPainter p(this);
    p.drawImage(event->rect(), m_cache,
                QRectF(QPointF(event->rect().topLeft()) * devicePixelRatioF(),
                       QSizeF(event->rect().size()) * devicePixelRatioF()));
}

namespace {

// Ctrl + wheel magnifies the picture, like the editor.
class ZoomScrollArea : public QScrollArea
{
public:
    explicit ZoomScrollArea(BeautifyView *view) : m_view(view) {}

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        if (!(event->modifiers() & Qt::ControlModifier)) {
            QScrollArea::wheelEvent(event);
            return;
        }
        const double steps = event->angleDelta().y() / 120.0;
        m_view->setMagnification(m_view->magnification() * std::pow(1.25, steps));
        event->accept();
    }

private:
    BeautifyView *m_view;
};

QLabel *smallLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont f = label->font();
    f.setPixelSize(11);
    label->setFont(f);
    return label;
}

} // namespace

BeautifyWindowController::BeautifyWindowController(const QImage &image, const Platform &platform,
                                                   QObject *parent)
    : QObject(parent), m_platform(platform)
{
    auto *window =
        new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                 Qt::WindowMaximizeButtonHint);
    m_window = window;
    window->setWindowTitle(title());
    window->setAttribute(Qt::WA_DeleteOnClose, false);

    m_view = new BeautifyView(image);
    const QRect visible = sideWindowVisibleFrame();
    const QSizeF total = m_view->beautifier().totalSize();
    const QSize content = sideWindowContentSize(total, QSizeF(visible.size()), barH, 560).toSize();

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_scroll = new ZoomScrollArea(m_view);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setAlignment(Qt::AlignCenter); // a small picture stays in the middle
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_view);
    layout->addWidget(m_scroll, 1);
    m_view->setMagnification(std::min(content.width() / total.width(), 1.0));

    auto *bar = new ControlBar(int(barH), window);
    layout->addWidget(bar);
    const QList<Preset> &presets = beautifyPresets();
    for (int i = 0; i < presets.size(); ++i) {
        auto *swatch = new QPushButton(bar);
        swatch->setGeometry(12 + 34 * i, 12, 30, 30);
        swatch->setToolTip(
            QCoreApplication::translate("Beautify", presets[i].name.toUtf8().constData()));
        swatch->setFocusPolicy(Qt::TabFocus);
        swatch->setProperty("presetIndex", i);
        connect(swatch, &QPushButton::clicked, this, [this, i] { pickPreset(i); });
        m_swatches.append(swatch);
    }
    styleSwatches();

    const int x = 12 + 34 * int(presets.size()) + 10;
    smallLabel(tr("Padding"), bar)->setGeometry(x, 19, 52, 16);
    m_padSlider = new QSlider(Qt::Horizontal, bar);
    m_padSlider->setGeometry(x + 54, 17, 90, 20);
    m_padSlider->setRange(20, 260);
    // A large picture's padding may lie above the range: the slider shows its end and the
    // padding stays until the slider is moved.
    m_padSlider->setValue(int(std::lround(m_view->beautifier().padding)));
    connect(m_padSlider, &QSlider::valueChanged, this, &BeautifyWindowController::padChanged);

    smallLabel(tr("Radius"), bar)->setGeometry(x + 154, 19, 46, 16);
    m_radSlider = new QSlider(Qt::Horizontal, bar);
    m_radSlider->setGeometry(x + 202, 17, 80, 20);
    m_radSlider->setRange(0, 60);
    m_radSlider->setValue(int(std::lround(m_view->beautifier().cornerRadius)));
    connect(m_radSlider, &QSlider::valueChanged, this, &BeautifyWindowController::radChanged);

    QPushButton *saveButton = bar->addRightButton(tr("Save"), 66, 13, 28);
    connect(saveButton, &QPushButton::clicked, this, &BeautifyWindowController::save);
    QPushButton *copyButton = bar->addRightButton(tr("Copy"), 66, 13, 28);
    copyButton->setShortcut(QKeySequence::Copy);
    connect(copyButton, &QPushButton::clicked, this, &BeautifyWindowController::copyImg);

    addCloseKeys(window);
    window->resize(content);
    window->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
}

BeautifyWindowController::~BeautifyWindowController()
{
    delete m_window;
}

void BeautifyWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void BeautifyWindowController::styleSwatches()
{
    const QList<Preset> &presets = beautifyPresets();
    const QColor accent = m_window->palette().color(QPalette::Highlight);
    for (int i = 0; i < m_swatches.size(); ++i) {
        const bool selected = i == m_selected;
        const QColor border = selected ? accent : QColor::fromRgbF(0.6f, 0.6f, 0.6f, 0.4f);
        m_swatches[i]->setStyleSheet(
            QStringLiteral("QPushButton { background-color: %1; border-radius: 7px; "
                           "border: %2px solid %3; }")
                .arg(presets[i].colors.first().name(), QString::number(selected ? 3 : 1),
                     border.name(QColor::HexArgb)));
    }
}

void BeautifyWindowController::pickPreset(int index)
{
    const QList<Preset> &presets = beautifyPresets();
    if (index < 0 || index >= presets.size())
        return;
    m_selected = index;
    m_view->beautifier().colors = presets[index].colors;
    m_view->changed();
    styleSwatches();
}

void BeautifyWindowController::padChanged(int value)
{
    m_view->beautifier().padding = value;
    m_view->changed();
}

void BeautifyWindowController::radChanged(int value)
{
    m_view->beautifier().cornerRadius = value;
    m_view->changed();
}

void BeautifyWindowController::copyImg()
{
    const QImage picture = m_view->render();
    if (picture.isNull())
        return;
    if (ClipboardTools::copy(*m_platform.clipboard, picture))
        m_platform.toasts->show(tr("Copied"));
}

void BeautifyWindowController::save()
{
    const QImage picture = m_view->render();
    if (picture.isNull())
        return;
    ImageExport::savePanel(m_platform, picture, false, std::nullopt);
}

} // namespace vistrel
