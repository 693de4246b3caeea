#include "OtherUser.h"
#include "TestSupport.h"

#include "platform/ApplicationFolder.h"
#include "platform/FileIO.h"
#include "platform/FileLock.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varno;

namespace {

class PrivateFolderTest : public test::DataFolderTest {
protected:
    static unsigned modeOf(const QString& path)
    {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
        return info.st_mode & 07777;
    }
    static void setMode(const QString& path, mode_t mode) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0); }
    static void giveToOtherUser(const QString& path) { ASSERT_EQ(::chown(QFile::encodeName(path).constData(), test::kOtherUser, test::kOtherUser), 0); }

    // The message of a writer that waited `wait` for a lock a forked child
    // holds, the child acting as another user or not.
    QString waitForLockHeldByChild(bool asAnotherUser, std::chrono::milliseconds wait)
    {
        const QString path = scratch(QStringLiteral(".state.lock"));
        { fileio::FileLock::acquire(path, wait); }
        int locked[2];
        EXPECT_EQ(::pipe(locked), 0);
        test::ChildProcess holder([&] {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || (asAnotherUser && !test::actAsAnotherUserKeepingFileAccess()) || ::flock(fd, LOCK_SH) != 0)
                return 1;
            if (::write(locked[1], "x", 1) != 1)
                return 1;
            for (;;)
                ::pause();
        });
        ::close(locked[1]);
        char byte = 0;
        const bool holding = ::read(locked[0], &byte, 1) == 1;
        ::close(locked[0]);
        EXPECT_TRUE(holding) << "the child did not take the lock";
        return test::errorText([&] { fileio::FileLock::acquire(path, wait); });
    }
};

} // namespace

TEST_F(PrivateFolderTest, FoldersAreMadeForTheUserAloneWhateverTheUmask)
{
    const mode_t previous = ::umask(0);
    fileio::createFolder(scratch(QStringLiteral("a/b/c")));
    ::umask(previous);
    for (const char* folder : {"a", "a/b", "a/b/c"})
        EXPECT_EQ(modeOf(scratch(QString::fromLatin1(folder))), 0700u) << folder;
}

TEST_F(PrivateFolderTest, AMissingApplicationFolderIsLeftForItsFirstWriterWhoMakesItPrivate)
{
    EXPECT_EQ(makeApplicationFolderPrivate(), appFolder());
    EXPECT_FALSE(fileio::exists(appFolder()));
    fileio::createFolder(appFolder());
    EXPECT_EQ(modeOf(appFolder()), 0700u);
}

TEST_F(PrivateFolderTest, AnApplicationFolderAnOlderVersionLeftOpenIsClosedAtStartWithItsFilesKept)
{
    QDir().mkpath(appFolder());
    setMode(appFolder(), 0755);
    test::writeFile(appFile(QStringLiteral("tracks.json")), "[]");
    EXPECT_EQ(makeApplicationFolderPrivate(), appFolder());
    EXPECT_EQ(modeOf(appFolder()), 0700u);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), QByteArray("[]"));
}

TEST_F(PrivateFolderTest, AFolderOfAnotherUserIsNeitherUsedNorChanged)
{
    if (!test::canActAsAnotherUser())
        GTEST_SKIP() << "only root can give a folder to another user";
    const QString theirs = scratch(QStringLiteral("theirs"));
    QDir().mkpath(theirs);
    setMode(theirs, 0755);
    giveToOtherUser(theirs);
    EXPECT_EQ(test::errorText([&] { fileio::createPrivateFolder(theirs); }),
              QStringLiteral("The file \u201Ctheirs\u201D could not be opened: it belongs to another user (uid 65534) (%1)").arg(theirs));
    EXPECT_EQ(modeOf(theirs), 0755u);
}

TEST_F(PrivateFolderTest, TheLockFileIsForTheUserAloneAndAnOpenOneIsClosed)
{
    const QString fresh = scratch(QStringLiteral("fresh.lock"));
    { fileio::FileLock::acquire(fresh, std::chrono::seconds(1)); }
    EXPECT_EQ(modeOf(fresh), 0600u);

    const QString older = scratch(QStringLiteral("older.lock"));
    test::writeFile(older, {});
    setMode(older, 0644);
    { fileio::FileLock::acquire(older, std::chrono::seconds(1)); }
    EXPECT_EQ(modeOf(older), 0600u);
}

TEST_F(PrivateFolderTest, ALinkPlantedAtTheLockIsRefusedNotFollowed)
{
    const QString lock = scratch(QStringLiteral(".state.lock"));
    const QString victim = scratch(QStringLiteral("victim.txt"));
    test::writeFile(victim, "precious");
    setMode(victim, 0644);
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(lock).constData()), 0);
    const QString refused = QStringLiteral("The file \u201C.state.lock\u201D could not be opened: it is a symbolic link, which the lock never follows; "
                                           "remove it (%1)")
                                .arg(lock);
    EXPECT_EQ(test::errorText([&] { fileio::FileLock::acquire(lock, std::chrono::seconds(1)); }), refused);
    EXPECT_EQ(test::errorText([&] { fileio::FileLock::tryAcquire(lock); }), refused);
    EXPECT_EQ(test::readFile(victim), QByteArray("precious"));
    EXPECT_EQ(modeOf(victim), 0644u);

    // A link to nothing does not make the lock create its target either.
    const QString dangling = scratch(QStringLiteral("dangling.lock"));
    const QString target = scratch(QStringLiteral("made-through-the-link"));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(dangling).constData()), 0);
    EXPECT_NE(test::errorText([&] { fileio::FileLock::acquire(dangling, std::chrono::seconds(1)); }), QStringLiteral("<no error>"));
    EXPECT_FALSE(fileio::exists(target));
}

TEST_F(PrivateFolderTest, ALockFileOfAnotherUserIsRefused)
{
    if (!test::canActAsAnotherUser())
        GTEST_SKIP() << "only root can give a file to another user";
    const QString lock = scratch(QStringLiteral(".state.lock"));
    test::writeFile(lock, {});
    giveToOtherUser(lock);
    EXPECT_EQ(test::errorText([&] { fileio::FileLock::acquire(lock, std::chrono::seconds(1)); }),
              QStringLiteral("The file \u201C.state.lock\u201D could not be opened: it belongs to another user (uid 65534) (%1)").arg(lock));
}

TEST_F(PrivateFolderTest, ALockHeldByAnotherOfOurProcessesKeepsItsMessage)
{
    EXPECT_EQ(waitForLockHeldByChild(false, std::chrono::milliseconds(200)),
              QStringLiteral("Another VARNO MUSIC process kept the library busy for 200 ms, so nothing was changed. "
                             "Try again when it has finished."));
}

TEST_F(PrivateFolderTest, ALockHeldByAnotherUsersProcessIsBlamedOnThatUser)
{
    if (!test::canActAsAnotherUser())
        GTEST_SKIP() << "only root can run a process as another user";
    EXPECT_EQ(waitForLockHeldByChild(true, std::chrono::milliseconds(200)),
              QStringLiteral("The library is kept busy by another user's process (uid 65534), so nothing was changed after waiting 200 ms. "
                             "Only that user or an administrator can end it."));
}
