#include "app/PreferencesWindow.h"

#include "app/Preferences.h"
#include "platform/QtDesktop.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

// --- HotkeyField -----------------------------------------------------------------------------

HotkeyField::HotkeyField(QWidget *parent) : QLineEdit(parent)
{
    setReadOnly(true);
    setPlaceholderText(tr("Press the new combination…"));
}

void HotkeyField::showCombination(QKeyCombination combination)
{
    m_shown = QKeySequence(combination).toString(QKeySequence::NativeText);
    if (!hasFocus())
        setText(m_shown);
}

std::optional<QKeyCombination> HotkeyField::combinationOf(const QKeyEvent &event)
{
    int key = event.key();
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
        return std::nullopt;
    default:
        break;
    }
    const auto mods = event.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                           Qt::AltModifier | Qt::MetaModifier);
    // Shift turns the digit row into symbols; the key the user pressed is the digit.
    static const char shifted[] = ")!@#$%^&*(";
    if (mods & Qt::ShiftModifier)
        for (int d = 0; d < 10; ++d)
            if (key == shifted[d])
                key = Qt::Key_0 + d;
    return QKeyCombination(mods, Qt::Key(key));
}

void HotkeyField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Tab ||
        event->key() == Qt::Key_Backtab) {
        clearFocus();
        return;
    }
    if (const auto combination = combinationOf(*event))
        emit combinationPressed(*combination);
}

void HotkeyField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    clear(); // the placeholder asks for the combination
}

void HotkeyField::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    setText(m_shown);
}

// --- PreferencesWindow -------------------------------------------------------------------------

PreferencesWindow::PreferencesWindow(Preferences &preferences, QList<HotkeyRow> rows,
                                     std::function<QString(quint32, QKeyCombination)> rebind,
                                     Keyring *keyring, QWidget *parent)
    : QWidget(parent), m_share(preferences.fileName(), keyring), m_preferences(preferences),
      m_rebind(std::move(rebind))
{
    setWindowTitle(title());
    auto *layout = new QVBoxLayout(this);
    m_pages = new QTabWidget;
    m_pages->addTab(generalPage(rows), tr("General"));
    m_pages->addTab(historyPage(), tr("History"));
    m_pages->addTab(redactionPage(), tr("Redaction"));
    m_pages->addTab(sharingPage(), tr("Sharing"));
    m_pages->addTab(recordingPage(), tr("Recording"));
    layout->addWidget(m_pages);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);
    showPage(Page::General);
}

QWidget *PreferencesWindow::generalPage(const QList<HotkeyRow> &rows)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *keys = new QGroupBox(tr("Hot keys"));
    auto *keyForm = new QFormLayout(keys);
    for (const HotkeyRow &row : rows) {
        auto *field = new HotkeyField;
        field->showCombination(m_preferences.hotkey(row.id)[0]);
        const quint32 id = row.id;
        connect(field, &HotkeyField::combinationPressed, this,
                [this, id](QKeyCombination c) { offer(id, c); });
        keyForm->addRow(row.title, field);
        m_fields.append({row.id, field});
    }
    m_message = new QLabel;
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00020"));
    m_message->installEventFilter(this);
    keyForm->addRow(m_message);
    layout->addWidget(keys);

    auto *save = new QGroupBox(tr("Save"));
    auto *saveForm = new QFormLayout(save);
    auto *folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(m_preferences.saveFolder());
    m_folder->setReadOnly(true);
    auto *choose = new QPushButton(tr("Choose…"));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(choose);
    saveForm->addRow(tr("Folder:"), folderRow);
    connect(choose, &QPushButton::clicked, this, &PreferencesWindow::chooseFolder);
    m_saveWithoutAsking = new QCheckBox(tr("Save without asking"));
    m_saveWithoutAsking->setToolTip(
        tr("Save writes a new PNG file named by the time into the folder"));
    m_saveWithoutAsking->setChecked(m_preferences.saveWithoutAsking());
    connect(m_saveWithoutAsking, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setSaveWithoutAsking(on); });
    saveForm->addRow(m_saveWithoutAsking);
    layout->addWidget(save);

    m_startAtLogin = new QCheckBox(tr("Start Vistrel at login"));
    m_startAtLogin->setChecked(m_preferences.startAtLogin());
    connect(m_startAtLogin, &QCheckBox::toggled, this, [this](bool on) {
        QString why;
        if (m_preferences.setStartAtLogin(on, &why)) {
            setMessage({});
            return;
        }
        setMessage(why);
        const QSignalBlocker block(m_startAtLogin);
        m_startAtLogin->setChecked(m_preferences.startAtLogin());
    });
    layout->addWidget(m_startAtLogin);

    m_smartNames = new QCheckBox(tr("Suggest file names from the picture's text"));
    m_smartNames->setChecked(m_preferences.smartNames());
    if (m_preferences.smartNamesFromEnvironment()) {
        m_smartNames->setEnabled(false);
        m_smartNames->setToolTip(tr("Set by VISTREL_SMART_NAMES in the environment"));
    }
    connect(m_smartNames, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setSmartNames(on); });
    layout->addWidget(m_smartNames);
    layout->addStretch(1);
    return page;
}

