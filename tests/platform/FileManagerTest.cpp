#include "platform/FileManager.h"
#include "PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

// The desktop's file manager, as it answers on the bus.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList &uris, const QString &) { shown += uris; }
};

// Where the desktop's default handler would have been asked to open a folder.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

TEST(FileManager, ShowsTheFileSelectedWhereAFileManagerAnswersElseOpensItsFolder)
{
    vistrel::test::PrivateBus bus;
    ASSERT_TRUE(bus.up());
    QTemporaryDir dir;
    const QString file = dir.filePath("Vistrel Recording.webm");
    OpenedUrls opened;
    QDesktopServices::setUrlHandler("file", &opened, "open");
    QDBusConnection client = bus.connect("client");

    showInFileManager(file, client);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.urls.isEmpty(); }, 5000));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(dir.path())});

    FakeFileManager manager;
    QDBusConnection service = bus.connect("service");
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &manager,
                                       QDBusConnection::ExportScriptableSlots));
    showInFileManager(file, client);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }, 5000));
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    QTest::qWait(100);
    EXPECT_EQ(opened.urls.size(), 1) << "the folder is opened only when no file manager answers";
    QDesktopServices::unsetUrlHandler("file");
}

#include "FileManagerTest.moc"
