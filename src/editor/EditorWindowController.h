#pragma once

#include "editor/EditorGeometry.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QScrollArea;

namespace vistrel {

class PictureView;

// The window around one captured picture.
class EditorWindowController : public QObject
{
    Q_OBJECT
public:
    explicit EditorWindowController(const QImage &image, QObject *parent = nullptr);
    ~EditorWindowController() override;

    std::function<void()> onClose;
    std::function<void()> onRequestAddImage;
    std::optional<QString> suggestedNameBase;

    QWidget *window() const { return m_window; }
    const QImage &image() const { return m_image; }
    qreal fitMagnification() const { return m_geometry.fitMagnification; }
    qreal magnification() const;
    void setMagnification(qreal magnification);
    void showWindow();

    static QString title() { return QStringLiteral("Vistrel — Editor"); }

private:
    void windowWillClose();

    QImage m_image;
    EditorGeometry m_geometry;
    QPointer<QWidget> m_window;
    QScrollArea *m_scroll = nullptr;
    PictureView *m_view = nullptr;
    friend class EditorWindow;
};

} // namespace vistrel
