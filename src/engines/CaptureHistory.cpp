#include "engines/CaptureHistory.h"

#include "engines/RecordingReader.h"
#include "engines/Redaction.h"
#include "model/CanvasModel.h"
#include "platform/PictureFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vistrel {

namespace {

const QString unsavedMarker = QStringLiteral("unsaved");
const QString thumbnailName = QStringLiteral("thumbnail.png");
const QString idTimeFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
const QString recordingDescription = QStringLiteral("recording.json");

constexpr QFileDevice::Permissions ownerFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

QString recordingName(RecordingFormat format)
{
    return QStringLiteral("recording.") + extensionOf(format);
}

// Entry folders being recorded into, by path: this process's only, so a recording left
// behind by one that ended is pruned as any unfinished entry is.
QMutex recordingMutex;
QSet<QString> recordingNow;

bool beingRecorded(const QString &folder)
{
    QMutexLocker lock(&recordingMutex);
    return recordingNow.contains(folder);
}

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

bool hasDescription(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/scene.json")).isFile();
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

QString CaptureHistory::recordingFile(const QString &id) const
{
    if (!safeId(id))
        return {};
    const QString folder = entryFolder(id) + QLatin1Char('/');
    for (RecordingFormat format :
         {RecordingFormat::WebM, RecordingFormat::Mp4, RecordingFormat::Gif})
        if (QFileInfo(folder + recordingName(format)).isFile())
            return folder + recordingName(format);
    return {};
}

QList<HistoryEntry> CaptureHistory::entries() const
{
    QList<HistoryEntry> list;
    const QDir dir(m_folder);
    const QStringList ids =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString &id : ids) {
        const QString folder = dir.filePath(id);
        // A recording's file is put in place only once it is finished (or what was recorded
        // before an error is).
        QString recording;
        if (!hasDescription(folder) && (recording = recordingFile(id)).isEmpty())
            continue; // still being written, or never finished
        HistoryEntry entry;
        entry.recording = recording;
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
    return safeId(id) && (hasDescription(entryFolder(id)) || !recordingFile(id).isEmpty());
}

QString CaptureHistory::recordingPath(const QString &id, RecordingFormat format,
                                      QString *error) const
{
    if (!safeId(id)) {
        if (error)
            *error = QStringLiteral("not a history entry: %1").arg(id);
        return {};
    }
    const QString dir = entryFolder(id);
    errno = 0;
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot make %1: %2")
                         .arg(dir, errno ? QString::fromLocal8Bit(std::strerror(errno))
                                         : QStringLiteral("not a folder"));
        return {};
    }
    // Private, as every entry: a recording shows whatever was on screen. A folder the user
    // linked elsewhere keeps the mode they gave it.
    for (const QString &folder : {m_folder, dir})
        if (!QFileInfo(folder).isSymLink())
            QFile::setPermissions(folder, ownerFolder);
    QMutexLocker lock(&recordingMutex);
    recordingNow.insert(dir);
    return dir + QLatin1Char('/') + recordingName(format);
}

bool CaptureHistory::finishRecording(const QString &id, const QImage &poster, qint64 durationMs,
                                     QString *error) const
{
    if (!safeId(id))
        return false;
    const QString dir = entryFolder(id);
    {
        QMutexLocker lock(&recordingMutex);
        recordingNow.remove(dir);
    }
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QString file = recordingFile(id);
    if (file.isEmpty()) {
        // An encoder that could not move its file into place leaves it hidden beside it: what
        // was recorded is kept under the entry's name all the same.
        const QFileInfoList parts = QDir(dir).entryInfoList({QStringLiteral(".recording.*.part")},
                                                            QDir::Files | QDir::Hidden, QDir::Time);
        for (const QFileInfo &part : parts) {
            const QString name = part.fileName().section(QLatin1Char('.'), 1, 2);
            if (part.size() > 0 && QFile::rename(part.filePath(), dir + QLatin1Char('/') + name))
                break;
        }
        file = recordingFile(id);
    }
    if (file.isEmpty()) {
        remove(id);
        return fail(QStringLiteral("nothing was recorded"));
    }
    // The encoder made it with the usual mode; inside a private folder, but kept private too.
    QFile::setPermissions(file, ownerOnly);
    QString cause;
    auto save = [&](const QString &name, auto &&writeTo) {
        QSaveFile out(dir + QLatin1Char('/') + name);
        if (out.open(QIODevice::WriteOnly)) {
            out.setPermissions(ownerOnly);
            if (writeTo(out) && out.commit())
                return true;
        }
        cause = out.errorString();
        return false;
    };
    // What the caller did not give is read from the file: its first frame, its length.
    QImage shown = poster;
    if (shown.isNull() || durationMs < 0) {
        RecordingReader reader;
        if (reader.open(file).isEmpty()) {
            if (shown.isNull())
                shown = reader.frameAt(0);
            if (durationMs < 0)
                durationMs = reader.durationMs();
        }
    }
    if (!shown.isNull()) {
        const int side = thumbnailSide;
        const QImage thumbnail =
            shown.width() > side || shown.height() > side
                ? shown.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : shown;
        if (!save(thumbnailName,
                  [&](QSaveFile &out) { return QImageWriter(&out, "png").write(thumbnail); }))
            return fail(QStringLiteral("cannot write the thumbnail in %1: %2").arg(dir, cause));
    }
    QJsonObject description{{QStringLiteral("file"), QFileInfo(file).fileName()}};
    if (!shown.isNull()) {
        description.insert(QStringLiteral("width"), shown.width());
        description.insert(QStringLiteral("height"), shown.height());
    }
    if (durationMs >= 0)
        description.insert(QStringLiteral("durationMs"), durationMs);
    const QByteArray json = QJsonDocument(description).toJson(QJsonDocument::Compact);
    if (!save(recordingDescription, [&](QSaveFile &out) { return out.write(json) == json.size(); }))
        return fail(QStringLiteral("cannot write %1/%2: %3").arg(dir, recordingDescription, cause));
    return true;
}

CaptureHistory::RecordingInfo CaptureHistory::recordingInfo(const QString &id) const
{
    RecordingInfo info;
    if (!safeId(id))
        return info;
    const FileBytes read =
        readRegularFile(entryFolder(id) + QLatin1Char('/') + recordingDescription, 4096);
    const QJsonObject description = QJsonDocument::fromJson(read.bytes).object();
    const int width = description.value(QLatin1String("width")).toInt();
    const int height = description.value(QLatin1String("height")).toInt();
    if (width > 0 && height > 0)
        info.size = QSize(width, height);
    info.durationMs = qint64(description.value(QLatin1String("durationMs")).toDouble(-1));
    return info;
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
        if (!keep.contains(id) && !folder.isSymLink() && !contains(id) &&
            !beingRecorded(folder.filePath()) && folder.lastModified().toUTC() < minuteAgo) {
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

void HistoryRecorder::finishRecording(const QString &id, const QImage &poster, qint64 durationMs)
{
    run([this, id, poster, durationMs] {
        QString error;
        const bool written = m_history.finishRecording(id, poster, durationMs, &error);
        CaptureHistory::Limits limits;
        QSet<QString> kept;
        {
            QMutexLocker lock(&m_mutex);
            if (written)
                m_failures.remove(id);
            else
                m_failures.insert(id, error);
            limits = m_limits;
            kept = m_kept;
        }
        // Nothing recorded is no failure of the history's.
        if (!written && m_history.contains(id)) {
            qWarning("vistrel: a recording could not be kept in the history: %s",
                     qPrintable(error));
            if (!std::exchange(m_failing, true))
                QMetaObject::invokeMethod(
                    this, [this, error] { emit writeFailed(error); }, Qt::QueuedConnection);
        }
        kept.insert(id);
        m_history.prune(limits, kept);
    });
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
