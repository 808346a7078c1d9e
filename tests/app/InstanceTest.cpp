#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/AppShell.h"
#include "app/BoardSession.h"
#include "app/CaptureCoordinator.h"
#include "app/CaptureFlow.h"
#include "app/CommandLine.h"
#include "app/InstanceServer.h"
#include "app/ScrollSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <future>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

using Kind = Command::Kind;

TEST(CommandLine, CommandsDelaysAndFiles)
{
    auto parse = [](QStringList args) {
        return CommandLine::parse(args, QStringLiteral("/home/u/pics"));
    };
    EXPECT_EQ(parse({}).command.kind, Kind::None);
    EXPECT_EQ(parse({"area"}).command.kind, Kind::Area);
    EXPECT_EQ(parse({"color"}).command.kind, Kind::Color);
    const auto delayed = parse({"--delay", "2.5", "full"});
    EXPECT_TRUE(delayed.error.isEmpty());
    EXPECT_EQ(delayed.command.kind, Kind::Full);
    EXPECT_DOUBLE_EQ(delayed.command.delaySeconds, 2.5);
    EXPECT_DOUBLE_EQ(parse({"ocr", "--delay=3"}).command.delaySeconds, 3);

    const auto edit = parse({"edit", "a.png", "../b.png", "/tmp/c.png", "--", "-d.png"});
    EXPECT_TRUE(edit.error.isEmpty()) << edit.error.toStdString();
    EXPECT_EQ(edit.command.files, (QStringList{"/home/u/pics/a.png", "/home/u/b.png", "/tmp/c.png",
                                               "/home/u/pics/-d.png"}));
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"-v"}).version);

    EXPECT_TRUE(parse({"history"}).history);
    // Scripted captures: the file is found from the caller's folder, "-" is standard output.
    const auto scripted = parse({"area", "--output", "shots/a.JPG", "--clipboard"});
    EXPECT_TRUE(scripted.error.isEmpty()) << scripted.error.toStdString();
    EXPECT_EQ(scripted.command.output, "/home/u/pics/shots/a.JPG");
    EXPECT_TRUE(scripted.command.clipboard && scripted.command.scripted());
    EXPECT_EQ(parse({"full", "--output", "-"}).command.output, "-");
    EXPECT_FALSE(parse({"full"}).command.scripted());
    const auto last = parse({"edit", "--last"});
    EXPECT_TRUE(last.error.isEmpty()) << last.error.toStdString();
    EXPECT_TRUE(last.command.last);
    EXPECT_TRUE(last.command.files.isEmpty());
}

TEST(CommandLine, RecordTakesAVideoFileAndADuration)
{
    const auto parse = [](QStringList args) { return CommandLine::parse(args, "/home/u"); };
    const auto interactive = parse({"record"});
    EXPECT_EQ(interactive.command.kind, Kind::Record);
    EXPECT_FALSE(interactive.command.scripted());
    const auto scripted =
        parse({"record", "--output", "clip.MP4", "--duration", "5", "--delay", "1"});
    ASSERT_TRUE(scripted.error.isEmpty()) << scripted.error.toStdString();
    EXPECT_EQ(scripted.command.output, "/home/u/clip.MP4");
    EXPECT_DOUBLE_EQ(scripted.command.durationSeconds, 5);
    EXPECT_TRUE(scripted.command.scripted());
    EXPECT_TRUE(parse({"record", "--output", "a.webm"}).error.isEmpty());
    EXPECT_TRUE(parse({"record", "--output", "a.gif"}).error.isEmpty());
    for (const QStringList &args : QList<QStringList>{{"record", "--output", "a.png"},
                                                      {"record", "--output", "-"},
                                                      {"record", "--output", "a.mkv"},
                                                      {"record", "--clipboard"},
                                                      {"record", "--duration", "0"},
                                                      {"record", "--duration", "long"},
                                                      {"area", "--duration", "3"}})
        EXPECT_FALSE(parse(args).error.isEmpty()) << args.join(' ').toStdString();
    EXPECT_TRUE(parse({"record", "--output", "a.png"}).error.contains(".webm"));

    QString why;
    const auto back = Command::fromJson(scripted.command.toJson(), &why);
    ASSERT_TRUE(back) << why.toStdString();
    EXPECT_EQ(back->kind, Kind::Record);
    EXPECT_EQ(back->output, scripted.command.output);
    EXPECT_DOUBLE_EQ(back->durationSeconds, 5);
    QJsonObject wrong = scripted.command.toJson();
    wrong.insert("output", "/tmp/a.png");
    EXPECT_FALSE(Command::fromJson(wrong, &why));
    QJsonObject durationElsewhere = scripted.command.toJson();
    durationElsewhere.insert("command", "area");
    durationElsewhere.insert("output", "/tmp/a.png");
    EXPECT_FALSE(Command::fromJson(durationElsewhere, &why));
}

