#include "TestSupport.h"

#include "library/SecurityScopedAccessError.h"
#include "library/SecurityScopedResource.h"
#include "platform/FileBookmarks.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace varno;

namespace {

class SecurityScopedResourceTest : public test::DataFolderTest {
protected:
    Track songAt(const QString& path, std::optional<QByteArray> bookmark = std::nullopt)
    {
        return Track(QUuid::createUuid(), FileURL::fromLocalFile(path), QFileInfo(path).fileName(), QStringLiteral("t"), 1,
                     Timestamp::now(), std::move(bookmark));
    }
};

} // namespace

TEST_F(SecurityScopedResourceTest, BookmarkRecordsPathDeviceAndInodeAndResolves)
{
    const QString path = scratch(QStringLiteral("My Song #1 (100%)?.mp3"));
    test::writeFile(path, "audio");
    const QByteArray bookmark = SecurityScopedResource::makeBookmark(FileURL::fromLocalFile(path));

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    const bookmarks::Record record = bookmarks::decode(bookmark);
    EXPECT_EQ(record.path, path);
    EXPECT_EQ(record.device, static_cast<quint64>(info.st_dev));
    EXPECT_EQ(record.inode, static_cast<quint64>(info.st_ino));

    const auto resource = SecurityScopedResource::access(songAt(path, bookmark));
    EXPECT_EQ(resource->path(), path);
    EXPECT_FALSE(resource->didStartAccess());
}

TEST_F(SecurityScopedResourceTest, SongWithoutBookmarkOpensWhenReadable)
{
    const QString path = scratch(QStringLiteral("plain.flac"));
    test::writeFile(path, "audio");
    const auto resource = SecurityScopedResource::access(songAt(path));
    EXPECT_EQ(resource->url(), FileURL::fromLocalFile(path));
    EXPECT_FALSE(resource->didStartAccess());
}

TEST_F(SecurityScopedResourceTest, FailuresCarryTheirTexts)
{
    const QString missing = scratch(QStringLiteral("gone.mp3"));
    try {
        SecurityScopedResource::makeBookmark(FileURL::fromLocalFile(missing));
        FAIL() << "a bookmark of a missing file";
    } catch (const SecurityScopedAccessError& error) {
        EXPECT_EQ(error.kind(), SecurityScopedAccessError::Kind::BookmarkCreationFailed);
        EXPECT_EQ(error.description(), QStringLiteral("Access to gone.mp3 could not be saved: No such file or directory"));
    }

    // The bookmark outlives its file.
    const QString deleted = scratch(QStringLiteral("deleted.mp3"));
    test::writeFile(deleted, "audio");
    const QByteArray bookmark = SecurityScopedResource::makeBookmark(FileURL::fromLocalFile(deleted));
    QFile::remove(deleted);
    EXPECT_EQ(test::errorText([&] { SecurityScopedResource::access(songAt(deleted, bookmark)); }),
              QStringLiteral("Saved access to deleted.mp3 could not be restored: No such file or directory"));

    // Garbage instead of a bookmark fails cleanly, under the song's own name.
    EXPECT_EQ(test::errorText([&] { SecurityScopedResource::access(songAt(scratch(QStringLiteral("x.mp3")), QByteArray("\x00garbage", 8))); }),
              QStringLiteral("Saved access to x.mp3 could not be restored: The saved bookmark data is damaged."));

    // Something that resolves but is not a readable file (a folder stands in:
    // the tests may run as root, who can read any file).
    const QString folder = scratch(QStringLiteral("folder.mp3"));
    QDir().mkpath(folder);
    const QByteArray folderBookmark = SecurityScopedResource::makeBookmark(FileURL::fromLocalFile(folder));
    EXPECT_EQ(test::errorText([&] { SecurityScopedResource::access(songAt(scratch(QStringLiteral("stored.mp3")), folderBookmark)); }),
              QStringLiteral("folder.mp3 cannot be read: Is a directory. Add the file again to reconnect it."));
    EXPECT_EQ(test::errorText([&] { SecurityScopedResource::access(songAt(missing)); }),
              QStringLiteral("gone.mp3 cannot be read: No such file or directory. Add the file again to reconnect it."));
}

TEST_F(SecurityScopedResourceTest, BookmarkFromANewerVersionIsRefused)
{
    const QString path = scratch(QStringLiteral("a.mp3"));
    test::writeFile(path, "audio");
    QByteArray bookmark = SecurityScopedResource::makeBookmark(FileURL::fromLocalFile(path));
    bookmark[4] = 9;
    EXPECT_EQ(test::errorText([&] { bookmarks::resolve(bookmark); }),
              QStringLiteral("The saved bookmark was made by a newer version of the app."));
}
