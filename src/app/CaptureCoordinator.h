#pragma once

#include "engines/CaptureService.h"
#include "engines/OCRService.h"
#include "engines/ShareSettings.h"
#include "engines/SmartNaming.h"
#include "model/Annotation.h"
#include "platform/Desktop.h"
#include "ui/ImageExport.h"
#include "ui/SelectionOverlay.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace vistrel {

class AddSessionController;
class PreviewCardController;
class EditorWindowController;
class OverlayWindowPool;
class EditorWindowPool;
class ScrollCaptureController;
class Preferences;
class HistoryRecorder;

// Runs every capture from the request to where the picture ends up. The text recognition and
// the naming its captures and editors use are its own, and go after every editor it holds.
class CaptureCoordinator : public QObject
{
    Q_OBJECT
public:
    explicit CaptureCoordinator(const Platform &platform, QObject *parent = nullptr);
    ~CaptureCoordinator() override;

    // Entry points: each returns at once and does its work on the next turn of the event loop.
    void startAreaCapture(bool ocr);
    void startWindowCapture();
    void captureFullScreen();
    void startScrollCapture();
    void startColorPick();
    // A capture for a script: no toolbar, no editor. The area is taken when its drag ends, a
    // window when it is clicked; the picture goes to the file (type by extension), to the
    // caller as PNG ("-"), and/or to the clipboard. `done` gets why no picture was taken
    // (empty when one was) and, for "-", its PNG. When `caller` goes (the script was killed or
    // hung up), the overlay it waits on closes: nobody would get the picture. Only a regular
    // file is replaced; anything else by that name is refused.
    struct ScriptedCapture
    {
        enum class Source { Area, Full, Window } source = Source::Full;
        QString output;
        bool clipboard = false;
    };
    using ScriptedDone = std::function<void(const QString &why, const QByteArray &png)>;
    void captureForScript(const ScriptedCapture &request, ScriptedDone done,
                          QObject *caller = nullptr);
    // Makes ahead what the first capture would otherwise make while the user waits (the
    // overlay windows, hidden); for once the app is up.
    void prepareForCaptures();

    // Seams for tests; the real overlay and text recognition are the defaults.
    void setOverlayFactory(OverlayFactory factory) { m_overlayFactory = std::move(factory); }
    using TextRecognizer =
        std::function<void(const QImage &, QObject *context, std::function<void(Result<QString>)>)>;
    void setTextRecognizer(TextRecognizer recognizer) { m_recognizer = std::move(recognizer); }
    // Suggests a file-name base from a picture's recognised text (empty when recognition
    // failed) and the picture; calls back once on `context`'s thread, with nothing when it has
    // no suggestion. Without one, editors keep the timestamped default name.
    using NameSuggester = std::function<void(const QString &text, const QImage &, QObject *context,
                                             std::function<void(std::optional<QString>)>)>;
    void setNameSuggester(NameSuggester suggester) { m_nameSuggester = std::move(suggester); }
    // The user's choices the captures follow: where and how Save writes, smart names, the
    // capture history and its limits, what Redact looks for, and the file Share reads. Without
    // them (tests, tools) Save asks, the history is off and Redact looks for everything.
    void setPreferences(const Preferences *preferences);
    // The folder and "without asking" of every Save (capture flow, editors, preview cards),
    // as the preferences say now; the home folder's dialog without preferences.
    SaveSettings saveSettings() const;
    // Where Share finds its address and token: the preferences' file, the platform's keyring.
    ShareSettings shareSettings() const;

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

    // The capture history, while the preferences keep it: every capture that is copied, saved,
    // pinned, edited or shown on a preview card, and each editor's marks as they change.
    HistoryRecorder *historyRecorder() const { return m_recorder.get(); }
    QString historyFolder() const;
    void setHistoryFolder(const QString &folder);
    // Opens an entry in an editor that goes on writing to it; nothing (and a message) when it
    // cannot be read.
    EditorWindowController *reopenFromHistory(const QString &id);
    // The newest entry; false when there is none.
    bool reopenLatest();
    void removeFromHistory(const QString &id);
    void clearHistory();

    bool busy() const { return m_busy; }
    SelectionOverlay *selectionOverlay() const { return m_selectionOverlay; }
    const QList<EditorWindowController *> &editors() const { return m_editors; }
    const QList<PreviewCardController *> &previews() const { return m_previews; }
    ScrollCaptureController *scrollController() const;

    // The frozen picture of every display; a display that cannot be read is left out, but a
    // picture that cannot be allocated ends the capture.
    Result<DisplayImageMap> captureDisplayImages(const ScreenLayout &layout);
    static std::optional<DisplayInfo> mainDisplay(const ScreenLayout &layout, quint32 mainID);

