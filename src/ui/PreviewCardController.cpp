#include "ui/PreviewCardController.h"
#include "ui/UiFont.h"

#include "engines/ClipboardTools.h"
#include "model/ToolKind.h"
#include "ui/ImageExport.h"
#include "ui/SymbolIcon.h"

#include <QApplication>
#include <QBitmap>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QColorDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace vistrel {

// The card's window: says when it closes and closes on Escape.
class PreviewCardWindow : public QWidget
{
    Q_OBJECT
public:
    PreviewCardWindow()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setWindowTitle(
            QCoreApplication::translate("vistrel::PreviewCardController", "Vistrel Preview"));
        setAttribute(Qt::WA_DeleteOnClose, false);
    }

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (e->key() == Qt::Key_Escape) {
            close();
            return;
        }
        QWidget::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent *e) override
    {
        emit closing();
        QWidget::closeEvent(e);
    }
    // Movable by dragging its background.
    void mousePressEvent(QMouseEvent *e) override
    {
        m_grab = e->globalPosition().toPoint() - pos();
    }
    void mouseMoveEvent(QMouseEvent *e) override
    {
        if (e->buttons() & Qt::LeftButton)
            move(e->globalPosition().toPoint() - m_grab);
    }

signals:
    void closing();

private:
    QPoint m_grab;
};

namespace {

struct ActionButton
{
    PreviewButton id;
    const char *title;
    const char *symbol;
    void (PreviewCardController::*action)();
    QKeySequence key;
    int width;
};

} // namespace

PreviewCardController::PreviewCardController(const QImage &image, const Platform &platform,
                                             QRectF visible, double devicePixelRatio,
                                             QObject *parent)
    : QObject(parent), m_platform(platform)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (visible.isEmpty())
        visible = screen ? QRectF(screen->availableGeometry()) : QRectF(0, 0, 1440, 900);
    if (devicePixelRatio <= 0)
        devicePixelRatio = screen ? screen->devicePixelRatio() : 2.0;
    const int scrollBar = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    m_geometry = CardGeometry::forImage(image.size(), visible.size(), devicePixelRatio, scrollBar);

    auto *card = new PreviewCardWindow;
    connect(card, &PreviewCardWindow::closing, this, &PreviewCardController::windowClosing);
    m_window = card;
    const QSize size = m_geometry.content.toSize();
    card->setFixedSize(size);
    m_canvas = new PreviewCardCanvas(image, m_geometry.displayScale);
    buildUI();
    card->move(qRound(visible.center().x() - size.width() / 2.0),
               qRound(visible.center().y() - size.height() / 2.0));
}

PreviewCardController::~PreviewCardController()
{
    m_closed = true; // no `closed` from a window that goes with its owner
    delete m_window.data();
}

