#include "app/InstanceServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaMethod>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace vistrel {

namespace {

// A folder only this user can enter; anything else (another owner, open permissions, a link)
// is refused rather than trusted with our socket. Made when missing; one of ours that others may
// enter is closed (`mend`).
bool privateFolder(const QString &path, bool mend)
{
    const QByteArray p = QFile::encodeName(path);
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    // Opened without following a link, then checked and mended through that one handle, so
    // nothing can be swapped in between.
    const int fd = ::open(p.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
    if (ok && (st.st_mode & 077) != 0)
        ok = mend && ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

bool isSocket(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

QString displayKey(const QString &display)
{
    // ":0" and ":0.0" are the same server; host names and dots must not make odd file names.
    QString key = display.isEmpty() ? QStringLiteral("none") : display;
    const qsizetype colon = key.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = key.indexOf(QLatin1Char('.'), colon < 0 ? 0 : colon);
    if (colon >= 0 && dot > colon)
        key.truncate(dot);
    for (QChar &c : key)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    return key.left(64);
}

qint64 nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

InstancePaths InstancePaths::forDisplay(const QString &display, QString *error)
{
    // Every process of the user tries the same folders in the same order, so they meet. The
    // temporary directory's name can be taken first by anyone; the home's cache cannot.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString ownTemp = QDir::tempPath() + QStringLiteral("/vistrel-%1").arg(::getuid());
    const QString ownCache = cache + QStringLiteral("/vistrel-run");
    QString dir;
    // The session's runtime folder is the system's: used as it is, never mended.
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && privateFolder(runtime, false))
        dir = runtime;
    else if (privateFolder(ownTemp, true))
        dir = ownTemp;
    else if (QDir::isAbsolutePath(cache) && QDir().mkpath(cache) && privateFolder(ownCache, true))
        dir = ownCache;
    if (dir.isEmpty()) {
        if (error)
            *error = QStringLiteral("neither %1 nor %2 is a private folder of this user")
                         .arg(ownTemp, ownCache);
        return {};
    }
    const QString base = dir + QStringLiteral("/vistrel-") + displayKey(display);
    return {base + QStringLiteral(".socket"), base + QStringLiteral(".lock")};
}

// --- lock ------------------------------------------------------------------------------------

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void InstanceLock::unlock()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool InstanceLock::tryLock()
{
    if (m_fd >= 0)
        return true;
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

// --- server ----------------------------------------------------------------------------------

InstanceServer::InstanceServer(QObject *parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
    // A failed accept (no file handles left) closes the server and takes its socket file with
    // it, and anyone may remove the file: either way the instance listens again.
    auto *watcher = new QTimer(this);
    watcher->setInterval(watchMs);
    connect(watcher, &QTimer::timeout, this, &InstanceServer::watch);
    watcher->start();
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString &socketPath, QString *error)
{
    m_path = socketPath;
    m_server->close();
    QLocalServer::removeServer(socketPath);
    if (m_server->listen(socketPath))
        return true;
    if (error)
        *error = m_server->errorString();
    return false;
}

void InstanceServer::watch()
{
    if (m_path.isEmpty() || (m_server->isListening() && isSocket(m_path)))
        return;
    QString error;
    if (listen(m_path, &error))
        qWarning("vistrel: listening again on %s", qPrintable(m_path));
}

void InstanceServer::serve(QLocalSocket *socket)
{
    m_clients.append(socket);
    connect(socket, &QObject::destroyed, this, [this, socket] { m_clients.removeOne(socket); });
    if (m_clients.size() > maxClients) {
        // The oldest that has not sent its request goes; with none, this one is turned away.
        QLocalSocket *drop = socket;
        for (QLocalSocket *client : std::as_const(m_clients))
            if (!client->property("answered").toBool()) {
                drop = client;
                break;
            }
        m_clients.removeOne(drop);
        if (drop == socket) {
            socket->write("error too many requests at once\n");
            socket->flush();
        }
        drop->abort();
        drop->deleteLater();
        if (drop == socket)
            return;
    }
    // A client that says nothing, or too much, is dropped; it cannot hold the instance up.
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
    idle->start(5000);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QPointer<QLocalSocket> guard(socket);
    connect(socket, &QLocalSocket::readyRead, this, [this, guard] {
        if (!guard)
            return;
        QLocalSocket *s = guard.data();
        if (s->property("answered").toBool()) {
            s->readAll();
            return;
        }
        QByteArray buffer = s->property("buffer").toByteArray() + s->readAll();
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0 && buffer.size() <= maxRequestBytes) {
            s->setProperty("buffer", buffer);
            return;
        }
        s->setProperty("answered", true);
        s->setProperty("buffer", QVariant());
        // The request is in: its work (a user choosing an area) may take as long as it takes.
        if (auto *idle = s->findChild<QTimer *>())
            idle->stop();
        auto answer = [guard](const CommandAnswer &a) {
            if (!guard)
                return; // the caller gave up waiting
            if (!a.refused.isEmpty()) {
                // One line: a reason never breaks the framing.
                QString why = a.refused;
                why.replace(QLatin1Char('\n'), QLatin1Char(' '));
                guard->write("error " + why.toUtf8() + '\n');
            } else if (!a.picture.isEmpty()) {
                guard->write("picture " + QByteArray::number(a.picture.size()) + '\n');
                guard->write(a.picture);
            } else if (!a.note.isEmpty()) {
                QString note = a.note;
                note.replace(QLatin1Char('\n'), QLatin1Char(' '));
                guard->write("ok " + note.toUtf8() + '\n');
            } else {
                guard->write("ok\n");
            }
            guard->flush();
            guard->disconnectFromServer();
        };
        if (end < 0)
            answer(QStringLiteral("the request is too long"));
        else
            handle(buffer.left(end), answer, s);
    });
}

void InstanceServer::handle(const QByteArray &line, const Reply &reply, QObject *caller)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return reply(QStringLiteral("the request is not a JSON object"));
    QString why;
    const auto command = Command::fromJson(doc.object(), &why);
    if (!command)
        return reply(why);
    if (!isSignalConnected(QMetaMethod::fromSignal(&InstanceServer::commandReceived)))
        return reply({});
    emit commandReceived(*command, reply, caller);
}

// --- client ----------------------------------------------------------------------------------

InstanceClient::Outcome InstanceClient::send(const QString &socketPath, const Command &command,
                                             QString *reply, int timeoutMs, QByteArray *picture)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(addr.sun_path))
        return Outcome::NotRunning;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Outcome::NotRunning;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // Refused or missing: nobody listens (a socket file left by a killed instance refuses).
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        return Outcome::NotRunning;

