#include "RecordingFileWatcher.h"
#include "TestSupport.h"

#include "edits/ArtworkBatchSnapshot.h"
#include "library/OstrelMetadataEngine.h"
#include "media/ArtworkFile.h"
#include "media/OstrelArtworkCache.h"
#include "media/OstrelThumbnailGenerator.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>

#include <memory>

using namespace varno;
using test::await;
using test::fixturePath;
using test::readFile;

namespace {

QByteArray picture(QSize size, QColor colour, const char* format = "PNG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Songs in folders of their own below the scratch folder, beside pictures,
// over the real metadata engine. A new cache over the same folders is what
// the next start of the app sees.
class FolderCoverTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        restart();
    }
    void TearDown() override
    {
        cache.reset();
        DataFolderTest::TearDown();
    }

    void restart()
    {
        cache.reset();
        cache = std::make_unique<OstrelArtworkCache>(CacheMetrics {}, std::nullopt, &engine, &watcher);
    }

    // A copy of a fixture in `folder`, as a song of the library.
    Track songIn(const QString& folder, const QString& fixture = QStringLiteral("formats/untagged.mp3"))
    {
        QDir().mkpath(scratch(folder));
        const QString path = scratch(folder + QLatin1Char('/') + QFileInfo(fixture).fileName());
        EXPECT_TRUE(QFile::copy(fixturePath(fixture), path));
        Track track = test::makeTrack(QFileInfo(fixture).completeBaseName());
        track.fileURL = FileURL::fromLocalFile(path);
        return track;
    }
    // Writes a small picture at `relative` below the scratch folder.
    QByteArray place(const QString& relative, QColor colour, const char* format = "PNG")
    {
        const QByteArray bytes = picture(QSize(16, 16), colour, format);
        QDir().mkpath(QFileInfo(scratch(relative)).path());
        test::writeFile(scratch(relative), bytes);
        return bytes;
    }
    std::optional<QByteArray> coverOf(const Track& song) { return await(cache->retrieveArtwork(song)); }
    QStringList cacheFiles() const { return QDir(appFile(QStringLiteral("ArtworkCache"))).entryList(QDir::Files); }
    void report(FileSystemChange change)
    {
        QSignalSpy versions(cache.get(), &ArtworkCache::cacheVersionChanged);
        emit watcher.changeOccurred(std::move(change));
        EXPECT_TRUE(test::waitUntil([&] { return !versions.isEmpty(); }));
    }

    OstrelMetadataEngine engine;
    test::RecordingFileWatcher watcher;
    std::unique_ptr<OstrelArtworkCache> cache;
};

} // namespace

TEST_F(FolderCoverTest, ASongWithoutACoverOfItsOwnTakesThePictureBesideItsFile)
{
    const Track song = songIn(QStringLiteral("Album"));
    const QByteArray jpeg = place(QStringLiteral("Album/Cover.JPG"), Qt::darkRed, "JPG");
    EXPECT_EQ(coverOf(song), jpeg);
    const Track other = songIn(QStringLiteral("Album"), QStringLiteral("formats/untagged.flac"));
    EXPECT_EQ(coverOf(other), jpeg);
    // Nothing of it is kept on disk: the folder is looked at again next start.
    EXPECT_TRUE(cacheFiles().isEmpty());

    const Track elsewhere = songIn(QStringLiteral("Other"));
    EXPECT_FALSE(coverOf(elsewhere));
}

TEST_F(FolderCoverTest, TheSongsOwnCoverComesFirst)
{
    place(QStringLiteral("Album/cover.jpg"), Qt::red, "JPG");
    const Track tagged = songIn(QStringLiteral("Album"), QStringLiteral("formats/tagged.mp3"));
    EXPECT_EQ(coverOf(tagged), readFile(fixturePath(QStringLiteral("covers/cover.jpg"))));

    const Track plain = songIn(QStringLiteral("Album"));
    const QByteArray chosen = picture(QSize(20, 20), Qt::green);
    await(cache->storeArtwork(chosen, plain));
    EXPECT_EQ(coverOf(plain), chosen);
    restart();
    EXPECT_EQ(coverOf(plain), chosen);
}

TEST_F(FolderCoverTest, NamesArePreferredInOrderAndAPictureTakenAwayIsNoticedOnTheNextStart)
{
    const Track song = songIn(QStringLiteral("Album"));
    const QStringList preferred {QStringLiteral("Cover.jpg"), QStringLiteral("cover.png"), QStringLiteral("FOLDER.jpeg"), QStringLiteral("Front.bmp"),
                                 QStringLiteral("album.jpg"), QStringLiteral("AlbumArt.png")};
    std::vector<QByteArray> pictures;
    for (qsizetype i = 0; i < preferred.size(); ++i)
        pictures.push_back(place(QStringLiteral("Album/") + preferred[i], QColor::fromHsv(int(i) * 50, 200, 200), i == 3 ? "BMP" : "PNG"));
    const QByteArray scan = place(QStringLiteral("Album/scan.png"), Qt::white);

    for (qsizetype i = 0; i < preferred.size(); ++i) {
        EXPECT_EQ(coverOf(song), pictures[size_t(i)]) << preferred[i].toStdString();
        QFile::remove(scratch(QStringLiteral("Album/") + preferred[i]));
        restart();
    }
    // The last picture left is the folder's only one.
    EXPECT_EQ(coverOf(song), scan);
}