void PreviewCardController::buildUI()
{
    QWidget *card = m_window;
    // Rounded corners that hold without a compositor.
    QBitmap shape(card->size());
    shape.fill(Qt::color0);
    {
        QPainter p(&shape);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::color1);
        p.drawRoundedRect(QRectF(card->rect()), 10, 10);
    }
    card->setMask(shape);
    card->setAutoFillBackground(true);
    // The bars are as tall as their rows (CardGeometry's topH and bottomH); the picture takes
    // the rest.
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Top bar: mode switch and the size read-out.
    auto *topRow = new QHBoxLayout;
    topRow->setContentsMargins(10, 7, 10, 7);
    topRow->setSpacing(0);
    auto *modes = new QButtonGroup(card);
    const std::pair<PreviewButton, const char *> modeButtons[] = {
        {PreviewButton::Adjust, QT_TR_NOOP("Adjust")}, {PreviewButton::Mark, QT_TR_NOOP("Mark")}};
    for (int i = 0; i < 2; ++i) {
        auto *b = new QToolButton(card);
        b->setText(tr(modeButtons[i].second));
        b->setCheckable(true);
        b->setChecked(i == 0);
        b->setFixedSize(70, 24);
        b->setFocusPolicy(Qt::NoFocus);
        modes->addButton(b, i);
        topRow->addWidget(b);
        m_buttons.insert(modeButtons[i].first, b);
    }
    connect(modes, &QButtonGroup::idClicked, this, [this](int id) {
        setMode(id == 1 ? PreviewCard::Mode::Mark : PreviewCard::Mode::Adjust);
    });
    topRow->addStretch();
    m_dimBadge = new QLabel(PreviewCard::sizeText(m_canvas->baseImage().size()), card);
    m_dimBadge->setFont(uiFont(12, QFont::DemiBold));
    m_dimBadge->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_dimBadge->setFixedSize(180, 18);
    topRow->addWidget(m_dimBadge);
    column->addLayout(topRow);
    connect(m_canvas, &PreviewCardCanvas::cropChanged, this,
            [this](QSizeF size) { m_dimBadge->setText(PreviewCard::sizeText(size)); });

    // Middle: the canvas, centred; in a scroll area when it is taller than the card allows.
    const int middleHeight = card->height() - int(CardGeometry::topH) - int(m_geometry.bottomH);
    if (m_canvas->height() > middleHeight) {
        auto *scroll = new QScrollArea(card);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(m_canvas);
        column->addWidget(scroll, 1);
    } else {
        auto *middle = new QWidget(card);
        auto *centre = new QVBoxLayout(middle);
        centre->setContentsMargins(0, 0, 0, 0);
        centre->addWidget(m_canvas, 0, Qt::AlignHCenter | Qt::AlignTop);
        column->addWidget(middle, 1);
    }

    // Bottom bar: marker tools (Mark mode only) and the finishing actions, the tools on a row
    // of their own when the card is too narrow for both.
    auto *rows = new QGridLayout;
    const int margin = int(CardGeometry::barMargin);
    rows->setContentsMargins(margin, 9, margin, 9);
    rows->setSpacing(6);
    m_toolsBar = new QWidget(card);
    // Hidden in Adjust mode, it still holds its place: the actions do not move.
    QSizePolicy toolsPolicy = m_toolsBar->sizePolicy();
    toolsPolicy.setRetainSizeWhenHidden(true);
    m_toolsBar->setSizePolicy(toolsPolicy);
    auto *row = new QHBoxLayout(m_toolsBar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (ToolKind kind : previewCardToolKinds()) {
        auto *b = new QToolButton(m_toolsBar);
        b->setIcon(themeIcon(symbolName(kind)));
        b->setToolTip(tooltip(kind));
        b->setAccessibleName(tooltip(kind));
        b->setCheckable(true);
        b->setFixedSize(28, 28);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, kind] { pickTool(kind); });
        row->addWidget(b);
        m_toolButtons.insert(kind, b);
    }
    m_colorWell = new QToolButton(m_toolsBar);
    m_colorWell->setFixedSize(34, 26);
    m_colorWell->setFocusPolicy(Qt::NoFocus);
    connect(m_colorWell, &QToolButton::clicked, this, [this] {
        auto *dialog = new QColorDialog(m_canvas->model().strokeColor, m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QColorDialog::colorSelected, this, &PreviewCardController::setColor);
        dialog->open();
    });
    row->addWidget(m_colorWell);
    m_toolsBar->hide();
    setColor(m_canvas->model().strokeColor);
    pickTool(ToolKind::Arrow);
    rows->addWidget(m_toolsBar, 0, 0, Qt::AlignLeft);

    const ActionButton actions[] = {
        {PreviewButton::Edit, QT_TR_NOOP("Edit"), "document-edit",
         &PreviewCardController::editAction, QKeySequence(Qt::CTRL | Qt::Key_E), 66},
        {PreviewButton::Copy, QT_TR_NOOP("Copy"), "edit-copy", &PreviewCardController::copyAction,
         QKeySequence(Qt::CTRL | Qt::Key_C), 58},
        {PreviewButton::Save, QT_TR_NOOP("Save"), "document-save",
         &PreviewCardController::saveAction, QKeySequence(Qt::CTRL | Qt::Key_S), 58},
        {PreviewButton::Pin, QT_TR_NOOP("Pin"), "window-pin", &PreviewCardController::pinAction,
         QKeySequence(), 58},
        {PreviewButton::Close, QT_TR_NOOP("Close"), "window-close",
         &PreviewCardController::closeAction, QKeySequence(), 58},
    };
    // The widths fit the English titles. Longer translations widen their buttons by the
    // difference where the row has room beside the tools; otherwise the buttons show their
    // icons only, with the title as tooltip and accessible name.
    const QFontMetrics metrics(uiFont(11, QFont::Normal));
    auto growth = [&metrics](const ActionButton &a) {
        return std::max(0, metrics.horizontalAdvance(tr(a.title)) -
                               metrics.horizontalAdvance(QLatin1String(a.title)));
    };
    int grown = 0;
    for (const ActionButton &a : actions)
        grown += growth(a);
    const int besideTools = m_geometry.toolsWrap() ? 0 : int(CardGeometry::toolsW) + margin;
    const bool titled =
        grown <= card->width() - 2 * margin - besideTools - int(CardGeometry::actionsW);
    // Edit at the right edge, each next one to the left of the last.
    auto *finish = new QHBoxLayout;
    finish->setSpacing(6);
    finish->addStretch();
    for (const ActionButton &a : actions) {
        const QString title = tr(a.title);
        auto *b = new QPushButton(themeIcon(QString::fromLatin1(a.symbol)),
                                  titled ? title : QString(), card);
        b->setToolTip(title);
        b->setAccessibleName(title);
        b->setFont(uiFont(11, QFont::Normal));
        b->setFixedSize(a.width + (titled ? growth(a) : 0), 28);
        b->setFocusPolicy(Qt::NoFocus);
        if (!a.key.isEmpty())
            b->setShortcut(a.key);
        connect(b, &QPushButton::clicked, this, a.action);
        finish->insertWidget(1, b);
        m_buttons.insert(a.id, b);
    }
    if (m_geometry.toolsWrap())
        rows->addLayout(finish, 1, 0, 1, 2);
    else
        rows->addLayout(finish, 0, 1);
    rows->setColumnStretch(1, 1);
    column->addLayout(rows);
    // Placed now rather than at the first show, so bars and buttons have their places at once.
    column->activate();
}

