#pragma once

#include "app/CommandLine.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace vistrel {

// Where the one Vistrel of a display listens: a private folder of the user
// ($XDG_RUNTIME_DIR, else a 0700 folder of our own in the temporary directory, else, when
// someone else took that name first, one in the user's cache folder), one socket and one
// lock per X display.
struct InstancePaths
{
    QString socket;
    QString lock;

    // Empty paths when no private folder can be had.
    static InstancePaths forDisplay(const QString &display, QString *error = nullptr);
};

// Held for the whole life of the running instance. The kernel drops it when the process
// ends however it ends, so a killed instance never blocks the next start.
class InstanceLock
{
public:
    explicit InstanceLock(QString path) : m_path(std::move(path)) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    bool tryLock();
    void unlock();
    bool locked() const { return m_fd >= 0; }

private:
    QString m_path;
    int m_fd = -1;
};

// The running instance's side: one JSON line per connection, answered with "ok", "error <why>"
// or "picture <bytes>" followed by that many bytes of PNG.
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;

    // The caller holds the lock, so a socket file already there is a dead instance's.
    bool listen(const QString &socketPath, QString *error);

    // Answers a request, now or later: done, refused, or a picture.
    using Reply = std::function<void(const CommandAnswer &)>;

    static constexpr qsizetype maxRequestBytes = 64 * 1024;
    // Clients served at once; beyond it the oldest that has not asked anything yet is dropped,
    // so a flood of connections cannot use up the process's files.
    static constexpr int maxClients = 64;
    // How often the server checks that it still listens where it should.
    static constexpr int watchMs = 500;

signals:
    // A request for its one receiver, which runs (or schedules) it and calls `reply` once; a
    // reply after the caller has gone is dropped. `caller` is destroyed when the caller hangs
    // up. Without a receiver every request is answered "ok".
    void commandReceived(const vistrel::Command &command,
                         const vistrel::InstanceServer::Reply &reply, QObject *caller);

private:
    void serve(QLocalSocket *socket);
    void handle(const QByteArray &line, const Reply &reply, QObject *caller);
    void watch();

    QLocalServer *m_server;
    QString m_path;
    QList<QLocalSocket *> m_clients; // oldest first
};

// Another `vistrel` process's side. Blocking, and without a Qt application object, so a
// command can be handed over before any window-system connection is made.
class InstanceClient
{
public:
    enum class Outcome { NotRunning, Done, Refused, NoAnswer };
    // Larger than any picture Vistrel makes (16384 pixels a side, encoded).
    static constexpr qint64 maxPictureBytes = qint64(2) << 30;
    // `timeoutMs` < 0 waits for as long as the instance works on it (a user choosing an area).
    static Outcome send(const QString &socketPath, const Command &command, QString *reply,
                        int timeoutMs = 5000, QByteArray *picture = nullptr);

    // Hands `command` to the running instance and returns the exit status for this process;
    // nothing once `lock` is taken, when this process is to become the instance. Waits while
    // another process holds the lock but does not listen yet (two started at once).
    static std::optional<int> handOver(const Command &command, InstanceLock &lock,
                                       const QString &socketPath, int startupWaitMs = 30000);

    // A scripted capture needs a process that lives on (the clipboard is served from it) and
    // one that ends with the answer: without a running instance, one is started in the
    // background and the command handed to it. Returns the exit status.
    static int handOverScripted(const Command &command, InstanceLock &lock,
                                const QString &socketPath, const QString &program,
                                int startupWaitMs = 30000);
};

} // namespace vistrel
