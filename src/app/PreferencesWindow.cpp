#include "app/PreferencesWindow.h"

#include "app/Preferences.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

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
    case Qt::Key_Control: case Qt::Key_Shift: case Qt::Key_Alt: case Qt::Key_Meta:
    case Qt::Key_Super_L: case Qt::Key_Super_R: case Qt::Key_AltGr: case Qt::Key_CapsLock:
    case Qt::Key_NumLock: case Qt::Key_unknown:
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
                                     QWidget *parent)
    : QWidget(parent), m_preferences(preferences), m_rebind(std::move(rebind))
{
    setWindowTitle(title());
    auto *layout = new QVBoxLayout(this);

    auto *keys = new QGroupBox(tr("Hot keys"));
    auto *keyForm = new QFormLayout(keys);
    for (const HotkeyRow &row : rows) {
        auto *field = new HotkeyField;
        field->showCombination(preferences.hotkey(row.id)[0]);
        const quint32 id = row.id;
        connect(field, &HotkeyField::combinationPressed, this,
                [this, id](QKeyCombination c) { offer(id, c); });
        keyForm->addRow(row.title, field);
        m_fields.append({row.id, field});
    }
    m_message = new QLabel;
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00020"));
    keyForm->addRow(m_message);
    layout->addWidget(keys);

    auto *save = new QGroupBox(tr("Save"));
    auto *saveForm = new QFormLayout(save);
    auto *folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(preferences.saveFolder());
    m_folder->setReadOnly(true);
    auto *choose = new QPushButton(tr("Choose…"));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(choose);
    saveForm->addRow(tr("Folder:"), folderRow);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, tr("Save Folder"),
                                                                 m_preferences.saveFolder());
        if (folder.isEmpty())
            return;
        m_preferences.setSaveFolder(folder);
        m_folder->setText(folder);
    });
    m_saveWithoutAsking = new QCheckBox(tr("Save without asking"));
    m_saveWithoutAsking->setToolTip(
        tr("Save writes a new PNG file named by the time into the folder"));
    m_saveWithoutAsking->setChecked(preferences.saveWithoutAsking());
    connect(m_saveWithoutAsking, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setSaveWithoutAsking(on); });
    saveForm->addRow(m_saveWithoutAsking);
    layout->addWidget(save);

    m_startAtLogin = new QCheckBox(tr("Start Vistrel at login"));
    m_startAtLogin->setChecked(preferences.startAtLogin());
    connect(m_startAtLogin, &QCheckBox::toggled, this, [this](bool on) {
        QString why;
        if (m_preferences.setStartAtLogin(on, &why)) {
            m_message->clear();
            return;
        }
        m_message->setText(why);
        const QSignalBlocker block(m_startAtLogin);
        m_startAtLogin->setChecked(m_preferences.startAtLogin());
    });
    layout->addWidget(m_startAtLogin);

    m_smartNames = new QCheckBox(tr("Suggest file names from the picture's text"));
    m_smartNames->setChecked(preferences.smartNames());
    if (preferences.smartNamesFromEnvironment()) {
        m_smartNames->setEnabled(false);
        m_smartNames->setToolTip(tr("Set by VISTREL_SMART_NAMES in the environment"));
    }
    connect(m_smartNames, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setSmartNames(on); });
    layout->addWidget(m_smartNames);

    auto *history = new QGroupBox(tr("History"));
    auto *historyForm = new QFormLayout(history);
    m_history = new QCheckBox(tr("Keep recent captures, with their marks"));
    m_history->setToolTip(tr("Kept in your data folder, readable only by you; never uploaded"));
    m_history->setChecked(preferences.historyEnabled());
    connect(m_history, &QCheckBox::toggled, this, [this](bool on) { m_preferences.setHistoryEnabled(on); });
    historyForm->addRow(m_history);
    m_historyEntries = new QSpinBox;
    m_historyEntries->setRange(1, Preferences::historyEntriesLimit);
    m_historyEntries->setValue(preferences.historyMaxEntries());
    m_historyEntries->setSuffix(tr(" captures"));
    connect(m_historyEntries, &QSpinBox::valueChanged, this,
            [this](int n) { m_preferences.setHistoryMaxEntries(n); });
    historyForm->addRow(tr("Keep up to:"), m_historyEntries);
    m_historyMegabytes = new QSpinBox;
    m_historyMegabytes->setRange(1, Preferences::historyMegabytesLimit);
    m_historyMegabytes->setValue(preferences.historyMaxMegabytes());
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
            if (b == clear && onClearHistory)
                onClearHistory();
        });
        box->open();
    });
    historyForm->addRow(m_clearHistory);
    auto enableLimits = [this](bool on) {
        m_historyEntries->setEnabled(on);
        m_historyMegabytes->setEnabled(on);
    };
    enableLimits(preferences.historyEnabled());
    connect(m_history, &QCheckBox::toggled, this, enableLimits);
    layout->addWidget(history);
    auto *redaction = new QGroupBox(tr("Redaction"));
    auto *redactionForm = new QFormLayout(redaction);
    const SecretRules rules = preferences.redactionRules();
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
    m_ownWords = new QLineEdit(preferences.ownWords());
    m_ownWords->setPlaceholderText(tr("Names, project code names, separated by commas"));
    // Kept as typed: a window closed straight after typing loses nothing.
    connect(m_ownWords, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_preferences.setOwnWords(text); });
    redactionForm->addRow(tr("My own words:"), m_ownWords);
    layout->addWidget(redaction);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);
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
    m_message->setText(why);
    if (!why.isEmpty())
        return; // the field stays waiting for another combination
    field->showCombination(combination);
    field->clearFocus();
}

} // namespace vistrel