QWidget *PreferencesWindow::historyPage()
{
    auto *page = new QWidget;
    auto *historyForm = new QFormLayout(page);
    m_history = new QCheckBox(tr("Keep recent captures, with their marks"));
    m_history->setToolTip(tr("Kept in your data folder, readable only by you; never uploaded"));
    m_history->setChecked(m_preferences.historyEnabled());
    connect(m_history, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setHistoryEnabled(on); });
    historyForm->addRow(m_history);
    m_historyEntries = new QSpinBox;
    m_historyEntries->setRange(1, Preferences::historyEntriesLimit);
    m_historyEntries->setValue(m_preferences.historyMaxEntries());
    m_historyEntries->setSuffix(tr(" captures"));
    connect(m_historyEntries, &QSpinBox::valueChanged, this,
            [this](int n) { m_preferences.setHistoryMaxEntries(n); });
    historyForm->addRow(tr("Keep up to:"), m_historyEntries);
    m_historyMegabytes = new QSpinBox;
    m_historyMegabytes->setRange(1, Preferences::historyMegabytesLimit);
    m_historyMegabytes->setValue(m_preferences.historyMaxMegabytes());
    m_historyMegabytes->setSuffix(tr(" MB"));
    connect(m_historyMegabytes, &QSpinBox::valueChanged, this,
            [this](int n) { m_preferences.setHistoryMaxMegabytes(n); });
    historyForm->addRow(tr("Use up to:"), m_historyMegabytes);
    m_clearHistory = new QPushButton(tr("Clear History"));
    connect(m_clearHistory, &QPushButton::clicked, this, [this] {
        auto *box = new QMessageBox(QMessageBox::Warning, tr("Clear History"),
                                    tr("Remove every capture kept in the history?"),
                                    QMessageBox::NoButton, this);
        box->setInformativeText(tr("Editors that are open keep their work."));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QPushButton *clear = box->addButton(tr("Clear History"), QMessageBox::DestructiveRole);
        box->setEscapeButton(box->addButton(QMessageBox::Cancel));
        connect(box, &QMessageBox::buttonClicked, this, [this, clear](QAbstractButton *b) {
            if (b == clear)
                emit clearHistoryRequested();
        });
        box->open();
    });
    historyForm->addRow(m_clearHistory);
    auto enableLimits = [this](bool on) {
        m_historyEntries->setEnabled(on);
        m_historyMegabytes->setEnabled(on);
    };
    enableLimits(m_preferences.historyEnabled());
    connect(m_history, &QCheckBox::toggled, this, enableLimits);
    return page;
}