TEST_F(FolderCoverTest, TheOnlyPictureOfAFolderIsTakenButNoneOfTwoOthers)
{
    const Track alone = songIn(QStringLiteral("Alone"));
    const QByteArray scan = place(QStringLiteral("Alone/scan 01.jpg"), Qt::cyan, "JPG");
    EXPECT_EQ(coverOf(alone), scan);

    const Track two = songIn(QStringLiteral("Two"));
    place(QStringLiteral("Two/scan 01.jpg"), Qt::cyan, "JPG");
    place(QStringLiteral("Two/scan 02.png"), Qt::magenta);
    EXPECT_FALSE(coverOf(two));
}

TEST_F(FolderCoverTest, APictureOverTheArtworkLimitsOrNotAPictureIsPassedOver)
{
    const Track song = songIn(QStringLiteral("Album"));
    test::writeFile(scratch(QStringLiteral("Album/cover.jpg")), readFile(fixturePath(QStringLiteral("bad/cover.jpg"))));
    test::writeFile(scratch(QStringLiteral("Album/cover.png")), picture(QSize(kMaximumArtworkEdge + 1, 1), Qt::red));
    const QString large = scratch(QStringLiteral("Album/folder.png"));
    test::writeFile(large, picture(QSize(8, 8), Qt::green));
    ASSERT_TRUE(QFile(large).resize(kMaximumArtworkFileBytes + 1));
    const QByteArray front = place(QStringLiteral("Album/front.png"), Qt::blue);
    EXPECT_EQ(coverOf(song), front);

    // Alone in its folder, a picture too wide is not taken either.
    const Track wide = songIn(QStringLiteral("Wide"));
    test::writeFile(scratch(QStringLiteral("Wide/scan.png")), picture(QSize(kMaximumArtworkEdge + 1, 1), Qt::red));
    EXPECT_FALSE(coverOf(wide));
}

TEST_F(FolderCoverTest, RemoveArtworkHidesTheCoverInTheFileForGoodAndLeavesTheFileAsItWas)
{
    const Track song = songIn(QStringLiteral("Album"), QStringLiteral("formats/tagged.mp3"));
    const QByteArray audio = readFile(song.fileURL.toLocalFile());
    const QByteArray embedded = readFile(fixturePath(QStringLiteral("covers/cover.jpg")));
    ASSERT_EQ(coverOf(song), embedded);

    await(cache->removeArtwork(song));
    EXPECT_FALSE(coverOf(song));
    restart();
    EXPECT_FALSE(coverOf(song));
    EXPECT_EQ(readFile(song.fileURL.toLocalFile()), audio);

    // Choosing a cover shows it and takes the mark away: once that cover is
    // forgotten, the file's own is found again.
    const QByteArray chosen = picture(QSize(20, 20), Qt::yellow);
    await(cache->storeArtwork(chosen, song));
    EXPECT_EQ(coverOf(song), chosen);
    cache->evictArtwork(song);
    restart();
    EXPECT_EQ(coverOf(song), embedded);
}

TEST_F(FolderCoverTest, RemoveArtworkHidesThePictureBesideTheFileForThatSongOnly)
{
    const QByteArray jpeg = place(QStringLiteral("Album/cover.jpg"), Qt::red, "JPG");
    const Track song = songIn(QStringLiteral("Album"));
    const Track other = songIn(QStringLiteral("Album"), QStringLiteral("formats/untagged.flac"));
    ASSERT_EQ(coverOf(song), jpeg);

    await(cache->removeArtwork(song));
    EXPECT_FALSE(coverOf(song));
    restart();
    EXPECT_FALSE(coverOf(song));
    EXPECT_EQ(coverOf(other), jpeg);
    EXPECT_EQ(readFile(scratch(QStringLiteral("Album/cover.jpg"))), jpeg);
}

