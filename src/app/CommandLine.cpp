#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>

#include "engines/CaptureHistory.h"
#include "engines/EditablePng.h"
#include "engines/ImageFiles.h"
#include "engines/RecordingWriter.h"
#include "platform/PictureFile.h"

#include <cmath>

namespace vistrel {

namespace {

struct Named
{
    Command::Kind kind;
    const char *name;
};

const Named kinds[] = {
    {Command::Kind::Area, "area"},     {Command::Kind::Full, "full"},
    {Command::Kind::Window, "window"}, {Command::Kind::Scroll, "scroll"},
    {Command::Kind::Ocr, "ocr"},       {Command::Kind::Color, "color"},
    {Command::Kind::Edit, "edit"},     {Command::Kind::Quit, "quit"},
    {Command::Kind::Record, "record"},
};

std::optional<double> parseDelay(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > CommandLine::maxDelaySeconds)
        return std::nullopt;
    return value;
}

bool takesOutput(Command::Kind kind)
{
    return kind == Command::Kind::Area || kind == Command::Kind::Full ||
           kind == Command::Kind::Window || kind == Command::Kind::Record;
}

std::optional<double> parseDuration(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > CommandLine::maxDurationSeconds)
        return std::nullopt;
    return value;
}

// Why `output` cannot name where a scripted capture (or a recording) goes, or nothing.
QString outputProblem(const QString &output, Command::Kind kind)
{
    if (kind == Command::Kind::Record) {
        if (recordingFormatFor(output))
            return {};
        return QStringLiteral("record --output names a .webm, .mp4 or .gif file, not \"%1\"")
            .arg(QFileInfo(output).fileName().left(80));
    }
    if (output == QLatin1String("-"))
        return {};
    if (ImageFiles::exportFormatFor(output))
        return {};
    QStringList extensions;
    for (const ExportFormat &format : ImageFiles::exportFormats())
        for (const QString &extension : format.extensions)
            extensions.append(QLatin1Char('.') + extension);
    const QString last = extensions.takeLast();
    return QStringLiteral("--output names a %1 or %2 file, or - for PNG on standard output, "
                          "not \"%3\"")
        .arg(extensions.join(QStringLiteral(", ")), last, QFileInfo(output).fileName().left(80));
}

} // namespace

QString Command::name(Kind kind)
{
    for (const Named &n : kinds)
        if (n.kind == kind)
            return QString::fromLatin1(n.name);
    return {};
}

std::optional<Command::Kind> Command::kindNamed(const QString &name)
{
    for (const Named &n : kinds)
        if (name == QLatin1String(n.name))
            return n.kind;
    return std::nullopt;
}

QJsonObject Command::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("command"), kind == Kind::None ? QString() : name(kind));
    if (delaySeconds > 0)
        json.insert(QStringLiteral("delay"), delaySeconds);
    if (!files.isEmpty())
        json.insert(QStringLiteral("files"), QJsonArray::fromStringList(files));
    if (last)
        json.insert(QStringLiteral("last"), true);
    if (!output.isEmpty())
        json.insert(QStringLiteral("output"), output);
    if (clipboard)
        json.insert(QStringLiteral("clipboard"), true);
    if (durationSeconds > 0)
        json.insert(QStringLiteral("duration"), durationSeconds);
    return json;
}

