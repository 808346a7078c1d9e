#include "ui/EditorWindowController.h"

#include "ui/AnnotationCanvas.h"
#include "ui/CenteringClipView.h"
#include "ui/Palette.h"
#include "ui/SymbolIcon.h"
#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "ui/ImageExport.h"
#include "ui/ShareService.h"
#include "platform/Memory.h"
#include "ui/BeautifyWindowController.h"
#include "ui/CompareWindowController.h"
#include "engines/OCRService.h"
#include "ui/RecognizedText.h"
#include "ui/SideWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDate>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

namespace vistrel {

class EditorWindow : public QWidget
{
public:
    explicit EditorWindow(EditorWindowController *controller) : m_controller(controller) {}
    void setController(EditorWindowController *controller) { m_controller = controller; }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_controller && !m_controller->mayClose()) {
            event->ignore();
            return;
        }
        QWidget::closeEvent(event);
        if (event->isAccepted() && m_controller)
            m_controller->windowClosing();
    }

private:
    QPointer<EditorWindowController> m_controller;
};

EditorWindowPool::EditorWindowPool() : m_expiry(new QTimer(this))
{
    m_expiry->setSingleShot(true);
    m_expiry->setInterval(keepWarmFor);
    connect(m_expiry, &QTimer::timeout, this, [this] {
        delete m_spare.data();
        handBackIdleMemory();
    });
}

EditorWindowPool::~EditorWindowPool()
{
    delete m_spare.data();
}

EditorWindow *EditorWindowPool::take()
{
    m_expiry->stop();
    EditorWindow *window = m_spare.data();
    m_spare.clear();
    return window;
}

void EditorWindowPool::giveBack(EditorWindow *window)
{
    if (!window)
        return;
    if (m_spare) {
        delete window; // one is kept
        return;
    }
    window->hide();
    window->setController(nullptr);
    // Everything of the editor goes: its widgets, its actions (their shortcuts would clash
    // with the next editor's), its layout.
    for (QAction *action : window->actions())
        window->removeAction(action);
    delete window->layout();
    QList<QPointer<QObject>> children;
    for (QObject *child : window->children())
        if (!child->isWindowType()) // the native window and its backing store stay
            children.append(child);
    for (const QPointer<QObject> &child : children)
        delete child.data();
    m_spare = window;
    m_expiry->start();
}

namespace {

// Flat buttons that light up in the accent colour while their tool is active; the others get
// a quiet rounded bezel.
const char *const toolbarStyle = R"(
QToolBar { border: none; spacing: 2px; padding: 0px 10px 0px 10px; }
QToolButton { border: 1px solid transparent; border-radius: 6px; padding: 2px 4px; }
QToolButton:hover { border-color: palette(mid); }
QToolButton[bezel="true"] { border-color: palette(mid); background: palette(button); }
QToolButton[bezel="true"]:pressed { background: palette(midlight); }
QToolButton[tool="true"]:checked { background: palette(highlight); border-color: palette(highlight); }
QToolBarExtension { qproperty-icon: url(:/icons/chevron.right.2.svg); border: 1px solid palette(mid); }
)";

// X servers leave the fourth byte of a 32-bit pixel as padding, often zero, while a picture
// in Qt's RGB32 format promises 0xff there; painted into an export with alpha, such a capture
// came out fully transparent. The capture is made opaque once, as it arrives.
QImage opaqueCapture(const QImage &image)
{
    if (image.format() != QImage::Format_RGB32)
        return image;
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb all = 0xff000000u;
        for (int x = 0; x < width; ++x)
            all &= row[x];
        if (all >= 0xff000000u)
            continue;
        QImage fixed = image.copy();
        for (int fy = y; fy < height; ++fy) {
            auto *line = reinterpret_cast<QRgb *>(fixed.scanLine(fy));
            for (int fx = 0; fx < width; ++fx)
                line[fx] |= 0xff000000u;
        }
        return fixed;
    }
    return image;
}

// The toolbar's overflow button, which lists the actions that do not fit, is as wide as the
// other buttons rather than a 12-pixel sliver at the window's edge.
class ToolbarStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_ToolBarExtensionExtent)
            return 30;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// A property the style sheet reads, set after the button was sized (and so polished).
