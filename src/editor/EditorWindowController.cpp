#include "editor/EditorWindowController.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vistrel {

// Shows the picture at a magnification; the scaled copy is made once per magnification so
// scrolling only blits.
class PictureView : public QWidget
{
public:
    explicit PictureView(const QImage &image) : m_image(image) {}

    qreal magnification() const { return m_magnification; }
    void setMagnification(qreal m)
    {
        m_magnification = m;
        m_scaled = QPixmap();
        setFixedSize((QSizeF(m_image.size()) * m).toSize().expandedTo(QSize(1, 1)));
        update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (m_scaled.isNull()) {
            m_scaled = QPixmap::fromImage(
                qFuzzyCompare(m_magnification, 1.0)
                    ? m_image
                    : m_image.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        QPainter p(this);
        p.drawPixmap(event->rect(), m_scaled, event->rect());
    }

private:
    QImage m_image;
    QPixmap m_scaled;
    qreal m_magnification = 1.0;
};

class EditorWindow : public QWidget
{
public:
    explicit EditorWindow(EditorWindowController *controller) : m_controller(controller) {}

protected:
    void closeEvent(QCloseEvent *event) override
    {
        QWidget::closeEvent(event);
        if (event->isAccepted() && m_controller)
            m_controller->windowWillClose();
    }

private:
    QPointer<EditorWindowController> m_controller;
};

EditorWindowController::EditorWindowController(const QImage &image, QObject *parent)
    : QObject(parent), m_image(image)
{
    QRect visible(0, 0, 1440, 900);
    if (QScreen *s = QGuiApplication::primaryScreen())
        visible = s->availableGeometry();
    m_geometry = EditorGeometry::forImage(image.size(), visible.size());

    auto *window = new EditorWindow(this);
    m_window = window;
    window->setWindowTitle(title());
    window->setAttribute(Qt::WA_DeleteOnClose, false);

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *toolbar = new QWidget(window);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setFixedHeight(int(EditorGeometry::toolbarHeight));
    toolbar->setAutoFillBackground(true);
    layout->addWidget(toolbar);

    m_scroll = new QScrollArea(window);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PictureView(image);
    m_view->setMagnification(m_geometry.fitMagnification);
    m_scroll->setWidget(m_view);
    layout->addWidget(m_scroll, 1);

    const QSize content = m_geometry.contentSize.toSize();
    window->resize(content);
    window->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
}

EditorWindowController::~EditorWindowController()
{
    delete m_window;
}

qreal EditorWindowController::magnification() const
{
    return m_view->magnification();
}

void EditorWindowController::setMagnification(qreal m)
{
    m_view->setMagnification(
        qBound(EditorGeometry::minMagnification, m, EditorGeometry::maxMagnification));
}

void EditorWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void EditorWindowController::windowWillClose()
{
    if (onClose)
        onClose();
}

} // namespace vistrel
