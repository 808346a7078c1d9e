#include "ui/RecordingPreviewWindow.h"

#include "engines/ImageFiles.h"
#include "engines/RecordingExport.h"
#include "engines/RecordingWriter.h"
#include "platform/FileManager.h"
#include "ui/Notifier.h"
#include "ui/ShareService.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

constexpr int handleWidth = 8;

// The recording's current frame, as large as fits, on black.
class FrameView : public QWidget
{
public:
    explicit FrameView(QWidget *parent = nullptr) : QWidget(parent)
    {
        setMinimumSize(320, 180);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    void setFrame(const QImage &frame)
    {
        m_frame = frame;
        update();
    }
    QSize preferred;
    QSize sizeHint() const override { return preferred.isValid() ? preferred : QSize(640, 360); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (m_frame.isNull())
            return;
        const QSize fitted = m_frame.size().scaled(size(), Qt::KeepAspectRatio);
        QRect target(QPoint(), fitted);
        target.moveCenter(rect().center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_frame);
    }

private:
    QImage m_frame;
};

} // namespace

// --- the trim's bar --------------------------------------------------------------------------

TrimBar::TrimBar(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(tr("Drag the handles to trim the start and the end"));
}

QSize TrimBar::sizeHint() const
{
    return {300, 26};
}

void TrimBar::setDuration(qint64 ms)
{
    m_duration = ms;
    update();
}

void TrimBar::setRange(qint64 startMs, qint64 endMs)
{
    m_start = startMs;
    m_end = endMs;
    update();
}

void TrimBar::setPosition(qint64 ms)
{
    m_position = ms;
    update();
}

QRect TrimBar::groove() const
{
    return rect().adjusted(handleWidth, 6, -handleWidth, -6);
}

int TrimBar::xFor(qint64 ms) const
{
    const QRect g = groove();
    if (m_duration <= 0)
        return g.left();
    return g.left() + int(std::lround(double(ms) * g.width() / double(m_duration)));
}

qint64 TrimBar::msAt(int x) const
{
    const QRect g = groove();
    if (g.width() <= 0)
        return 0;
    const double share = std::clamp(double(x - g.left()) / g.width(), 0.0, 1.0);
    return qint64(std::llround(share * double(m_duration)));
}

void TrimBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect g = groove();
    const QColor base = palette().color(QPalette::Mid);
    const QColor kept = palette().color(QPalette::Highlight);
    painter.fillRect(g, base);
    const int a = xFor(m_start), b = xFor(m_end);
    painter.fillRect(QRect(QPoint(a, g.top()), QPoint(b, g.bottom())), kept);
    painter.setPen(QPen(palette().color(QPalette::Text), 2));
    const int p = xFor(m_position);
    painter.drawLine(p, 1, p, height() - 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::ButtonText));
    painter.drawRoundedRect(QRect(a - handleWidth, 0, handleWidth, height()), 2, 2);
    painter.drawRoundedRect(QRect(b, 0, handleWidth, height()), 2, 2);
}

void TrimBar::mousePressEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    // The nearer handle; the end's when they meet and the press is right of them.
    const int toStart = std::abs(x - (xFor(m_start) - handleWidth / 2));
    const int toEnd = std::abs(x - (xFor(m_end) + handleWidth / 2));
    if (std::min(toStart, toEnd) > 3 * handleWidth) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = toStart < toEnd ? Handle::Start : Handle::End;
    mouseMoveEvent(event);
}

void TrimBar::mouseMoveEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (m_dragging == Handle::Start)
        emit startDragged(msAt(x + handleWidth / 2));
    else if (m_dragging == Handle::End)
        emit endDragged(msAt(x - handleWidth / 2));
}

void TrimBar::mouseReleaseEvent(QMouseEvent *event)
{
    mouseMoveEvent(event);
    m_dragging = Handle::None;
}

// --- the window ------------------------------------------------------------------------------