QAbstractButton *PreviewCardController::button(PreviewButton which) const
{
    return m_buttons.value(which);
}

void PreviewCardController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PreviewCardController::setMode(PreviewCard::Mode mode)
{
    m_canvas->setMode(mode);
    m_toolsBar->setVisible(mode == PreviewCard::Mode::Mark);
    if (auto *b = m_buttons.value(mode == PreviewCard::Mode::Mark ? PreviewButton::Mark
                                                                  : PreviewButton::Adjust))
        b->setChecked(true);
}

void PreviewCardController::pickTool(ToolKind kind)
{
    m_canvas->model().markerTool = kind;
    for (auto it = m_toolButtons.cbegin(); it != m_toolButtons.cend(); ++it)
        it.value()->setChecked(it.key() == kind);
}

void PreviewCardController::setColor(const QColor &color)
{
    if (!color.isValid())
        return;
    m_canvas->model().strokeColor = color;
    QPixmap swatch(22, 14);
    swatch.fill(color);
    m_colorWell->setIcon(QIcon(swatch));
    m_colorWell->setIconSize(swatch.size());
}

std::optional<QImage> PreviewCardController::croppedComposite()
{
    const QImage &base = m_canvas->baseImage();
    QRect crop = m_canvas->model().cropInImage();
    if (crop.isEmpty())
        crop = base.rect();
    if (!m_canvas->model().annotations().isEmpty())
        return m_canvas->renderComposite(crop);
    // Nothing drawn: the picture itself, cut when it was cropped.
    if (crop == base.rect())
        return base;
    const QImage cut = base.copy(crop);
    if (cut.isNull())
        return std::nullopt;
    return cut;
}

void PreviewCardController::editAction()
{
    const QImage &base = m_canvas->baseImage();
    QImage cut = base.copy(m_canvas->model().cropInImage());
    if (cut.isNull())
        cut = base;
    QPointer<PreviewCardController> self(this);
    emit editRequested(cut, m_canvas->model().marksInCrop());
    if (self)
        closeAction();
}

void PreviewCardController::copyAction()
{
    const auto image = croppedComposite();
    if (!image)
        return;
    if (m_platform.clipboard && ClipboardTools::copy(*m_platform.clipboard, *image))
        m_platform.toasts->show(tr("Copied to clipboard"));
    closeAction();
}

void PreviewCardController::saveAction()
{
    const auto image = croppedComposite();
    if (!image || !m_platform.saveChooser)
        return;
    const SaveSettings settings = saveSettings ? saveSettings() : SaveSettings();
    QPointer<PreviewCardController> self(this);
    // The chooser's dialog is a window of its own, which a card kept on top would cover.
    if (!settings.withoutAsking)
        setKeptOnTop(false);
    ImageExport::save(m_platform, *image, settings, [self](bool writing) {
        if (!self)
            return;
        if (writing)
            self->closeAction();
        else
            self->setKeptOnTop(true); // cancelled: the card stays, on top again
    });
}

void PreviewCardController::setKeptOnTop(bool on)
{
    if (!m_window || m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    // New flags hide a window; it comes back where it was.
    const bool shown = m_window->isVisible();
    m_window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown)
        m_window->show();
}

void PreviewCardController::pinAction()
{
    const auto image = croppedComposite();
    if (!image)
        return;
    m_platform.pins->pin(*image, nullptr);
    closeAction();
}

void PreviewCardController::closeAction()
{
    if (m_window)
        m_window->close();
}

void PreviewCardController::windowClosing()
{
    if (m_closed)
        return;
    m_closed = true;
    emit closed();
}

} // namespace vistrel

#include "PreviewCardController.moc"