    // The chosen picture, cut from the frozen pictures the user chose it from (grabbed afresh
    // for a display that has none).
    void performCapture(const SelectionOutcome &outcome, const ScreenLayout &layout,
                        const DisplayImageMap &frozen = {});
    // The main display, grabbed now without our own windows.
    Result<QImage> grabMainDisplay(const ScreenLayout &layout);
    Result<QImage> cutOutcome(const SelectionOutcome &outcome, const ScreenLayout &layout,
                              const DisplayImageMap &frozen, QScreen **screen = nullptr);
    // `screen` is where the picture was taken; a pin opens there.
    void dispatch(const QImage &image, SelectionAction action, QScreen *screen = nullptr);
    // `historyId` names the history entry the editor's work goes on in; a new one without.
    EditorWindowController *openEditor(const QImage &image, const QList<AnnotationRef> &seed = {},
                                       const QString &historyId = {});
    // Board session: further region captures collected into an open editor (its Add button)
    // through a floating panel, until Done.
    void addScreenshot(EditorWindowController *editor);
    void captureForBoard();
    void finishAddSession();
    AddSessionController *addSession() const;
    EditorWindowController *boardTarget() const;
    // A scrolling capture of `rect` (display points, origin top-left); its picture opens in
    // a preview card.
    void startScrollSession(const QRectF &rect, const DisplayInfo &display);
    PreviewCardController *openPreviewCard(const QImage &image);

signals:
    // Entries were written or removed.
    void historyChanged();
    // Share found nothing set up, or an address it cannot use: the user should see where to
    // set it up.
    void sharingSetUpWanted();

private:
    enum class Mode { Area, Ocr, Window, Scroll, Board };
    bool smartNamesOn() const;
    void runOverlayMode(Mode mode);
    void pickColorOnOverlay();
    void copyColour(const QColor &colour);
    // The busy rule and the content fetch every mode starts with; nothing when it cannot start.
    std::optional<ScreenLayout> beginBusyMode();
    SelectionOverlay *makeOverlay(const OverlayRequest &request, SelectionOverlay::Completion done);
    void presentSelection(const ScreenLayout &layout, bool windowPicking,
                          std::optional<SelectionAction> immediateAction,
                          const DisplayImageMap &displayImages);
    void handleOutcome(const std::optional<SelectionOutcome> &outcome, const ScreenLayout &layout,
                       const DisplayImageMap &frozen);
    void keepCopy(const QImage &image);
    // Follows the preferences: starts or ends the history and sets its limits.
    void applyHistoryPreferences();
    // A capture that left without an editor (copied, saved, pinned, on a preview card).
    void remember(const QImage &image);
    // Gives an editor its entry and writes its marks there as they change.
    void followInHistory(EditorWindowController *editor);
    void recordEditor(EditorWindowController *editor);
    void keepOpenEntries();
    // Unsaved entries of the history that no editor holds.
    QStringList keptHistoryIds() const;
    // Once the capture's pictures are gone (on the next turn of the event loop), the heap's
    // free memory goes back to the system.
    void handBackMemory();
    void save(const QImage &image);
    void addToBoard(const QImage &image);
    // After each board step: the panel comes back and the keyboard goes back to the window
    // the user works in.
    void showBoardPanel();
    // A second scrolling capture while one runs: keep it, finish it or discard it first.
    void askToReplaceScrollCapture();
    bool m_askingToReplaceScroll = false;
    // A scripted capture's request, answered by its outcome.
    struct PendingScript
    {
        ScriptedCapture request;
        ScriptedDone done;
        const QObject *caller = nullptr; // only compared: it may be gone
    };
    void dropScriptOf(const QObject *caller);
    std::optional<PendingScript> m_script;
    // The picture to where the script asked, or why there is none.
    void finishScript(const PendingScript &script, const Result<QImage> &picture);
    // Says why the capture could not start: to the script waiting on it, else in an alert.
    void reportStartFailure(const CaptureError &error);

    Platform m_platform;
    OCRService m_ocr;
    SmartNaming m_naming;
    CaptureService m_capture;
    std::unique_ptr<OverlayWindowPool> m_overlayWindows;
    std::unique_ptr<EditorWindowPool> m_editorWindows;
    OverlayFactory m_overlayFactory;
    TextRecognizer m_recognizer;
    NameSuggester m_nameSuggester;
    const Preferences *m_preferences = nullptr;
    QPointer<SelectionOverlay> m_selectionOverlay;
    QPointer<SelectionOverlay> m_colorPicker;
    QList<EditorWindowController *> m_editors;
    QPointer<QMessageBox> m_keptWorkQuestion;
    QPointer<EditorWindowController> m_boardTarget;
    QPointer<AddSessionController> m_addSession;
    quint32 m_boardWorkWindow = 0; // had the keyboard when the last board capture began
    QPointer<ScrollCaptureController> m_scrollController;
    QList<PreviewCardController *> m_previews;
    bool m_busy = false;
    QString m_keepDir;
    int m_kept = 0;
    bool m_trimPending = false;
    QString m_historyFolder;
    std::unique_ptr<HistoryRecorder> m_recorder;
    bool m_quitting = false;
};

} // namespace vistrel
