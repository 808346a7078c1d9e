#include "ui/EditorToolbar.h"

#include "model/Annotation.h"
#include "ui/EditorGeometry.h"
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

EditorToolbar::EditorToolbar(QUndoStack *undoStack, QWidget *window)
    : QToolBar(window), m_window(window)
{
    setObjectName(QStringLiteral("toolbar"));
    setFixedHeight(int(EditorGeometry::toolbarHeight));
    setIconSize(QSize(18, 18));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setStyleSheet(QString::fromLatin1(toolbarStyle));
    auto *style = new ToolbarStyle;
    style->setParent(this);
    setStyle(style);

    auto *group = new QActionGroup(this);
    group->setExclusive(true);
    for (ToolKind tool : allToolKinds()) {
        auto *a = new QAction(symbolIcon(symbolName(tool)), tooltip(tool), m_window);
        a->setCheckable(true);
        a->setToolTip(tooltip(tool));
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, tool] { emit toolPicked(tool); });
        QToolBar::addAction(a);
        auto *b = qobject_cast<QToolButton *>(widgetForAction(a));
        b->setFixedSize(32, 30);
        b->setFocusPolicy(Qt::NoFocus);
        b->setProperty("tool", true);
        m_toolButtons.insert(tool, b);
        // Redaction by hand, then by finding: unlike blur, both leave nothing to recover.
        if (tool == ToolKind::Redact) {
            addButton(EditorAction::Redact, QT_TR_NOOP("Redact Secrets"), QStringLiteral("redact"),
                      {}, QSize(32, 30), false);
            m_actions.value(EditorAction::Redact)->setToolTip(tr("Redact Secrets (X)"));
        }
    }

    addWidget(gap(6));
    m_colorButton = new PaletteColorButton(Annotation::defaultColor());
    m_colorButton->setFixedSize(34, 30);
    connect(m_colorButton, &PaletteColorButton::picked, this, &EditorToolbar::colorPicked);
    addWidget(m_colorButton);

    addWidget(gap(6));
    // Tenths of a point: the width need not be a whole number.
    m_widthSlider = new QSlider(Qt::Horizontal);
    m_widthSlider->setRange(10, 240);
    m_widthSlider->setValue(50);
    m_widthSlider->setFixedSize(90, 30);
    m_widthSlider->setFocusPolicy(Qt::NoFocus);
    m_widthSlider->setToolTip(tr("Line width"));
    connect(m_widthSlider, &QSlider::valueChanged, this,
            [this](int tenths) { emit lineWidthChanged(tenths / 10.0); });
    addWidget(m_widthSlider);

    addWidget(gap(6));
    auto *addImage = addButton(EditorAction::Add, QT_TR_NOOP("Add"), QStringLiteral("insert-image"),
                               {}, QSize(84, 30), true);
    withBezel(addImage);
    m_actions.value(EditorAction::Add)
        ->setToolTip(tr("Add another screenshot to combine (Ctrl+V to paste an image)"));

    addWidget(gap(6));
    addButton(EditorAction::ZoomOut, QT_TR_NOOP("Zoom Out"), QStringLiteral("zoom-out"),
              {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, QSize(30, 30), false);
    addButton(EditorAction::ZoomToFit, QT_TR_NOOP("Zoom to Fit"), QStringLiteral("zoom-fit-best"),
              {QKeySequence(Qt::CTRL | Qt::Key_0)}, QSize(30, 30), false);
    addButton(EditorAction::ZoomIn, QT_TR_NOOP("Zoom In"), QStringLiteral("zoom-in"),
              {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
              QSize(30, 30), false);

    auto *stretch = new QWidget;
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(stretch);

    // A titled button is at least `width` wide and grows with its title; an icon-only one is
    // `width` wide.
    struct Right
    {
        EditorAction id;
        const char *title;
        const char *symbol;
        QList<QKeySequence> keys;
        bool iconOnly;
        int width;
    };
    const QList<Right> right{
        {EditorAction::Undo,
         QT_TR_NOOP("Undo"),
         "edit-undo",
         {QKeySequence(Qt::CTRL | Qt::Key_Z)},
         true,
         34},
        {EditorAction::Redo,
         QT_TR_NOOP("Redo"),
         "edit-redo",
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
         true,
         34},
        {EditorAction::Pin, QT_TR_NOOP("Pin"), "window-pin", {}, true, 34},
        {EditorAction::Ocr, QT_TR_NOOP("OCR"), "document-scan", {}, true, 34},
        {EditorAction::Compare, QT_TR_NOOP("Compare"), "view-split-left-right", {}, false, 82},
        {EditorAction::Beautify, QT_TR_NOOP("Beautify"), "tools-wizard", {}, false, 82},
        {EditorAction::Share, QT_TR_NOOP("Share"), "document-share", {}, false, 60},
        {EditorAction::Copy,
         QT_TR_NOOP("Copy"),
         "edit-copy",
         {QKeySequence(Qt::CTRL | Qt::Key_C)},
         false,
         60},
        {EditorAction::Save,
         QT_TR_NOOP("Save"),
         "document-save",
         {QKeySequence(Qt::CTRL | Qt::Key_S)},
         false,
         60},
    };
    for (int i = 0; i < right.size(); ++i) {
        const Right &r = right[i];
        QToolButton *b = addButton(r.id, r.title, QString::fromLatin1(r.symbol), r.keys,
                                   QSize(r.width, 30), !r.iconOnly);
        withBezel(b);
        if (i + 1 < right.size())
            addWidget(gap(4));
    }
    // Copy and Save act at once in the usual form; their other forms are on the button's
    // arrow (a submenu in the overflow of a narrow window), and Ctrl+Shift+S opens Save's
    // from the keyboard.
    for (ExportMode mode : {ExportMode::Copy, ExportMode::Save}) {
        QMenu *menu = buildFormatMenu(mode);
        m_formatMenus[int(mode)] = menu;
        QAction *action = m_actions.value(exportAction(mode));
        action->setMenu(menu);
        auto *b = qobject_cast<QToolButton *>(widgetForAction(action));
        b->setPopupMode(QToolButton::MenuButtonPopup);
        b->setMinimumWidth(b->minimumWidth() + 14);
    }
    auto *saveAs = new QAction(tr("Save As…"), m_window);
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(saveAs, &QAction::triggered, this, [this] { openFormatMenu(ExportMode::Save); });
    m_window->addAction(saveAs);

    QAction *undoAction = m_actions.value(EditorAction::Undo);
    QAction *redoAction = m_actions.value(EditorAction::Redo);
    undoAction->setEnabled(undoStack->canUndo());
    redoAction->setEnabled(undoStack->canRedo());
    connect(undoStack, &QUndoStack::canUndoChanged, undoAction, &QAction::setEnabled);
    connect(undoStack, &QUndoStack::canRedoChanged, redoAction, &QAction::setEnabled);

    // Ctrl+W closes the editor, as every window on the desktop does.
    auto *close = new QAction(tr("Close"), m_window);
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcuts(closeKeys);
    m_window->addAction(close);
    m_actions.insert(EditorAction::Close, close);

    m_fullWidth = sizeHint().width();
}

// Titles are marked for translation by the caller and shown here in the user's language.
QToolButton *EditorToolbar::addButton(EditorAction id, const char *title, const QString &symbol,
                                      const QList<QKeySequence> &keys, QSize size, bool withTitle)
{
    auto *a = new QAction(symbolIcon(symbol), tr(title), m_window);
    a->setToolTip(tr(title));
    a->setShortcuts(keys);
    QToolBar::addAction(a);
    auto *b = qobject_cast<QToolButton *>(widgetForAction(a));
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
}

double EditorToolbar::lineWidth() const
{
    return m_widthSlider->value() / 10.0;
}

void EditorToolbar::highlight(ToolKind tool)
{
    for (auto it = m_toolButtons.cbegin(); it != m_toolButtons.cend(); ++it)
        it.value()->defaultAction()->setChecked(it.key() == tool);
}

QMenu *EditorToolbar::formatMenu() const
{
    for (QMenu *menu : m_formatMenus)
        if (menu && menu->isVisible())
            return menu;
    return nullptr;
}

EditorAction EditorToolbar::exportAction(ExportMode mode)
{
    return mode == ExportMode::Copy ? EditorAction::Copy : EditorAction::Save;
}

QMenu *EditorToolbar::buildFormatMenu(ExportMode mode)
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
        connect(a, &QAction::triggered, this, [this, choice] { emit exportChosen(choice); });
    }
    return menu;
}

void EditorToolbar::openFormatMenu(ExportMode mode)
{
    QMenu *menu = m_formatMenus[int(mode)];
    // Under the button; while the button waits in the toolbar's overflow, under the overflow
    // button, which stands where the hidden buttons would.
    QWidget *anchor = widgetForAction(m_actions.value(exportAction(mode)));
    if (!anchor || !anchor->isVisible())
        if (auto *more = findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
            anchor = more;
    const QPoint below = anchor && anchor->isVisible()
                             ? anchor->mapToGlobal(QPoint(0, anchor->height() + 4))
                             : mapToGlobal(QPoint(width() - menu->sizeHint().width(), height()));
    menu->popup(below);
}

void EditorToolbar::fitWidth(int windowWidth)
{
    const bool compact = windowWidth < m_fullWidth;
    m_widthSlider->setFixedWidth(compact ? 56 : 90);
    for (EditorAction id :
         {EditorAction::Add, EditorAction::Compare, EditorAction::Beautify, EditorAction::Share}) {
        QAction *action = m_actions.value(id);
        auto *button = action ? qobject_cast<QToolButton *>(widgetForAction(action)) : nullptr;
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
