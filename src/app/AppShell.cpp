#include "app/AppShell.h"

#include "app/CaptureCoordinator.h"
#include "app/HotkeyManager.h"
#include "app/Preferences.h"
#include "app/PreferencesWindow.h"
#include "app/RecordingSession.h"
#include "app/SettingsReader.h"
#include "engines/CaptureHistory.h"
#include "engines/EditablePng.h"
#include "platform/PictureFile.h"
#include "ui/EditorWindowController.h"
#include "ui/HistoryWindow.h"
#include "ui/Notifier.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace vistrel {

AppShell::AppShell(const Platform &platform, Preferences *preferences, QObject *parent)
    : QObject(parent), m_platform(platform), m_hotkeys(std::make_unique<HotkeyManager>()),
      m_ownPreferences(preferences ? nullptr : std::make_unique<Preferences>()),
      m_preferences(preferences ? preferences : m_ownPreferences.get()),
      m_coordinator(new CaptureCoordinator(platform, this))
{
    m_coordinator->setPreferences(m_preferences);
    connect(&m_coordinator->sessions(), &EditorSessions::sharingSetUpWanted, this,
            [this] { showPreferences(PreferencesPage::Sharing); });
    connect(&m_coordinator->recording(), &RecordingSession::activeChanged, this,
            [this](bool active) {
                m_recordingRuns = active;
                refreshShortcutTexts();
            });
}

AppShell::~AppShell()
{
    delete m_preferencesWindow.data();
}

HotkeyManager &AppShell::hotkeys()
{
    return *m_hotkeys;
}

QString AppShell::hotkeyText(quint32 id) const
{
    return m_preferences->hotkey(id).toString(QKeySequence::NativeText);
}

void AppShell::start()
{
    setupTrayIcon();
    // After the tray is up: what the last run kept of unsaved editors.
    QTimer::singleShot(0, &m_coordinator->sessions(), &EditorSessions::offerKeptWork);
    // Once the tray icon has had its turn on screen.
    QTimer::singleShot(300, m_coordinator, &CaptureCoordinator::prepareForCaptures);
    // Once a start, like the hot keys below: a hand-written value that is not understood is
    // never guessed at, and the user learns which default stands in for it.
    const QStringList unread = m_preferences->unreadSettings();
    if (!unread.isEmpty() && m_platform.alerts)
        m_platform.alerts->warn(
            tr("Some settings were not understood"),
            tr("%1 (%2). Their defaults are used instead; set them again in "
               "Preferences.")
                .arg(unread.join(QStringLiteral("; ")), m_preferences->fileName()));
    if (!m_platform.hotkeys)
        return;
    QStringList problems;
    const QHash<quint32, QKeySequence> resolved = m_preferences->resolvedHotkeys(&problems);
    QHash<quint32, QKeyCombination> chosen;
    for (auto it = resolved.cbegin(); it != resolved.cend(); ++it)
        chosen.insert(it.key(), it.value()[0]);
    // Said once a start, not at every key: the defaults stand in until Preferences sets them.
    if (!problems.isEmpty() && m_platform.alerts)
        m_platform.alerts->warn(
            tr("Some hot keys in the settings were not used"),
            tr("%1 (%2). Their default keys are used instead; set them again in "
               "Preferences.")
                .arg(problems.join(QStringLiteral("; ")), m_preferences->fileName()));
    hotkeys().registerKeys(m_coordinator, *m_platform.hotkeys, chosen);
    // While a preferences field waits for a combination, our own keys are what it gets.
    QPointer<AppShell> self(this);
    hotkeys().interceptPress = [self](quint32 id) {
        if (!self || !self->m_preferencesWindow)
            return false;
        const auto waiting = self->m_preferencesWindow->capturingId();
        if (!waiting)
            return false;
        self->m_preferencesWindow->offer(*waiting, self->hotkeys().combination(id));
        return true;
    };
}

void AppShell::setupTrayIcon()
{
    m_menu = buildMenu();
    m_tray = new QSystemTrayIcon(trayIcon(), this);
    m_tray->setToolTip(QStringLiteral("Vistrel"));
    m_tray->setContextMenu(m_menu.get());
    // A left click opens the same menu: the icon has nothing else to do.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](auto reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        std::fprintf(stderr, "vistrel: no system tray found; the icon appears when a tray "
                             "starts.\n");
    // Shown either way: the icon docks by itself when a tray host appears later.
    m_tray->show();
}