RecordingPreviewWindow::RecordingPreviewWindow(const QString &file, const Platform &platform,
                                               QWidget *parent)
    : QWidget(parent), m_file(file), m_platform(platform), m_player(new RecordingPlayer(this))
{
    setWindowTitle(title());
    setAttribute(Qt::WA_DeleteOnClose);
    openFolder = [](const QString &path) { showInFileManager(path); };

    auto *view = new FrameView;
    m_view = view;
    m_note = new QLabel;
    m_note->setWordWrap(true);
    m_note->hide();

    m_play = new QToolButton;
    m_play->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_play->setToolTip(tr("Play (Space)"));
    m_position = new QSlider(Qt::Horizontal);
    m_position->setToolTip(tr("Position"));
    m_time = new QLabel;
    auto *transport = new QHBoxLayout;
    transport->addWidget(m_play);
    transport->addWidget(m_position, 1);
    transport->addWidget(m_time);

    m_trimBar = new TrimBar;
    m_trimText = new QLabel;
    auto *trim = new QHBoxLayout;
    trim->addWidget(new QLabel(tr("Trim:")));
    trim->addWidget(m_trimBar, 1);
    trim->addWidget(m_trimText);

    m_copy = new QPushButton(QIcon::fromTheme(QStringLiteral("edit-copy")), tr("Copy"));
    m_save = new QPushButton(QIcon::fromTheme(QStringLiteral("document-save")), tr("Save…"));
    m_share = new QPushButton(QIcon::fromTheme(QStringLiteral("emblem-shared")), tr("Share"));
    m_openFolder =
        new QPushButton(QIcon::fromTheme(QStringLiteral("folder-open")), tr("Open Folder"));
    m_copy->setToolTip(tr("Copy the recording (Ctrl+C): files paste as the file, pictures as "
                          "the GIF"));
    m_save->setToolTip(tr("Save as WebM, MP4 or GIF, by the name's extension (Ctrl+S)"));
    m_share->setToolTip(tr("Upload and copy the link"));
    auto *actions = new QHBoxLayout;
    actions->addWidget(m_copy);
    actions->addWidget(m_save);
    actions->addWidget(m_share);
    actions->addStretch(1);
    actions->addWidget(m_openFolder);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_note);
    layout->addLayout(transport);
    layout->addLayout(trim);
    layout->addLayout(actions);

    for (QWidget *w : {static_cast<QWidget *>(m_play), static_cast<QWidget *>(m_position),
                       static_cast<QWidget *>(m_trimBar), static_cast<QWidget *>(m_copy),
                       static_cast<QWidget *>(m_save), static_cast<QWidget *>(m_share)})
        w->setEnabled(false);

    connect(m_play, &QToolButton::clicked, m_player, &RecordingPlayer::toggle);
    // Drags, clicks on the groove and keys alike.
    connect(m_position, &QSlider::actionTriggered, m_player,
            [this] { m_player->seek(m_position->sliderPosition()); });
    connect(m_player, &RecordingPlayer::opened, this, &RecordingPreviewWindow::opened);
    connect(m_player, &RecordingPlayer::frameShown, this,
            [this, view](const QImage &frame, qint64) {
                m_frame = frame;
                view->setFrame(frame);
            });
    connect(m_player, &RecordingPlayer::positionChanged, this, [this](qint64 ms) {
        if (!m_position->isSliderDown())
            m_position->setValue(int(ms));
        m_trimBar->setPosition(ms);
        m_time->setText(timeText(ms) + QStringLiteral(" / ") + timeText(m_player->durationMs()));
    });
    connect(m_player, &RecordingPlayer::playingChanged, this, [this](bool playing) {
        m_play->setIcon(
            style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
        m_play->setToolTip(playing ? tr("Pause (Space)") : tr("Play (Space)"));
    });
    connect(m_trimBar, &TrimBar::startDragged, this, [this](qint64 ms) {
        m_player->setTrimStart(ms);
        showTrim();
    });
    connect(m_trimBar, &TrimBar::endDragged, this, [this](qint64 ms) {
        m_player->setTrimEnd(ms);
        showTrim();
    });
    connect(m_copy, &QPushButton::clicked, this, &RecordingPreviewWindow::copy);
    connect(m_save, &QPushButton::clicked, this, &RecordingPreviewWindow::save);
    connect(m_share, &QPushButton::clicked, this, &RecordingPreviewWindow::share);
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        if (openFolder)
            openFolder(m_file);
    });

    // Shortcuts of the whole window: Space plays whichever button has the keyboard.
    auto shortcut = [this](const QKeySequence &keys, auto slot) {
        auto *action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    shortcut(QKeySequence(Qt::Key_Space), [this] {
        if (m_readable)
            m_player->toggle();
    });
    shortcut(QKeySequence::Copy, [this] { copy(); });
    shortcut(QKeySequence::Save, [this] { save(); });

    m_time->setText(timeText(0));
    m_player->open(file);
}