std::optional<Command> Command::fromJson(const QJsonObject &json, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    Command command;
    const QJsonValue name = json.value(QStringLiteral("command"));
    if (!name.isString())
        return fail(QStringLiteral("the request names no command"));
    if (!name.toString().isEmpty()) {
        const auto kind = kindNamed(name.toString());
        if (!kind)
            return fail(QStringLiteral("unknown command \"%1\"").arg(name.toString().left(40)));
        command.kind = *kind;
    }
    const QJsonValue delay = json.value(QStringLiteral("delay"));
    if (!delay.isUndefined()) {
        const double d = delay.toDouble(-1);
        if (!delay.isDouble() || d < 0 || d > CommandLine::maxDelaySeconds)
            return fail(QStringLiteral("the delay must be 0 to %1 seconds")
                            .arg(CommandLine::maxDelaySeconds));
        command.delaySeconds = d;
    }
    const QJsonValue files = json.value(QStringLiteral("files"));
    if (!files.isUndefined()) {
        if (!files.isArray())
            return fail(QStringLiteral("the file list is not a list"));
        for (const QJsonValue &f : files.toArray()) {
            if (!f.isString() || !QDir::isAbsolutePath(f.toString()))
                return fail(QStringLiteral("file names must be absolute paths"));
            command.files.append(f.toString());
        }
    }
    const QJsonValue last = json.value(QStringLiteral("last"));
    if (!last.isUndefined() && !last.isBool())
        return fail(QStringLiteral("\"last\" is true or false"));
    command.last = last.toBool();
    if (command.last && (command.kind != Kind::Edit || !command.files.isEmpty()))
        return fail(QStringLiteral("only edit without files takes \"last\""));
    if ((command.kind == Kind::Edit) == (command.files.isEmpty() && !command.last))
        return fail(command.kind == Kind::Edit ? QStringLiteral("edit needs at least one file")
                                               : QStringLiteral("only edit takes files"));
    const QJsonValue output = json.value(QStringLiteral("output"));
    if (!output.isUndefined()) {
        command.output = output.toString();
        if (!output.isString() ||
            (command.output != QLatin1String("-") && !QDir::isAbsolutePath(command.output)))
            return fail(QStringLiteral("the output is \"-\" or an absolute path"));
        if (const QString why = outputProblem(command.output, command.kind); !why.isEmpty())
            return fail(why);
    }
    const QJsonValue clipboard = json.value(QStringLiteral("clipboard"));
    if (!clipboard.isUndefined() && !clipboard.isBool())
        return fail(QStringLiteral("\"clipboard\" is true or false"));
    command.clipboard = clipboard.toBool();
    if (command.scripted() && !takesOutput(command.kind))
        return fail(QStringLiteral("only area, full, window and record take an output"));
    if (command.kind == Kind::Record && command.clipboard)
        return fail(QStringLiteral("record does not take the clipboard"));
    const QJsonValue duration = json.value(QStringLiteral("duration"));
    if (!duration.isUndefined()) {
        const double d = duration.toDouble(-1);
        if (!duration.isDouble() || d <= 0 || d > CommandLine::maxDurationSeconds)
            return fail(QStringLiteral("the duration must be above 0 and at most %1 seconds")
                            .arg(CommandLine::maxDurationSeconds));
        if (command.kind != Kind::Record)
            return fail(QStringLiteral("only record takes a duration"));
        command.durationSeconds = d;
    }
    return command;
}

