#pragma once

#include "engines/OCRService.h"
#include "engines/RecordingWriter.h"
#include "engines/ShareSettings.h"
#include "engines/SmartNaming.h"
#include "model/Annotation.h"
#include "platform/Desktop.h"
#include "ui/ImageExport.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace vistrel {

class EditorWindowController;
class EditorWindowPool;
class HeapTrimmer;
class HistoryRecorder;
class Preferences;
class RecordingPreviewWindow;

// The open editors and what becomes of their work: the history that follows their marks, the
// unsaved work kept when the app quits and offered back at the next start. The text
// recognition and the naming its editors use are its own, and go after every editor it holds.
class EditorSessions : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("ui/EditorWindowController.h")
    Q_MOC_INCLUDE("ui/RecordingPreviewWindow.h")
public:
    EditorSessions(const Platform &platform, HeapTrimmer &trimmer, QObject *parent = nullptr);
    ~EditorSessions() override;

    // Seams for tests; the real text recognition is the default.
    using TextRecognizer =
        std::function<void(const QImage &, QObject *context, std::function<void(Result<QString>)>)>;
    void setTextRecognizer(TextRecognizer recognizer) { m_recognizer = std::move(recognizer); }
    // Suggests a file-name base from a picture's recognised text (empty when recognition
    // failed) and the picture; calls back once on `context`'s thread, with nothing when it has
    // no suggestion. Without one, editors keep the timestamped default name.
    using NameSuggester = std::function<void(const QString &text, const QImage &, QObject *context,
                                             std::function<void(std::optional<QString>)>)>;
    void setNameSuggester(NameSuggester suggester) { m_nameSuggester = std::move(suggester); }
    void recognizeText(const QImage &image, QObject *context,
                       std::function<void(Result<QString>)> done);
    // The engine and its model load while the area is being chosen.
    void prepareRecognition() { m_ocr.prepareForRecognition(); }

    // Where Save writes without asking, when the user chose so; whether captures are kept in
    // the history, and how many; whether editors get suggested names.
    void setPreferences(const Preferences *preferences);
    const Preferences *preferences() const { return m_preferences; }
    // The folder and "without asking" of every Save (capture flow, editors, preview cards),
    // as the preferences say now; the home folder's dialog without preferences.
    SaveSettings saveSettings() const;
    // Where Share finds its address and token: the preferences' file, the platform's keyring.
    ShareSettings shareSettings() const;

    // `historyId` names the history entry the editor's work goes on in; a new one without.
    EditorWindowController *openEditor(const QImage &image, const QList<AnnotationRef> &seed = {},
                                       const QString &historyId = {});
    const QList<EditorWindowController *> &editors() const { return m_editors; }
    // An editor built and painted once, off screen, and let go: the first real one finds its
    // code, icons and fonts loaded, and its window made (kept, unmapped).
    void warmUp();

    // Unsaved editors: kept on disk before the app quits (a signal, `vistrel quit`, the tray's
    // Quit), which their windows then let happen without asking; offered back at the next start.
    int unsavedEditors() const;
    void discardUnsavedWork();
    // Returns why some could not be kept (nothing is then taken as kept: the app must not
    // quit), or an empty string once every one is on disk.
    QString keepUnsavedWork();
    // Brings up the first editor with unsaved work with its Save menu open.
    void saveUnsavedWork();
    // Asks whether to reopen what an earlier run kept; nothing when there is none.
    void offerKeptWork();
    // Reopens kept work, each in an editor of its own: the newest `maxReopened` of the
    // history's; the others stay in the history with their marks.
    void reopenKeptWork();
    static constexpr int maxReopened = 5;
    QMessageBox *keptWorkQuestion() const { return m_keptWorkQuestion; }
    // From now on, what is kept stays as it was written, whatever the closing windows do.
    void beginQuitting() { m_quitting = true; }

    // The capture history, while the preferences keep it: every capture that is copied, saved,
    // pinned, edited or shown on a preview card, and each editor's marks as they change.
    HistoryRecorder *historyRecorder() const { return m_recorder.get(); }
    QString historyFolder() const;
    void setHistoryFolder(const QString &folder);
    // A capture that left without an editor (copied, saved, pinned, on a preview card).
    void remember(const QImage &image);
    // Opens an entry in an editor that goes on writing to it (a recording in its preview);
    // nothing (and a message) when it cannot be read.
    EditorWindowController *reopenFromHistory(const QString &id);
    // The newest capture (recordings are not for editors); false when there is none.
    bool reopenLatest();
    // Whether the history holds a capture `reopenLatest` can open.
    bool hasCaptureInHistory() const;
    void removeFromHistory(const QString &id);
    void clearHistory();

    // Screen recordings. Where an interactive recording is written: straight into a new entry
    // of the history (its id put in `historyId`), or, with the history off, under
    // ~/.cache/vistrel/recordings (no id). Empty, with `error` set, when no folder can be made.
    QString recordingTarget(RecordingFormat format, QString *historyId, QString *error = nullptr);
    // The recording of entry `historyId` ended, its file in place (or nothing was recorded:
    // the entry then goes); every target given an id is ended so, failed or not. The entry is
    // completed off this thread with `poster`, a frame of it (the file's first when null), as
    // its thumbnail, and the history pruned. Nothing for an empty id.
    void recordingFinished(const QString &historyId, const QImage &poster, qint64 durationMs = -1);
    // Opens the preview of a finished recording, or brings up the one open for that file;
    // `note` is the line under the video (frames dropped while recording, for one).
    RecordingPreviewWindow *showRecording(const QString &file, const QString &note = {},
                                          const QString &historyId = {});
    QList<RecordingPreviewWindow *> recordingPreviews() const;

signals:
    // Entries were written or removed.
    void historyChanged();
    // Share found nothing set up, or an address it cannot use: the user should see where to
    // set it up.
    void sharingSetUpWanted();
    // The editor's Add button: further captures are to go onto it.
    void addImageRequested(EditorWindowController *editor);

private:
    bool smartNamesOn() const;
    void suggestName(EditorWindowController *editor, const QImage &image);
    // Follows the preferences: starts or ends the history and sets its limits.
    void applyHistoryPreferences();
    // Gives an editor its entry and writes its marks there as they change.
    void followInHistory(EditorWindowController *editor);
    void recordEditor(EditorWindowController *editor);
    void keepOpenEntries();
    // Unsaved entries of the history that no editor holds.
    QStringList keptHistoryIds() const;

    Platform m_platform;
    HeapTrimmer &m_trimmer;
    OCRService m_ocr;
    SmartNaming m_naming;
    std::unique_ptr<EditorWindowPool> m_editorWindows;
    TextRecognizer m_recognizer;
    NameSuggester m_nameSuggester;
    const Preferences *m_preferences = nullptr;
    QList<EditorWindowController *> m_editors;
    QList<QPointer<RecordingPreviewWindow>> m_previews;
    QPointer<QMessageBox> m_keptWorkQuestion;
    QString m_historyFolder;
    std::unique_ptr<HistoryRecorder> m_recorder;
    bool m_quitting = false;
};

} // namespace vistrel