void withBezel(QToolButton *button)
{
    button->setProperty("bezel", true);
    button->style()->unpolish(button);
    button->style()->polish(button);
}

QWidget *gap(int width)
{
    auto *w = new QWidget;
    w->setFixedSize(width, 1);
    return w;
}

} // namespace

const QList<ToolKind> &EditorWindowController::paletteTools()
{
    static const QList<ToolKind> tools{ToolKind::Select, ToolKind::Arrow,     ToolKind::Line,
                                       ToolKind::Rect,   ToolKind::Ellipse,   ToolKind::Pen,
                                       ToolKind::Highlight, ToolKind::Text,   ToolKind::Step,
                                       ToolKind::Blur,   ToolKind::Crop};
    return tools;
}

QString EditorWindowController::filenameForBase(const QString &base, const QDate &today)
{
    return base + QLatin1Char(' ') + today.toString(QStringLiteral("yyyy-MM-dd"));
}

EditorWindowController::EditorWindowController(const QImage &image, const QList<AnnotationRef> &seed,
                                               const Platform &platform, QObject *parent,
                                               EditorWindowPool *pool, OCRService *ocr)
    : QObject(parent), m_image(opaqueCapture(image)), m_platform(platform), m_pool(pool)
{
    if (ocr)
        m_recognizer = [ocr](const QImage &picture, QObject *context,
                             std::function<void(Result<QString>)> done) {
            ocr->recognizeText(picture, {}, context, std::move(done));
        };

    QRect visible(0, 0, 1440, 900);
    if (QScreen *s = QGuiApplication::primaryScreen())
        visible = s->availableGeometry();
    m_geometry = EditorGeometry::forImage(image.size(), visible.size());

    EditorWindow *window = pool ? pool->take() : nullptr;
    if (window)
        window->setController(this);
    else
        window = new EditorWindow(this);
    m_window = window;
    window->setWindowTitle(title());
    window->setAttribute(Qt::WA_DeleteOnClose, false);

    m_canvas = ocr ? new AnnotationCanvas(m_image, seed, *ocr)
                   : new AnnotationCanvas(m_image, seed, TextBoxDetection());
    m_canvas->setMagnification(m_geometry.fitMagnification);

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(m_toolbar);

    m_scroll = new CenteringClipView(window);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_canvas);
    layout->addWidget(m_scroll, 1);

    m_canvas->setCurrentTool(ToolKind::Select);
    highlight(ToolKind::Select);
    m_canvas->setStrokeColor(m_colorButton->selectedColor());
    QPointer<EditorWindowController> self(this);
    m_canvas->onToolChange = [self](ToolKind tool) {
        if (self)
            self->highlight(tool);
    };
    // The picture stays under the pointer when the shown part of the canvas grows.
    connect(m_canvas, &AnnotationCanvas::viewShifted, this, [this](QPointF by) {
        m_scroll->horizontalScrollBar()->setValue(m_scroll->horizontalScrollBar()->value() +
                                                  int(std::lround(by.x())));
        m_scroll->verticalScrollBar()->setValue(m_scroll->verticalScrollBar()->value() +
                                                int(std::lround(by.y())));
    });
    connect(m_canvas, &AnnotationCanvas::zoomRequested, this, [this](qreal factor, QPointF at) {
        zoomAround(magnification() * factor, at - m_scroll->visibleRect().topLeft());
    });
    connect(m_canvas, &AnnotationCanvas::imageAdded, this, &EditorWindowController::showAdded);
    connect(m_canvas, &AnnotationCanvas::pasteRefused, this,
            [this](const QString &why) { m_platform.toasts->show(why); });
    m_scroll->viewport()->installEventFilter(this);
    m_canvas->setViewportSize(QSizeF(m_geometry.contentSize.width(),
                                     m_geometry.contentSize.height() - EditorGeometry::toolbarHeight));

    // Ctrl+W closes the editor, as every window on the desktop does.
    auto *close = new QAction(tr("Close"), window);
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcuts(closeKeys);
    connect(close, &QAction::triggered, this, &EditorWindowController::performClose);
    window->addAction(close);
    m_actions.insert(QStringLiteral("Close"), close);

    // Wide enough for the whole toolbar where the screen has room; narrower windows first drop
    // some titles, then use the overflow menu.
    m_fullToolbarWidth = m_toolbar->sizeHint().width();
    QSize content = m_geometry.contentSize.toSize();
    content.setWidth(std::min(std::max(content.width(), m_fullToolbarWidth), visible.width()));
    window->installEventFilter(this);
    fitToolbar(content.width());
    window->resize(content);
    window->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->centerDocument();
    });
}

