#include "OtherUser.h"
#include "TestSupport.h"

#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <cstring>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace varno;

namespace {

// One app per library with no session bus, so the socket is the only way in.
class SingleInstanceTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        m_runtime = qgetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", m_runtime);
        DataFolderTest::TearDown();
    }

    std::unique_ptr<SingleInstance> makeInstance() { return std::make_unique<SingleInstance>(QDBusConnection(QString()), appFolder()); }

    // A later start in a thread of its own, as its blocking hand-over would
    // otherwise wait for the event loop of the instance it talks to.
    std::future<SingleInstance::Outcome> startLater(const QStringList& uris)
    {
        return std::async(std::launch::async, [key = appFolder(), uris] { return SingleInstance(QDBusConnection(QString()), key).claim(uris); });
    }
    SingleInstance::Outcome outcomeOf(std::future<SingleInstance::Outcome>& later)
    {
        EXPECT_TRUE(test::waitUntil([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return later.get();
    }

    static struct stat statusOf(const QString& path)
    {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
        return info;
    }
    static sockaddr_un addressOf(const QString& path)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), std::min<std::size_t>(native.size(), sizeof address.sun_path - 1));
        return address;
    }

    void expectSocketInPrivateFolderOfTheLibrary(const SingleInstance& instance)
    {
        const QString folder = QFileInfo(instance.socketPath()).absolutePath();
        EXPECT_TRUE(folder.startsWith(appFolder() + QLatin1Char('/'))) << instance.socketPath().toStdString();
        EXPECT_FALSE(instance.socketPath().startsWith(QDir::tempPath() + QStringLiteral("/runtime-")));
        EXPECT_EQ(statusOf(folder).st_mode & 07777, 0700u);
        EXPECT_EQ(statusOf(folder).st_uid, ::geteuid());
        EXPECT_TRUE(S_ISSOCK(statusOf(instance.socketPath()).st_mode));
    }

private:
    QByteArray m_runtime;
};

} // namespace

TEST_F(SingleInstanceTest, WithoutARuntimeFolderTheSocketIsInAPrivateFolderOfTheLibraryNotInTheTemporaryFolder)
{
    qunsetenv("XDG_RUNTIME_DIR");
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    expectSocketInPrivateFolderOfTheLibrary(*instance);
}

TEST_F(SingleInstanceTest, ARuntimeFolderOthersMayEnterIsPassedOver)
{
    const QString open = scratch(QStringLiteral("open-runtime"));
    QDir().mkpath(open);
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open));
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    expectSocketInPrivateFolderOfTheLibrary(*instance);
    EXPECT_EQ(QDir(open).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(SingleInstanceTest, ARuntimeFolderOfAnotherUserIsPassedOver)
{
    if (!test::canActAsAnotherUser())
        GTEST_SKIP() << "only root can give a folder to another user";
    const QString theirs = scratch(QStringLiteral("their-runtime"));
    QDir().mkpath(theirs);
    ASSERT_EQ(::chmod(QFile::encodeName(theirs).constData(), 0700), 0);
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), test::kOtherUser, test::kOtherUser), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(theirs));
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    expectSocketInPrivateFolderOfTheLibrary(*instance);
}

TEST_F(SingleInstanceTest, APrivateRuntimeFolderOfOursHoldsTheSocket)
{
    const QString runtime = scratch(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    EXPECT_EQ(QFileInfo(instance->socketPath()).absolutePath(), runtime);
}

TEST_F(SingleInstanceTest, ALaterStartOfTheSameUserHandsItsFilesOver)
{
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    QSignalSpy activations(instance.get(), &SingleInstance::activated);
    auto later = startLater({QStringLiteral("file:///music/a.flac")});
    EXPECT_EQ(outcomeOf(later), SingleInstance::Outcome::HandedOver);
    ASSERT_EQ(activations.size(), 1);
    EXPECT_EQ(activations.front().front().toStringList(), QStringList {QStringLiteral("file:///music/a.flac")});
}

TEST_F(SingleInstanceTest, AClientOfAnotherUserIsNotHeard)
{
    if (!test::canActAsAnotherUser())
        GTEST_SKIP() << "only root can run a process as another user";
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    QSignalSpy activations(instance.get(), &SingleInstance::activated);
    const sockaddr_un address = addressOf(instance->socketPath());
    // 0: the instance hung up without taking the files; 2: it said "ok".
    test::ChildProcess client([&] {
        if (!test::actAsAnotherUserKeepingFileAccess())
            return 1;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return 1;
        static constexpr char kMessage[] = "file:///home/victim/secret.flac\n\n";
        if (::write(fd, kMessage, sizeof kMessage - 1) != static_cast<ssize_t>(sizeof kMessage - 1))
            return 1;
        pollfd reply {fd, POLLIN, 0};
        if (::poll(&reply, 1, 20000) != 1)
            return 3;
        char answer[3] = {};
        const ssize_t got = ::read(fd, answer, sizeof answer);
        return got > 0 && answer[0] == 'o' ? 2 : 0;
    });
    ASSERT_TRUE(client.started());
    EXPECT_EQ(client.exitCode(), 0);
    EXPECT_TRUE(activations.isEmpty());
}

TEST_F(SingleInstanceTest, AServerOfAnotherUserInTheSocketsPlaceIsNotHandedTheFiles)
{
    if (!test::canActAsAnotherUser())
        GTEST_SKIP() << "only root can run a process as another user";
    const auto instance = makeInstance();
    ASSERT_EQ(instance->claim({}), SingleInstance::Outcome::Primary);
    const QByteArray socketPath = QFile::encodeName(instance->socketPath());
    const sockaddr_un address = addressOf(instance->socketPath());
    int ready[2];
    int done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    // Listens where the running instance's socket was, as another user,
    // until told to stop; 0: it was sent nothing, 2: it was sent something.
    test::ChildProcess impostor([&] {
        ::close(done[1]);
        if (!test::actAsAnotherUserKeepingFileAccess())
            return 1;
        ::unlink(socketPath.constData());
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (server < 0 || ::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(server, 16) != 0)
            return 1;
        if (::write(ready[1], "x", 1) != 1)
            return 1;
        bool sentSomething = false;
        for (;;) {
            pollfd waiting[2] = {{server, POLLIN, 0}, {done[0], POLLIN, 0}};
            if (::poll(waiting, 2, 30000) <= 0 || waiting[1].revents)
                return sentSomething ? 2 : 0;
            const int client = ::accept(server, nullptr, nullptr);
            if (client < 0)
                continue;
            pollfd message {client, POLLIN, 0};
            char byte = 0;
            if (::poll(&message, 1, 1000) == 1 && ::read(client, &byte, 1) == 1)
                sentSomething = true;
            ::close(client);
        }
    });
    ASSERT_TRUE(impostor.started());
    ::close(ready[1]);
    ::close(done[0]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the other user's server did not start";
    ::close(ready[0]);

    auto later = startLater({QStringLiteral("file:///home/victim/secret.flac")});
    EXPECT_EQ(outcomeOf(later), SingleInstance::Outcome::Unanswered);
    ::close(done[1]);
    EXPECT_EQ(impostor.exitCode(), 0);
}
