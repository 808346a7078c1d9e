#include "app/ShortcutAdvice.h"

#include "app/Preferences.h"
#include "platform/Desktop.h"

#include <QCoreApplication>

#include <cstdio>

namespace vistrel {

namespace {

// How to have Vistrel's keys where the desktop keeps global shortcuts to itself.
// The commands the desktop's own shortcuts run where it binds none for apps.
QList<DesktopShortcuts::Binding> desktopBindings()
{
    const QString program = QCoreApplication::applicationFilePath();
    return {{QStringLiteral("area"),
             QCoreApplication::translate("ShortcutAdvice", "Vistrel: Capture Area"),
             program + QStringLiteral(" area"), QStringLiteral("<Control><Shift>2")},
            {QStringLiteral("full"),
             QCoreApplication::translate("ShortcutAdvice", "Vistrel: Capture Full Screen"),
             program + QStringLiteral(" full"), QStringLiteral("<Control><Shift>1")},
            {QStringLiteral("ocr"),
             QCoreApplication::translate("ShortcutAdvice", "Vistrel: Extract Text"),
             program + QStringLiteral(" ocr"), QStringLiteral("<Control><Shift>9")}};
}

// How to bind the desktop's own shortcuts, step by step for the desktop at hand.
QString shortcutAdvice(DesktopShortcuts::Desktop desktop, const QString &why)
{
    using Desktop = DesktopShortcuts::Desktop;
    const QString program = QCoreApplication::applicationFilePath();
    QString steps;
    switch (desktop) {
    case Desktop::Gnome:
        steps =
            QCoreApplication::translate(
                "ShortcutAdvice",
                "In Settings → Keyboard → View and Customise Shortcuts → Custom Shortcuts, add one "
                "shortcut for each command:\n\n"
                "Name \"Vistrel: Capture Area\", command \"%1 area\", shortcut Ctrl+Shift+2\n"
                "Name \"Vistrel: Capture Full Screen\", command \"%1 full\", shortcut "
                "Ctrl+Shift+1\n"
                "Name \"Vistrel: Extract Text\", command \"%1 ocr\", shortcut Ctrl+Shift+9")
                .arg(program);
        break;
    case Desktop::Kde:
        steps =
            QCoreApplication::translate(
                "ShortcutAdvice",
                "In System Settings → Shortcuts, choose Add New → Command or Script for each "
                "command, "
                "then give it its shortcut:\n\n"
                "\"%1 area\": Ctrl+Shift+2\n\"%1 full\": Ctrl+Shift+1\n\"%1 ocr\": Ctrl+Shift+9")
                .arg(program);
        break;
    case Desktop::Sway:
        steps = QCoreApplication::translate(
                    "ShortcutAdvice",
                    "Add these lines to ~/.config/sway/config, then run \"swaymsg reload\":\n\n"
                    "bindsym Ctrl+Shift+2 exec %1 area\nbindsym Ctrl+Shift+1 exec %1 full\n"
                    "bindsym Ctrl+Shift+9 exec %1 ocr")
                    .arg(program);
        break;
    case Desktop::Other:
        steps = QCoreApplication::translate(
                    "ShortcutAdvice",
                    "Bind your desktop's own keyboard shortcuts to these commands:\n\n"
                    "Ctrl+Shift+2: %1 area\nCtrl+Shift+1: %1 full\nCtrl+Shift+9: %1 ocr")
                    .arg(program);
        break;
    }
    return QCoreApplication::translate("ShortcutAdvice",
                                       "Vistrel's hot keys do nothing here. %1\n\n%2")
        .arg(why, steps);
}

} // namespace

void adviseDesktopShortcuts(Alerts &alerts, Preferences &preferences,
                            DesktopShortcuts::Desktop desktop, const QString &why)
{
    const QString advice = shortcutAdvice(desktop, why);
    std::fprintf(stderr, "vistrel: %s\n", qPrintable(advice));
    if (!preferences.firstTimeFor(QStringLiteral("bindDesktopShortcuts")))
        return;
    if (desktop != DesktopShortcuts::Desktop::Gnome || !DesktopShortcuts::canSetUpGnome())
        return alerts.warn(QStringLiteral("Vistrel"), advice);
    Question question;
    question.title = QCoreApplication::translate("ShortcutAdvice", "Vistrel — Hot Keys");
    question.message = QCoreApplication::translate(
        "ShortcutAdvice",
        "GNOME does not bind shortcuts for apps, so Vistrel's hot keys do nothing yet. Add them "
        "to GNOME's own keyboard shortcuts now?\n\nCtrl+Shift+2: Capture Area\n"
        "Ctrl+Shift+1: Capture Full Screen\nCtrl+Shift+9: Extract Text\n\n"
        "They appear in Settings → Keyboard → Custom Shortcuts, where you can change or remove "
        "them.");
    question.choices = {QCoreApplication::translate("ShortcutAdvice", "Add Shortcuts"),
                        QCoreApplication::translate("ShortcutAdvice", "Not Now")};
    question.defaultChoice = 0;
    question.cancelChoice = 1;
    alerts.ask(question, [&alerts, advice](int choice) {
        if (choice != 0)
            return;
        QString error;
        if (DesktopShortcuts::setUpGnome(desktopBindings(), &error))
            std::fprintf(stderr, "vistrel: added Ctrl+Shift+2, Ctrl+Shift+1 and Ctrl+Shift+9 to "
                                 "GNOME's shortcuts\n");
        else
            alerts.warn(QStringLiteral("Vistrel"),
                        QCoreApplication::translate(
                            "ShortcutAdvice", "GNOME's shortcuts could not be changed: %1\n\n%2")
                            .arg(error, advice));
    });
}

} // namespace vistrel