EditorWindowController::~EditorWindowController()
{
    delete m_formatMenu.data();
    if (m_pool && m_window)
        m_pool->giveBack(static_cast<EditorWindow *>(m_window.data()));
    else
        delete m_window.data();
    // Closing the editor leaves its compare and beautify windows open.
    if (m_compareWindow) {
        QWidget *w = m_compareWindow->window();
        keepUntilClosed(m_compareWindow.release(), w);
    }
    if (m_beautifyWindow) {
        QWidget *w = m_beautifyWindow->window();
        keepUntilClosed(m_beautifyWindow.release(), w);
    }
}

void EditorWindowController::buildToolbar()
{
    m_toolbar = new QToolBar(m_window);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setFixedHeight(int(EditorGeometry::toolbarHeight));
    m_toolbar->setIconSize(QSize(18, 18));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolbar->setStyleSheet(QString::fromLatin1(toolbarStyle));
    auto *style = new ToolbarStyle;
    style->setParent(m_toolbar);
    m_toolbar->setStyle(style);

    auto add = [this](const QString &title, const QString &symbol, auto slot,
                      QList<QKeySequence> keys, QSize size, bool withTitle) {
        auto *a = new QAction(symbolIcon(symbol), title, m_window);
        a->setToolTip(title);
        a->setShortcuts(keys);
        connect(a, &QAction::triggered, this, slot);
        m_toolbar->addAction(a);
        auto *b = qobject_cast<QToolButton *>(m_toolbar->widgetForAction(a));
        b->setToolButtonStyle(withTitle ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
        // Titled buttons grow with the desktop's font rather than cut their titles short.
        if (withTitle)
            b->setMinimumSize(size.expandedTo(b->sizeHint()));
        else
            b->setFixedSize(size);
        b->setFixedHeight(size.height());
        b->setFocusPolicy(Qt::NoFocus);
        m_actions.insert(title, a);
        return b;
    };

    auto *group = new QActionGroup(this);
    group->setExclusive(true);
    for (ToolKind tool : paletteTools()) {
        auto *a = new QAction(symbolIcon(symbolName(tool)), tooltip(tool), m_window);
        a->setCheckable(true);
        a->setToolTip(tooltip(tool));
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, tool] { toolPicked(tool); });
        m_toolbar->addAction(a);
        auto *b = qobject_cast<QToolButton *>(m_toolbar->widgetForAction(a));
        b->setFixedSize(32, 30);
        b->setFocusPolicy(Qt::NoFocus);
        b->setProperty("tool", true);
        m_toolButtons.insert(tool, b);
    }

    m_toolbar->addWidget(gap(6));
    m_colorButton = new PaletteColorButton(Palette::defaultColor());
    m_colorButton->setFixedSize(34, 30);
    QPointer<EditorWindowController> self(this);
    m_colorButton->onPick = [self](const QColor &c) {
        if (self)
            self->m_canvas->setStrokeColor(c);
    };
    m_toolbar->addWidget(m_colorButton);

    m_toolbar->addWidget(gap(6));
    // Tenths of a point: the width need not be a whole number.
    m_widthSlider = new QSlider(Qt::Horizontal);
    m_widthSlider->setRange(10, 240);
    m_widthSlider->setValue(50);
    m_widthSlider->setFixedSize(90, 30);
    m_widthSlider->setFocusPolicy(Qt::NoFocus);
    m_widthSlider->setToolTip(tr("Line width"));
    connect(m_widthSlider, &QSlider::valueChanged, this,
            [this](int tenths) { widthChanged(tenths / 10.0); });
    m_toolbar->addWidget(m_widthSlider);
    m_canvas->setLineWidth(5);

    m_toolbar->addWidget(gap(8));
    auto *addButton = add(QStringLiteral("Add"), QStringLiteral("plus.rectangle.on.rectangle"),
                          &EditorWindowController::addScreenshot, {}, QSize(84, 30), true);
    withBezel(addButton);
    m_actions.value(QStringLiteral("Add"))
        ->setToolTip(QStringLiteral("Add another screenshot to combine (Ctrl+V to paste an image)"));

    m_toolbar->addWidget(gap(6));
    add(QStringLiteral("Zoom Out"), QStringLiteral("minus.magnifyingglass"),
        &EditorWindowController::zoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, QSize(30, 30),
        false);
    add(QStringLiteral("Zoom to Fit"), QStringLiteral("1.magnifyingglass"),
        &EditorWindowController::zoomFit, {QKeySequence(Qt::CTRL | Qt::Key_0)}, QSize(30, 30), false);
    add(QStringLiteral("Zoom In"), QStringLiteral("plus.magnifyingglass"),
        &EditorWindowController::zoomIn,
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        QSize(30, 30), false);

    auto *stretch = new QWidget;
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(stretch);

    struct Right
    {
        const char *title;
        const char *symbol;
        void (EditorWindowController::*slot)();
        QList<QKeySequence> keys;
        bool iconOnly;
    };
    const QList<Right> right{
        {"Undo", "arrow.uturn.backward", &EditorWindowController::undo,
         {QKeySequence(Qt::CTRL | Qt::Key_Z)}, true},
        {"Redo", "arrow.uturn.forward", &EditorWindowController::redo,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}, true},
        {"Pin", "pin", &EditorWindowController::pinImage, {}, true},
        {"OCR", "text.viewfinder", &EditorWindowController::runOCR, {}, true},
        {"Compare", "rectangle.righthalf.inset.filled", &EditorWindowController::compare, {}, false},
        {"Beautify", "wand.and.stars", &EditorWindowController::beautify, {}, false},
        {"Share", "square.and.arrow.up", &EditorWindowController::shareImage, {}, false},
        {"Copy", "doc.on.doc", &EditorWindowController::copyImage,
         {QKeySequence(Qt::CTRL | Qt::Key_C)}, false},
        {"Save", "square.and.arrow.down", &EditorWindowController::saveImage,
         {QKeySequence(Qt::CTRL | Qt::Key_S)}, false},
    };
    for (int i = 0; i < right.size(); ++i) {
        const Right &r = right[i];
        const QString title = QString::fromLatin1(r.title);
        const int width = r.iconOnly ? 34 : (title.size() > 5 ? 82 : 60);
        QToolButton *b = add(title, QString::fromLatin1(r.symbol), r.slot, r.keys, QSize(width, 30),
                             !r.iconOnly);
        withBezel(b);
        if (i + 1 < right.size())
            m_toolbar->addWidget(gap(4));
    }

    QAction *undoAction = m_actions.value(QStringLiteral("Undo"));
    QAction *redoAction = m_actions.value(QStringLiteral("Redo"));
    undoAction->setEnabled(m_canvas->canUndo());
    redoAction->setEnabled(m_canvas->canRedo());
    connect(m_canvas->undoStack(), &QUndoStack::canUndoChanged, undoAction, &QAction::setEnabled);
    connect(m_canvas->undoStack(), &QUndoStack::canRedoChanged, redoAction, &QAction::setEnabled);
}

