#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace vistrel {

// One request to Vistrel, from its command line or handed to the running instance.
struct Command
{
    enum class Kind { None, Area, Full, Window, Scroll, Ocr, Color, Edit, Quit };

    Kind kind = Kind::None;
    double delaySeconds = 0;
    QStringList files; // absolute paths, for Edit
    bool last = false; // Edit: the newest capture of the history instead of files

    static QString name(Kind kind);
    static std::optional<Kind> kindNamed(const QString &name);

    QJsonObject toJson() const;
    // Checks everything a request from another process may get wrong.
    static std::optional<Command> fromJson(const QJsonObject &json, QString *error);
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

    // `args` without the program name; `cwd` resolves relative file names, so the running
    // instance finds them.
    static CommandLine parse(const QStringList &args, const QString &cwd);
    static QString usage();
};

struct HistoryEntry;
// `vistrel history`: a line for each kept capture, newest first: when, size, marks, where.
QString historyListing(const QList<HistoryEntry> &entries, const QString &folder);

} // namespace vistrel
