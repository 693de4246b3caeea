#include "TestSupport.h"

#include "platform/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varno;

namespace {

// Takes ".mp3" files and mentions ".opus" ones, the way the library takes
// the types it imports and names the audio it leaves out.
FolderWalk::Choice takeMp3MentionOpus(const QString& path)
{
    if (path.endsWith(QStringLiteral(".mp3")))
        return FolderWalk::Choice::Take;
    if (path.endsWith(QStringLiteral(".opus")))
        return FolderWalk::Choice::Mention;
    return FolderWalk::Choice::Skip;
}

class FolderWalkTest : public ::testing::Test {
protected:
    // QTemporaryDir cannot remove names that are not valid UTF-8: it decodes
    // them and asks for a file that is not there. The tree goes by its bytes.
    ~FolderWalkTest() override
    {
        ::nftw(
            QFile::encodeName(m_root.path()).constData(), [](const char* path, const struct stat*, int, FTW*) { return std::remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }

    // A small file at `relative`, given as bytes so that names which are
    // not valid UTF-8 can be made too.
    void make(const QByteArray& relative)
    {
        const QByteArray path = native(relative);
        for (qsizetype slash = relative.indexOf('/'); slash >= 0; slash = relative.indexOf('/', slash + 1))
            ::mkdir(native(relative.left(slash)).constData(), 0700);
        const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(descriptor, 0) << relative.toStdString();
        ASSERT_EQ(::write(descriptor, "x", 1), 1);
        ::close(descriptor);
    }
    QByteArray native(const QByteArray& relative) const { return QFile::encodeName(m_root.path()) + '/' + relative; }

    FolderWalk walk() const { return walkFolders({m_root.path()}, takeMp3MentionOpus); }

    // Paths below the walked folder, sorted: the order of a listing is the
    // file system's.
    QStringList relative(const QStringList& paths) const
    {
        QStringList names;
        for (const QString& path : paths)
            names.push_back(QDir(m_root.path()).relativeFilePath(path));
        names.sort();
        return names;
    }
    QStringList relative(const std::vector<QString>& paths) const { return relative(QStringList(paths.begin(), paths.end())); }

private:
    QTemporaryDir m_root;
};

} // namespace

TEST_F(FolderWalkTest, TakesFilesInNestedFoldersAndMentionsTheOnesItIsToldTo)
{
    make("a.mp3");
    make("one/b.mp3");
    make("one/two/c.mp3");
    make("one/cover.jpg");
    make("one/two/d.opus");

    const FolderWalk found = walk();
    EXPECT_EQ(relative(found.files), (QStringList {"a.mp3", "one/b.mp3", "one/two/c.mp3"}));
    EXPECT_EQ(relative(found.mentioned), QStringList {"one/two/d.opus"});
    EXPECT_TRUE(found.failures.isEmpty()) << found.failures.join(QLatin1Char('\n')).toStdString();
}

TEST_F(FolderWalkTest, HiddenItemsAreSkippedAndLinksToFoldersAreNotFollowed)
{
    make(".hidden.mp3");
    make(".hidden folder/e.mp3");
    make("real/f.mp3");
    // A link back to the top would trap a walk that followed it.
    ASSERT_EQ(::symlink(native("").constData(), native("real/loop").constData()), 0);
    ASSERT_EQ(::symlink(native("real/f.mp3").constData(), native("link.mp3").constData()), 0);

    const FolderWalk found = walk();
    EXPECT_EQ(relative(found.files), (QStringList {"link.mp3", "real/f.mp3"}));
    EXPECT_TRUE(found.failures.isEmpty()) << found.failures.join(QLatin1Char('\n')).toStdString();
}

TEST_F(FolderWalkTest, APipeNamedLikeATakenFileIsAFailureAndIsNeverOpened)
{
    ASSERT_EQ(::mkfifo(native("pipe.mp3").constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(native("pipe.txt").constData(), 0600), 0);

    const FolderWalk found = walk();
    EXPECT_TRUE(found.files.empty());
    EXPECT_EQ(found.failures, QStringList {"pipe.mp3: it is a named pipe, not a regular file"});
}

TEST_F(FolderWalkTest, NamesThatAreNotUtf8AreFailuresWhenTheyWouldBeTaken)
{
    make("bad\xff.mp3");
    make("cover\xff.jpg");
    make("folder\xfe/g.mp3");
    make("good.mp3");

    const FolderWalk found = walk();
    EXPECT_EQ(relative(found.files), QStringList {"good.mp3"});
    QStringList failures = found.failures;
    failures.sort();
    EXPECT_EQ(failures, (QStringList {QStringLiteral("bad\uFFFD.mp3: the name is not valid UTF-8, so the library cannot keep this file"),
                                      QStringLiteral("folder\uFFFD: the folder's name is not valid UTF-8, so its files cannot be added")}));
}

TEST_F(FolderWalkTest, AFolderThatDoesNotExistContributesNothing)
{
    const FolderWalk found = walkFolders({QStringLiteral("/nonexistent/folder")}, takeMp3MentionOpus);
    EXPECT_TRUE(found.files.empty());
    EXPECT_TRUE(found.mentioned.isEmpty());
    EXPECT_TRUE(found.failures.isEmpty());
}

TEST_F(FolderWalkTest, LinksThatLeadToThemselvesOrNowhereAreFailuresWhenTheyWouldBeTaken)
{
    make("good.mp3");
    ASSERT_EQ(::symlink("loop.mp3", native("loop.mp3").constData()), 0);
    ASSERT_EQ(::symlink("ping.mp3", native("pong.mp3").constData()), 0);
    ASSERT_EQ(::symlink("pong.mp3", native("ping.mp3").constData()), 0);
    ASSERT_EQ(::symlink("nothing-here.mp3", native("gone.mp3").constData()), 0);
    // Not a name the walk takes: left out without a word, like the cover.
    ASSERT_EQ(::symlink("cover.jpg", native("cover.jpg").constData()), 0);

    const FolderWalk found = walk();
    EXPECT_EQ(relative(found.files), QStringList {"good.mp3"});
    QStringList failures = found.failures;
    failures.sort();
    EXPECT_EQ(failures, (QStringList {QStringLiteral("gone.mp3: the link leads nowhere: what it names does not exist"),
                                      QStringLiteral("loop.mp3: the link leads to itself or to a loop"),
                                      QStringLiteral("ping.mp3: the link leads to itself or to a loop"),
                                      QStringLiteral("pong.mp3: the link leads to itself or to a loop")}));
}

TEST_F(FolderWalkTest, AFolderThatCannotBeOpenedIsAFailure)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens every folder whatever its permissions, so a refused one cannot be made";
    make("open/a.mp3");
    make("closed/b.mp3");
    ASSERT_EQ(::chmod(native("closed").constData(), 0), 0);

    const FolderWalk found = walk();
    ::chmod(native("closed").constData(), 0700);
    EXPECT_EQ(relative(found.files), QStringList {"open/a.mp3"});
    EXPECT_EQ(found.failures, QStringList {QStringLiteral("closed: the folder cannot be opened, so its files cannot be added: Permission denied")});
}