CommandLine CommandLine::parse(const QStringList &args, const QString &cwd)
{
    CommandLine line;
    auto error = [&line](const QString &why) {
        line.error = why;
        return line;
    };
    QCommandLineParser parser;
    // "-delay" is "--delay" and "-hv" an unknown option, never "-h -v".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("show this help"));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("show the version"));
    const QCommandLineOption delayOption(
        QStringLiteral("delay"),
        QStringLiteral("run the command after this many seconds (0 to %1)").arg(maxDelaySeconds),
        QStringLiteral("SECONDS"));
    const QCommandLineOption lastOption(QStringLiteral("last"),
                                        QStringLiteral("edit: the newest capture of the history"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"), QStringLiteral("area, full, window: write the picture to FILE"),
        QStringLiteral("FILE"));
    const QCommandLineOption clipboardOption(
        QStringLiteral("clipboard"), QStringLiteral("area, full, window: copy the picture"));
    const QCommandLineOption durationOption(QStringLiteral("duration"),
                                            QStringLiteral("record: stop after this many seconds"),
                                            QStringLiteral("SECONDS"));
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    parser.addOption(delayOption);
    parser.addOption(lastOption);
    parser.addOption(outputOption);
    parser.addOption(clipboardOption);
    parser.addOption(durationOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("what to do"),
                                 QStringLiteral("[COMMAND]"));
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("pictures, for edit"),
                                 QStringLiteral("[FILE...]"));
    // The parser takes the first argument as the program's name.
    if (!parser.parse(QStringList(QStringLiteral("vistrel")) + args))
        return error(parser.errorText());
    line.help = parser.isSet(helpOption);
    line.version = parser.isSet(versionOption);
    if (parser.isSet(delayOption)) {
        const QString value = parser.value(delayOption);
        const auto delay = parseDelay(value);
        if (!delay)
            return error(QStringLiteral("--delay takes 0 to %1 seconds, not \"%2\"")
                             .arg(maxDelaySeconds)
                             .arg(value));
        line.command.delaySeconds = *delay;
    }
    // After "--" every argument is positional, so file names may start with "-".
    QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty() && positional.first() == QLatin1String("history")) {
        positional.removeFirst();
        if (!positional.isEmpty() || parser.isSet(delayOption) || parser.isSet(lastOption) ||
            parser.isSet(outputOption) || parser.isSet(clipboardOption) ||
            parser.isSet(durationOption))
            return error(QStringLiteral("\"history\" takes no file names or options"));
        line.history = true;
        return line;
    }
    if (!positional.isEmpty()) {
        const QString name = positional.takeFirst();
        const auto kind = Command::kindNamed(name);
        if (!kind)
            return error(QStringLiteral("unknown command \"%1\"").arg(name));
        line.command.kind = *kind;
    }
    if (parser.isSet(lastOption) && line.command.kind != Command::Kind::Edit)
        return error(QStringLiteral("--last goes with edit"));
    const bool recording = line.command.kind == Command::Kind::Record;
    if ((parser.isSet(outputOption) || parser.isSet(clipboardOption)) &&
        !takesOutput(line.command.kind))
        return error(QStringLiteral("--output and --clipboard go with area, full or window"));
    if (recording && parser.isSet(clipboardOption))
        return error(QStringLiteral("record takes --output FILE, not --clipboard"));
    if (parser.isSet(durationOption)) {
        if (!recording)
            return error(QStringLiteral("--duration goes with record"));
        const QString value = parser.value(durationOption);
        const auto duration = parseDuration(value);
        if (!duration)
            return error(QStringLiteral("--duration takes more than 0 and up to %1 seconds, not "
                                        "\"%2\"")
                             .arg(maxDurationSeconds)
                             .arg(value));
        line.command.durationSeconds = *duration;
    }
    if (parser.isSet(outputOption)) {
        const QString output = parser.value(outputOption);
        if (output.isEmpty())
            return error(QStringLiteral("--output needs a file name, or - for standard output"));
        if (const QString why = outputProblem(output, line.command.kind); !why.isEmpty())
            return error(why);
        line.command.output = output == QLatin1String("-")
                                  ? output
                                  : QDir::cleanPath(QDir(cwd).absoluteFilePath(output));
    }
    line.command.clipboard = parser.isSet(clipboardOption);
    if (line.command.kind == Command::Kind::Edit) {
        for (const QString &file : std::as_const(positional))
            line.command.files.append(QDir::cleanPath(QDir(cwd).absoluteFilePath(file)));
        line.command.last = parser.isSet(lastOption);
        if (line.command.last && !line.command.files.isEmpty())
            return error(QStringLiteral("edit takes files or --last, not both"));
        if (line.command.files.isEmpty() && !line.command.last)
            return error(QStringLiteral("edit needs at least one picture file, or --last"));
    } else if (!positional.isEmpty()) {
        return error(QStringLiteral("\"%1\" takes no file names (\"%2\")")
                         .arg(Command::name(line.command.kind), positional.first()));
    }
    return line;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: vistrel [COMMAND] [--delay SECONDS]\n"
        "       vistrel area | full | window [--output FILE | -] [--clipboard] [--delay SECONDS]\n"
        "       vistrel edit FILE... | --last [--delay SECONDS]\n"
        "       vistrel record [--output FILE] [--delay SECONDS] [--duration SECONDS]\n"
        "       vistrel history\n"
        "       vistrel --help | --version\n"
        "\n"
        "Vistrel lives in the system tray. Only one Vistrel runs per display: a command given\n"
        "while one runs is handed to it; without a running Vistrel, a command starts one.\n"
        "\n"
        "Commands (the tray menu's entry points, for your desktop's own shortcuts):\n"
        "  area            capture an area\n"
        "  full            capture the full screen and open it in the editor\n"
        "  window          capture a window\n"
        "  scroll          scrolling capture\n"
        "  record          record an area or a window; again (or Esc, the tray): stop it\n"
        "  ocr             extract the text of an area to the clipboard\n"
        "  color           pick a colour; its hex code goes to the clipboard\n"
        "  edit FILE...    open pictures in editors (an editable PNG with its marks)\n"
        "  edit --last     reopen the newest capture of the history, marks editable\n"
        "  history         list the capture history (recordings too), newest first\n"
        "  quit            end the running Vistrel\n"
        "\n"
        "Scripted captures (no toolbar, no editor): area, full or window with\n"
        "  --output FILE   write the picture to FILE: .png, .jpg/.jpeg or .pdf by its name\n"
        "  --output -      write it to standard output as PNG\n"
        "  --clipboard     copy it to the clipboard (may go with --output)\n"
        "  The area is taken when the drag ends, the window when it is clicked; Esc cancels.\n"
        "  The exit status is 0 when a picture was taken, 1 when not (cancelled, failed).\n"
        "  A scripted capture without a running Vistrel starts one in the background.\n"
        "\n"
        "Recordings: record with\n"
        "  --output FILE   record to FILE: .webm, .mp4 or .gif by its name; no preview, no\n"
        "                  history. The area is recorded when its drag ends (a click takes a\n"
        "                  window's frame); the command returns once the file is written,\n"
        "                  with 0, or 1 when none was (Esc before the start, a failure).\n"
        "  --duration SECONDS  stop by itself after this many seconds of recording\n"
        "  Without --output the recording opens in a preview when stopped.\n"
        "\n"
        "Options:\n"
        "  --delay SECONDS run the command after this many seconds (0 to 3600)\n"
        "  -h, --help      show this help\n"
        "  -v, --version   show the version\n"
        "\n"
        "Hot keys, anywhere on the desktop (the defaults; rebind them in Preferences):\n"
        "  Ctrl+Shift+2    capture an area     Ctrl+Shift+1  capture the full screen\n"
        "  Ctrl+Shift+9    extract text (OCR)  Ctrl+Shift+8  scrolling capture\n"
        "  Ctrl+Shift+5    record the screen (again: stop)\n"
        "\n"
        "Environment:\n"
        "  VISTREL_UPLOAD_URL=URL     Share's upload address (https://.../api/upload; http://\n"
        "                             only to this machine), over the one in Preferences\n"
        "  VISTREL_UPLOAD_TOKEN=TOKEN Share's token, over the one in the keyring or file\n"
        "  VISTREL_KEEP_CAPTURES=DIR  also write every captured picture to DIR\n"
        "  VISTREL_SMART_NAMES=0      never suggest file names from a picture's text\n"
        "                             (overrides the Preferences choice)\n"
        "  XDG_RUNTIME_DIR            where the running Vistrel listens for commands\n"
        "  XDG_CONFIG_HOME            where preferences (vistrel/) and the autostart entry live\n"
        "\n"
        "Files:\n"
        "  ~/.config/vistrel/vistrel.conf  preferences, the upload address among them\n"
        "  the desktop's keyring           Share's token, when a keyring (Secret Service) runs\n"
        "  ~/.vistrel/share-token          Share's token otherwise (readable only by you)\n"
        "  ~/.vistrel/share-url            an upload address, when Preferences set none\n"
        "Share's address and token are set in Preferences, on the Sharing page.\n"
        "\n"
        "Exit status: 0 done, 1 failed (no display, the running Vistrel refused, a scripted\n"
        "capture cancelled), 2 usage error.\n");
}