TEST(CommandLine, HelpNamesWhereSettingsLive)
{
    const QString help = CommandLine::usage();
    for (const char *name : {"VISTREL_UPLOAD_URL", "VISTREL_UPLOAD_TOKEN", "~/.vistrel/share-url",
                             "~/.vistrel/share-token", "keyring", "~/.config/vistrel/vistrel.conf"})
        EXPECT_TRUE(help.contains(QLatin1String(name))) << name;
    // Printed in whatever locale the terminal has.
    for (const QChar c : help)
        ASSERT_LT(c.unicode(), 0x80) << help.toStdString();
}

TEST(CommandLine, MistakesAreUsageErrors)
{
    for (const QStringList &args : QList<QStringList>{{"shoot"},
                                                      {"--frobnicate"},
                                                      {"area", "extra.png"},
                                                      {"edit"},
                                                      {"full", "--delay"},
                                                      {"full", "--delay", "-1"},
                                                      {"full", "--delay", "soon"},
                                                      {"full", "--delay", "nan"},
                                                      {"full", "--delay", "99999"},
                                                      {"--delay", "area"},
                                                      {"--help=yes"},
                                                      {"-hv"},
                                                      {"history", "x.png"},
                                                      {"full", "--last"},
                                                      {"edit", "--last", "a.png"},
                                                      {"full", "--output"},
                                                      {"full", "--output", "shot.gif"},
                                                      {"full", "--output", "shot"},
                                                      {"ocr", "--clipboard"},
                                                      {"scroll", "--output", "a.png"},
                                                      {"history", "--clipboard"}}) {
        EXPECT_FALSE(CommandLine::parse(args, QStringLiteral("/")).error.isEmpty())
            << args.join(' ').toStdString();
    }
    // The message names what was wrong.
    EXPECT_TRUE(CommandLine::parse({"area", "--frobnicate"}, "/").error.contains("frobnicate"));
    EXPECT_TRUE(CommandLine::parse({"full", "--delay"}, "/").error.contains("--delay"));
    EXPECT_TRUE(CommandLine::parse({"full", "--output", "a.gif"}, "/").error.contains(".png"));
}

TEST(CommandLine, RequestsFromOtherProcessesAreChecked)
{
    Command edit;
    edit.kind = Kind::Edit;
    edit.delaySeconds = 1.5;
    edit.files = {"/tmp/a.png"};
    QString why;
    const auto back = Command::fromJson(edit.toJson(), &why);
    ASSERT_TRUE(back) << why.toStdString();
    EXPECT_EQ(back->kind, Kind::Edit);
    EXPECT_DOUBLE_EQ(back->delaySeconds, 1.5);
    EXPECT_EQ(back->files, edit.files);
    Command last;
    last.kind = Kind::Edit;
    last.last = true;
    EXPECT_TRUE(Command::fromJson(last.toJson(), &why)->last);
    Command scripted;
    scripted.kind = Kind::Window;
    scripted.output = QStringLiteral("/tmp/w.pdf");
    scripted.clipboard = true;
    const auto scriptedBack = Command::fromJson(scripted.toJson(), &why);
    ASSERT_TRUE(scriptedBack) << why.toStdString();
    EXPECT_EQ(scriptedBack->output, scripted.output);
    EXPECT_TRUE(scriptedBack->clipboard);

    for (const char *bad :
         {R"({})", R"({"command":"rm"})", R"({"command":"area","delay":-3})",
          R"({"command":"area","delay":"2"})", R"({"command":"edit"})",
          R"({"command":"edit","files":["relative.png"]})", R"({"command":"edit","files":"a.png"})",
          R"({"command":"full","files":["/a.png"]})", R"({"command":"full","last":true})",
          R"({"command":"edit","last":"yes"})",
          R"({"command":"edit","last":true,"files":["/a.png"]})",
          R"({"command":"full","output":"rel.png"})", R"({"command":"full","output":"/a.exe"})",
          R"({"command":"ocr","output":"/a.png"})", R"({"command":"color","clipboard":true})",
          R"({"command":"full","clipboard":"yes"})"}) {
        why.clear();
        EXPECT_FALSE(Command::fromJson(QJsonDocument::fromJson(bad).object(), &why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
}

TEST(Instance, PathsArePerDisplayAndPrivate)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto a = InstancePaths::forDisplay(QStringLiteral(":0"));
    EXPECT_EQ(a.socket, runtime.path() + "/vistrel-_0.socket");
    EXPECT_EQ(InstancePaths::forDisplay(QStringLiteral(":0.0")).socket, a.socket);
    EXPECT_NE(InstancePaths::forDisplay(QStringLiteral(":1")).socket, a.socket);
    EXPECT_FALSE(InstancePaths::forDisplay(QStringLiteral("../../x:0")).socket.contains("/../"));

    // A runtime folder others can enter is not trusted with the socket.
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ExeOther | QFile::WriteOther);
    EXPECT_FALSE(InstancePaths::forDisplay(QStringLiteral(":0")).socket.startsWith(runtime.path()));
    qunsetenv("XDG_RUNTIME_DIR");
}

TEST(Instance, OneLockHolderAtATime)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vistrel.lock");
    auto first = std::make_unique<InstanceLock>(path);
    InstanceLock second(path);
    EXPECT_TRUE(first->tryLock());
    EXPECT_FALSE(second.tryLock());
    first.reset(); // the holder ends
    EXPECT_TRUE(second.tryLock());
}