QAction *EditorWindowController::action(const QString &title) const
{
    return m_actions.value(title);
}

QMenu *EditorWindowController::formatMenu() const
{
    return m_formatMenu && m_formatMenu->isVisible() ? m_formatMenu.data() : nullptr;
}

qreal EditorWindowController::magnification() const
{
    return m_canvas->magnification();
}

void EditorWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_canvas->setFocus();
}

// --- tools ---------------------------------------------------------------------------------------

void EditorWindowController::toolPicked(ToolKind tool)
{
    m_canvas->setCurrentTool(tool);
    highlight(tool);
    m_canvas->setFocus(); // tool letters keep working after a click on the toolbar
}

void EditorWindowController::highlight(ToolKind tool)
{
    for (auto it = m_toolButtons.cbegin(); it != m_toolButtons.cend(); ++it)
        it.value()->defaultAction()->setChecked(it.key() == tool);
}

void EditorWindowController::widthChanged(double width)
{
    m_canvas->setLineWidth(width);
}

void EditorWindowController::undo()
{
    m_canvas->undo();
}

void EditorWindowController::redo()
{
    m_canvas->redo();
}

// --- zoom ----------------------------------------------------------------------------------------

void EditorWindowController::zoomTo(qreal magnification)
{
    magnification = qBound(EditorGeometry::minMagnification, magnification,
                           EditorGeometry::maxMagnification);
    const QPointF centre = m_canvas->toCanvas(m_scroll->visibleRect().center());
    m_canvas->setMagnification(magnification);
    m_scroll->centerOn(m_canvas->toWidget(centre));
}

