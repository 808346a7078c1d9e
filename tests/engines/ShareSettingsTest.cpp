#include "engines/ShareSettings.h"
#include "FakeKeyring.h"
#include "engines/ShareResponse.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vistrel;
using Source = ShareSettings::Source;

namespace {

// A private home, a settings file in it, and no upload settings in the environment.
class ShareSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_savedUrl = qgetenv("VISTREL_UPLOAD_URL");
        qunsetenv("VISTREL_UPLOAD_URL");
        qunsetenv("VISTREL_UPLOAD_TOKEN");
    }
    void TearDown() override
    {
        qputenv("VISTREL_UPLOAD_URL", m_savedUrl);
        qunsetenv("VISTREL_UPLOAD_TOKEN");
    }
    ShareSettings settings(Keyring *keyring) const
    {
        return ShareSettings(conf(), keyring, m_home.path());
    }
    QString conf() const { return m_home.filePath("config/vistrel.conf"); }
    void write(const QString &name, const QByteArray &content)
    {
        QDir(m_home.path()).mkpath(".vistrel");
        QFile file(m_home.filePath(".vistrel/" + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static int mode(const QString &path)
    {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    }
    QByteArray confText() const
    {
        QFile file(conf());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_home;
    QByteArray m_savedUrl;
    FakeKeyring m_keyring;
};

} // namespace

TEST_F(ShareSetup, TheEnvironmentThenTheSettingsThenTheFilesWin)
{
    const ShareSettings share = settings(&m_keyring);
    EXPECT_EQ(share.address().source, Source::None);
    EXPECT_FALSE(share.token().text);

    write("share-url", "  https://file.test/api/upload\n");
    write("share-token", " from-file \n");
    EXPECT_EQ(share.address().text, "https://file.test/api/upload");
    EXPECT_EQ(share.address().source, Source::File);
    EXPECT_EQ(share.token().text, "from-file");
    EXPECT_EQ(share.token().source, Source::File);
    // The keyring is not asked for a token it was never given (it might prompt to unlock).
    EXPECT_EQ(m_keyring.calls, 0);

    ASSERT_TRUE(share.setAddress(" https://settings.test/api/upload "));
    EXPECT_EQ(share.address().text, "https://settings.test/api/upload");
    EXPECT_EQ(share.address().source, Source::Settings);
    ASSERT_EQ(share.storeToken("from-keyring").place, Source::Keyring);
    EXPECT_EQ(share.token().text, "from-keyring");
    EXPECT_EQ(share.token().source, Source::Keyring);

    qputenv("VISTREL_UPLOAD_URL", " https://env.test/api/upload ");
    qputenv("VISTREL_UPLOAD_TOKEN", "  ");
    EXPECT_EQ(share.address().text, "https://env.test/api/upload");
    EXPECT_EQ(share.address().source, Source::Environment);
    EXPECT_EQ(share.address(false).source, Source::Settings); // what Preferences shows
    EXPECT_EQ(share.token().text, "  "); // the environment's token is used as given
    EXPECT_EQ(ShareSettings::addressOverride(), "VISTREL_UPLOAD_URL is set and overrides this");
    EXPECT_EQ(ShareSettings::tokenOverride(), "VISTREL_UPLOAD_TOKEN is set and overrides this");
    qunsetenv("VISTREL_UPLOAD_URL");
    qunsetenv("VISTREL_UPLOAD_TOKEN");
    EXPECT_TRUE(ShareSettings::addressOverride().isEmpty());

    // An address emptied in Preferences means none, whatever the older file says.
    ASSERT_TRUE(share.setAddress(""));
    EXPECT_TRUE(share.address().text.isEmpty());

    // The keyring gone or failing: said, and a token in the file still serves.
    m_keyring.isRunning = false;
    EXPECT_FALSE(share.token().text);
    EXPECT_EQ(share.token().keyringError, "no keyring is running");
    m_keyring.isRunning = true;
    m_keyring.refusal = "locked";
    write("share-token", "fallback");
    EXPECT_EQ(share.token().text, "fallback");
    EXPECT_EQ(share.token().keyringError, "locked");

    // Without a settings file (or a keyring) only the environment and the files count.
    const ShareSettings bare(QString(), nullptr, m_home.path());
    EXPECT_EQ(bare.address().source, Source::File);
    EXPECT_EQ(bare.token().text, "fallback");

    // Something that is not a file where the files should be is not read (a FIFO would never
    // end).
    QFile::remove(share.urlFile());
    QFile::remove(share.tokenFile());
    ASSERT_EQ(::mkfifo(QFile::encodeName(share.urlFile()).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(share.tokenFile()).constData(), 0600), 0);
    EXPECT_EQ(bare.address().source, Source::None);
    EXPECT_FALSE(bare.token().text);
}

TEST_F(ShareSetup, TokensGoToTheKeyringElseToAPrivateFile)
{
    const ShareSettings share = settings(&m_keyring);
    write("share-token", "old-plain");
    ShareSettings::Places places = share.places();
    EXPECT_EQ(places.stored, Source::File);
    EXPECT_EQ(places.next, Source::Keyring);

    const ShareSettings::Stored inKeyring = share.storeToken("  s3cret\n");
    EXPECT_EQ(inKeyring.place, Source::Keyring);
    EXPECT_EQ(m_keyring.secrets().value("upload"), "s3cret");
    EXPECT_EQ(m_keyring.label("upload"), "Vistrel upload token");
    // The plain copy goes; the settings say where the token is, never what it is.
    EXPECT_FALSE(QFile::exists(share.tokenFile()));
    EXPECT_FALSE(confText().contains("s3cret"));
    EXPECT_EQ(share.places().stored, Source::Keyring);
    EXPECT_EQ(ShareSettings::placeText(share.places()), "Stored in the keyring");

    // No keyring running: a file only its owner can read, in a folder only its owner enters,
    // and the keyring's older token no longer wins.
    m_keyring.isRunning = false;
    ::chmod(QFile::encodeName(m_home.filePath(".vistrel")).constData(), 0755);
    const ShareSettings::Stored inFile = share.storeToken("t2");
    EXPECT_EQ(inFile.place, Source::File);
    EXPECT_TRUE(inFile.keyringError.isEmpty());
    EXPECT_EQ(mode(share.tokenFile()), 0600);
    EXPECT_EQ(mode(QFileInfo(share.tokenFile()).path()), 0700);
    m_keyring.isRunning = true;
    EXPECT_EQ(share.token().text, "t2");
    EXPECT_EQ(share.token().source, Source::File);
    EXPECT_EQ(ShareSettings::placeText(share.places()),
              "Stored in ~/.vistrel/share-token (only you can read it)");

    // A keyring that refuses: the file keeps the token, and the user is told why.
    m_keyring.refusal = "no default collection";
    const ShareSettings::Stored refused = share.storeToken("t3");
    EXPECT_EQ(refused.place, Source::File);
    EXPECT_EQ(refused.keyringError, "no default collection");
    EXPECT_EQ(share.token().text, "t3");
    m_keyring.refusal.clear();

    // Made from nothing: the folder is created private.
    QDir(m_home.filePath(".vistrel")).removeRecursively();
    m_keyring.isRunning = false;
    ASSERT_EQ(share.storeToken("t4").place, Source::File);
    EXPECT_EQ(mode(m_home.filePath(".vistrel")), 0700);
    EXPECT_EQ(mode(share.tokenFile()), 0600);

    // What cannot go in a header is refused, and nothing is lost.
    EXPECT_FALSE(share.storeToken("a\nb").error.isEmpty());
    EXPECT_FALSE(share.storeToken("   ").error.isEmpty());
    EXPECT_EQ(share.token().text, "t4");

    // Forgotten everywhere.
    m_keyring.isRunning = true;
    ASSERT_EQ(share.storeToken("t5").place, Source::Keyring);
    write("share-token", "stray");
    EXPECT_TRUE(share.forgetToken().isEmpty());
    EXPECT_TRUE(m_keyring.secrets().isEmpty());
    EXPECT_FALSE(QFile::exists(share.tokenFile()));
    EXPECT_FALSE(share.token().text);
    EXPECT_EQ(ShareSettings::placeText(share.places()), "Not set; the keyring will keep it");
}

TEST_F(ShareSetup, AddressesAreCheckedAsShareChecksThem)
{
    const QString insecure = ShareSettings::insecureText();
    EXPECT_EQ(insecure, "Sharing needs an https:// address: http:// sends the token in the clear "
                        "(only http://localhost is allowed)");
    const struct
    {
        const char *address;
        QString problem;
    } cases[] = {
        {"", ""},
        {"https://share.test/api/upload", ""},
        {"  https://share.test/v2/api/upload ", ""},
        {"http://localhost:8080/api/upload", ""},
        {"http://127.0.0.1:8080/api/upload", ""},
        {"http://[::1]/api/upload", ""},
        {"http://share.test/api/upload", insecure},
        {"http://10.0.0.2/api/upload", insecure},
        {"HTTP://share.test/api/upload", insecure},
        {"https://share.test/upload", "The address must end in /api/upload"},
        {"share.test/api/upload", "Enter the whole address, starting with https://"},
        {"ftp://share.test/api/upload", "Enter the whole address, starting with https://"},
        {"https:///api/upload", "Enter the whole address, starting with https://"},
        {"https://exa mple.test/api/upload", "Enter the whole address, starting with https://"},
    };
    for (const auto &c : cases) {
        const QString address = QString::fromUtf8(c.address);
        EXPECT_EQ(ShareSettings::problem(address), c.problem) << c.address;
        // Preferences and Share agree on what may be used.
        if (!address.trimmed().isEmpty()) {
            EXPECT_EQ(c.problem.isEmpty(), ShareResponse::isAcceptableEndpoint(
                                               QUrl(address.trimmed(), QUrl::StrictMode)))
                << c.address;
        }
    }
}