RecordingPreviewWindow::~RecordingPreviewWindow() = default;

QString RecordingPreviewWindow::timeText(qint64 ms)
{
    const qint64 tenths = (std::max<qint64>(0, ms) + 50) / 100;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

void RecordingPreviewWindow::setNote(const QString &note)
{
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

void RecordingPreviewWindow::opened(const QString &error)
{
    m_readable = error.isEmpty();
    if (!m_readable) {
        // The file is still there to save or show in its folder; it only cannot be played.
        setNote(tr("This recording cannot be played: %1").arg(error));
        m_save->setEnabled(true);
        m_copy->setEnabled(true);
        m_share->setEnabled(true);
        return;
    }
    const QSize size = m_player->size();
    if (auto *view = static_cast<FrameView *>(m_view); size.isValid()) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QSize room = screen ? screen->availableSize() * 2 / 3 : QSize(1280, 720);
        view->preferred = size.boundedTo(room).expandedTo(QSize(320, 180));
        if (size.width() > room.width() || size.height() > room.height())
            view->preferred = size.scaled(room, Qt::KeepAspectRatio);
        view->updateGeometry();
        adjustSize();
    }
    m_position->setRange(0, int(std::max<qint64>(0, m_player->durationMs() - 1)));
    m_trimBar->setDuration(m_player->durationMs());
    showTrim();
    m_time->setText(timeText(0) + QStringLiteral(" / ") + timeText(m_player->durationMs()));
    setBusy(false);
}

void RecordingPreviewWindow::showTrim()
{
    const TrimRange &range = m_player->range();
    m_trimBar->setRange(range.start(), range.end());
    m_trimText->setText(range.isWhole() ? tr("all %1").arg(timeText(range.length()))
                                        : tr("%1 – %2 (%3)")
                                              .arg(timeText(range.start()), timeText(range.end()),
                                                   timeText(range.length())));
}

void RecordingPreviewWindow::setBusy(bool busy)
{
    m_busy = busy;
    const bool playable = m_readable && !busy;
    m_play->setEnabled(m_readable);
    m_position->setEnabled(m_readable);
    m_trimBar->setEnabled(playable);
    for (QPushButton *button : {m_copy, m_save, m_share})
        button->setEnabled(!busy);
    setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

void RecordingPreviewWindow::runInBackground(std::function<Outcome()> work,
                                             std::function<void(const Outcome &)> done)
{
    setBusy(true);
    auto *watcher = new QFutureWatcher<Outcome>(this);
    connect(watcher, &QFutureWatcher<Outcome>::finished, this, [this, watcher, done] {
        const Outcome outcome = watcher->result();
        watcher->deleteLater();
        setBusy(false);
        done(outcome);
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

std::function<RecordingPreviewWindow::Outcome()> RecordingPreviewWindow::keptFile() const
{
    const TrimRange &range = m_player->range();
    if (!m_readable || range.isWhole())
        return [file = m_file] {
            Outcome outcome;
            outcome.file = file;
            return outcome;
        };
    return [file = m_file, start = range.start(), end = range.end()] {
        Outcome outcome;
        outcome.file = RecordingExport::trimmedFile(file, start, end, &outcome.error);
        return outcome;
    };
}

void RecordingPreviewWindow::fail(const QString &message)
{
    Notifier::error(m_platform.alerts, message);
    emit actionFinished(message);
}

void RecordingPreviewWindow::copy()
{
    if (m_busy || !m_platform.clipboard)
        return;
    runInBackground(
        [kept = keptFile()] {
            Outcome outcome = kept();
            // Read here too: a GIF's bytes may be many megabytes.
            if (outcome.error.isEmpty())
                outcome.clipboard = RecordingExport::clipboardFormats(outcome.file, &outcome.error);
            return outcome;
        },
        [this](const Outcome &outcome) {
            if (!outcome.error.isEmpty())
                return fail(tr("The recording could not be copied: %1").arg(outcome.error));
            m_platform.clipboard->setContents(outcome.clipboard);
            if (m_platform.toasts)
                m_platform.toasts->show(tr("Recording copied"));
            emit actionFinished({});
        });
}

void RecordingPreviewWindow::save()
{
    if (m_busy || !m_platform.saveChooser)
        return;
    const QString extension = QFileInfo(m_file).suffix().toLower();
    SaveRequest request;
    request.suggestedName = QStringLiteral("Vistrel Recording ") + ImageFiles::timestamp() +
                            QLatin1Char('.') + extension;
    const QString folder = saveFolder ? saveFolder() : QString();
    const QString good = m_platform.saveChooser->lastGoodFolder;
    request.folder = !good.isEmpty() && QFileInfo(good).isDir()       ? good
                     : !folder.isEmpty() && QFileInfo(folder).isDir() ? folder
                                                                      : QDir::homePath();
    // This recording's own type first: saving it as it is only copies it.
    QStringList filters{tr("WebM video (*.webm)"), tr("MP4 video (*.mp4)"),
                        tr("GIF animation (*.gif)")};
    std::stable_partition(filters.begin(), filters.end(), [&](const QString &filter) {
        return filter.contains(QStringLiteral("*.") + extension);
    });
    request.nameFilters = filters;
    QPointer<RecordingPreviewWindow> self(this);
    m_platform.saveChooser->choose(request, [self, extension](QString path) {
        if (!self || path.isEmpty())
            return;
        // A name typed without an extension keeps the recording's type.
        if (QFileInfo(path).suffix().isEmpty())
            path += QLatin1Char('.') + extension;
        self->saveTo(path);
    });
}

void RecordingPreviewWindow::saveTo(const QString &target)
{
    if (m_busy)
        return;
    const TrimRange &range = m_player->range();
    const bool whole = !m_readable || range.isWhole();
    runInBackground(
        [source = m_file, target, whole, start = range.start(), end = range.end()] {
            Outcome outcome;
            outcome.error = RecordingExport::save(source, target, whole, start, end);
            outcome.file = target;
            return outcome;
        },
        [this](const Outcome &outcome) {
            const QFileInfo file(outcome.file);
            if (!outcome.error.isEmpty())
                return fail(tr("Could not save “%1” in %2: %3.")
                                .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()),
                                     outcome.error));
            if (m_platform.saveChooser)
                m_platform.saveChooser->lastGoodFolder = file.absolutePath();
            if (m_platform.toasts)
                m_platform.toasts->show(tr("Saved · %1").arg(file.fileName()));
            emit actionFinished({});
        });
}

void RecordingPreviewWindow::share()
{
    if (m_busy || !m_platform.toasts)
        return;
    runInBackground(keptFile(), [this](const Outcome &outcome) {
        if (!outcome.error.isEmpty())
            return fail(tr("The recording could not be shared: %1").arg(outcome.error));
        QPointer<RecordingPreviewWindow> self(this);
        ShareService::shareFile(
            outcome.file, RecordingExport::mimeType(outcome.file), m_platform,
            shareSettings ? shareSettings() : ShareSettings(QString(), m_platform.keyring), this,
            [self](const std::optional<QString> &link) {
                if (self)
                    emit self->actionFinished(link ? QString() : tr("Share failed"));
            },
            [self] {
                if (self)
                    emit self->sharingSetUpWanted();
            });
    });
}

void RecordingPreviewWindow::closeEvent(QCloseEvent *event)
{
    m_player->pause();
    emit closed();
    QWidget::closeEvent(event);
}

void RecordingPreviewWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace vistrel