void EditorWindowController::zoomAround(qreal magnification, QPointF at)
{
    magnification = qBound(EditorGeometry::minMagnification, magnification,
                           EditorGeometry::maxMagnification);
    const QPointF point = m_canvas->toCanvas(m_scroll->visibleRect().topLeft() + at);
    m_canvas->setMagnification(magnification);
    m_scroll->scrollTo(m_canvas->toWidget(point) - at);
}

void EditorWindowController::showAdded(const QRectF &frame)
{
    m_platform.toasts->show(QStringLiteral("Picture added"));
    // Once the scroll bars the larger canvas may bring are in place: as much of the picture as
    // fits, with a little room around it, its top-left corner first.
    QTimer::singleShot(0, this, [this, frame] {
        m_scroll->reflectDocumentSize();
        const QRectF shown = m_canvas->toWidget(frame).adjusted(-20, -20, 20, 20);
        const QRectF visible = m_scroll->visibleRect();
        if (visible.contains(shown))
            return;
        QPointF topLeft = visible.topLeft();
        topLeft.rx() = std::min(std::max(topLeft.x(), shown.right() - visible.width()), shown.left());
        topLeft.ry() = std::min(std::max(topLeft.y(), shown.bottom() - visible.height()), shown.top());
        m_scroll->scrollTo(topLeft);
    });
}

void EditorWindowController::zoomIn()
{
    zoomTo(std::min(magnification() * 1.25, EditorGeometry::maxMagnification));
}

void EditorWindowController::zoomOut()
{
    zoomTo(std::max(magnification() / 1.25, EditorGeometry::minMagnification));
}

void EditorWindowController::zoomFit()
{
    m_canvas->setMagnification(m_geometry.fitMagnification);
    centerDocument();
}

void EditorWindowController::centerDocument()
{
    m_scroll->centerOn(m_canvas->toWidget(m_canvas->model().contentRect().center()));
}

// --- export --------------------------------------------------------------------------------------

void EditorWindowController::copyImage()
{
    openFormatMenu(ExportMode::Copy, m_actions.value(QStringLiteral("Copy")));
}

void EditorWindowController::saveImage()
{
    openFormatMenu(ExportMode::Save, m_actions.value(QStringLiteral("Save")));
}

void EditorWindowController::openFormatMenu(ExportMode mode, QAction *anchor)
{
    delete m_formatMenu.data();
    auto *menu = new QMenu(m_window);
    m_formatMenu = menu;
    const struct
    {
        const char *title;
        const char *symbol;
        int format;
    } items[] = {{"Original", "photo", ExportChoice::Original},
                 {"Transparent", "square.on.square.dashed", ExportChoice::Transparent},
                 {"PDF", "doc", ExportChoice::PDF}};
    for (const auto &item : items) {
        QAction *a = menu->addAction(symbolIcon(QString::fromLatin1(item.symbol)),
                                     QString::fromLatin1(item.title));
        const ExportChoice choice{mode, item.format};
        a->setData(QVariant::fromValue(choice));
        connect(a, &QAction::triggered, this, [this, choice] { performExport(choice); });
    }
    QWidget *button = m_toolbar->widgetForAction(anchor);
    menu->popup(button->mapToGlobal(QPoint(0, button->height() + 4)));
}

