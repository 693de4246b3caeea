#include "PrivateSessionBus.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "platform/FileManagerReveal.h"

#include <QDBusAbstractAdaptor>

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
    ASSERT_TRUE(test::waitUntil([&] { return !manager.shown.isEmpty(); }));
    EXPECT_EQ(manager.shown, QStringList {QStringLiteral("file:///music/My%20Album/01%20%231.flac")});
    QTest::qWait(50);
    EXPECT_TRUE(openedFolders.isEmpty());
}

TEST_F(FileManagerRevealTest, WithoutAFileManagerTheFolderOpens)
{
    revealInFileManager(bus.connect(), QStringLiteral("/music/album/song.mp3"), fallback);
    ASSERT_TRUE(test::waitUntil([&] { return !openedFolders.isEmpty(); }));
    EXPECT_EQ(openedFolders, QStringList {QStringLiteral("/music/album")});

    // No bus at all: the same, at once.
    openedFolders.clear();
    revealInFileManager(QDBusConnection(QStringLiteral("not connected")), QStringLiteral("/music/album/song.mp3"), fallback);
    EXPECT_EQ(openedFolders, QStringList {QStringLiteral("/music/album")});
}

#include "FileManagerRevealTest.moc"