QString historyListing(const QList<HistoryEntry> &entries, const QString &folder)
{
    QString out;
    const CaptureHistory history(folder);
    for (const HistoryEntry &entry : entries) {
        const QString dir = folder + QLatin1Char('/') + entry.id;
        if (entry.isRecording()) {
            const CaptureHistory::RecordingInfo info = history.recordingInfo(entry.id);
            out +=
                QStringLiteral("%1  %2x%3  recording%4  %5\n")
                    .arg(entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                    .arg(info.size.width())
                    .arg(info.size.height())
                    .arg(info.durationMs >= 0 ? QStringLiteral(" %1 s").arg(
                                                    double(info.durationMs) / 1000.0, 0, 'f', 1)
                                              : QString(),
                         entry.recording);
            continue;
        }
        // Only regular files, never waited on: a FIFO in the history must not hang the listing.
        QSize size;
        QFile capture;
        if (openRegularFile(dir + QLatin1Char('/') + EditorScene::pictureName(0), capture))
            size = QImageReader(&capture).size();
        const FileBytes scene =
            readRegularFile(dir + QStringLiteral("/scene.json"), EditablePng::maxJsonBytes);
        const qsizetype marks = QJsonDocument::fromJson(scene.bytes)
                                    .object()
                                    .value(QLatin1String("marks"))
                                    .toArray()
                                    .size();
        out += QStringLiteral("%1  %2x%3  %4 mark%5%6  %7\n")
                   .arg(entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                   .arg(size.width())
                   .arg(size.height())
                   .arg(marks)
                   .arg(marks == 1 ? QString() : QStringLiteral("s"))
                   .arg(entry.unsaved ? QStringLiteral("  (not saved)") : QString(), dir);
    }
    return out;
}

} // namespace vistrel