void EditorWindowController::performExport(const ExportChoice &choice)
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(choice.format != ExportChoice::Transparent);
    if (image.isNull())
        return;
    if (choice.mode == ExportMode::Copy) {
        if (choice.format == ExportChoice::PDF) {
            if (ImageFiles::copyPDF(*m_platform.clipboard, image))
                m_platform.toasts->show(QStringLiteral("Copied PDF"));
        } else if (ClipboardTools::copy(*m_platform.clipboard, image)) {
            m_platform.toasts->show(QStringLiteral("Copied to clipboard"));
        }
        return;
    }
    SaveSettings settings = saveSettings ? saveSettings() : SaveSettings();
    settings.preferPdf = choice.format == ExportChoice::PDF;
    if (suggestedNameBase)
        settings.suggestedBase = filenameForBase(*suggestedNameBase, QDate::currentDate());
    QPointer<EditorWindowController> self(this);
    ImageExport::save(m_platform, image, settings, [self](bool writing) {
        if (!self)
            return;
        const bool closing = std::exchange(self->m_closeAfterSave, false);
        if (!writing)
            return;
        // A write that fails after this reopens the dialog with the picture: nothing is lost.
        self->markSaved();
        if (closing)
            self->closeNow();
    });
}

// --- other actions -------------------------------------------------------------------------------

void EditorWindowController::runOCR()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(false);
    if (image.isNull())
        return;
    if (!m_recognizer)
        return;
    QPointer<EditorWindowController> self(this);
    m_recognizer(image, this, [self](Result<QString> text) {
        // The same outcome as Extract Text: a failure is an alert naming its cause.
        if (self)
            RecognizedText::deliver(text, self->m_platform, QStringLiteral("Copied %1 chars"));
    });
}

void EditorWindowController::pinImage()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(false);
    if (!image.isNull())
        m_platform.pins->pin(image, m_window ? m_window->screen() : nullptr);
}

void EditorWindowController::addScreenshot()
{
    if (onRequestAddImage)
        onRequestAddImage();
}

// The compare window, the beautify window and sharing are separate pieces; until each is in
// place its button says so.
void EditorWindowController::compare()
{
    if (m_canvas->extraImages().isEmpty()) {
        m_platform.toasts->show(QStringLiteral("Add a 2nd screenshot (Add / Ctrl+V) to compare"));
        return;
    }
    // Before: the capture without its marks; after: the first placed picture as taken.
    m_compareWindow = std::make_unique<CompareWindowController>(
        m_canvas->baseImage(), m_canvas->extraImages().first()->picture, m_platform);
    m_compareWindow->showWindow();
}

void EditorWindowController::beautify()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(true);
    if (image.isNull())
        return;
    m_beautifyWindow = std::make_unique<BeautifyWindowController>(image, m_platform);
    m_beautifyWindow->showWindow();
}

void EditorWindowController::shareImage()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(true);
    if (image.isNull())
        return;
    m_platform.toasts->show(QStringLiteral("Uploading…"));
    // The upload reports its own outcome and finishes even if this window closes first.
    ShareService::share(image, m_platform);
}

void EditorWindowController::performClose()
{
    if (m_window)
        m_window->close();
}

bool EditorWindowController::hasUnsavedWork()
{
    m_canvas->commitEditors();
    return !m_canvas->undoStack()->isClean();
}

EditorScene EditorWindowController::scene() const
{
    const QPointF origin(CanvasModel::margin, CanvasModel::margin);
    const CanvasModel &model = m_canvas->model();
    EditorScene scene;
    scene.image = m_image;
    for (const AnnotationRef &m : model.annotations()) {
        AnnotationRef copy = m->copyForUndo();
        copy->translate(-origin);
        scene.marks.append(copy);
    }
    for (const PlacedImageRef &img : model.extraImages())
        scene.placed.append({img->picture, img->frame.translated(-origin)});
    if (model.crop())
        scene.crop = model.crop()->translated(-origin);
    return scene;
}

