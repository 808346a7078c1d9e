#include "platform/SecretServiceKeyring.h"

#include "PrivateBus.h"

#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::PrivateBus;

namespace {

// The keyring of a private session bus (set as the process's session bus, which libsecret and
// Qt then use): each case runs in a process of its own.
class RealKeyring : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_bus.up())
            GTEST_SKIP() << "dbus-daemon is not installed";
        m_savedBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
    }
    void TearDown() override
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished(5000);
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_savedBus);
    }

    // gnome-keyring-daemon with a new login keyring, unlocked, in a private home.
    bool startGnomeKeyring()
    {
        const QString program =
            QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
        if (program.isEmpty())
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        m_daemon.setProcessEnvironment(env);
        m_daemon.start(program, {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                 QStringLiteral("--components=secrets")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        m_daemon.write("test-password");
        m_daemon.closeWriteChannel();
        return true;
    }

    PrivateBus m_bus;
    QByteArray m_savedBus;
    QTemporaryDir m_home;
    QProcess m_daemon;
};

// A Secret Service that takes every call and answers none, as a hung keyring would.
class SilentService : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &, const QDBusConnection &) override { return true; }
};

} // namespace

TEST_F(RealKeyring, StoresLooksUpAndClearsTheSecret)
{
    SecretServiceKeyring keyring(20000);
    EXPECT_FALSE(keyring.running()); // nothing is started for the asking
    if (!startGnomeKeyring())
        GTEST_SKIP() << "gnome-keyring-daemon is not installed";
    ASSERT_TRUE(QTest::qWaitFor([&] { return keyring.running(); }, 10000));

    auto found = keyring.lookup(QStringLiteral("upload"));
    ASSERT_TRUE(found) << found.error().errorDescription().toStdString();
    EXPECT_FALSE(*found);
    EXPECT_EQ(keyring.store(QStringLiteral("upload"), QStringLiteral("Vistrel upload token"),
                            QStringLiteral("s3cret ünï")),
              QString());
    EXPECT_EQ(keyring.store(QStringLiteral("other"), QStringLiteral("Other"), QStringLiteral("x")),
              QString());
    found = keyring.lookup(QStringLiteral("upload"));
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, QStringLiteral("s3cret ünï"));

    // A second store replaces the secret rather than adding one.
    EXPECT_EQ(keyring.store(QStringLiteral("upload"), QStringLiteral("Vistrel upload token"),
                            QStringLiteral("newer")),
              QString());
    EXPECT_EQ(*keyring.lookup(QStringLiteral("upload")), QStringLiteral("newer"));

    EXPECT_EQ(keyring.clear(QStringLiteral("upload")), QString());
    EXPECT_FALSE(*keyring.lookup(QStringLiteral("upload")));
    EXPECT_EQ(*keyring.lookup(QStringLiteral("other")), QStringLiteral("x"));
}

TEST_F(RealKeyring, AKeyringThatNeverAnswersIsGivenUpOnInTime)
{
    QDBusConnection service = m_bus.connect(QStringLiteral("silent"));
    SilentService silent;
    ASSERT_TRUE(
        service.registerVirtualObject(QStringLiteral("/"), &silent, QDBusConnection::SubPath));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.secrets")));

    SecretServiceKeyring keyring(800);
    ASSERT_TRUE(keyring.running());
    QElapsedTimer clock;
    clock.start();
    const auto found = keyring.lookup(QStringLiteral("upload"));
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error().errorDescription(),
              QStringLiteral("the keyring did not answer in time"));
    clock.restart();
    EXPECT_EQ(keyring.store(QStringLiteral("upload"), QStringLiteral("l"), QStringLiteral("s")),
              QStringLiteral("the keyring did not answer in time"));
    EXPECT_LT(clock.elapsed(), 5000);
    service.unregisterService(QStringLiteral("org.freedesktop.secrets"));
}
