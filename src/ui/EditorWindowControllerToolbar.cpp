// The editor's toolbar: its tools, palette, width slider and actions, its look, the format
// menus of Copy and Save, and how it fits a narrow window.

#include "ui/EditorWindowController.h"

#include "ui/AnnotationCanvas.h"
#include "ui/Palette.h"
#include "ui/SymbolIcon.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QProxyStyle>
#include <QSlider>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

namespace vistrel {

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
QToolBarExtension { qproperty-icon: url(:/icons/arrow-right-double.svg); border: 1px solid palette(mid); }
)";

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

    // Titles are marked for translation here and shown in the user's language.
    auto add = [this](EditorAction id, const char *title, const QString &symbol, auto slot,
                      QList<QKeySequence> keys, QSize size, bool withTitle) {
        auto *a = new QAction(symbolIcon(symbol), tr(title), m_window);
        a->setToolTip(tr(title));
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
        m_actions.insert(id, a);
        return b;
    };

    auto *group = new QActionGroup(this);
    group->setExclusive(true);
    for (ToolKind tool : allToolKinds()) {
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
        // Redaction by hand, then by finding: unlike blur, both leave nothing to recover.
        if (tool == ToolKind::Redact) {
            add(EditorAction::Redact, QT_TR_NOOP("Redact Secrets"), QStringLiteral("redact"),
                &EditorWindowController::redactSecrets, {}, QSize(32, 30), false);
            m_actions.value(EditorAction::Redact)->setToolTip(tr("Redact Secrets (X)"));
        }
    }

    m_toolbar->addWidget(gap(6));
    m_colorButton = new PaletteColorButton(Annotation::defaultColor());
    m_colorButton->setFixedSize(34, 30);
    connect(m_colorButton, &PaletteColorButton::picked, this,
            [this](const QColor &c) { m_canvas->setStrokeColor(c); });
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

    m_toolbar->addWidget(gap(6));
    auto *addButton = add(EditorAction::Add, QT_TR_NOOP("Add"), QStringLiteral("insert-image"),
                          &EditorWindowController::addScreenshot, {}, QSize(84, 30), true);
    withBezel(addButton);
    m_actions.value(EditorAction::Add)
        ->setToolTip(tr("Add another screenshot to combine (Ctrl+V to paste an image)"));

    m_toolbar->addWidget(gap(6));
    add(EditorAction::ZoomOut, QT_TR_NOOP("Zoom Out"), QStringLiteral("zoom-out"),
        &EditorWindowController::zoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, QSize(30, 30),
        false);
    add(EditorAction::ZoomToFit, QT_TR_NOOP("Zoom to Fit"), QStringLiteral("zoom-fit-best"),
        &EditorWindowController::zoomFit, {QKeySequence(Qt::CTRL | Qt::Key_0)}, QSize(30, 30),
        false);
    add(EditorAction::ZoomIn, QT_TR_NOOP("Zoom In"), QStringLiteral("zoom-in"),
        &EditorWindowController::zoomIn,
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        QSize(30, 30), false);

    auto *stretch = new QWidget;
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(stretch);

    // A titled button is at least `width` wide and grows with its title; an icon-only one is
    // `width` wide.
    struct Right
    {
        EditorAction id;
        const char *title;
        const char *symbol;
        void (EditorWindowController::*slot)();
        QList<QKeySequence> keys;
        bool iconOnly;
        int width;
    };
    const QList<Right> right{
        {EditorAction::Undo,
         QT_TR_NOOP("Undo"),
         "edit-undo",
         &EditorWindowController::undo,
         {QKeySequence(Qt::CTRL | Qt::Key_Z)},
         true,
         34},
        {EditorAction::Redo,
         QT_TR_NOOP("Redo"),
         "edit-redo",
         &EditorWindowController::redo,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
         true,
         34},
        {EditorAction::Pin,
         QT_TR_NOOP("Pin"),
         "window-pin",
         &EditorWindowController::pinImage,
         {},
         true,
         34},
        {EditorAction::Ocr,
         QT_TR_NOOP("OCR"),
         "document-scan",
         &EditorWindowController::runOCR,
         {},
         true,
         34},
        {EditorAction::Compare,
         QT_TR_NOOP("Compare"),
         "view-split-left-right",
         &EditorWindowController::compare,
         {},
         false,
         82},
        {EditorAction::Beautify,
         QT_TR_NOOP("Beautify"),
         "tools-wizard",
         &EditorWindowController::beautify,
         {},
         false,
         82},
        {EditorAction::Share,
         QT_TR_NOOP("Share"),
         "document-share",
         &EditorWindowController::shareImage,
         {},
         false,
         60},
        {EditorAction::Copy,
         QT_TR_NOOP("Copy"),
         "edit-copy",
         &EditorWindowController::copyImage,
         {QKeySequence(Qt::CTRL | Qt::Key_C)},
         false,
         60},
        {EditorAction::Save,
         QT_TR_NOOP("Save"),
         "document-save",
         &EditorWindowController::saveImage,
         {QKeySequence(Qt::CTRL | Qt::Key_S)},
         false,
         60},
    };
    for (int i = 0; i < right.size(); ++i) {
        const Right &r = right[i];
        QToolButton *b = add(r.id, r.title, QString::fromLatin1(r.symbol), r.slot, r.keys,
                             QSize(r.width, 30), !r.iconOnly);
        withBezel(b);
        if (i + 1 < right.size())
            m_toolbar->addWidget(gap(4));
    }
    // Copy and Save act at once in the usual form; their other forms are on the button's
    // arrow (a submenu in the overflow of a narrow window), and Ctrl+Shift+S opens Save's
    // from the keyboard.
    for (ExportMode mode : {ExportMode::Copy, ExportMode::Save}) {
        QMenu *menu = buildFormatMenu(mode);
        m_formatMenus[int(mode)] = menu;
        QAction *action = m_actions.value(exportAction(mode));
        action->setMenu(menu);
        auto *b = qobject_cast<QToolButton *>(m_toolbar->widgetForAction(action));
        b->setPopupMode(QToolButton::MenuButtonPopup);
        b->setMinimumWidth(b->minimumWidth() + 14);
    }
    auto *saveAs = new QAction(tr("Save As…"), m_window);
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(saveAs, &QAction::triggered, this, [this] { openFormatMenu(ExportMode::Save); });
    m_window->addAction(saveAs);

    QAction *undoAction = m_actions.value(EditorAction::Undo);
    QAction *redoAction = m_actions.value(EditorAction::Redo);
    undoAction->setEnabled(m_canvas->canUndo());
    redoAction->setEnabled(m_canvas->canRedo());
    connect(m_canvas->undoStack(), &QUndoStack::canUndoChanged, undoAction, &QAction::setEnabled);
    connect(m_canvas->undoStack(), &QUndoStack::canRedoChanged, redoAction, &QAction::setEnabled);
}

