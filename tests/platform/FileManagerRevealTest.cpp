#include "PrivateSessionBus.h"
#include "TestSupport.h"

#include "platform/FileManagerReveal.h"

#include <QDBusAbstractAdaptor>
#include <QDBusPendingCallWatcher>

using namespace varno;

namespace {

// A file manager on the test's bus that notes what it was asked to show.
class FakeFileManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

class FileManagerRevealTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        if (!bus.isRunning())
            GTEST_SKIP() << "dbus-daemon is not installed";
    }

    // Whether the answer to every reveal asked for has been handled: the
    // call's watcher goes once it has, after running the fallback if the
    // answer was an error.
    static bool answersHandled()
    {
        return test::waitUntil([] { return qApp->findChildren<QDBusPendingCallWatcher*>().isEmpty(); });
    }

    test::PrivateSessionBus bus;
    QStringList openedFolders;
    std::function<void(const QString&)> fallback = [this](const QString& folder) { openedFolders.append(folder); };
};

} // namespace

TEST_F(FileManagerRevealTest, TheFileManagerShowsTheFileSelected)
{
    FakeFileManager manager;
    QDBusConnection service = bus.connect();
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    revealInFileManager(bus.connect(), QStringLiteral("/music/My Album/01 #1.flac"), fallback);
    ASSERT_TRUE(answersHandled());
    EXPECT_EQ(manager.shown, QStringList {QStringLiteral("file:///music/My%20Album/01%20%231.flac")});
    EXPECT_TRUE(openedFolders.isEmpty());
}

TEST_F(FileManagerRevealTest, WithoutAFileManagerTheFolderOpens)
{
    // The same wait as above sees the folder opened.
    revealInFileManager(bus.connect(), QStringLiteral("/music/album/song.mp3"), fallback);
    ASSERT_TRUE(answersHandled());
    EXPECT_EQ(openedFolders, QStringList {QStringLiteral("/music/album")});

    // No bus at all: the same, at once.
    openedFolders.clear();
    revealInFileManager(QDBusConnection(QStringLiteral("not connected")), QStringLiteral("/music/album/song.mp3"), fallback);
    EXPECT_EQ(openedFolders, QStringList {QStringLiteral("/music/album")});
}

#include "FileManagerRevealTest.moc"
