#include "ui/HistoryWindow.h"

#include "platform/PictureFile.h"

#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

HistoryWindow::HistoryWindow(QString folder, QWidget *parent)
    : QWidget(parent), m_history(std::move(folder))
{
    setWindowTitle(title());
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    m_grid = new QListWidget;
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setIconSize(QSize(CaptureHistory::thumbnailSide, CaptureHistory::thumbnailSide));
    m_grid->setGridSize(
        QSize(CaptureHistory::thumbnailSide + 24, CaptureHistory::thumbnailSide + 40));
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setUniformItemSizes(true);
    // A double click, or Return.
    connect(m_grid, &QListWidget::itemActivated, this, [this] { openCurrent(); });
    m_empty =
        new QLabel(tr("No captures kept yet. Captures you copy, save, pin or edit appear here."));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    layout->addWidget(m_grid);
    layout->addWidget(m_empty);
    resize(4 * (CaptureHistory::thumbnailSide + 24) + 40,
           2 * (CaptureHistory::thumbnailSide + 40) + 40);
    refresh();
}

QString HistoryWindow::timeText(const QDateTime &when, const QDateTime &now)
{
    const QDateTime local = when.toLocalTime();
    const QString time = QLocale().toString(local.time(), QLocale::ShortFormat);
    const qint64 days = local.date().daysTo(now.toLocalTime().date());
    if (days == 0)
        return tr("Today %1").arg(time);
    if (days == 1)
        return tr("Yesterday %1").arg(time);
    return QLocale().toString(local, QLocale::ShortFormat);
}

QImage HistoryWindow::withPlayBadge(const QImage &thumbnail)
{
    QImage badged = thumbnail.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&badged);
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = std::max(8.0, std::min(badged.width(), badged.height()) * 0.18);
    const QPointF c(badged.width() / 2.0, badged.height() / 2.0);
    painter.setPen(QPen(QColor(255, 255, 255, 230), std::max(1.5, r / 8)));
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawEllipse(c, r, r);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 240));
    const double s = r * 0.5;
    painter.drawPolygon(
        QPolygonF{c + QPointF(-s * 0.6, -s), c + QPointF(-s * 0.6, s), c + QPointF(s, 0)});
    return badged;
}

void HistoryWindow::loadThumbnails(QObject *context, const QStringList &files,
                                   std::function<void(int, const QIcon &)> show,
                                   const QSet<int> &recordings)
{
    if (files.isEmpty())
        return;
    QPointer<QObject> guard = context;
    QThread *reader = QThread::create([files, guard, show = std::move(show), recordings] {
        for (int i = 0; i < files.size(); ++i) {
            const PictureRead read = readPictureFile(files[i]);
            // A thumbnail is small; anything larger is not one we wrote.
            if (read.image.isNull() || read.image.width() > 4 * CaptureHistory::thumbnailSide ||
                read.image.height() > 4 * CaptureHistory::thumbnailSide)
                continue;
            if (!guard)
                return;
            const QImage image = recordings.contains(i) ? withPlayBadge(read.image) : read.image;
            QMetaObject::invokeMethod(
                guard.data(),
                [guard, show, i, image] {
                    if (guard)
                        show(i, QIcon(QPixmap::fromImage(image)));
                },
                Qt::QueuedConnection);
        }
    });
    QObject::connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    reader->start();
}

void HistoryWindow::refresh()
{
    const QString current =
        m_grid->currentItem() ? m_grid->currentItem()->data(Qt::UserRole).toString() : QString();
    m_grid->clear();
    const QDateTime now = QDateTime::currentDateTime();
    QStringList thumbnails, ids;
    QSet<int> recordings;
    for (const HistoryEntry &entry : m_history.entries()) {
        if (entry.isRecording())
            recordings.insert(int(thumbnails.size()));
        thumbnails.append(entry.thumbnail);
        ids.append(entry.id);
        auto *item = new QListWidgetItem(timeText(entry.time, now));
        item->setData(Qt::UserRole, entry.id);
        item->setData(recordingRole, entry.isRecording());
        item->setToolTip(entry.isRecording() ? tr("Recording: double click to play")
                         : entry.unsaved     ? tr("Marks not saved")
                                             : QString());
        m_grid->addItem(item);
        if (entry.id == current)
            m_grid->setCurrentItem(item);
    }
    if (!m_grid->currentItem() && m_grid->count() > 0)
        m_grid->setCurrentRow(0);
    // Found by id: a refresh or a Delete may have changed the grid by then.
    loadThumbnails(
        this, thumbnails,
        [this, ids](int index, const QIcon &icon) {
            for (int row = 0; row < m_grid->count(); ++row)
                if (m_grid->item(row)->data(Qt::UserRole).toString() == ids.value(index))
                    m_grid->item(row)->setIcon(icon);
        },
        recordings);
    m_grid->setVisible(m_grid->count() > 0);
    m_empty->setVisible(m_grid->count() == 0);
}

void HistoryWindow::openCurrent()
{
    if (QListWidgetItem *item = m_grid->currentItem())
        emit openRequested(item->data(Qt::UserRole).toString());
}

void HistoryWindow::askToRemoveSelected()
{
    QList<QListWidgetItem *> items = m_grid->selectedItems();
    if (items.isEmpty() && m_grid->currentItem())
        items.append(m_grid->currentItem());
    if (items.isEmpty() || m_deleteQuestion)
        return;
    QStringList ids;
    for (QListWidgetItem *item : items)
        ids.append(item->data(Qt::UserRole).toString());
    // Removed captures cannot be brought back: the picture and its marks go from the disk.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Vistrel — Delete Captures"),
                                ids.size() == 1
                                    ? tr("Delete this capture from the history?")
                                    : tr("Delete %1 captures from the history?").arg(ids.size()),
                                QMessageBox::NoButton, this);
    box->setInformativeText(tr("Their pictures and marks are removed and cannot be brought back."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton *remove = box->addButton(tr("&Delete"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    m_deleteQuestion = box;
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, ids](QAbstractButton *button) {
        if (button == remove)
            this->remove(ids);
    });
    box->open();
}

void HistoryWindow::remove(const QStringList &ids)
{
    int row = -1;
    QStringList gone;
    for (int i = m_grid->count() - 1; i >= 0; --i) {
        QListWidgetItem *item = m_grid->item(i);
        if (!ids.contains(item->data(Qt::UserRole).toString()))
            continue;
        gone.append(item->data(Qt::UserRole).toString());
        row = i;
        delete item;
    }
    // Told once the grid is done with: a receiver may refresh it at once.
    for (const QString &id : gone)
        emit removeRequested(id);
    // The next one is ready for another Delete.
    if (m_grid->count() > 0 && row >= 0)
        m_grid->setCurrentRow(std::min(row, m_grid->count() - 1));
    m_grid->setVisible(m_grid->count() > 0);
    m_empty->setVisible(m_grid->count() == 0);
}

void HistoryWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        askToRemoveSelected();
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace vistrel
