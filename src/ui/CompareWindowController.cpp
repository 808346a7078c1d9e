#include "ui/CompareWindowController.h"

#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "platform/Desktop.h"
#include "ui/ImageExport.h"
#include "ui/SideWindow.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace vistrel {

CompareView::CompareView(const QImage &before, const QImage &after, QWidget *parent)
    : QWidget(parent), m_model(before, after)
{
    setMinimumSize(1, 1);
    setCursor(Qt::SplitHCursor);
}

void CompareView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRectF bounds = rect();
    const double d = bounds.width() * m_model.fraction();
    p.fillRect(bounds, QColor::fromRgbF(0.1f, 0.1f, 0.1f));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(bounds, m_model.before());
    p.save();
    p.setClipRect(QRectF(d, 0, bounds.width() - d, bounds.height()));
    BeforeAfter::drawAspectFit(p, m_model.after(), bounds);
    p.restore();
    p.fillRect(QRectF(d - 1, 0, 2, bounds.height()), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor::fromRgbF(0.3f, 0.3f, 0.3f), 1));
    p.drawEllipse(QRectF(d - 9, bounds.center().y() - 9, 18, 18));
}

void CompareView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_model.moveDivider(event->position().x(), width());
    update();
}

void CompareView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    m_model.moveDivider(event->position().x(), width());
    update();
}

void CompareView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
}

CompareWindowController::CompareWindowController(const QImage &before, const QImage &after,
                                                 const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform)
{
    auto *window = new QWidget;
    m_window = window;
    window->setWindowTitle(title());
    window->setAttribute(Qt::WA_DeleteOnClose, false);

    const QRect visible = sideWindowVisibleFrame();
    const QSize content =
        sideWindowContentSize(QSizeF(before.size()), QSizeF(visible.size()), barH, 520).toSize();

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_view = new CompareView(before, after, window);
    layout->addWidget(m_view, 1);

    auto *bar = new ControlBar(int(barH), window);
    layout->addWidget(bar);
    auto *hint = new QLabel(tr("Drag the divider · before ⟷ after"), bar);
    QFont f = hint->font();
    f.setPixelSize(11);
    hint->setFont(f);
    hint->setForegroundRole(QPalette::PlaceholderText);
    hint->setGeometry(14, 16, 260, 16);
    connect(bar->addRightButton(tr("Export GIF"), 96, 10, 28), &QPushButton::clicked, this,
            &CompareWindowController::exportGIF);
    connect(bar->addRightButton(tr("Save"), 64, 10, 28), &QPushButton::clicked, this,
            &CompareWindowController::save);
    connect(bar->addRightButton(tr("Copy"), 64, 10, 28), &QPushButton::clicked, this,
            &CompareWindowController::copyImg);

    addCloseKeys(window);
    window->resize(content);
    window->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
}

CompareWindowController::~CompareWindowController()
{
    delete m_window;
}

void CompareWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void CompareWindowController::copyImg()
{
    const QImage picture = m_view->model().renderSplit();
    if (picture.isNull())
        return;
    if (ClipboardTools::copy(*m_platform.clipboard, picture))
        m_platform.toasts->show(tr("Copied"));
}

void CompareWindowController::save()
{
    const QImage picture = m_view->model().renderSplit();
    if (picture.isNull())
        return;
    ImageExport::savePanel(m_platform, picture, false, std::nullopt);
}

void CompareWindowController::exportGIF()
{
    SaveRequest request;
    request.suggestedName = QStringLiteral("Vistrel ") + ImageFiles::timestamp() + ".gif";
    request.nameFilters = {tr("GIF image (*.gif)")};
    QPointer<CompareWindowController> self(this);
    m_platform.saveChooser->choose(request, [self](QString path) {
        if (path.isEmpty() || !self)
            return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".gif");
        // Indexing two large frames takes a moment: the GUI thread stays free meanwhile.
        const BeforeAfter model = self->m_view->model();
        auto *watcher = new QFutureWatcher<bool>(self);
        connect(watcher, &QFutureWatcher<bool>::finished, self, [self, watcher] {
            const bool ok = watcher->result();
            watcher->deleteLater();
            if (ok)
                self->m_platform.toasts->show(tr("GIF saved"));
            emit self->gifExported(ok);
        });
        watcher->setFuture(
            QtConcurrent::run([model, path] { return model.writeBeforeAfterGIF(path); }));
    });
}

} // namespace vistrel
