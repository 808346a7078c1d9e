#pragma once

#include "model/Annotation.h"
#include "platform/Desktop.h"
#include "ui/ImageExport.h"
#include "ui/PreviewCardCanvas.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QToolButton;
class QWidget;

namespace vistrel {

// The card's buttons, known by what they do whatever their titles read.
enum class PreviewButton { Adjust, Mark, Edit, Copy, Save, Pin, Close };

inline size_t qHash(PreviewButton button, size_t seed = 0)
{
    return ::qHash(int(button), seed);
}

// The card a scrolling capture opens in: crop (Adjust) or mark (Mark) the picture, then Edit,
// Copy, Save, Pin or Close.
class PreviewCardController : public QObject
{
    Q_OBJECT
public:
    // `visible` is the visible frame the card is centred in (the main screen's when empty).
    PreviewCardController(const QImage &image, const Platform &platform, QRectF visible = QRectF(),
                          double devicePixelRatio = 0, QObject *parent = nullptr);
    ~PreviewCardController() override;

    // The preferences' save folder and "without asking", read at each Save; none: the home
    // folder's dialog.
    std::function<SaveSettings()> saveSettings;

    QWidget *window() const { return m_window; }
    PreviewCardCanvas *canvas() const { return m_canvas; }
    QLabel *dimBadge() const { return m_dimBadge; }
    QWidget *toolsBar() const { return m_toolsBar; }
    QAbstractButton *button(PreviewButton which) const;
    QToolButton *toolButton(ToolKind kind) const { return m_toolButtons.value(kind); }
    const CardGeometry &geometry() const { return m_geometry; }

    void showWindow();
    void setMode(PreviewCard::Mode mode);
    void pickTool(ToolKind kind);
    void setColor(const QColor &color);
    void editAction();
    void copyAction();
    void saveAction();
    void pinAction();
    void closeAction();

    // The marked picture cut to the crop; nothing when it cannot be rendered.
    std::optional<QImage> croppedComposite();

signals:
    // The card's window closed (not when the controller goes first).
    void closed();
    // Edit: the picture cut to the crop and the marks within it, for an editor.
    void editRequested(const QImage &image, const QList<AnnotationRef> &marks);

private:
    void buildUI();
    void windowClosing();
    void setKeptOnTop(bool on);

    Platform m_platform;
    CardGeometry m_geometry;
    QPointer<QWidget> m_window;
    PreviewCardCanvas *m_canvas = nullptr;
    QLabel *m_dimBadge = nullptr;
    QWidget *m_toolsBar = nullptr;
    QHash<ToolKind, QToolButton *> m_toolButtons;
    QHash<PreviewButton, QAbstractButton *> m_buttons;
    QToolButton *m_colorWell = nullptr;
    bool m_closed = false;
};

} // namespace vistrel
