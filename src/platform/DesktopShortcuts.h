#pragma once

#include <QList>
#include <QString>

namespace vistrel {

// Keyboard shortcuts kept by the desktop itself, for desktops that bind no shortcuts for apps:
// each one runs a Vistrel command, which reaches the running Vistrel.
class DesktopShortcuts
{
public:
    enum class Desktop { Gnome, Kde, Sway, Other };
    // From XDG_CURRENT_DESKTOP ("ubuntu:GNOME", "KDE", "sway").
    static Desktop desktopFrom(const QString &currentDesktop);

    struct Binding
    {
        QString id;      // "area": part of the desktop's name for the binding
        QString name;    // shown in the desktop's settings
        QString command; // the whole command line
        QString keys;    // "<Control><Shift>2", as GNOME writes them
    };

    // Whether GNOME's settings for custom shortcuts can be written here.
    static bool canSetUpGnome();
    // Adds (or updates) Vistrel's custom shortcuts in GNOME's settings, keeping the user's
    // others. False with the reason when a setting cannot be written.
    static bool setUpGnome(const QList<Binding> &bindings, QString *error);
    // The settings path of a binding, and the list of custom shortcuts with ours added.
    static QString gnomePath(const Binding &binding);
    static QStringList withGnomePaths(const QStringList &current, const QList<Binding> &bindings);
};

} // namespace vistrel
