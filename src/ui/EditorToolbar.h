#pragma once

#include "model/ToolKind.h"
#include "ui/EditorExport.h"

#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QToolBar>

class QAction;
class QSlider;
class QToolButton;
class QUndoStack;

namespace vistrel {

class PaletteColorButton;

// The editor's actions other than the tools, known by what they do whatever their titles read.
enum class EditorAction {
    Add,
    ZoomOut,
    ZoomToFit,
    ZoomIn,
    Undo,
    Redo,
    Pin,
    Ocr,
    Redact,
    Compare,
    Beautify,
    Share,
    Copy,
    Save,
    Close,
};

inline size_t qHash(EditorAction action, size_t seed = 0)
{
    return ::qHash(int(action), seed);
}

// The editor's toolbar: its tools, palette, width slider and actions, its look, the format
// menus of Copy and Save, and how it fits a narrow window. It says what the user asked for;
// the editor does it. The actions and menus belong to `window`, whose keys they answer (Close
// and Save As only there, not on the toolbar).
class EditorToolbar : public QToolBar
{
    Q_OBJECT
public:
    // Undo and Redo are enabled as `undoStack` can undo and redo.
    EditorToolbar(QUndoStack *undoStack, QWidget *window);

    QAction *action(EditorAction which) const { return m_actions.value(which); }
    QToolButton *toolButton(ToolKind tool) const { return m_toolButtons.value(tool); }
    PaletteColorButton *colorButton() const { return m_colorButton; }
    QSlider *widthSlider() const { return m_widthSlider; }
    double lineWidth() const;
    // The other forms of Copy or Save, on the arrow of their buttons.
    QMenu *formatMenu(ExportMode mode) const { return m_formatMenus[int(mode)]; }
    // Either format menu, while it is open.
    QMenu *formatMenu() const;
    // Opens a format menu under its button, or under the overflow button while the button
    // waits there.
    void openFormatMenu(ExportMode mode);

    // Shows `tool` as the active one.
    void highlight(ToolKind tool);
    // The width the whole toolbar wants, all titles shown.
    int fullWidth() const { return m_fullWidth; }
    // Some titled buttons show their icon only while the window is narrower than `fullWidth`.
    void fitWidth(int windowWidth);

signals:
    void toolPicked(vistrel::ToolKind tool);
    void colorPicked(const QColor &color);
    void lineWidthChanged(double width);
    void exportChosen(const vistrel::ExportChoice &choice);

private:
    QToolButton *addButton(EditorAction id, const char *title, const QString &symbol,
                           const QList<QKeySequence> &keys, QSize size, bool withTitle);
    QMenu *buildFormatMenu(ExportMode mode);
    static EditorAction exportAction(ExportMode mode);

    QWidget *m_window;
    QHash<ToolKind, QToolButton *> m_toolButtons;
    QHash<EditorAction, QAction *> m_actions;
    PaletteColorButton *m_colorButton = nullptr;
    QSlider *m_widthSlider = nullptr;
    QPointer<QMenu> m_formatMenus[2];
    int m_fullWidth = 0;
};

} // namespace vistrel