QWidget *PreferencesWindow::recordingPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_recordingCountdown = new QSpinBox;
    m_recordingCountdown->setRange(0, Preferences::recordingCountdownLimit);
    m_recordingCountdown->setValue(m_preferences.recordingCountdown());
    m_recordingCountdown->setSuffix(tr(" s"));
    m_recordingCountdown->setSpecialValueText(tr("None"));
    connect(m_recordingCountdown, &QSpinBox::valueChanged, this,
            [this](int s) { m_preferences.setRecordingCountdown(s); });
    form->addRow(tr("Countdown:"), m_recordingCountdown);
    m_recordingFormat = new QComboBox;
    m_recordingFormat->addItem(tr("WebM video"), QStringLiteral("webm"));
    m_recordingFormat->addItem(tr("MP4 video"), QStringLiteral("mp4"));
    m_recordingFormat->addItem(tr("Animated GIF"), QStringLiteral("gif"));
    m_recordingFormat->setCurrentIndex(
        std::max(0, m_recordingFormat->findData(m_preferences.recordingFormat())));
    connect(m_recordingFormat, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_preferences.setRecordingFormat(m_recordingFormat->itemData(index).toString());
    });
    form->addRow(tr("Format:"), m_recordingFormat);
    m_recordingSixtyFps = new QCheckBox(tr("60 frames a second (instead of 30)"));
    m_recordingSixtyFps->setChecked(m_preferences.recordingFps() == 60);
    connect(m_recordingSixtyFps, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setRecordingFps(on ? 60 : 30); });
    form->addRow(m_recordingSixtyFps);
    m_recordingPointer = new QCheckBox(tr("Show the pointer"));
    m_recordingPointer->setChecked(m_preferences.recordingShowsPointer());
    connect(m_recordingPointer, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setRecordingShowsPointer(on); });
    form->addRow(m_recordingPointer);
    m_recordingClicks = new QCheckBox(tr("Mark clicks with a fading ring"));
    m_recordingClicks->setChecked(m_preferences.recordingMarksClicks());
    connect(m_recordingClicks, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setRecordingMarksClicks(on); });
    form->addRow(m_recordingClicks);
    return page;
}

QWidget *PreferencesWindow::redactionPage()
{
    auto *page = new QWidget;
    auto *redactionForm = new QFormLayout(page);
    const SecretRules rules = m_preferences.redactionRules();
    auto *kinds = new QGridLayout;
    for (int i = 0; i < SecretFinder::allKinds().size(); ++i) {
        const SecretKind kind = SecretFinder::allKinds()[i];
        auto *box = new QCheckBox(SecretFinder::title(kind));
        box->setChecked(rules.on(kind));
        connect(box, &QCheckBox::toggled, this,
                [this, kind](bool on) { m_preferences.setRedactionKind(kind, on); });
        kinds->addWidget(box, i / 2, i % 2);
        m_redactionKinds.append(box);
    }
    redactionForm->addRow(kinds);
    m_ownWords = new QLineEdit(m_preferences.ownWords());
    m_ownWords->setPlaceholderText(tr("Names, project code names, separated by commas"));
    // Kept as typed: a window closed straight after typing loses nothing.
    connect(m_ownWords, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_preferences.setOwnWords(text); });
    redactionForm->addRow(tr("My own words:"), m_ownWords);
    return page;
}

QWidget *PreferencesWindow::sharingPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    auto *about = new QLabel(tr("Share in the editor uploads the picture to this address and "
                                "copies the link the server answers with."));
    about->setWordWrap(true);
    about->installEventFilter(this);
    form->addRow(about);

    m_shareAddress = new QLineEdit(m_share.address(false).text);
    m_shareAddress->setPlaceholderText(tr("https://share.example/api/upload"));
    form->addRow(tr("Upload address:"), m_shareAddress);
    m_shareAddressNote = new QLabel;
    m_shareAddressNote->setWordWrap(true);
    m_shareAddressNote->installEventFilter(this);
    form->addRow(QString(), m_shareAddressNote);

    m_shareToken = new QLineEdit;
    m_shareToken->setEchoMode(QLineEdit::Password);
    m_forgetToken = new QPushButton(tr("Forget Token"));
    m_forgetToken->setEnabled(false);
    auto *tokenRow = new QHBoxLayout;
    tokenRow->addWidget(m_shareToken, 1);
    tokenRow->addWidget(m_forgetToken);
    form->addRow(tr("Token:"), tokenRow);
    m_shareTokenNote = new QLabel;
    m_shareTokenNote->setWordWrap(true);
    m_shareTokenNote->installEventFilter(this);
    form->addRow(QString(), m_shareTokenNote);

    m_shareApply = new QPushButton(tr("Apply"));
    m_shareResult = new QLabel;
    m_shareResult->setWordWrap(true);
    m_shareResult->installEventFilter(this);
    auto *applyRow = new QHBoxLayout;
    applyRow->addWidget(m_shareResult, 1);
    applyRow->addWidget(m_shareApply, 0, Qt::AlignTop);
    form->addRow(applyRow);

    connect(m_shareAddress, &QLineEdit::textChanged, this, [this] { showSharingState(); });
    connect(m_shareToken, &QLineEdit::textChanged, this, [this] { showSharingState(); });
    connect(m_shareAddress, &QLineEdit::returnPressed, this, &PreferencesWindow::applySharing);
    connect(m_shareToken, &QLineEdit::returnPressed, this, &PreferencesWindow::applySharing);
    connect(m_shareApply, &QPushButton::clicked, this, &PreferencesWindow::applySharing);
    connect(m_forgetToken, &QPushButton::clicked, this, [this] {
        ++m_storing;
        showSharingState();
        m_share.forgetTokenLater(this, [this](const QString &why) {
            --m_storing;
            m_shareResult->setText(why.isEmpty() ? tr("The token is forgotten.") : why);
            fitHeight(m_shareResult);
            showTokenPlaces();
        });
    });
    showSharingState();
    showTokenPlaces();
    return page;
}