// A shared cover that could not be applied is undone through the snapshot
// taken before: each song is left as it was, whatever its cover was.
TEST_F(FolderCoverTest, ARestoredSnapshotGivesEachSongItsOwnCoverBackWithoutCopyingOrHidingAny)
{
    const QByteArray embedded = readFile(fixturePath(QStringLiteral("covers/cover.jpg")));
    const QByteArray beside = place(QStringLiteral("Beside/cover.jpg"), Qt::red, "JPG");
    const Track inFile = songIn(QStringLiteral("InFile"), QStringLiteral("formats/tagged.mp3"));
    const Track shownBefore = songIn(QStringLiteral("Shown"), QStringLiteral("formats/tagged.mp3"));
    const Track besideFile = songIn(QStringLiteral("Beside"));
    const Track none = songIn(QStringLiteral("Plain"));
    const Track removed = songIn(QStringLiteral("Removed"), QStringLiteral("formats/tagged.mp3"));
    ASSERT_EQ(coverOf(shownBefore), embedded);
    ASSERT_EQ(coverOf(besideFile), beside);
    await(cache->removeArtwork(removed));
    const QStringList filesBefore = cacheFiles();
    const QByteArray marksBefore = readFile(appFile(QStringLiteral("hidden_covers.json")));
    const std::vector<Track> songs {inFile, shownBefore, besideFile, none, removed};
    const ArtworkBatchSnapshot snapshot = await(ArtworkBatchSnapshot::capture(*cache, songs));
    for (const Track& song : songs)
        await(cache->storeArtwork(picture(QSize(24, 24), Qt::green), song));

    await(snapshot.restore(*cache, songs));
    EXPECT_EQ(cacheFiles(), filesBefore);
    EXPECT_EQ(readFile(appFile(QStringLiteral("hidden_covers.json"))), marksBefore);
    EXPECT_EQ(coverOf(inFile), embedded);
    EXPECT_EQ(coverOf(shownBefore), embedded);
    EXPECT_EQ(coverOf(besideFile), beside);
    EXPECT_FALSE(coverOf(none));
    EXPECT_FALSE(coverOf(removed));
    restart();
    EXPECT_EQ(coverOf(besideFile), beside);
    EXPECT_FALSE(coverOf(removed));
}

TEST_F(FolderCoverTest, APictureAddedChangedOrRemovedIsSeenWhenTheWatcherReportsIt)
{
    const Track song = songIn(QStringLiteral("Album"));
    EXPECT_FALSE(coverOf(song));
    const QString path = scratch(QStringLiteral("Album/cover.png"));

    const QByteArray red = place(QStringLiteral("Album/cover.png"), Qt::red);
    report(FileSystemChange::added(FileURL::fromLocalFile(path)));
    EXPECT_EQ(coverOf(song), red);

    const QByteArray blue = place(QStringLiteral("Album/cover.png"), Qt::blue);
    report(FileSystemChange::modified(FileURL::fromLocalFile(path)));
    EXPECT_EQ(coverOf(song), blue);

    QFile::remove(path);
    report(FileSystemChange::deleted(FileURL::fromLocalFile(path)));
    EXPECT_FALSE(coverOf(song));
}

TEST_F(FolderCoverTest, ThumbnailsOfAPictureBesideTheFileDoNotOutliveIt)
{
    const Track song = songIn(QStringLiteral("Album"));
    test::writeFile(scratch(QStringLiteral("Album/cover.png")), picture(QSize(100, 100), Qt::red));
    {
        OstrelThumbnailGenerator thumbnails(*cache);
        const std::optional<QByteArray> made = await(thumbnails.thumbnail(song, QSize(40, 40)));
        ASSERT_TRUE(made);
        EXPECT_EQ(QImage::fromData(*made).pixelColor(20, 20), QColor(Qt::red));
        EXPECT_EQ(await(cache->retrieveThumbnail(song, QSizeF(40, 40))), made);
        EXPECT_TRUE(cacheFiles().isEmpty());
    }

    test::writeFile(scratch(QStringLiteral("Album/cover.png")), picture(QSize(100, 100), Qt::yellow));
    restart();
    OstrelThumbnailGenerator thumbnails(*cache);
    const std::optional<QByteArray> redone = await(thumbnails.thumbnail(song, QSize(40, 40)));
    ASSERT_TRUE(redone);
    EXPECT_EQ(QImage::fromData(*redone).pixelColor(20, 20), QColor(Qt::yellow));
}

TEST_F(FolderCoverTest, AListOfRemovedCoversThatCannotBeReadHidesNothingAndIsNotReplaced)
{
    const Track song = songIn(QStringLiteral("Album"), QStringLiteral("formats/tagged.mp3"));
    const QString list = appFile(QStringLiteral("hidden_covers.json"));
    test::writeFile(list, "[\"not a song id\"]");
    EXPECT_TRUE(coverOf(song));

    EXPECT_EQ(test::errorText([&] { await(cache->removeArtwork(song)); }), QStringLiteral("hidden_covers.json: item 0: expected a song id"));
    EXPECT_EQ(readFile(list), QByteArray("[\"not a song id\"]"));
    EXPECT_TRUE(coverOf(song));
}