void EditorWindowController::restoreScene(const EditorScene &scene)
{
    const QPointF origin(CanvasModel::margin, CanvasModel::margin);
    for (const auto &[picture, frame] : scene.placed)
        m_canvas->model().placeImage(picture, frame.translated(origin));
    if (scene.crop)
        m_canvas->model().setCrop(scene.crop->translated(origin));
    m_canvas->setMagnification(m_canvas->magnification()); // sizes follow the content
    m_canvas->setViewportSize(m_scroll->viewport()->size());
    m_canvas->update();
}

void EditorWindowController::keepForNextStart(const RecoveryStore &store)
{
    if (!hasUnsavedWork())
        return;
    QString error;
    const QString id = store.write(scene(), recoveryId, &error);
    if (id.isEmpty()) {
        qWarning("vistrel: unsaved marks could not be kept: %s", qPrintable(error));
        return; // the window still asks: nothing is lost without a word
    }
    recoveryId = id;
    m_keptForNextStart = true;
    m_closing = true;
}

void EditorWindowController::discardChanges()
{
    m_canvas->cancelEditors();
    m_canvas->undoStack()->setClean();
}

void EditorWindowController::markSaved()
{
    m_canvas->undoStack()->setClean();
    RecoveryStore().remove(std::exchange(recoveryId, QString()));
}

bool EditorWindowController::mayClose()
{
    if (m_closing || !hasUnsavedWork())
        return true;
    askBeforeClose();
    return false;
}

void EditorWindowController::askBeforeClose()
{
    if (m_closeQuestion) {
        m_closeQuestion->raise();
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vistrel — Unsaved Marks"),
                                tr("Keep the marks on this capture?"), QMessageBox::NoButton,
                                m_window);
    box->setInformativeText(tr("They are lost if you close without saving or copying."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton *save = box->addButton(tr("&Save…"), QMessageBox::AcceptRole);
    QPushButton *copy = box->addButton(tr("&Copy and Close"), QMessageBox::ActionRole);
    QPushButton *discard = box->addButton(tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(save);
    box->setEscapeButton(cancel);
    m_closeQuestion = box;
    QPointer<EditorWindowController> self(this);
    connect(box, &QMessageBox::buttonClicked, this, [this, self, save, copy, discard](QAbstractButton *button) {
        if (!self)
            return;
        if (button == discard) {
            discardChanges();
            closeNow();
        } else if (button == copy) {
            const QImage image = m_canvas->renderComposite(true);
            if (!image.isNull() && ClipboardTools::copy(*m_platform.clipboard, image)) {
                m_platform.toasts->show(QStringLiteral("Copied to clipboard"));
                discardChanges();
                closeNow();
            }
        } else if (button == save) {
            m_closeAfterSave = true;
            performExport({ExportMode::Save, ExportChoice::Original});
        }
    });
    box->open();
}

void EditorWindowController::closeNow()
{
    m_closing = true;
    if (m_window)
        m_window->close();
}

void EditorWindowController::fitToolbar(int width)
{
    const bool compact = width < m_fullToolbarWidth;
    for (const char *title : {"Add", "Compare", "Beautify"}) {
        QAction *action = m_actions.value(QString::fromLatin1(title));
        auto *button = action ? qobject_cast<QToolButton *>(m_toolbar->widgetForAction(action)) : nullptr;
        if (!button)
            continue;
        if (!button->property("titledWidth").isValid())
            button->setProperty("titledWidth", button->minimumWidth());
        button->setToolButtonStyle(compact ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
        const int w = compact ? 34 : button->property("titledWidth").toInt();
        button->setMinimumWidth(w);
        button->setMaximumWidth(compact ? w : QWIDGETSIZE_MAX);
    }
}

bool EditorWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == m_window.data())
        fitToolbar(static_cast<QResizeEvent *>(event)->size().width());
    if (event->type() == QEvent::Resize && m_scroll && watched == m_scroll->viewport())
        m_canvas->setViewportSize(m_scroll->viewport()->size());
    return QObject::eventFilter(watched, event);
}

void EditorWindowController::windowClosing()
{
    // The window closes without changes, once they are saved or discarded, or kept on disk.
    if (!m_keptForNextStart)
        RecoveryStore().remove(std::exchange(recoveryId, QString()));
    if (onClose)
        onClose();
}

} // namespace vistrel