void PreferencesWindow::showTokenPlaces()
{
    // Whether a keyring runs is a question on the session bus: asked off the GUI thread.
    m_share.placesLater(this, [this](ShareSettings::Places places) {
        m_tokenPlaces = places;
        m_placesKnown = true;
        showSharingState();
    });
}

void PreferencesWindow::showSharingState()
{
    const QString problem = ShareSettings::problem(m_shareAddress->text());
    QStringList addressNotes;
    if (!problem.isEmpty())
        addressNotes << problem;
    if (const QString over = ShareSettings::addressOverride(); !over.isEmpty())
        addressNotes << over;
    m_shareAddressNote->setText(addressNotes.join(QLatin1Char('\n')));
    m_shareAddressNote->setStyleSheet(problem.isEmpty() ? QString()
                                                        : QStringLiteral("color: #b00020"));
    m_shareAddressNote->setHidden(addressNotes.isEmpty());
    fitHeight(m_shareAddressNote);

    QStringList tokenNotes;
    if (m_placesKnown)
        tokenNotes << ShareSettings::placeText(m_tokenPlaces);
    if (const QString over = ShareSettings::tokenOverride(); !over.isEmpty())
        tokenNotes << over;
    m_shareTokenNote->setText(tokenNotes.join(QLatin1Char('\n')));
    fitHeight(m_shareTokenNote);
    const bool stored = m_placesKnown && m_tokenPlaces.stored != ShareSettings::Source::None;
    m_shareToken->setPlaceholderText(stored ? tr("Type a new token to replace it")
                                            : tr("The token your upload server gave you"));

    const bool addressChanged = m_shareAddress->text().trimmed() != m_share.address(false).text;
    const bool tokenTyped = !m_shareToken->text().trimmed().isEmpty();
    const bool busy = m_storing > 0;
    m_shareApply->setEnabled(!busy && problem.isEmpty() && (addressChanged || tokenTyped));
    m_shareToken->setEnabled(!busy);
    m_forgetToken->setEnabled(!busy && stored);
}

void PreferencesWindow::applySharing()
{
    const QString address = m_shareAddress->text().trimmed();
    if (!ShareSettings::problem(address).isEmpty() || m_storing > 0)
        return; // the note beside the field says why
    QStringList done;
    if (address != m_share.address(false).text) {
        QString why;
        if (!m_share.setAddress(address, &why)) {
            m_shareResult->setText(why);
            fitHeight(m_shareResult);
            return;
        }
        done << (address.isEmpty() ? tr("The address is removed.") : tr("The address is kept."));
    }
    const QString token = m_shareToken->text();
    m_shareResult->setText(done.join(QLatin1Char(' ')));
    fitHeight(m_shareResult);
    if (token.trimmed().isEmpty()) {
        showSharingState();
        return;
    }
    ++m_storing;
    showSharingState();
    m_share.storeTokenLater(token, this, [this, done](ShareSettings::Stored stored) {
        --m_storing;
        QStringList said = done;
        if (stored.place == ShareSettings::Source::None) {
            said << tr("The token was not kept: %1").arg(stored.error);
        } else {
            m_shareToken->clear();
            if (!stored.keyringError.isEmpty())
                said << tr("The keyring did not take the token (%1).").arg(stored.keyringError);
            said << (stored.place == ShareSettings::Source::Keyring
                         ? tr("The token is in the keyring.")
                         : tr("The token is in ~/.vistrel/share-token, which only you can read."));
        }
        m_shareResult->setText(said.join(QLatin1Char(' ')));
        fitHeight(m_shareResult);
        showTokenPlaces();
    });
}