QAction *EditorWindowController::action(EditorAction which) const
{
    return m_actions.value(which);
}

QMenu *EditorWindowController::formatMenu(ExportMode mode) const
{
    return m_formatMenus[int(mode)];
}

QMenu *EditorWindowController::formatMenu() const
{
    for (QMenu *menu : m_formatMenus)
        if (menu && menu->isVisible())
            return menu;
    return nullptr;
}

EditorAction EditorWindowController::exportAction(ExportMode mode)
{
    return mode == ExportMode::Copy ? EditorAction::Copy : EditorAction::Save;
}

QMenu *EditorWindowController::buildFormatMenu(ExportMode mode)
{
    auto *menu = new QMenu(m_window);
    const struct
    {
        const char *title;
        const char *symbol;
        int format;
    } items[] = {{QT_TR_NOOP("Original"), "image-x-generic", ExportChoice::Original},
                 {QT_TR_NOOP("Transparent"), "select-rectangular", ExportChoice::Transparent},
                 {QT_TR_NOOP("PDF"), "application-pdf", ExportChoice::PDF},
                 {QT_TR_NOOP("Editable PNG"), "document-edit", ExportChoice::EditablePng}};
    for (const auto &item : items) {
        // The clipboard has no place for the marks beside the picture.
        if (item.format == ExportChoice::EditablePng && mode != ExportMode::Save)
            continue;
        QAction *a = menu->addAction(symbolIcon(QString::fromLatin1(item.symbol)), tr(item.title));
        const ExportChoice choice{mode, item.format};
        a->setData(QVariant::fromValue(choice));
        connect(a, &QAction::triggered, this, [this, choice] { performExport(choice); });
    }
    return menu;
}

void EditorWindowController::openFormatMenu(ExportMode mode)
{
    QMenu *menu = m_formatMenus[int(mode)];
    // Under the button; while the button waits in the toolbar's overflow, under the overflow
    // button, which stands where the hidden buttons would.
    QWidget *anchor = m_toolbar->widgetForAction(m_actions.value(exportAction(mode)));
    if (!anchor || !anchor->isVisible())
        if (auto *more =
                m_toolbar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
            anchor = more;
    const QPoint below =
        anchor && anchor->isVisible()
            ? anchor->mapToGlobal(QPoint(0, anchor->height() + 4))
            : m_toolbar->mapToGlobal(
                  QPoint(m_toolbar->width() - menu->sizeHint().width(), m_toolbar->height()));
    menu->popup(below);
}

void EditorWindowController::fitToolbar(int width)
{
    const bool compact = width < m_fullToolbarWidth;
    m_widthSlider->setFixedWidth(compact ? 56 : 90);
    for (EditorAction id :
         {EditorAction::Add, EditorAction::Compare, EditorAction::Beautify, EditorAction::Share}) {
        QAction *action = m_actions.value(id);
        auto *button =
            action ? qobject_cast<QToolButton *>(m_toolbar->widgetForAction(action)) : nullptr;
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

} // namespace vistrel