    const QByteArray request =
        QJsonDocument(command.toJson()).toJson(QJsonDocument::Compact) + '\n';
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n =
            ::send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Outcome::NoAnswer;
        sent += n;
    }
    QByteArray answer;
    const qint64 deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    // Reads until `enough` holds or the instance closes; false when time ran out.
    auto readUntil = [&](const auto &enough) {
        while (!enough()) {
            const qint64 left = deadline < 0 ? -1 : deadline - nowMs();
            if (deadline >= 0 && left <= 0)
                return false;
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, int(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
            char chunk[65536];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return true;
            answer.append(chunk, n);
        }
        return true;
    };
    if (!readUntil([&] { return answer.contains('\n') || answer.size() > 4096; }))
        return Outcome::NoAnswer;
    const qsizetype eol = answer.indexOf('\n');
    if (eol < 0)
        return Outcome::NoAnswer;
    const QByteArray first = answer.left(eol);
    if (first == "ok")
        return Outcome::Done;
    if (first.startsWith("ok ")) {
        if (reply)
            *reply = QString::fromUtf8(first.mid(3));
        return Outcome::Done;
    }
    if (first.startsWith("error ")) {
        if (reply)
            *reply = QString::fromUtf8(first.mid(6));
        return Outcome::Refused;
    }
    if (first.startsWith("picture ")) {
        bool ok = false;
        const qint64 size = first.mid(8).toLongLong(&ok);
        if (!ok || size <= 0 || size > maxPictureBytes)
            return Outcome::NoAnswer;
        answer.remove(0, eol + 1);
        answer.reserve(size);
        if (!readUntil([&] { return answer.size() >= size; }) || answer.size() != size)
            return Outcome::NoAnswer;
        if (picture)
            *picture = answer;
        return Outcome::Done;
    }
    return Outcome::NoAnswer;
}

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// What this process says and returns for the instance's answer.
std::optional<int> finish(InstanceClient::Outcome outcome, const Command &command,
                          const QString &reply, const QByteArray &picture)
{
    switch (outcome) {
    case InstanceClient::Outcome::Done:
        if (command.kind == Command::Kind::None)
            std::fputs("Vistrel is already running.\n", stdout);
        if (!reply.isEmpty())
            std::fprintf(stderr, "vistrel: %s\n", qPrintable(reply));
        if (!picture.isEmpty() && !writeAll(STDOUT_FILENO, picture)) {
            std::fprintf(stderr, "vistrel: cannot write the picture to standard output (%s).\n",
                         std::strerror(errno));
            return 1;
        }
        return 0;
    case InstanceClient::Outcome::Refused:
        std::fprintf(stderr, "vistrel: %s\n", qPrintable(reply));
        return 1;
    case InstanceClient::Outcome::NoAnswer:
        std::fputs("vistrel: the running Vistrel does not answer.\n", stderr);
        return 1;
    case InstanceClient::Outcome::NotRunning:
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<int> InstanceClient::handOver(const Command &command, InstanceLock &lock,
                                            const QString &socketPath, int startupWaitMs)
{
    const qint64 deadline = nowMs() + startupWaitMs;
    // A scripted capture is answered when the picture is taken, which may wait on the user;
    // quitting once unsaved marks are on disk, which a slow disk may take a while to do.
    const int answerWaitMs = command.scripted()                    ? -1
                             : command.kind == Command::Kind::Quit ? 60000
                                                                   : 5000;
    for (;;) {
        if (lock.tryLock())
            return std::nullopt;
        QString reply;
        QByteArray picture;
        const Outcome outcome = send(socketPath, command, &reply, answerWaitMs, &picture);
        if (const auto status = finish(outcome, command, reply, picture))
            return status;
        // Not running: starting up, or just ended; try the lock again.
        if (nowMs() > deadline) {
            std::fprintf(stderr,
                         "vistrel: another Vistrel is starting but does not listen on %s.\n",
                         qPrintable(socketPath));
            return 1;
        }
        ::usleep(50 * 1000);
    }
}

int InstanceClient::handOverScripted(const Command &command, InstanceLock &lock,
                                     const QString &socketPath, const QString &program,
                                     int startupWaitMs)
{
    if (const auto status = handOver(command, lock, socketPath, startupWaitMs))
        return *status;
    // Nobody runs: let the lock go for the instance we start, in a session of its own and
    // away from our standard streams, so a pipe from this process ends when it does.
    lock.unlock();
    const QByteArray path = QFile::encodeName(program);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null",
                                         fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char *argv[] = {const_cast<char *>(path.constData()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.constData(), &files, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        std::fprintf(stderr, "vistrel: cannot start Vistrel (%s): %s\n", path.constData(),
                     std::strerror(spawned));
        return 1;
    }
    const qint64 deadline = nowMs() + startupWaitMs;
    for (;;) {
        QString reply;
        QByteArray picture;
        const Outcome outcome = send(socketPath, command, &reply, -1, &picture);
        if (const auto status = finish(outcome, command, reply, picture))
            return *status;
        int exitStatus = 0;
        if (::waitpid(pid, &exitStatus, WNOHANG) == pid) {
            std::fputs("vistrel: the Vistrel started for this capture ended at once; run "
                       "\"vistrel\" to see why.\n",
                       stderr);
            return 1;
        }
        if (nowMs() > deadline) {
            std::fprintf(stderr,
                         "vistrel: the Vistrel started for this capture does not listen on %s.\n",
                         qPrintable(socketPath));
            return 1;
        }
        ::usleep(20 * 1000);
    }
}

} // namespace vistrel