void PreferencesWindow::closeEvent(QCloseEvent *event)
{
    // A window closed straight after typing loses nothing.
    applySharing();
    QWidget::closeEvent(event);
}

bool PreferencesWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        if (auto *label = qobject_cast<QLabel *>(watched))
            fitHeight(label);
    return QWidget::eventFilter(watched, event);
}

void PreferencesWindow::fitHeight(QLabel *label)
{
    const int width = label->width() > 0 ? label->width() : label->sizeHint().width();
    const int needed = label->text().isEmpty() ? 0 : label->heightForWidth(width);
    if (label->minimumHeight() != needed)
        label->setMinimumHeight(needed);
}

void PreferencesWindow::setMessage(const QString &text)
{
    m_message->setText(text);
    fitHeight(m_message);
}

void PreferencesWindow::showPage(Page page)
{
    m_pages->setCurrentIndex(int(page));
    switch (page) {
    case Page::General:
        if (!m_fields.isEmpty())
            m_fields.first().second->setFocus();
        break;
    case Page::Sharing:
        if (m_shareAddress->text().isEmpty() ||
            !ShareSettings::problem(m_shareAddress->text()).isEmpty())
            m_shareAddress->setFocus();
        else
            m_shareToken->setFocus();
        break;
    default:
        m_pages->currentWidget()->setFocus();
        break;
    }
}

QRect PreferencesWindow::placement(const QSize &size, const QRect &available, QPoint centre)
{
    QRect frame(QPoint(), size.boundedTo(available.size()));
    frame.moveCenter(centre);
    frame.moveLeft(
        std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
    frame.moveTop(
        std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    return frame;
}

void PreferencesWindow::placeOnScreenAt(QPoint point)
{
    QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // What the window manager adds around the window, once it has been shown; the title bar
    // must stay on the screen too.
    const QMargins decorations(geometry().left() - frameGeometry().left(),
                               geometry().top() - frameGeometry().top(),
                               frameGeometry().right() - geometry().right(),
                               frameGeometry().bottom() - geometry().bottom());
    const QRect inside = available.marginsRemoved(decorations);
    // The size it would have been shown at; later, the size the user left it at.
    if (!m_placed)
        adjustSize();
    m_placed = true;
    setGeometry(placement(size(), inside, inside.center()));
}

void PreferencesWindow::chooseFolder()
{
    if (m_folderChooser) {
        m_folderChooser->raise();
        m_folderChooser->activateWindow();
        return;
    }
    auto *dialog = new QFileDialog(this, tr("Save Folder"), m_preferences.saveFolder());
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    // Ours, not the desktop's: a dialog we place, on the screen this window is on.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // Folders it lists are never read to tell file types (a special file may block).
    dialog->setIconProvider(NameOnlyFileIcons::shared());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &folder) {
        if (folder.isEmpty())
            return;
        m_preferences.setSaveFolder(folder);
        m_folder->setText(folder);
    });
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        dialog->adjustSize();
        const QRect frame = frameGeometry();
        dialog->setGeometry(placement(dialog->size(), screen->availableGeometry(), frame.center()));
    }
    m_folderChooser = dialog;
    dialog->open();
}

HotkeyField *PreferencesWindow::hotkeyField(quint32 id) const
{
    for (const auto &[rowId, field] : m_fields)
        if (rowId == id)
            return field;
    return nullptr;
}

std::optional<quint32> PreferencesWindow::capturingId() const
{
    if (!isActiveWindow())
        return std::nullopt;
    for (const auto &[id, field] : m_fields)
        if (field->capturing())
            return id;
    return std::nullopt;
}

void PreferencesWindow::offer(quint32 id, QKeyCombination combination)
{
    HotkeyField *field = hotkeyField(id);
    if (!field)
        return;
    const QString why = m_rebind ? m_rebind(id, combination) : QString();
    setMessage(why);
    if (!why.isEmpty())
        return; // the field stays waiting for another combination
    field->showCombination(combination);
    field->clearFocus();
}

} // namespace vistrel
