// The coordinator's longer sessions: a board of several captures, a scrolling capture and its
// preview card, and the unsaved work kept for the next start.

#include "app/CaptureCoordinator.h"

#include "engines/CaptureHistory.h"

#include "app/AddSessionController.h"
#include "platform/X11Windows.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/Notifier.h"
#include "ui/PreviewCardController.h"
#include "ui/ScrollCaptureController.h"
#include "ui/SelectionOverlayController.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUndoStack>

namespace vistrel {

// --- board session ---------------------------------------------------------------------------

AddSessionController *CaptureCoordinator::addSession() const
{
    return m_addSession;
}

EditorWindowController *CaptureCoordinator::boardTarget() const
{
    return m_boardTarget;
}

void CaptureCoordinator::addScreenshot(EditorWindowController *editor)
{
    m_boardTarget = editor;
    if (editor && editor->window())
        editor->window()->hide();
    if (m_addSession) {
        // A session for another editor replaces the running one.
        m_addSession->closePanel();
        m_addSession->deleteLater();
    }
    auto *session = new AddSessionController(this);
    QPointer<CaptureCoordinator> self(this);
    session->onCapture = [self] {
        if (self)
            self->captureForBoard();
    };
    session->onDone = [self] {
        if (self)
            self->finishAddSession();
    };
    m_addSession = session;
    m_boardWorkWindow = 0;
    session->show();
}

void CaptureCoordinator::captureForBoard()
{
    QTimer::singleShot(0, this, [this] {
        const quint32 active = x11::activeWindow();
        if (active && x11::windowPid(active) != m_platform.screens->ownPid())
            m_boardWorkWindow = active;
        // Busy, or the content cannot be had: the panel comes back at once.
        const auto layout = beginBusyMode();
        if (!layout) {
            if (m_addSession)
                showBoardPanel();
            return;
        }
        auto images = captureDisplayImages(*layout);
        if (!images) {
            m_busy = false;
            if (m_addSession)
                showBoardPanel();
            Notifier::error(m_platform.alerts, images.error());
            return;
        }
        presentSelection(*layout, false, SelectionAction::Board, *images);
    });
}

void CaptureCoordinator::addToBoard(const QImage &image)
{
    if (m_boardTarget)
        m_boardTarget->canvas()->addImage(image);
    if (m_addSession) {
        ++m_addSession->count;
        showBoardPanel();
    }
}

void CaptureCoordinator::showBoardPanel()
{
    m_addSession->show();
    if (m_boardWorkWindow)
        x11::activate(m_boardWorkWindow);
}

void CaptureCoordinator::finishAddSession()
{
    if (m_addSession) {
        m_addSession->closePanel();
        m_addSession->deleteLater(); // may be inside its own Done button
        m_addSession = nullptr;
    }
    if (m_boardTarget)
        m_boardTarget->showWindow();
    m_boardTarget = nullptr;
    m_boardWorkWindow = 0;
}

ScrollCaptureController *CaptureCoordinator::scrollController() const
{
    return m_scrollController;
}

void CaptureCoordinator::startScrollSession(const QRectF &rect, const DisplayInfo &display)
{
    if (m_scrollController)
        m_scrollController->deleteLater();
    QPointer<CaptureCoordinator> self(this);
    auto *controller =
        new ScrollCaptureController(rect, display, m_platform, [self](std::optional<QImage> image) {
            if (!self)
                return;
            // Called from inside the controller: it goes once that call has returned.
            if (self->m_scrollController)
                self->m_scrollController->deleteLater();
            self->m_scrollController = nullptr;
            if (!image)
                return;
            self->keepCopy(*image);
            self->openPreviewCard(*image);
        });
    m_scrollController = controller;
    controller->buildHUD();
    // The overlay has just gone and frames are live pictures of the screen: the first one
    // waits until the page beneath has been repainted.
    constexpr int repaintMs = 120;
    QTimer::singleShot(repaintMs, controller, [controller] { controller->start(); });
}

PreviewCardController *CaptureCoordinator::openPreviewCard(const QImage &image)
{
    auto *card = new PreviewCardController(image, m_platform);
    QPointer<CaptureCoordinator> self(this);
    QPointer<PreviewCardController> weak(card);
    card->onClose = [self, weak] {
        if (!self || !weak)
            return;
        self->m_previews.removeAll(weak.data());
        weak->deleteLater();
    };
    card->saveSettings = [self] { return self ? self->saveSettings() : SaveSettings(); };
    card->onEdit = [self](const QImage &cropped, const QList<AnnotationRef> &marks) {
        // The card's marks stay marks in the editor, where they can still be moved or undone.
        if (self)
            self->openEditor(cropped, marks);
    };
    m_previews.append(card);
    card->showWindow();
    remember(image);
    return card;
}

// --- unsaved work --------------------------------------------------------------------------------

int CaptureCoordinator::unsavedEditors() const
{
    int n = 0;
    for (EditorWindowController *editor : m_editors)
        n += editor->hasUnsavedWork() ? 1 : 0;
    return n;
}

void CaptureCoordinator::discardUnsavedWork()
{
    for (EditorWindowController *editor : m_editors)
        editor->discardChanges();
}

QString CaptureCoordinator::keepUnsavedWork()
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

void CaptureCoordinator::saveUnsavedWork()
{
    // One at a time: Save opens a menu, and one menu can be open. Quit asks again after.
    for (EditorWindowController *editor : m_editors)
        if (editor->hasUnsavedWork()) {
            editor->showWindow();
            editor->saveImage();
            return;
        }
}

QStringList CaptureCoordinator::keptHistoryIds() const
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

void CaptureCoordinator::offerKeptWork()
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

void CaptureCoordinator::reopenKeptWork()
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

CaptureCoordinator::~CaptureCoordinator()
{
    m_quitting = true;
    delete m_keptWorkQuestion.data();
    delete m_selectionOverlay.data();
    delete m_colorPicker.data();
    delete m_addSession.data();
    delete m_scrollController.data();
    qDeleteAll(m_previews);
    qDeleteAll(m_editors);
}

} // namespace vistrel