struct Served
{
    QTemporaryDir dir;
    QString socket = dir.filePath("vistrel.socket");
    InstanceServer server;
    QList<Command> received;
    QString refuse;
    QMetaObject::Connection answering;

    Served()
    {
        answering = QObject::connect(
            &server, &InstanceServer::commandReceived,
            [this](const Command &c, const InstanceServer::Reply &reply, QObject *) {
                received.append(c);
                reply(refuse);
            });
    }

    // The client blocks, so it runs on a thread while the event loop serves it.
    InstanceClient::Outcome send(const Command &command, QString *reply = nullptr)
    {
        auto future = std::async(
            std::launch::async, [&] { return InstanceClient::send(socket, command, reply, 3000); });
        QElapsedTimer t;
        t.start();
        while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
               t.elapsed() < 5000)
            drain(1);
        return future.get();
    }
};

TEST(Instance, CommandsReachTheServerAndRefusalsComeBack)
{
    Served s;
    ASSERT_TRUE(s.server.listen(s.socket, nullptr));
    Command full;
    full.kind = Kind::Full;
    full.delaySeconds = 2;
    EXPECT_EQ(s.send(full), InstanceClient::Outcome::Done);
    ASSERT_EQ(s.received.size(), 1);
    EXPECT_EQ(s.received[0].kind, Kind::Full);
    EXPECT_DOUBLE_EQ(s.received[0].delaySeconds, 2);

    s.refuse = QStringLiteral("cannot open /x.png: no such file");
    QString reply;
    EXPECT_EQ(s.send(full, &reply), InstanceClient::Outcome::Refused);
    EXPECT_EQ(reply, s.refuse);
}

TEST(Instance, APictureComesBackWholeAfterAnyWait)
{
    Served s;
    ASSERT_TRUE(s.server.listen(s.socket, nullptr));
    // Bigger than any socket buffer, with bytes that look like the protocol's own.
    QByteArray png(3 << 20, 'x');
    for (qsizetype i = 0; i < png.size(); i += 4099)
        png[i] = (i / 4099) % 2 ? '\n' : '\0';
    InstanceServer::Reply pending;
    QObject::disconnect(s.answering);
    QObject::connect(
        &s.server, &InstanceServer::commandReceived,
        [&](const Command &, const InstanceServer::Reply &reply, QObject *) { pending = reply; });
    Command full;
    full.kind = Kind::Full;
    full.output = QStringLiteral("-");
    QByteArray received;
    auto future = std::async(std::launch::async, [&] {
        return InstanceClient::send(s.socket, full, nullptr, -1, &received);
    });
    // The answer waits on the user; the connection outlives the server's patience with
    // clients that say nothing (5 s).
    EXPECT_FALSE(QTest::qWaitFor(
        [&] { return future.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        5600));
    ASSERT_TRUE(pending);
    CommandAnswer answer;
    answer.picture = png;
    pending(answer);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return future.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        5000));
    EXPECT_EQ(future.get(), InstanceClient::Outcome::Done);
    EXPECT_TRUE(received == png) << received.size();
}

