#include "engines/SmartNaming.h"

#include "engines/ClipboardTools.h"
#include "engines/NameSanitizer.h"

#include <QDate>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThreadPool>
#include <QUuid>
#include <QtConcurrent>

#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace vistrel {

namespace {

// Written with O_EXCL and mode 0600: nobody else may read the screenshot, and a file or
// link planted at the name is never followed.
bool writePrivateFile(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    const bool closed = ::close(fd) == 0;
    return closed && written == bytes.size();
}

const QString picturePrefix = QStringLiteral("vl-name-");

} // namespace

SmartNaming::SmartNaming()
{
    m_pool.setMaxThreadCount(4);
    m_pool.setExpiryTimeout(30000);
}

SmartNaming::~SmartNaming()
{
    m_pool.clear();
    {
        QMutexLocker lock(&m_mutex);
        m_ending = true;
    }
    stopAll();
}

bool SmartNaming::addRunning(qint64 group)
{
    QMutexLocker lock(&m_mutex);
    m_running.insert(group);
    return !m_ending;
}

void SmartNaming::removeRunning(qint64 group)
{
    QMutexLocker lock(&m_mutex);
    m_running.remove(group);
}

void SmartNaming::stopAll()
{
    {
        QMutexLocker lock(&m_mutex);
        for (const qint64 group : std::as_const(m_running))
            ::kill(-pid_t(group), SIGKILL);
    }
    // Each suggestion then ends at once and removes its picture.
    m_pool.waitForDone(5000);
}

void SmartNaming::removeLeftovers(qint64 olderThanMs)
{
    // Only our own, and only those older than any suggestion can run: another Vistrel (on
    // another display) may be naming right now.
    const QDir temp(QDir::tempPath());
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-olderThanMs);
    for (const QFileInfo &file : temp.entryInfoList({picturePrefix + QStringLiteral("*.png")},
                                                    QDir::Files | QDir::Hidden | QDir::System)) {
        if (!file.isSymLink() && file.ownerId() == ::getuid() && file.lastModified() < before)
            QFile::remove(file.filePath());
    }
}

bool SmartNaming::enabled()
{
    return qgetenv("VISTREL_SMART_NAMES") != "0";
}

QString SmartNaming::filename(const QString &base)
{
    return base + QLatin1Char(' ') + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

std::optional<QString> SmartNaming::claudeExecutable()
{
    const QString name = QStringLiteral("claude");
    QString path = QStandardPaths::findExecutable(name);
    // A session started from a display manager often has neither folder on its PATH, though
    // the tool installs itself into one of them.
    if (path.isEmpty())
        path =
            QStandardPaths::findExecutable(name, {QDir::homePath() + QStringLiteral("/.local/bin"),
                                                  QStringLiteral("/usr/local/bin")});
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QString SmartNaming::textPrompt(const QString &excerpt)
{
    return QStringLiteral(
               "Reply with ONLY a 2-5 word lowercase kebab-case slug — no date, no quotes, no "
               "file extension, max 40 chars — that names this screenshot so it's easy to find "
               "later. Base it on what it is about (examples: payment-proof-acme, "
               "whatsapp-chat-john, react-type-error, flight-booking-confirmation). Screenshot "
               "text:\n") +
           excerpt;
}

QString SmartNaming::imagePrompt(const QString &imagePath)
{
    return QStringLiteral("View the image at ") + imagePath +
           QStringLiteral(" and reply with ONLY a 2-5 word lowercase kebab-case slug (no date, "
                          "no quotes, no extension) describing it for filename search "
                          "(examples: beach-selfie, sales-dashboard-chart, handwritten-note).");
}

std::optional<QString> SmartNaming::runClaude(const QStringList &arguments, const Limits &limits)
{
    const std::optional<QString> tool = claudeExecutable();
    if (!tool)
        return std::nullopt;

    QProcess process;
    process.setProgram(*tool);
    process.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("ANTHROPIC_API_KEY"));
    process.setProcessEnvironment(environment);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    // Unread diagnostics must not fill a pipe and stall the tool.
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so stopping it also stops whatever it started; and it goes with us
    // if we are killed (the thread that starts it waits for it, so it is the thread to watch).
    process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    process.start();
    if (!process.waitForStarted())
        return std::nullopt;
    const pid_t group = pid_t(process.processId());
    if (!addRunning(group))
        ::kill(-group, SIGKILL); // started as the object goes: no answer is waited for

    QByteArray output;
    bool tooLong = false;
    QDeadlineTimer deadline(limits.timeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        const int remaining = int(qMax<qint64>(0, deadline.remainingTime()));
        if (!process.waitForReadyRead(remaining))
            process.waitForFinished(int(qMax<qint64>(0, deadline.remainingTime())));
        output += process.readAllStandardOutput();
        if (output.size() > limits.maxOutputBytes) {
            tooLong = true;
            break;
        }
    }
    if (process.state() != QProcess::NotRunning) {
        ::kill(-group, SIGTERM);
        if (!process.waitForFinished(limits.killGraceMs)) {
            ::kill(-group, SIGKILL);
            process.waitForFinished(-1);
        }
    }
    output += process.readAllStandardOutput();
    // What it left running in the background goes with it.
    ::kill(-group, SIGKILL);
    removeRunning(group);
    // Only a tool that says it succeeded has an answer: an error text is no name.
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    if (tooLong || output.size() > limits.maxOutputBytes)
        return std::nullopt;

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(output);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> SmartNaming::slugFromImage(const QImage &image, const Limits &limits)
{
    const QByteArray png = encodePng(image);
    if (png.isEmpty())
        return std::nullopt;
    const QString path = QDir::tempPath() + QLatin1Char('/') + picturePrefix +
                         QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                         QStringLiteral(".png");
    if (!writePrivateFile(path, png)) {
        QFile::remove(path);
        return std::nullopt;
    }
    const std::optional<QString> output =
        runClaude({QStringLiteral("-p"), QStringLiteral("--allowed-tools"), QStringLiteral("Read"),
                   imagePrompt(path)},
                  limits);
    QFile::remove(path);
    return sanitizeName(output);
}

std::optional<QString> SmartNaming::suggestNow(const QString &ocrText, const QImage &image,
                                               const Limits &limits)
{
    if (!enabled())
        return std::nullopt;
    // Without the tool there is nothing to ask: no picture is written anywhere.
    if (!claudeExecutable())
        return std::nullopt;
    const QString text = ocrText.trimmed();
    if (text.size() < minTextLength)
        return slugFromImage(image, limits);
    qsizetype cut = qMin(text.size(), excerptLength);
    if (cut < text.size() && text[cut - 1].isHighSurrogate())
        --cut; // never half a character
    return sanitizeName(runClaude({QStringLiteral("-p"), textPrompt(text.left(cut))}, limits));
}

QFuture<std::optional<QString>> SmartNaming::suggest(const QString &ocrText, const QImage &image,
                                                     Limits limits)
{
    return QtConcurrent::run(
        &m_pool, [this, ocrText, image, limits] { return suggestNow(ocrText, image, limits); });
}

} // namespace vistrel