QIcon AppShell::trayIcon()
{
    // Our own glyph on its own badge: tray hosts on X11 do not tint icons to their theme.
    return QIcon(QStringLiteral(":/icons/vistrel.svg"));
}

std::unique_ptr<QMenu> AppShell::buildMenu()
{
    auto menu = std::make_unique<QMenu>();
    // Menu commands only queue work; the coordinator does it on the next turn of the loop.
    CaptureCoordinator *c = m_coordinator;
    auto item = [&](const QString &title, std::function<void()> action) {
        QAction *a = menu->addAction(title);
        connect(a, &QAction::triggered, this, [action] { action(); });
        return a;
    };
    m_hotkeyActions.clear();
    m_hotkeyActions.insert(1, item(tr("Capture Area"), [c] { c->startAreaCapture(false); }));
    m_hotkeyActions.insert(2, item(tr("Capture Full Screen"), [c] { c->captureFullScreen(); }));
    m_hotkeyActions.insert(4, item(tr("Scrolling Capture"), [c] { c->startScrollCapture(); }));
    QAction *window = item(tr("Capture Window"), [c] { c->startWindowCapture(); });
    // "Stop Recording" while one runs: the same item, the same hot key.
    m_hotkeyActions.insert(5, item(tr("Record Screen"), [c] { c->startOrStopRecording(); }));
    m_hotkeyActions.value(5)->setEnabled(m_platform.recorder != nullptr);
    // What the session cannot do stays in the menu, greyed, so users see it exists.
    m_hotkeyActions.value(4)->setEnabled(m_platform.limits.scrollCapture.isEmpty());
    window->setEnabled(m_platform.limits.windowCapture.isEmpty());
    menu->addSeparator();
    m_hotkeyActions.insert(3, item(tr("Extract Text (OCR)"), [c] { c->startAreaCapture(true); }));
    item(tr("Pick Color"), [c] { c->startColorPick(); });
    menu->addSeparator();
    m_recentMenu = menu->addMenu(tr("Recent Captures"));
    // Read when it opens, and let go when it closes: idle memory holds no thumbnails.
    connect(m_recentMenu, &QMenu::aboutToShow, this, &AppShell::fillRecentMenu);
    connect(m_recentMenu, &QMenu::aboutToHide, this, [menu = m_recentMenu] {
        // After the chosen item's action has run.
        QTimer::singleShot(0, menu, [menu] {
            if (!menu->isVisible())
                menu->clear();
        });
    });
    item(tr("Show History…"), [this] { showHistory(); });
    menu->addSeparator();
    m_infoLine = menu->addAction(QString());
    m_infoLine->setEnabled(false);
    menu->addSeparator();
    item(tr("Preferences…"), [this] { showPreferences(); });
    QAction *quit = item(tr("Quit Vistrel"), [this] { requestQuit(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The shortcut map does not reach a tray menu's popup; the menu answers the key itself.
    quit->setShortcutContext(Qt::WidgetShortcut);
    m_quitAction = quit;
    menu->installEventFilter(this);
    refreshShortcutTexts();
    return menu;
}

void AppShell::refreshShortcutTexts()
{
    const QHash<quint32, QString> titles = {
        {1, tr("Capture Area")},
        {2, tr("Capture Full Screen")},
        {3, tr("Extract Text (OCR)")},
        {4, tr("Scrolling Capture")},
        {5, m_recordingRuns ? tr("Stop Recording") : tr("Record Screen")},
    };
    for (auto it = m_hotkeyActions.cbegin(); it != m_hotkeyActions.cend(); ++it)
        it.value()->setText(titles.value(it.key()) + QStringLiteral("  (") + hotkeyText(it.key()) +
                            QLatin1Char(')'));
    if (m_infoLine)
        m_infoLine->setText(
            tr("%1 area · %2 full · %3 OCR").arg(hotkeyText(1), hotkeyText(2), hotkeyText(3)));
}

QString AppShell::rebindHotkey(quint32 id, QKeyCombination combination)
{
    const QString keys = QKeySequence(combination).toString(QKeySequence::NativeText);
    if (!SettingsReader::usableHotkey(combination))
        return tr("%1 cannot be a hot key: add Ctrl, Alt or Super.").arg(keys);
    for (const auto &row : HotkeyManager::table())
        if (row.id != id && m_preferences->hotkey(row.id)[0] == combination)
            return tr("%1 is already the hot key of %2.")
                .arg(keys, m_hotkeyActions.contains(row.id)
                               ? m_hotkeyActions.value(row.id)->text().section(
                                     QStringLiteral("  ("), 0, 0)
                               : QString::number(row.id));
    if (m_platform.hotkeys && !hotkeys().rebind(id, combination))
        return tr("%1 is held by another program (or no key gives it on this "
                  "keyboard); choose another combination.")
            .arg(keys);
    m_preferences->setHotkey(id, QKeySequence(combination));
    refreshShortcutTexts();
    return {};
}

PreferencesWindow *AppShell::preferencesWindow() const
{
    return m_preferencesWindow;
}

PreferencesWindow *AppShell::showPreferences(std::optional<PreferencesPage> page)
{
    if (!m_preferencesWindow) {
        QList<PreferencesWindow::HotkeyRow> rows = {
            {1, tr("Capture Area")},       {2, tr("Capture Full Screen")},
            {3, tr("Extract Text (OCR)")}, {4, tr("Scrolling Capture")},
            {5, tr("Record Screen")},
        };
        QPointer<AppShell> self(this);
        m_preferencesWindow = new PreferencesWindow(
            *m_preferences, rows,
            [self](quint32 id, QKeyCombination c) {
                return self ? self->rebindHotkey(id, c) : QString();
            },
            m_platform.keyring);
        connect(m_preferencesWindow, &PreferencesWindow::clearHistoryRequested,
                &m_coordinator->sessions(), &EditorSessions::clearHistory);
    }
    if (page)
        m_preferencesWindow->showPage(*page);
    // Where the user is looking: the screen with the pointer.
    if (!m_preferencesWindow->isVisible())
        m_preferencesWindow->placeOnScreenAt(QCursor::pos());
    m_preferencesWindow->show();
    m_preferencesWindow->raise();
    m_preferencesWindow->activateWindow();
    return m_preferencesWindow;
}

void AppShell::fillRecentMenu()
{
    m_recentMenu->clear();
    if (!m_preferences->historyEnabled()) {
        m_recentMenu->addAction(tr("History is off (Preferences)"))->setEnabled(false);
        return;
    }
    const QList<HistoryEntry> entries =
        CaptureHistory(m_coordinator->sessions().historyFolder()).entries();
    const QDateTime now = QDateTime::currentDateTime();
    QStringList thumbnails;
    QList<QPointer<QAction>> actions;
    QSet<int> recordings;
    for (const HistoryEntry &entry : entries.mid(0, recentCount)) {
        const QString time = HistoryWindow::timeText(entry.time, now);
        QAction *a = m_recentMenu->addAction(
            entry.isRecording() ? tr("%1 · Recording", "a recording in Recent Captures").arg(time)
                                : time);
        if (entry.isRecording())
            recordings.insert(int(thumbnails.size()));
        thumbnails.append(entry.thumbnail);
        actions.append(a);
        QPointer<CaptureCoordinator> c = m_coordinator;
        connect(a, &QAction::triggered, this, [c, id = entry.id] {
            if (c)
                c->sessions().reopenFromHistory(id);
        });
    }
    if (entries.isEmpty())
        m_recentMenu->addAction(tr("No captures yet"))->setEnabled(false);
    // Read off this thread: a thumbnail that cannot be read leaves its item without an icon.
    HistoryWindow::loadThumbnails(
        m_recentMenu, thumbnails,
        [actions](int index, const QIcon &icon) {
            if (QAction *a = actions.value(index))
                a->setIcon(icon);
        },
        recordings);
}

HistoryWindow *AppShell::showHistory()
{
    if (!m_historyWindow) {
        m_historyWindow = new HistoryWindow(m_coordinator->sessions().historyFolder());
        EditorSessions *sessions = &m_coordinator->sessions();
        connect(m_historyWindow, &HistoryWindow::openRequested, sessions,
                &EditorSessions::reopenFromHistory);
        connect(m_historyWindow, &HistoryWindow::removeRequested, sessions,
                &EditorSessions::removeFromHistory);
        connect(&m_coordinator->sessions(), &EditorSessions::historyChanged, m_historyWindow,
                &HistoryWindow::refresh);
    }
    m_historyWindow->refresh();
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
    return m_historyWindow;
}

bool AppShell::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (!m_quitAction || !qobject_cast<QMenu *>(watched) ||
        QKeySequence(key->keyCombination()) != m_quitAction->shortcut())
        return QObject::eventFilter(watched, event);
    // Claim the override so the key comes as a press, and trigger once, on the press.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        static_cast<QMenu *>(watched)->close();
        m_quitAction->trigger();
    }
    return true;
}

void AppShell::runCommand(const Command &command, std::function<void(const CommandAnswer &)> done,
                          QObject *caller)
{
    // Recordings are not for the editor: only captures count.
    if (command.last && !m_coordinator->sessions().hasCaptureInHistory()) {
        QTimer::singleShot(0, this, [done] {
            if (done)
                done(tr("the history holds no capture"));
        });
        return;
    }
    if (command.scripted()) {
        // Answered once the picture is where the script asked, or is not taken.
        QTimer::singleShot(
            0, this,
            [this, command, done, watched = caller != nullptr, caller = QPointer<QObject>(caller)] {
                if (watched && !caller)
                    return; // hung up already: nobody waits for the picture
                schedule(command, {}, done, caller);
            });
        return;
    }
    if (command.kind == Command::Kind::Quit) {
        QTimer::singleShot(0, this, [this, command, done] { schedule(command, {}, done); });
        return;
    }
    if (command.files.isEmpty()) {
        // Answered on the next turn, as a file command is, so callers see one order.
        QTimer::singleShot(0, this, [this, command, done] {
            schedule(command, {});
            if (done)
                done({});
        });
        return;
    }
    // Pictures are read now, so a file that cannot be opened is reported to the caller rather
    // than found missing after the delay; nothing opens unless every picture can. The reading
    // runs on a thread of its own: a slow disk or a hung network mount must not stop the app,
    // and a thread that never comes back is simply left behind.
    auto read = std::make_shared<QList<PictureRead>>();
    auto scenes = std::make_shared<QList<EditablePng::Read>>();
    QThread *reader = QThread::create([files = command.files, read, scenes] {
        for (const QString &file : files) {
            read->append(readPictureFile(file));
            if (!read->last().error.isEmpty())
                break;
            // An editable PNG reopens with its marks; the picture alone when they are damaged.
            scenes->append(EditablePng::readFile(file));
        }
    });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    connect(reader, &QThread::finished, this, [this, command, done, read, scenes] {
        QList<EditablePng::Read> pictures;
        for (qsizetype i = 0; i < read->size(); ++i) {
            if (!read->at(i).error.isEmpty()) {
                if (done)
                    done(tr("cannot open %1: %2").arg(command.files.at(i), read->at(i).error));
                return;
            }
            EditablePng::Read picture = scenes->value(i);
            if (!picture.problem.isEmpty())
                picture.problem =
                    tr("“%1” opens as a plain picture: %2.")
                        .arg(QFileInfo(command.files.at(i)).fileName(), picture.problem);
            if (!picture.scene) {
                picture.scene = EditorScene();
                picture.scene->image = read->at(i).image;
            }
            pictures.append(picture);
        }
        schedule(command, pictures);
        if (done)
            done({});
    });
    reader->start();
}

void AppShell::schedule(const Command &command, const QList<EditablePng::Read> &pictures,
                        std::function<void(const CommandAnswer &)> done, QObject *caller)
{
    QPointer<CaptureCoordinator> c = m_coordinator;
    std::function<void()> run;
    switch (command.kind) {
    case Command::Kind::None:
        return;
    case Command::Kind::Area:
        run = [c] { c->startAreaCapture(false); };
        break;
    case Command::Kind::Full:
        run = [c] { c->captureFullScreen(); };
        break;
    case Command::Kind::Window:
        run = [c] { c->startWindowCapture(); };
        break;
    case Command::Kind::Scroll:
        run = [c] { c->startScrollCapture(); };
        break;
    case Command::Kind::Ocr:
        run = [c] { c->startAreaCapture(true); };
        break;
    case Command::Kind::Color:
        run = [c] { c->startColorPick(); };
        break;
    case Command::Kind::Record:
        // Again while one runs: Stop, as the hot key does (a desktop's own shortcut bound to
        // `vistrel record` is the hot key there).
        run = [c, duration = command.durationSeconds] { c->recording().startOrStop(duration); };
        break;
    case Command::Kind::Edit:
        if (command.last) {
            run = [c] { c->sessions().reopenLatest(); };
            break;
        }
        run = [c, pictures, alerts = m_platform.alerts] {
            for (const EditablePng::Read &picture : pictures) {
                EditorWindowController *editor =
                    c->sessions().openEditor(picture.scene->image, picture.scene->marks);
                editor->restoreScene(*picture.scene);
                if (!picture.problem.isEmpty())
                    Notifier::error(alerts, picture.problem);
            }
        };
        break;
    case Command::Kind::Quit:
        // Answered once the work is kept, or with why it cannot be.
        run = [self = QPointer<AppShell>(this), done] {
            const QString why = self ? self->keepAndQuit() : QString();
            if (done)
                done(why.isEmpty()
                         ? CommandAnswer()
                         : CommandAnswer(QStringLiteral("Vistrel did not quit: the unsaved marks "
                                                        "cannot be kept (%1); it asks what to do "
                                                        "with them")
                                             .arg(why)));
        };
        break;
    }
    // A recording for a script: answered once its file is written, or with why none was.
    if (command.scripted() && command.kind == Command::Kind::Record) {
        const RecordingSession::Request request{command.output, command.durationSeconds};
        run = [c, request, done, caller = QPointer<QObject>(caller)] {
            c->recording().recordForScript(
                request,
                [done](const QString &why) {
                    if (done)
                        done(CommandAnswer(why));
                },
                caller);
        };
    } else if (command.scripted()) {
        // A capture for a script goes where it asked, instead of to the toolbar or the editor.
        using Source = ScriptedCaptures::Request::Source;
        const ScriptedCaptures::Request request{command.kind == Command::Kind::Area ? Source::Area
                                                : command.kind == Command::Kind::Window
                                                    ? Source::Window
                                                    : Source::Full,
                                                command.output, command.clipboard};
        run = [c, request, done, caller = QPointer<QObject>(caller)] {
            c->captureForScript(
                request,
                [done](const QString &why, const QByteArray &png) {
                    CommandAnswer answer(why);
                    answer.picture = png;
                    if (done)
                        done(answer);
                },
                caller);
        };
    }
    // The delay of a script that has gone ends with it: its timer lives on the caller.
    QObject *context = command.scripted() && caller ? caller : this;
    // Precise: a coarse timer may fire up to 5 % early, and a delay is a promise to wait.
    QTimer::singleShot(int(command.delaySeconds * 1000), Qt::PreciseTimer, context, [c, run, done] {
        if (c)
            run();
        else if (done)
            done(QStringLiteral("Vistrel is quitting"));
    });
}

void AppShell::quitNow()
{
    const QString why = m_coordinator->sessions().keepUnsavedWork();
    if (!why.isEmpty())
        qWarning("vistrel: quitting on a signal; unsaved marks are lost: %s", qPrintable(why));
    QApplication::quit();
}

QString AppShell::keepAndQuit()
{
    const QString why = m_coordinator->sessions().keepUnsavedWork();
    if (why.isEmpty()) {
        QApplication::quit();
        return {};
    }
    askToSaveUnkept(why);
    return why;
}

void AppShell::askToSaveUnkept(const QString &why)
{
    delete m_quitQuestion.data();
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("Quit Vistrel"),
                        tr("Vistrel cannot keep the unsaved marks for the next start: %1").arg(why),
                        QMessageBox::NoButton);
    box->setInformativeText(tr("Save them somewhere else, or cancel and go on working?"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton *save = box->addButton(tr("&Save…"), QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(save);
    box->setEscapeButton(cancel);
    QPointer<AppShell> self(this);
    connect(box, &QMessageBox::buttonClicked, this, [self, save](QAbstractButton *b) {
        if (self && b == save)
            self->m_coordinator->sessions().saveUnsavedWork();
    });
    m_quitQuestion = box;
    box->show();
}

void AppShell::requestQuit()
{
    const int unsaved = m_coordinator->sessions().unsavedEditors();
    if (unsaved == 0) {
        QApplication::quit();
        return;
    }
    if (m_quitQuestion) {
        m_quitQuestion->raise();
        return;
    }
    // One question for every editor with changes.
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("Quit Vistrel"),
                        unsaved == 1 ? tr("An editor has marks that are not saved.")
                                     : tr("%n editors have marks that are not saved.", "", unsaved),
                        QMessageBox::NoButton);
    box->setInformativeText(tr("Keep them for the next start, or discard them and quit?"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton *keep = box->addButton(tr("&Keep and Quit"), QMessageBox::AcceptRole);
    QPushButton *discard = box->addButton(tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(keep);
    box->setEscapeButton(cancel);
    QPointer<AppShell> self(this);
    connect(box, &QMessageBox::buttonClicked, this, [self, keep, discard](QAbstractButton *b) {
        if (!self)
            return;
        if (b == discard) {
            self->m_coordinator->sessions().discardUnsavedWork();
            self->quitNow();
        } else if (b == keep) {
            // The box closes on its own; a new one asks when the work cannot be kept.
            QTimer::singleShot(0, self, [self] {
                if (self)
                    self->keepAndQuit();
            });
        }
    });
    m_quitQuestion = box;
    box->show();
}

} // namespace vistrel
