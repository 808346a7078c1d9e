// The coordinator's capture history: what is kept, each editor's marks as they change, and
// reopening an entry with its marks editable.

#include "app/CaptureCoordinator.h"

#include "app/Preferences.h"
#include "engines/CaptureHistory.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/Notifier.h"

#include <QSet>
#include <QUndoStack>

namespace vistrel {

void CaptureCoordinator::setPreferences(const Preferences *preferences)
{
    if (m_preferences)
        disconnect(m_preferences, nullptr, this, nullptr);
    m_preferences = preferences;
    if (m_preferences)
        connect(m_preferences, &Preferences::changed, this,
                &CaptureCoordinator::applyHistoryPreferences);
    applyHistoryPreferences();
}

QString CaptureCoordinator::historyFolder() const
{
    return m_historyFolder.isEmpty() ? CaptureHistory::defaultFolder() : m_historyFolder;
}

void CaptureCoordinator::setHistoryFolder(const QString &folder)
{
    m_historyFolder = folder;
    m_recorder.reset();
    applyHistoryPreferences();
}

void CaptureCoordinator::applyHistoryPreferences()
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
        connect(m_recorder.get(), &HistoryRecorder::changed, this,
                &CaptureCoordinator::historyChanged);
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

void CaptureCoordinator::keepOpenEntries()
{
    if (!m_recorder)
        return;
    QSet<QString> open;
    for (EditorWindowController *editor : m_editors)
        if (!editor->historyId.isEmpty())
            open.insert(editor->historyId);
    m_recorder->setKept(open);
}

void CaptureCoordinator::remember(const QImage &image)
{
    if (!m_recorder || image.isNull())
        return;
    EditorScene scene;
    // Not copied here: a copy on this thread would hold up the clipboard's answer. Written at
    // once, on idle time, so a cut of the frozen screen lets the screen go soon.
    scene.image = image;
    m_recorder->record(CaptureHistory::newId(), scene, false, true);
}

void CaptureCoordinator::followInHistory(EditorWindowController *editor)
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

void CaptureCoordinator::recordEditor(EditorWindowController *editor)
{
    // Once quitting, what was kept stays as it was written, whatever the closing windows do.
    if (!m_recorder || editor->historyId.isEmpty() || m_quitting)
        return;
    // Not `hasUnsavedWork`: that would commit a text the user is still typing.
    m_recorder->record(editor->historyId, editor->scene(),
                       !editor->canvas()->undoStack()->isClean());
}

EditorWindowController *CaptureCoordinator::reopenFromHistory(const QString &id)
{
    for (EditorWindowController *editor : m_editors)
        if (editor->historyId == id && editor->window()) {
            editor->showWindow();
            return editor;
        }
    QString error;
    const std::optional<EditorScene> scene = CaptureHistory(historyFolder()).read(id, &error);
    if (!scene) {
        Notifier::error(m_platform.alerts, tr("This capture could not be reopened: %1").arg(error));
        return nullptr;
    }
    EditorWindowController *editor = openEditor(scene->image, scene->marks, id);
    editor->restoreScene(*scene);
    return editor;
}

bool CaptureCoordinator::reopenLatest()
{
    const QList<HistoryEntry> entries = CaptureHistory(historyFolder()).entries();
    if (entries.isEmpty())
        return false;
    reopenFromHistory(entries.first().id);
    return true;
}

void CaptureCoordinator::removeFromHistory(const QString &id)
{
    // An editor that shows it lets it go: its work is no longer followed.
    for (EditorWindowController *editor : m_editors)
        if (editor->historyId == id)
            editor->historyId.clear();
    if (m_recorder) {
        keepOpenEntries();
        m_recorder->remove(id);
    } else {
        CaptureHistory(historyFolder()).remove(id);
        emit historyChanged();
    }
}

void CaptureCoordinator::clearHistory()
{
    for (EditorWindowController *editor : m_editors)
        editor->historyId.clear();
    if (m_recorder) {
        keepOpenEntries();
        m_recorder->clear();
    } else {
        CaptureHistory(historyFolder()).clear();
        emit historyChanged();
    }
}

} // namespace vistrel
