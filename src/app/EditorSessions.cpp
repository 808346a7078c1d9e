#include "app/EditorSessions.h"

#include "app/HeapTrimmer.h"
#include "app/Preferences.h"
#include "engines/CaptureHistory.h"
#include "engines/ImageFiles.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/Notifier.h"
#include "ui/RecordingPreviewWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QUndoStack>

#include <algorithm>

namespace vistrel {

EditorSessions::EditorSessions(const Platform &platform, HeapTrimmer &trimmer, QObject *parent)
    : QObject(parent), m_platform(platform), m_trimmer(trimmer),
      m_editorWindows(std::make_unique<EditorWindowPool>())
{
    m_recognizer = [this](const QImage &image, QObject *context,
                          std::function<void(Result<QString>)> done) {
        m_ocr.recognizeText(image, {}, context, std::move(done));
    };
}

EditorSessions::~EditorSessions()
{
    m_quitting = true;
    delete m_keptWorkQuestion.data();
    for (const QPointer<RecordingPreviewWindow> &preview : m_previews)
        if (preview) {
            disconnect(preview, nullptr, this, nullptr);
            delete preview.data();
        }
    qDeleteAll(m_editors);
}

void EditorSessions::recognizeText(const QImage &image, QObject *context,
                                   std::function<void(Result<QString>)> done)
{
    m_recognizer(image, context, std::move(done));
}

void EditorSessions::setPreferences(const Preferences *preferences)
{
    if (m_preferences)
        disconnect(m_preferences, nullptr, this, nullptr);
    m_preferences = preferences;
    if (m_preferences)
        connect(m_preferences, &Preferences::changed, this,
                &EditorSessions::applyHistoryPreferences);
    applyHistoryPreferences();
}

SaveSettings EditorSessions::saveSettings() const
{
    SaveSettings settings;
    if (m_preferences) {
        settings.folder = m_preferences->saveFolder();
        settings.withoutAsking = m_preferences->saveWithoutAsking();
    }
    return settings;
}

ShareSettings EditorSessions::shareSettings() const
{
    return ShareSettings(m_preferences ? m_preferences->fileName() : QString(), m_platform.keyring);
}

bool EditorSessions::smartNamesOn() const
{
    // The user's choice in Preferences, which the environment variable overrides.
    return m_preferences ? m_preferences->smartNames() : SmartNaming::enabled();
}

// --- editors ---------------------------------------------------------------------------------

EditorWindowController *EditorSessions::openEditor(const QImage &image,
                                                   const QList<AnnotationRef> &seed,
                                                   const QString &historyId)
{
    auto *editor =
        new EditorWindowController(image, seed, m_platform, nullptr, m_editorWindows.get(), &m_ocr);
    editor->setTextRecognizer(m_recognizer);
    QPointer<EditorSessions> self(this);
    editor->saveSettings = [self] { return self ? self->saveSettings() : SaveSettings(); };
    editor->redactionRules = [self] {
        return self && self->m_preferences ? self->m_preferences->redactionRules() : SecretRules();
    };
    editor->shareSettings = [self] {
        return self ? self->shareSettings() : ShareSettings(QString(), nullptr);
    };
    connect(editor, &EditorWindowController::sharingSetUpWanted, this,
            &EditorSessions::sharingSetUpWanted);
    QPointer<EditorWindowController> weak(editor);
    editor->historyId = historyId;
    connect(editor, &EditorWindowController::closed, this, [self, weak] {
        if (!self || !weak)
            return;
        // The last state, no longer unsaved: closing means it was saved, copied or discarded.
        // When the app quits, what is kept stays marked as not saved.
        if (self->m_recorder && !weak->historyId.isEmpty() && !self->m_quitting)
            self->m_recorder->record(weak->historyId, weak->scene(), false);
        self->m_editors.removeAll(weak.data());
        self->keepOpenEntries();
        weak->deleteLater();
        self->m_trimmer.request();
    });
    connect(editor, &EditorWindowController::addImageRequested, this, [self, weak] {
        if (self && weak)
            emit self->addImageRequested(weak);
    });
    connect(editor, &EditorWindowController::sceneOpenRequested, this,
            [self](const EditorScene &scene) {
                if (self)
                    self->openEditor(scene.image, scene.marks)->restoreScene(scene);
            });
    m_editors.append(editor);
    followInHistory(editor);
    editor->showWindow();
    suggestName(editor, image);
    return editor;
}

void EditorSessions::suggestName(EditorWindowController *editor, const QImage &image)
{
    // The name arrives later or never; the editor is usable at once.
    // With naming switched off, neither the text nor the picture goes anywhere.
    if (!smartNamesOn())
        return;
    NameSuggester suggester = m_nameSuggester;
    // Reading the picture costs a second or more: only when the naming tool can use the text.
    if (!suggester && SmartNaming::claudeExecutable()) {
        suggester = [this](const QString &text, const QImage &picture, QObject *context,
                           std::function<void(std::optional<QString>)> done) {
            m_naming.suggest(text, picture)
                .then(context, [done](const std::optional<QString> &name) { done(name); });
        };
    }
    if (!suggester)
        return;
    QPointer<EditorSessions> self(this);
    QPointer<EditorWindowController> weak(editor);
    m_recognizer(image, editor, [self, weak, image, suggester](Result<QString> text) {
        // Switched off while the picture was being read.
        if (!self || !weak || !self->smartNamesOn())
            return;
        suggester(text ? *text : QString(), image, weak, [weak](std::optional<QString> name) {
            if (weak)
                weak->suggestedNameBase = name;
        });
    });
}

void EditorSessions::warmUp()
{
    EditorWindowController warm(QImage(64, 48, QImage::Format_RGB32), {}, m_platform, nullptr,
                                m_editorWindows.get());
    warm.paintOnce();
}

// --- unsaved work ----------------------------------------------------------------------------

int EditorSessions::unsavedEditors() const
{
    int n = 0;
    for (EditorWindowController *editor : m_editors)
        n += editor->hasUnsavedWork() ? 1 : 0;
    return n;
}

void EditorSessions::discardUnsavedWork()
{
    for (EditorWindowController *editor : m_editors)
        editor->discardChanges();
}

QString EditorSessions::keepUnsavedWork()
{
    // Written first and confirmed after: an editor counts as kept only once its marks are on
    // disk, so a full disk or a read-only folder stops the quit instead of losing the work.
    QList<EditorWindowController *> unsaved;
    for (EditorWindowController *editor : m_editors)
        if (editor->hasUnsavedWork())
            unsaved.append(editor);
    if (m_recorder) {
        for (EditorWindowController *editor : unsaved)
            if (!editor->historyId.isEmpty())
                m_recorder->record(editor->historyId, editor->scene(), true);
        m_recorder->flush();
    }
    QString failure;
    const RecoveryStore store;
    QList<EditorWindowController *> kept;
    for (EditorWindowController *editor : unsaved) {
        if (m_recorder && !editor->historyId.isEmpty() &&
            m_recorder->failure(editor->historyId).isEmpty()) {
            kept.append(editor);
            continue;
        }
        // Without the history, or when it cannot be written, a store of its own.
        QString error;
        const QString id = store.write(editor->scene(), editor->recoveryId, &error);
        if (id.isEmpty()) {
            if (m_recorder && !editor->historyId.isEmpty())
                error = m_recorder->failure(editor->historyId);
            qWarning("vistrel: unsaved marks could not be kept: %s", qPrintable(error));
            failure = error;
            continue;
        }
        editor->recoveryId = id;
        kept.append(editor);
    }
    if (!failure.isEmpty())
        return failure;
    m_quitting = true;
    for (EditorWindowController *editor : kept)
        editor->keepForNextStart([](const EditorScene &) { return true; });
    return {};
}

void EditorSessions::saveUnsavedWork()
{
    // One at a time: Save opens a menu, and one menu can be open. Quit asks again after.
    for (EditorWindowController *editor : m_editors)
        if (editor->hasUnsavedWork()) {
            editor->showWindow();
            editor->saveImage();
            return;
        }
}

QStringList EditorSessions::keptHistoryIds() const
{
    QStringList ids;
    // The history is the user's: without preferences (tests, tools) it is not looked at.
    if (!m_preferences)
        return ids;
    for (const QString &id : CaptureHistory(historyFolder()).unsavedIds()) {
        bool open = false;
        for (EditorWindowController *editor : m_editors)
            open |= editor->historyId == id;
        if (!open)
            ids.append(id);
    }
    return ids;
}

void EditorSessions::offerKeptWork()
{
    const int kept = int(RecoveryStore().ids().size() + keptHistoryIds().size());
    if (kept == 0 || m_keptWorkQuestion)
        return;
    auto *box = new QMessageBox(
        QMessageBox::Question, tr("Vistrel — Kept Marks"),
        kept == 1
            ? tr("Vistrel kept the unsaved marks of a capture when it last quit.")
            : tr("Vistrel kept the unsaved marks of %n captures when it last quit.", "", kept),
        QMessageBox::NoButton);
    box->setInformativeText(tr("Reopen them in the editor?"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton *reopen = box->addButton(tr("&Reopen"), QMessageBox::AcceptRole);
    QPushButton *discard = box->addButton(tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton *later = box->addButton(tr("&Later"), QMessageBox::RejectRole);
    box->setDefaultButton(reopen);
    box->setEscapeButton(later);
    connect(box, &QMessageBox::buttonClicked, this, [this, reopen, discard](QAbstractButton *b) {
        if (b == reopen) {
            reopenKeptWork();
        } else if (b == discard) {
            const RecoveryStore store;
            for (const QString &id : store.ids())
                store.remove(id);
            // The captures stay in the history, as captures whose marks were not saved.
            const CaptureHistory history(historyFolder());
            for (const QString &id : keptHistoryIds())
                history.setUnsaved(id, false);
        }
    });
    m_keptWorkQuestion = box;
    box->show();
}

void EditorSessions::reopenKeptWork()
{
    const RecoveryStore store;
    for (const QString &id : store.ids()) {
        bool open = false;
        for (EditorWindowController *editor : m_editors)
            open |= editor->recoveryId == id;
        if (open)
            continue;
        QString error;
        const std::optional<EditorScene> scene = store.read(id, &error);
        if (!scene) {
            // Not offered again, but its files stay for the user to recover by hand.
            const QString kept = store.setAside(id);
            Notifier::error(m_platform.alerts,
                            tr("Kept marks could not be reopened (%1); their files are in %2")
                                .arg(error, kept));
            continue;
        }
        EditorWindowController *editor = openEditor(scene->image, scene->marks);
        editor->restoreScene(*scene);
        editor->recoveryId = id;
        editor->canvas()->undoStack()->resetClean(); // still unsaved
        recordEditor(editor);
    }
    // The newest few: dozens of editors at once take seconds and gigabytes. The others stay
    // in the history with their marks, no longer offered at every start.
    const CaptureHistory history(historyFolder());
    const QStringList kept = keptHistoryIds(); // oldest first
    const qsizetype rest = std::max<qsizetype>(0, kept.size() - maxReopened);
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (i < rest) {
            history.setUnsaved(kept[i], false);
            continue;
        }
        if (EditorWindowController *editor = reopenFromHistory(kept[i]))
            editor->canvas()->undoStack()->resetClean(); // still unsaved, as its entry says
        else
            history.setUnsaved(kept[i], false); // said once; it stays in the history as it is
    }
    if (rest > 0 && m_platform.toasts)
        m_platform.toasts->show(tr("The newest %1 reopened; %n more with their marks are in the "
                                   "history (Show History…)",
                                   "", int(rest))
                                    .arg(maxReopened));
}

// --- history ---------------------------------------------------------------------------------

QString EditorSessions::historyFolder() const
{
    return m_historyFolder.isEmpty() ? CaptureHistory::defaultFolder() : m_historyFolder;
}

void EditorSessions::setHistoryFolder(const QString &folder)
{
    m_historyFolder = folder;
    m_recorder.reset();
    applyHistoryPreferences();
}

void EditorSessions::applyHistoryPreferences()
{
    // Without preferences (tests, tools) nothing is kept.
    const bool on = m_preferences && m_preferences->historyEnabled();
    if (!on) {
        m_recorder.reset(); // what waits is written first
        for (EditorWindowController *editor : m_editors)
            editor->historyId.clear();
        return;
    }
    if (!m_recorder) {
        m_recorder = std::make_unique<HistoryRecorder>(CaptureHistory(historyFolder()));
        connect(m_recorder.get(), &HistoryRecorder::changed, this, &EditorSessions::historyChanged);
        // Said while the user can still save: a crash or a kill would lose what is not kept.
        connect(m_recorder.get(), &HistoryRecorder::writeFailed, this,
                [this](const QString &error) {
                    Notifier::error(
                        m_platform.alerts,
                        tr("Vistrel cannot keep your captures and unsaved marks in its history: %1")
                            .arg(error));
                });
        // Editors already open are followed from now on.
        for (EditorWindowController *editor : m_editors)
            followInHistory(editor);
    }
    m_recorder->setLimits({m_preferences->historyMaxEntries(),
                           qint64(m_preferences->historyMaxMegabytes()) * 1000 * 1000});
    keepOpenEntries();
}

void EditorSessions::keepOpenEntries()
{
    if (!m_recorder)
        return;
    QSet<QString> open;
    for (EditorWindowController *editor : m_editors)
        if (!editor->historyId.isEmpty())
            open.insert(editor->historyId);
    for (const QPointer<RecordingPreviewWindow> &preview : m_previews)
        if (preview && !preview->historyId.isEmpty())
            open.insert(preview->historyId);
    m_recorder->setKept(open);
}

void EditorSessions::remember(const QImage &image)
{
    if (!m_recorder || image.isNull())
        return;
    EditorScene scene;
    // Not copied here: a copy on this thread would hold up the clipboard's answer. Written at
    // once, on idle time, so a cut of the frozen screen lets the screen go soon.
    scene.image = image;
    m_recorder->record(CaptureHistory::newId(), scene, false, true);
}

void EditorSessions::followInHistory(EditorWindowController *editor)
{
    if (!m_recorder)
        return;
    if (editor->historyId.isEmpty()) {
        editor->historyId = CaptureHistory::newId();
        recordEditor(editor);
    }
    keepOpenEntries();
    if (editor->property("followedInHistory").toBool())
        return;
    editor->setProperty("followedInHistory", true);
    // Every change on the canvas, after it happened (an undo step is pushed before a gesture
    // changes anything), and every save or discard. Many a second while dragging: the
    // recorder writes the last of them.
    auto changed = [this, editor] { recordEditor(editor); };
    connect(editor->canvas(), &AnnotationCanvas::changed, editor, changed);
    connect(editor->canvas()->undoStack(), &QUndoStack::cleanChanged, editor, changed);
}

void EditorSessions::recordEditor(EditorWindowController *editor)
{
    // Once quitting, what was kept stays as it was written, whatever the closing windows do.
    if (!m_recorder || editor->historyId.isEmpty() || m_quitting)
        return;
    // Not `hasUnsavedWork`: that would commit a text the user is still typing.
    m_recorder->record(editor->historyId, editor->scene(),
                       !editor->canvas()->undoStack()->isClean());
}

EditorWindowController *EditorSessions::reopenFromHistory(const QString &id)
{
    for (EditorWindowController *editor : m_editors)
        if (editor->historyId == id && editor->window()) {
            editor->showWindow();
            return editor;
        }
    const CaptureHistory history(historyFolder());
    if (const QString recording = history.recordingFile(id); !recording.isEmpty()) {
        showRecording(recording, {}, id);
        return nullptr;
    }
    QString error;
    const std::optional<EditorScene> scene = history.read(id, &error);
    if (!scene) {
        Notifier::error(m_platform.alerts, tr("This capture could not be reopened: %1").arg(error));
        return nullptr;
    }
    EditorWindowController *editor = openEditor(scene->image, scene->marks, id);
    editor->restoreScene(*scene);
    return editor;
}

bool EditorSessions::reopenLatest()
{
    for (const HistoryEntry &entry : CaptureHistory(historyFolder()).entries())
        if (!entry.isRecording()) {
            reopenFromHistory(entry.id);
            return true;
        }
    return false;
}

bool EditorSessions::hasCaptureInHistory() const
{
    const QList<HistoryEntry> entries = CaptureHistory(historyFolder()).entries();
    return std::any_of(entries.cbegin(), entries.cend(),
                       [](const HistoryEntry &entry) { return !entry.isRecording(); });
}

void EditorSessions::removeFromHistory(const QString &id)
{
    // An editor that shows it lets it go: its work is no longer followed.
    for (EditorWindowController *editor : m_editors)
        if (editor->historyId == id)
            editor->historyId.clear();
    for (const QPointer<RecordingPreviewWindow> &preview : m_previews)
        if (preview && preview->historyId == id)
            preview->historyId.clear();
    if (m_recorder) {
        keepOpenEntries();
        m_recorder->remove(id);
    } else {
        CaptureHistory(historyFolder()).remove(id);
        emit historyChanged();
    }
}

void EditorSessions::clearHistory()
{
    for (EditorWindowController *editor : m_editors)
        editor->historyId.clear();
    for (const QPointer<RecordingPreviewWindow> &preview : m_previews)
        if (preview)
            preview->historyId.clear();
    if (m_recorder) {
        keepOpenEntries();
        m_recorder->clear();
    } else {
        CaptureHistory(historyFolder()).clear();
        emit historyChanged();
    }
}

// --- recordings ------------------------------------------------------------------------------

QString EditorSessions::recordingTarget(RecordingFormat format, QString *historyId, QString *error)
{
    if (historyId)
        historyId->clear();
    if (m_recorder) {
        const QString id = CaptureHistory::newId();
        const QString path = m_recorder->history().recordingPath(id, format, error);
        if (!path.isEmpty() && historyId)
            *historyId = id;
        return path;
    }
    // Not kept: a private folder of the cache, under the time it began.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/vistrel/recordings");
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot make %1").arg(folder);
        return {};
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString base = folder + QStringLiteral("/Vistrel Recording ") + ImageFiles::timestamp();
    const QString extension = QLatin1Char('.') + extensionOf(format);
    QString path = base + extension;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral(" (%1)").arg(n) + extension;
    return path;
}

void EditorSessions::recordingFinished(const QString &historyId, const QImage &poster,
                                       qint64 durationMs)
{
    if (historyId.isEmpty())
        return;
    if (m_recorder) {
        m_recorder->finishRecording(historyId, poster, durationMs);
        return;
    }
    // The history was turned off while recording: the entry is still completed.
    CaptureHistory(historyFolder()).finishRecording(historyId, poster, durationMs);
    emit historyChanged();
}

RecordingPreviewWindow *EditorSessions::showRecording(const QString &file, const QString &note,
                                                      const QString &historyId)
{
    m_previews.removeAll(nullptr);
    for (const QPointer<RecordingPreviewWindow> &open : m_previews)
        if (QFileInfo(open->file()) == QFileInfo(file)) {
            if (!note.isEmpty())
                open->setNote(note);
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    auto *preview = new RecordingPreviewWindow(file, m_platform);
    preview->historyId = historyId;
    preview->setNote(note);
    QPointer<EditorSessions> self(this);
    preview->shareSettings = [self] {
        return self ? self->shareSettings() : ShareSettings(QString(), nullptr);
    };
    preview->saveFolder = [self] { return self ? self->saveSettings().folder : QString(); };
    connect(preview, &RecordingPreviewWindow::sharingSetUpWanted, this,
            &EditorSessions::sharingSetUpWanted);
    // Once it is gone whole: while it is being destroyed its pointer is not yet null, and its
    // entry must not be read from it.
    connect(
        preview, &QObject::destroyed, this,
        [this] {
            m_previews.removeAll(nullptr);
            keepOpenEntries();
            m_trimmer.request();
        },
        Qt::QueuedConnection);
    m_previews.append(preview);
    keepOpenEntries();
    preview->show();
    preview->raise();
    preview->activateWindow();
    return preview;
}

QList<RecordingPreviewWindow *> EditorSessions::recordingPreviews() const
{
    QList<RecordingPreviewWindow *> open;
    for (const QPointer<RecordingPreviewWindow> &preview : m_previews)
        if (preview)
            open.append(preview);
    return open;
}

} // namespace vistrel
