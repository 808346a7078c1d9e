#include "engines/CaptureHistory.h"

#include "engines/Redaction.h"
#include "model/CanvasModel.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMutexLocker>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <utility>

namespace vistrel {

namespace {

const QString unsavedMarker = QStringLiteral("unsaved");
const QString thumbnailName = QStringLiteral("thumbnail.png");
const QString idTimeFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

qint64 folderBytes(const QString &folder)
{
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

bool safeId(const QString &id)
{
    return !id.isEmpty() && !id.contains(QLatin1Char('/')) && !id.startsWith(QLatin1Char('.'));
}

QImage thumbnailOf(const EditorScene &scene)
{
    CanvasModel model(scene.image, scene.marks);
    for (const auto &[picture, frame] : scene.placed)
        model.placeImage(picture, frame);
    model.setCrop(scene.crop);
    // Painted at no more than four times the thumbnail's size, then shrunk smoothly: a long
    // scrolling capture is not flattened whole at every change of its marks.
    const QRectF r = model.exportRect();
    const int side = CaptureHistory::thumbnailSide;
    const double scale = std::min(1.0, 4.0 * side / std::max(r.width(), r.height()));
    QImage board(std::max(1, int(r.width() * scale)), std::max(1, int(r.height() * scale)),
                 QImage::Format_RGB32);
    if (r.isEmpty() || board.isNull())
        return {};
    board.fill(Qt::white);
    QPainter painter(&board);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(QTransform::fromTranslate(-r.left(), -r.top()) *
                         QTransform::fromScale(scale, scale));
    model.paint(painter, r, false);
    painter.end();
    return board.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

CaptureHistory::CaptureHistory(QString folder) : m_folder(std::move(folder)) {}

QString CaptureHistory::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/history");
}

QString CaptureHistory::newId(const QDateTime &when)
{
    return when.toUTC().toString(idTimeFormat) + QLatin1Char('-') +
           QUuid::createUuid().toString(QUuid::Id128).left(6);
}

QString CaptureHistory::entryFolder(const QString &id) const
{
    return m_folder + QLatin1Char('/') + id;
}

bool CaptureHistory::write(const QString &id, const EditorScene &scene, bool unsaved, bool pictures,
                           QString *error) const
{
    if (!safeId(id))
        return false;
    const QString dir = entryFolder(id);
    const QString thumbnail = dir + QLatin1Char('/') + thumbnailName;
    if (RecoveryStore(m_folder).write(scene, id, error, pictures).isEmpty())
        return false;
    // With the marks, as the editor shows it: redactions cover here too. Marks change more
    // often than pictures, so it is drawn at every write.
    QSaveFile file(thumbnail);
    if (file.open(QIODevice::WriteOnly)) {
        file.setPermissions(ownerOnly);
        if (QImageWriter(&file, "png").write(thumbnailOf(scene)))
            file.commit();
    }
    // The thumbnail is a nicety; the marker is what offers the work back.
    return setUnsaved(id, unsaved, error);
}

QList<HistoryEntry> CaptureHistory::entries() const
{
    QList<HistoryEntry> list;
    const QDir dir(m_folder);
    const QStringList ids =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString &id : ids) {
        const QString folder = dir.filePath(id);
        if (!QFileInfo(folder + QStringLiteral("/scene.json")).isFile())
            continue; // still being written, or never finished
        HistoryEntry entry;
        entry.id = id;
        entry.time = QDateTime::fromString(id.left(idTimeFormat.size()), idTimeFormat);
        entry.time.setTimeSpec(Qt::UTC);
        if (!entry.time.isValid())
            entry.time = QFileInfo(folder).birthTime();
        entry.thumbnail = folder + QLatin1Char('/') + thumbnailName;
        entry.unsaved = QFileInfo::exists(folder + QLatin1Char('/') + unsavedMarker);
        list.append(entry);
    }
    return list;
}

std::optional<EditorScene> CaptureHistory::read(const QString &id, QString *error) const
{
    if (!safeId(id))
        return std::nullopt;
    return RecoveryStore(m_folder).read(id, error);
}

bool CaptureHistory::contains(const QString &id) const
{
    return safeId(id) && QFileInfo(entryFolder(id) + QStringLiteral("/scene.json")).isFile();
}

void CaptureHistory::remove(const QString &id) const
{
    if (safeId(id))
        QDir(entryFolder(id)).removeRecursively();
}

void CaptureHistory::clear() const
{
    for (const HistoryEntry &entry : entries())
        remove(entry.id);
}

bool CaptureHistory::setUnsaved(const QString &id, bool unsaved, QString *error) const
{
    if (!safeId(id))
        return false;
    const QString marker = entryFolder(id) + QLatin1Char('/') + unsavedMarker;
    if (!unsaved) {
        // One left behind only offers the work again.
        QFile::remove(marker);
        return true;
    }
    if (QFileInfo::exists(marker))
        return true;
    QFile file(marker);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.setPermissions(ownerOnly);
    return true;
}

QStringList CaptureHistory::unsavedIds() const
{
    QStringList ids;
    for (const HistoryEntry &entry : entries())
        if (entry.unsaved)
            ids.prepend(entry.id); // oldest first, as they are reopened
    return ids;
}

QStringList CaptureHistory::prune(const Limits &limits, const QSet<QString> &keep) const
{
    QStringList dropped;
    // Never finished (a full disk, a crash while writing): nothing lists them, so they go
    // here; not one just begun.
    const QDir dir(m_folder);
    const QDateTime minuteAgo = QDateTime::currentDateTimeUtc().addSecs(-60);
    for (const QString &id : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QFileInfo folder(dir.filePath(id));
        if (!keep.contains(id) && !folder.isSymLink() &&
            !QFileInfo(folder.filePath() + QStringLiteral("/scene.json")).exists() &&
            folder.lastModified().toUTC() < minuteAgo) {
            remove(id);
            dropped.append(id);
        }
    }
    const QList<HistoryEntry> all = entries();
    int count = 0;
    int unsaved = 0;
    qint64 bytes = 0;
    for (const HistoryEntry &entry : all) {
        const qint64 size = folderBytes(entryFolder(entry.id));
        // Unsaved work stays whatever the limits, up to a bound: a history of nothing but
        // unsaved entries would otherwise grow for ever.
        const bool kept = keep.contains(entry.id) || (entry.unsaved && ++unsaved <= maxUnsavedKept);
        if (!kept && (count + 1 > limits.maxEntries || bytes + size > limits.maxBytes)) {
            remove(entry.id);
            dropped.append(entry.id);
            continue;
        }
        ++count;
        bytes += size;
    }
    return dropped;
}

// --- writing on a thread of its own -----------------------------------------------------------

HistoryRecorder::HistoryRecorder(CaptureHistory history, QObject *parent)
    : QObject(parent), m_history(std::move(history))
{
    // One writer: entries are written in the order they were asked for.
    m_pool.setMaxThreadCount(1);
    // Only with time nothing else wants: a capture's own encoding (the clipboard's PNG, a
    // save) must not wait on the history's.
    m_pool.setThreadPriority(QThread::IdlePriority);
    m_pool.setExpiryTimeout(10 * 1000);
    m_delay.setSingleShot(true);
    m_delay.setInterval(delayMs);
    connect(&m_delay, &QTimer::timeout, this, &HistoryRecorder::start);
}

HistoryRecorder::~HistoryRecorder()
{
    flush();
}

void HistoryRecorder::setLimits(const CaptureHistory::Limits &limits)
{
    QMutexLocker lock(&m_mutex);
    m_limits = limits;
}

void HistoryRecorder::setKept(const QSet<QString> &ids)
{
    QMutexLocker lock(&m_mutex);
    m_kept = ids;
}

void HistoryRecorder::record(const QString &id, const EditorScene &scene, bool unsaved, bool now)
{
    QList<qint64> keys{scene.image.cacheKey()};
    for (const auto &placed : scene.placed)
        keys.append(placed.first.cacheKey());
    // What lies under the redactions is destroyed in the pictures written.
    keys.append(qint64(Redaction::concealedKey(scene.marks)));
    const bool pictures = m_pictureKeys.value(id) != keys;
    m_pictureKeys.insert(id, keys);
    {
        QMutexLocker lock(&m_mutex);
        Pending &pending = m_pending[id];
        pending.scene = scene;
        pending.unsaved = unsaved;
        pending.pictures |= pictures;
    }
    if (now) {
        m_delay.stop();
        start();
        return;
    }
    // Not restarted by later changes: a stream of edits is still written every `delayMs`.
    if (!m_delay.isActive())
        m_delay.start();
}

void HistoryRecorder::remove(const QString &id)
{
    m_pictureKeys.remove(id);
    {
        QMutexLocker lock(&m_mutex);
        m_pending.remove(id);
    }
    run([history = m_history, id] { history.remove(id); });
}

void HistoryRecorder::clear()
{
    m_pictureKeys.clear();
    {
        QMutexLocker lock(&m_mutex);
        m_pending.clear();
    }
    run([history = m_history] { history.clear(); });
}

void HistoryRecorder::start()
{
    run([this] { writePending(); });
}

void HistoryRecorder::run(std::function<void()> work)
{
    m_pool.start([this, work = std::move(work)] {
        work();
        // Queued to this object: dropped if it is gone by then.
        QMetaObject::invokeMethod(
            this, [this] { emit changed(); }, Qt::QueuedConnection);
    });
}

void HistoryRecorder::writePending()
{
    QHash<QString, Pending> pending;
    CaptureHistory::Limits limits;
    QSet<QString> kept;
    {
        QMutexLocker lock(&m_mutex);
        pending.swap(m_pending);
        limits = m_limits;
        kept = m_kept;
    }
    if (pending.isEmpty())
        return;
    bool added = false;
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        added |= !m_history.contains(it.key());
        QString error;
        const bool written =
            m_history.write(it.key(), it->scene, it->unsaved, it->pictures, &error);
        if (!written && error.isEmpty())
            error = QStringLiteral("the history cannot be written");
        {
            QMutexLocker lock(&m_mutex);
            if (written)
                m_failures.remove(it.key());
            else
                m_failures.insert(it.key(), error);
        }
        if (!written) {
            qWarning("vistrel: a capture could not be kept in the history: %s", qPrintable(error));
            if (!std::exchange(m_failing, true))
                QMetaObject::invokeMethod(
                    this, [this, error] { emit writeFailed(error); }, Qt::QueuedConnection);
        } else {
            m_failing = false;
        }
        kept.insert(it.key());
    }
    if (added)
        m_history.prune(limits, kept);
}

void HistoryRecorder::flush()
{
    m_delay.stop();
    m_pool.start([this] { writePending(); });
    m_pool.waitForDone();
}

QString HistoryRecorder::failure(const QString &id) const
{
    QMutexLocker lock(&m_mutex);
    return m_failures.value(id);
}

} // namespace vistrel
