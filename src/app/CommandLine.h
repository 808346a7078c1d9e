#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace vistrel {

// One request to Vistrel, from its command line or handed to the running instance.
struct Command
{
    enum class Kind { None, Area, Full, Window, Scroll, Ocr, Color, Edit, Quit, Record };

    Kind kind = Kind::None;
    double delaySeconds = 0;
    QStringList files; // absolute paths, for Edit
    bool last = false; // Edit: the newest capture of the history instead of files
    // A scripted capture (area, full, window) goes here instead of to the overlay's toolbar
    // or the editor: a file (absolute path; its extension names the type), "-" for the
    // caller's standard output (PNG), and/or the clipboard.
    QString output;
    bool clipboard = false;
    // Record: stop by itself after this many seconds of recording (0: when stopped). A
    // recording with an output (.webm, .mp4 or .gif) is a script's: no preview, no history.
    double durationSeconds = 0;

    bool scripted() const { return !output.isEmpty() || clipboard; }

    static QString name(Kind kind);
    static std::optional<Kind> kindNamed(const QString &name);

    QJsonObject toJson() const;
    // Checks everything a request from another process may get wrong.
    static std::optional<Command> fromJson(const QJsonObject &json, QString *error);
};

// What the running Vistrel answers a request: done, refused (with the reason), or, for a
// scripted capture to standard output, the picture's PNG bytes.
struct CommandAnswer
{
    CommandAnswer() = default;
    CommandAnswer(const QString &why) : refused(why) {}
    QString refused;
    QByteArray picture;
};

// What `vistrel ARGS…` asks for.
struct CommandLine
{
    bool help = false;
    bool version = false;
    bool history = false; // list the capture history; no running Vistrel is needed
    Command command;
    QString error; // not empty: a usage error, said as it stands

    static constexpr double maxDelaySeconds = 3600;
    static constexpr double maxDurationSeconds = 86400;

    // `args` without the program name; `cwd` resolves relative file names, so the running
    // instance finds them.
    static CommandLine parse(const QStringList &args, const QString &cwd);
    static QString usage();
};

struct HistoryEntry;
// `vistrel history`: a line for each kept capture, newest first: when, size, marks, where.
QString historyListing(const QList<HistoryEntry> &entries, const QString &folder);

} // namespace vistrel
