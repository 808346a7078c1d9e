#pragma once

#include <QKeyCombination>
#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace vistrel {

class Preferences;

// Takes the next combination pressed while it has the focus, rather than typing it.
class HotkeyField : public QLineEdit
{
    Q_OBJECT
public:
    explicit HotkeyField(QWidget *parent = nullptr);

    void showCombination(QKeyCombination combination);
    bool capturing() const { return hasFocus(); }
    // A combination pressed as a key event; Shift+digit keeps the digit on US-style layouts.
    static std::optional<QKeyCombination> combinationOf(const QKeyEvent &event);

signals:
    void combinationPressed(QKeyCombination combination);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QString m_shown;
};

// The small window behind the tray menu's "Preferences…".
class PreferencesWindow : public QWidget
{
    Q_OBJECT
public:
    struct HotkeyRow
    {
        quint32 id;
        QString title;
    };
    // `rebind` moves a hot key and returns why it could not, or an empty string.
    PreferencesWindow(Preferences &preferences, QList<HotkeyRow> rows,
                      std::function<QString(quint32, QKeyCombination)> rebind,
                      QWidget *parent = nullptr);

    static QString title() { return tr("Vistrel Preferences"); }

    HotkeyField *hotkeyField(quint32 id) const;
    // The hot key whose field waits for a combination, if any: a press of one of our own hot
    // keys goes there, since the X server hands it to our grab rather than to the field.
    std::optional<quint32> capturingId() const;
    QLabel *message() const { return m_message; }
    QCheckBox *saveWithoutAsking() const { return m_saveWithoutAsking; }
    QCheckBox *startAtLogin() const { return m_startAtLogin; }
    QCheckBox *smartNames() const { return m_smartNames; }
    QLineEdit *saveFolder() const { return m_folder; }
    QCheckBox *historyEnabled() const { return m_history; }
    QSpinBox *historyMaxEntries() const { return m_historyEntries; }
    QSpinBox *historyMaxMegabytes() const { return m_historyMegabytes; }
    QPushButton *clearHistoryButton() const { return m_clearHistory; }
    // Runs when the user confirmed "Clear History".
    std::function<void()> onClearHistory;
    QCheckBox *redactionKind(int index) const { return m_redactionKinds.value(index); }
    QLineEdit *ownWords() const { return m_ownWords; }

    void offer(quint32 id, QKeyCombination combination);

private:
    Preferences &m_preferences;
    std::function<QString(quint32, QKeyCombination)> m_rebind;
    QList<std::pair<quint32, HotkeyField *>> m_fields;
    QLabel *m_message;
    QLineEdit *m_folder;
    QCheckBox *m_saveWithoutAsking;
    QCheckBox *m_startAtLogin;
    QCheckBox *m_smartNames;
    QCheckBox *m_history;
    QSpinBox *m_historyEntries;
    QSpinBox *m_historyMegabytes;
    QPushButton *m_clearHistory;
    QList<QCheckBox *> m_redactionKinds; // in SecretFinder::allKinds() order
    QLineEdit *m_ownWords;
};

} // namespace vistrel
