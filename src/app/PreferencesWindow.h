#pragma once

#include "app/PreferencesPage.h"
#include "engines/ShareSettings.h"

#include <QKeyCombination>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace vistrel {

class Keyring;
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

// The small window behind the tray menu's "Preferences…", a page for each part of the app.
class PreferencesWindow : public QWidget
{
    Q_OBJECT
public:
    struct HotkeyRow
    {
        quint32 id;
        QString title;
    };
    using Page = PreferencesPage;

    // `rebind` moves a hot key and returns why it could not, or an empty string. Share's token
    // goes to `keyring` when one runs.
    PreferencesWindow(Preferences &preferences, QList<HotkeyRow> rows,
                      std::function<QString(quint32, QKeyCombination)> rebind,
                      Keyring *keyring = nullptr, QWidget *parent = nullptr);

    static QString title() { return tr("Vistrel Preferences"); }

    QTabWidget *pages() const { return m_pages; }
    // Turns to `page`, its first field taking the keys.
    void showPage(Page page);
    // Centred on the screen that holds `point` (global), and wholly on it.
    void placeOnScreenAt(QPoint point);
    // A window of `size` centred on `centre`, made to fit `available` and moved inside it.
    static QRect placement(const QSize &size, const QRect &available, QPoint centre);

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
    QCheckBox *redactionKind(int index) const { return m_redactionKinds.value(index); }
    QLineEdit *ownWords() const { return m_ownWords; }
    QSpinBox *recordingCountdown() const { return m_recordingCountdown; }
    QCheckBox *recordingSixtyFps() const { return m_recordingSixtyFps; }
    QCheckBox *recordingShowsPointer() const { return m_recordingPointer; }
    QCheckBox *recordingMarksClicks() const { return m_recordingClicks; }
    QComboBox *recordingFormat() const { return m_recordingFormat; }

    QLineEdit *shareAddress() const { return m_shareAddress; }
    QLabel *shareAddressNote() const { return m_shareAddressNote; }
    QLineEdit *shareToken() const { return m_shareToken; }
    QLabel *shareTokenNote() const { return m_shareTokenNote; }
    QPushButton *shareApply() const { return m_shareApply; }
    QPushButton *forgetToken() const { return m_forgetToken; }
    // Keeps the address and a newly typed token; the token reaches its place a moment later.
    void applySharing();
    // True while a token is on its way to the keyring or its file.
    bool storingToken() const { return m_storing > 0; }
    // The save folder's chooser while it is open.
    QWidget *folderChooser() const { return m_folderChooser; }

    void offer(quint32 id, QKeyCombination combination);

signals:
    // The user confirmed "Clear History".
    void clearHistoryRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *generalPage(const QList<HotkeyRow> &rows);
    QWidget *historyPage();
    QWidget *redactionPage();
    QWidget *sharingPage();
    QWidget *recordingPage();
    void chooseFolder();
    void setMessage(const QString &text);
    // A wrapped label as tall as its text needs at its width; a window is not made taller for
    // a label's wrapped lines by itself.
    static void fitHeight(QLabel *label);
    void showSharingState();
    void showTokenPlaces();

    ShareSettings m_share;
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
    QSpinBox *m_recordingCountdown;
    QCheckBox *m_recordingSixtyFps;
    QCheckBox *m_recordingPointer;
    QCheckBox *m_recordingClicks;
    QComboBox *m_recordingFormat;
    QTabWidget *m_pages;
    QLineEdit *m_shareAddress;
    QLabel *m_shareAddressNote;
    QLineEdit *m_shareToken;
    QLabel *m_shareTokenNote;
    QLabel *m_shareResult;
    QPushButton *m_shareApply;
    QPushButton *m_forgetToken;
    ShareSettings::Places m_tokenPlaces;
    bool m_placesKnown = false;
    int m_storing = 0;
    bool m_placed = false;
    QPointer<QWidget> m_folderChooser;
};

} // namespace vistrel