TEST(Instance, StaleSocketDoesNotBlockAndGarbageIsRefused)
{
    Served s;
    // A socket file whose listener died, as a killed instance leaves it.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, QFile::encodeName(s.socket).constData());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ::listen(fd, 1);
        ::close(fd);
    }
    ASSERT_TRUE(QFileInfo::exists(s.socket));
    EXPECT_EQ(InstanceClient::send(s.socket, Command{}, nullptr, 500),
              InstanceClient::Outcome::NotRunning);
    ASSERT_TRUE(s.server.listen(s.socket, nullptr));
    EXPECT_EQ(s.send(Command{}), InstanceClient::Outcome::Done);

    // Raw bytes from a misbehaving client: an answer, no command, and the server goes on.
    auto raw = [&](QByteArray bytes) {
        auto future = std::async(std::launch::async, [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strcpy(addr.sun_path, QFile::encodeName(s.socket).constData());
            QByteArray answer;
            if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
                (void)!::write(fd, bytes.constData(), size_t(bytes.size()));
                char buf[256];
                ssize_t n;
                while ((n = ::read(fd, buf, sizeof buf)) > 0)
                    answer.append(buf, n);
            }
            ::close(fd);
            return answer;
        });
        QElapsedTimer t;
        t.start();
        while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
               t.elapsed() < 8000)
            drain(1);
        return future.get();
    };
    EXPECT_TRUE(raw("not json\n").startsWith("error "));
    EXPECT_TRUE(raw(R"({"command":"edit","files":["../etc/passwd"]})"
                    "\n")
                    .startsWith("error "));
    EXPECT_TRUE(raw(QByteArray(InstanceServer::maxRequestBytes + 10, 'x')).startsWith("error "));
    EXPECT_EQ(s.received.size(), 1);
    EXPECT_EQ(s.send(Command{}), InstanceClient::Outcome::Done);
}

// Connects without waiting for the server to accept; -1 while its backlog is full.
int connectRaw(const QString &socket)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, QFile::encodeName(socket).constData());
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

int openFiles()
{
    int n = -1; // the listing's own
    if (DIR *d = ::opendir("/proc/self/fd")) {
        while (dirent *e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

TEST(Instance, AFloodOfConnectionsNeitherClosesNorStopsTheServer)
{
    Served s;
    ASSERT_TRUE(s.server.listen(s.socket, nullptr));

    // More silent clients than the server serves at once: the oldest are let go, and a later
    // client is answered.
    std::vector<int> silent;
    while (int(silent.size()) < InstanceServer::maxClients + 20) {
        const int fd = connectRaw(s.socket);
        if (fd >= 0)
            silent.push_back(fd);
        drain(1);
    }
    drain();
    int dropped = 0;
    for (int fd : silent) {
        char c;
        dropped += ::recv(fd, &c, 1, MSG_DONTWAIT) == 0 ? 1 : 0;
    }
    EXPECT_GE(dropped, 20);
    EXPECT_EQ(s.send(Command{}), InstanceClient::Outcome::Done);
    for (int fd : silent)
        ::close(fd);
    drain();

    // No file handle left for the server to accept with: it stops listening, and listens again
    // once it can.
    std::vector<int> waiting;
    for (int i = 0; i < 5; ++i)
        waiting.push_back(connectRaw(s.socket));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit none = old;
    none.rlim_cur = rlim_t(openFiles());
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    drain(20);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
    for (int fd : waiting)
        if (fd >= 0)
            ::close(fd);
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.send(Command{}) == InstanceClient::Outcome::Done; },
                                4 * InstanceServer::watchMs + 2000));
}

TEST(Instance, TheSocketFolderCannotBeTakenFirstByAnotherUser)
{
    QTemporaryDir home;
    const QByteArray oldTmp = qgetenv("TMPDIR"), oldCache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", home.filePath("tmp").toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    ASSERT_TRUE(QDir().mkpath(home.filePath("tmp")));
    // Someone else's link where our folder in the temporary directory would be.
    ASSERT_TRUE(QDir().mkpath(home.filePath("elsewhere")));
    const QString taken = home.filePath("tmp/vistrel-%1").arg(::getuid());
    ASSERT_TRUE(QFile::link(home.filePath("elsewhere"), taken));
    QString error;
    const InstancePaths paths = InstancePaths::forDisplay(":0", &error);
    EXPECT_TRUE(paths.socket.startsWith(home.filePath("cache/vistrel-run/")))
        << paths.socket.toStdString() << error.toStdString();
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(home.filePath("cache/vistrel-run")).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // The same for every process of the user, so they meet.
    EXPECT_EQ(InstancePaths::forDisplay(":0").socket, paths.socket);

    // A folder of our own that others could enter is closed.
    QFile::remove(taken);
    ASSERT_TRUE(QDir().mkdir(taken));
    QFile::setPermissions(taken, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ExeOther | QFile::ReadOther);
    EXPECT_TRUE(InstancePaths::forDisplay(":0").socket.startsWith(taken + "/"));
    ASSERT_EQ(::lstat(QFile::encodeName(taken).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    qputenv("TMPDIR", oldTmp);
    if (oldCache.isEmpty())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", oldCache);
}

// What runCommand answered, once it has.
std::optional<QString> answerOf(AppShell &shell, const Command &command)
{
    std::optional<QString> answer;
    shell.runCommand(command, [&answer](const CommandAnswer &a) { answer = a.refused; });
    (void)QTest::qWaitFor([&] { return answer.has_value(); }, 5000);
    return answer;
}

// A shell on a one-screen fake desktop, and a small picture file (a.png) to open.
struct ShellProbe
{
    FakeDesktop desktop;
    std::unique_ptr<AppShell> shell;
    QTemporaryDir dir;
    ShellProbe()
    {
        desktop.addDisplay(1, QRectF(0, 0, 320, 200), 1.0);
        shell = std::make_unique<AppShell>(desktop.platform());
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::red);
        picture.save(dir.filePath("a.png"));
    }
};

TEST(Instance, AScriptsDelayEndsWhenItHangsUp)
{
    ShellProbe probe;
    struct Overlay : SelectionOverlay
    {
        void present() override {}
    };
    int overlays = 0;
    probe.shell->coordinator().setOverlayFactory([&overlays](const OverlayRequest &, auto) {
        ++overlays;
        return new Overlay;
    });
    Command area;
    area.kind = Kind::Area;
    area.output = probe.dir.filePath("x.png");
    area.delaySeconds = 0.3;
    auto *caller = new QObject;
    bool answered = false;
    probe.shell->runCommand(
        area, [&answered](const CommandAnswer &) { answered = true; }, caller);
    drain();
    delete caller;
    QTest::qWait(600);
    EXPECT_EQ(overlays, 0);
    EXPECT_FALSE(probe.shell->coordinator().flow().busy());
}

TEST(Instance, ShellRunsCommandsAfterTheirDelay)
{
    ShellProbe probe;
    FakeDesktop &desktop = probe.desktop;
    AppShell &shell = *probe.shell;
    QTemporaryDir &dir = probe.dir;

    Command edit;
    edit.kind = Kind::Edit;
    edit.files = {dir.filePath("a.png"), dir.filePath("a.png")};
    EXPECT_EQ(answerOf(shell, edit), QString());
    drain();
    EXPECT_EQ(shell.coordinator().sessions().editors().size(), 2);

    Command full;
    full.kind = Kind::Full;
    full.delaySeconds = 0.3;
    EXPECT_EQ(answerOf(shell, full), QString());
    drain();
    EXPECT_EQ(desktop.contentFetches, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.contentFetches == 1; }, 5000));
    drain();
    EXPECT_EQ(shell.coordinator().sessions().editors().size(), 3);
}

TEST(Instance, EditRefusesWhatIsNotAReadablePictureAndSaysWhy)
{
    ShellProbe probe;
    AppShell &shell = *probe.shell;
    QTemporaryDir &dir = probe.dir;
    auto writeFile = [&](const char *name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    writeFile("junk.png", "not a picture");
    // A PNG that claims 20000 × 20000 pixels and has none.
    const QByteArray huge = vistrel::test::pngHeader(20000, 20000);
    writeFile("huge.png", huge);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo.png")).constData(), 0600), 0);
    ASSERT_EQ(::symlink("loop.png", QFile::encodeName(dir.filePath("loop.png")).constData()), 0);
    QDir(dir.path()).mkdir("folder.png");

    const QList<std::pair<const char *, const char *>> cases = {
        {"junk.png", "not a picture"},      {"huge.png", "20000 × 20000"},
        {"fifo.png", "not a regular file"}, // a FIFO without a writer must not hang the app
        {"loop.png", "symbolic links"},     {"folder.png", "folder"},
        {"missing.png", "No such file"},
    };
    Command edit;
    edit.kind = Kind::Edit;
    for (const auto &[name, cause] : cases) {
        edit.files = {dir.filePath("a.png"), dir.filePath(name)};
        const std::optional<QString> answer = answerOf(shell, edit);
        ASSERT_TRUE(answer.has_value()) << name;
        EXPECT_TRUE(answer->contains(dir.filePath(name))) << answer->toStdString();
        EXPECT_TRUE(answer->contains(QString::fromUtf8(cause))) << answer->toStdString();
    }
    drain();
    EXPECT_TRUE(shell.coordinator().sessions().editors().isEmpty()); // nothing opens unless every
                                                                     // picture can
}

} // namespace
