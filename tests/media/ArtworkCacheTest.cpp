#include "TestSupport.h"

#include "library/OstrelMetadataEngine.h"
#include "media/ArtworkFile.h"
#include "media/ArtworkFileError.h"
#include "media/OstrelArtworkCache.h"
#include "media/OstrelThumbnailGenerator.h"
#include "media/ThumbnailError.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QSignalSpy>
#include <QtEndian>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace varno;
using test::await;
using test::errorText;

namespace {

// The real engine, counting how often a cover is extracted from a file.
class CountingMetadataEngine final : public MetadataEngine {
public:
    int extractions = 0;
    QCoro::Task<ExtractedMetadata> readMetadata(FileURL url) override { return m_real.readMetadata(std::move(url)); }
    QCoro::Task<> writeMetadata(Track track, std::optional<QByteArray> artwork) override { return m_real.writeMetadata(std::move(track), std::move(artwork)); }
    QCoro::Task<std::optional<QByteArray>> extractArtwork(FileURL url) override
    {
        ++extractions;
        return m_real.extractArtwork(std::move(url));
    }
    QCoro::Task<std::vector<std::optional<TagFields>>> readTagFields(std::vector<FileURL> urls) override
    {
        return m_real.readTagFields(std::move(urls));
    }

private:
    OstrelMetadataEngine m_real;
};

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

// A PNG that is only its signature, header and an empty data chunk: enough
// for anything that reads dimensions without decoding, and a picture of any
// size in under a hundred bytes.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    const auto crc32 = [](const QByteArray& data) {
        quint32 crc = 0xFFFFFFFFu;
        for (const char byte : data) {
            crc ^= quint8(byte);
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    const auto chunk = [&](const char* type, const QByteArray& body) {
        QByteArray out(4, '\0');
        qToBigEndian(quint32(body.size()), out.data());
        const QByteArray typed = QByteArray(type) + body;
        QByteArray crc(4, '\0');
        qToBigEndian(crc32(typed), crc.data());
        return out + typed + crc;
    };
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 2; // truecolour
    // The readers stop at the first data chunk; its content is never looked at.
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8))
           + chunk("IEND", {});
}

class ArtworkCacheTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        cache = makeCache();
    }

    std::unique_ptr<OstrelArtworkCache> makeCache(std::int64_t budget = 536870912)
    {
        return std::make_unique<OstrelArtworkCache>(CacheMetrics {budget, 2147483648}, std::nullopt, &engine);
    }

    QString folder() const { return appFile(QStringLiteral("ArtworkCache")); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files); }

    Track songAt(const QString& fixture)
    {
        const QString path = scratch(QFileInfo(fixture).fileName());
        QFile::copy(test::fixturePath(fixture), path);
        Track track = test::makeTrack(QFileInfo(fixture).baseName());
        track.fileURL = FileURL::fromLocalFile(path);
        return track;
    }

    static QString id(const Track& track) { return track.id.toString(QUuid::WithoutBraces).toUpper(); }
    // What lstat says is at `path`: its type and permission bits.
    static mode_t modeOf(const QString& path)
    {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
        return info.st_mode;
    }

    CountingMetadataEngine engine;
    std::unique_ptr<OstrelArtworkCache> cache;
};

} // namespace

TEST_F(ArtworkCacheTest, ExtractsOnceKeepsOnDiskAndRemembersSongsWithoutACover)
{
    const Track tagged = songAt(QStringLiteral("formats/tagged.mp3"));
    const std::optional<QByteArray> cover = await(cache->retrieveArtwork(tagged));
    ASSERT_TRUE(cover);
    EXPECT_EQ(*cover, test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg"))));
    EXPECT_EQ(files(), QStringList {QStringLiteral("original_%1.raw").arg(id(tagged))});
    EXPECT_EQ(await(cache->retrieveArtwork(tagged)), cover);
    // Another run finds it on disk without opening the song.
    EXPECT_EQ(await(makeCache()->retrieveArtwork(tagged)), cover);
    EXPECT_EQ(engine.extractions, 1);

    const Track plain = songAt(QStringLiteral("formats/untagged.mp3"));
    EXPECT_FALSE(await(cache->retrieveArtwork(plain)));
    EXPECT_FALSE(await(cache->retrieveArtwork(plain)));
    EXPECT_EQ(engine.extractions, 2);
    await(cache->storeArtwork("stored", plain));
    EXPECT_EQ(await(cache->retrieveArtwork(plain)), QByteArray("stored"));

    // A song whose file cannot be read now is not marked as having no
    // cover: once the file is back, its cover is found.
    Track later = test::makeTrack(QStringLiteral("later"));
    later.fileURL = FileURL::fromLocalFile(scratch(QStringLiteral("later.mp3")));
    EXPECT_FALSE(await(cache->retrieveArtwork(later)));
    QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.mp3")), scratch(QStringLiteral("later.mp3")));
    EXPECT_EQ(await(cache->retrieveArtwork(later)), cover);
}

TEST_F(ArtworkCacheTest, EvictingASongDeletesItsCoverAndThumbnailsOnly)
{
    const Track tagged = songAt(QStringLiteral("formats/tagged.flac"));
    const Track other = test::makeTrack(QStringLiteral("other"));
    await(cache->retrieveArtwork(tagged));
    await(cache->storeThumbnail("small", tagged, QSizeF(40.7, 40.2)));
    await(cache->storeThumbnail("large", tagged, QSizeF(80, 80)));
    await(cache->storeArtwork("other", other));
    EXPECT_EQ(await(cache->retrieveThumbnail(tagged, QSizeF(40, 40))), QByteArray("small"));
    EXPECT_EQ(files().size(), 4);

    QSignalSpy versions(cache.get(), &ArtworkCache::cacheVersionChanged);
    cache->evictArtwork(tagged);
    EXPECT_FALSE(await(cache->retrieveThumbnail(tagged, QSizeF(40, 40))));
    EXPECT_EQ(files(), QStringList {QStringLiteral("original_%1.raw").arg(id(other))});
    EXPECT_TRUE(await(cache->retrieveArtwork(tagged)));
    EXPECT_EQ(engine.extractions, 2);
    QCoreApplication::processEvents();
    EXPECT_GE(versions.size(), 1);

    // A thumbnail of a size never made is not made by asking.
    EXPECT_FALSE(await(cache->retrieveThumbnail(other, QSizeF(40, 40))));
    EXPECT_EQ(files().size(), 2);
}

TEST_F(ArtworkCacheTest, CacheFilesArePrivateAndALinkPlantedInTheirPlaceIsReplacedNotFollowed)
{
    EXPECT_EQ(modeOf(folder()) & 07777, 0700u);
    const Track song = test::makeTrack(QStringLiteral("linked"));
    const QString outside = scratch(QStringLiteral("outside.txt"));
    test::writeFile(outside, "precious");
    const auto plantLink = [&](const QString& path) { ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(path).constData()), 0); };

    const QString cover = folder() + QStringLiteral("/original_%1.raw").arg(id(song));
    plantLink(cover);
    await(cache->storeArtwork("cover", song));
    // Storing a cover removes the song's thumbnails, so this link goes in after.
    const QString thumbnail = folder() + QStringLiteral("/thumb_40x40_%1.thumb").arg(id(song));
    plantLink(thumbnail);
    await(cache->storeThumbnail("small", song, QSizeF(40, 40)));

    EXPECT_EQ(test::readFile(outside), QByteArray("precious"));
    for (const QString& path : {cover, thumbnail}) {
        EXPECT_TRUE(S_ISREG(modeOf(path))) << path.toStdString();
        EXPECT_EQ(modeOf(path) & 07777, 0600u) << path.toStdString();
    }
    EXPECT_EQ(test::readFile(cover), QByteArray("cover"));
    EXPECT_EQ(test::readFile(thumbnail), QByteArray("small"));
}

TEST_F(ArtworkCacheTest, ChangesInOneTurnPublishOneVersion)
{
    QSignalSpy versions(cache.get(), &ArtworkCache::cacheVersionChanged);
    const QUuid before = cache->cacheVersion();
    const Track a = test::makeTrack(QStringLiteral("a"));
    const Track b = test::makeTrack(QStringLiteral("b"));
    cache->evictArtwork(a);
    cache->evictArtwork(b);
    cache->evictArtwork(a);
    // Never in the middle of a turn.
    EXPECT_EQ(cache->cacheVersion(), before);
    QCoreApplication::processEvents();
    EXPECT_EQ(versions.size(), 1);
    EXPECT_NE(cache->cacheVersion(), before);
}

TEST_F(ArtworkCacheTest, MemoryStaysWithinItsBudgetDroppingTheLeastRecentlyUsed)
{
    cache = makeCache(10000);
    std::vector<Track> songs;
    for (const char* title : {"a", "b", "c", "d"})
        songs.push_back(test::makeTrack(QString::fromLatin1(title)));
    for (int i = 0; i < 3; ++i)
        await(cache->storeArtwork(QByteArray(3000, char('a' + i)), songs[size_t(i)]));
    await(cache->retrieveArtwork(songs[0]));
    await(cache->storeArtwork(QByteArray(3000, 'd'), songs[3]));
    EXPECT_LE(cache->memoryBytes(), 10000);

    // With the disk gone, only what memory kept is found: "b" was used least
    // recently.
    for (const QString& name : files())
        QFile::remove(folder() + QLatin1Char('/') + name);
    EXPECT_TRUE(await(cache->retrieveArtwork(songs[0])));
    EXPECT_FALSE(await(cache->retrieveArtwork(songs[1])));
    EXPECT_TRUE(await(cache->retrieveArtwork(songs[3])));
    // A cover larger than the whole budget is served from disk, never kept.
    await(cache->storeArtwork(QByteArray(20000, 'x'), songs[1]));
    EXPECT_LE(cache->memoryBytes(), 10000);
    EXPECT_EQ(await(cache->retrieveArtwork(songs[1]))->size(), 20000);
}

TEST_F(ArtworkCacheTest, RemoveReportsAFailedDeletionAndClearEmptiesEverything)
{
    const Track song = test::makeTrack(QStringLiteral("a"));
    await(cache->storeArtwork("a", song));
    await(cache->removeArtwork(song));
    EXPECT_TRUE(files().isEmpty());

    await(cache->storeArtwork("a", song));
    await(cache->storeThumbnail("t", song, QSizeF(40, 40)));
    await(cache->clearCache());
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(cache->memoryBytes(), 0);
    EXPECT_FALSE(await(cache->retrieveArtwork(song)));

    QDir(folder()).removeRecursively();
    EXPECT_NE(errorText([&] { await(cache->removeArtwork(song)); }), QStringLiteral("<no error>"));
    EXPECT_NE(errorText([&] { await(cache->storeArtwork("a", song)); }), QStringLiteral("<no error>"));
}

TEST_F(ArtworkCacheTest, PickedFilesAreCheckedBeforeAnythingIsDecoded)
{
    const auto load = [&](const QByteArray& bytes) {
        const QString path = scratch(QStringLiteral("picked.jpg"));
        test::writeFile(path, bytes);
        return errorText([&] { await(loadArtworkFile(FileURL::fromLocalFile(path))); });
    };
    const QString tooLarge = QStringLiteral("The selected image is too large to process safely.");
    const QString notAnImage = QStringLiteral("The selected file is not a supported image.");
    EXPECT_EQ(load(pngHeaderOnly(16384, 6103)), QStringLiteral("<no error>"));
    EXPECT_EQ(load(pngHeaderOnly(16384, 6104)), tooLarge);
    EXPECT_EQ(load(pngHeaderOnly(16385, 1)), tooLarge);
    EXPECT_EQ(load(pngHeaderOnly(0, 10)), notAnImage);
    EXPECT_EQ(load("just some text, not a picture"), notAnImage);
    EXPECT_EQ(load(QByteArray()), notAnImage);
    EXPECT_EQ(load(picture(QSize(64, 64), Qt::red).left(20)), notAnImage);
    EXPECT_EQ(load(test::readFile(test::fixturePath(QStringLiteral("bad/cover.jpg")))), notAnImage);

    // The size limit is exact: 25 MiB is taken, one byte more is not.
    QByteArray padded = picture(QSize(8, 8), Qt::blue);
    padded.append(QByteArray(kMaximumArtworkFileBytes - padded.size(), '\0'));
    EXPECT_EQ(load(padded), QStringLiteral("<no error>"));
    EXPECT_EQ(load(padded + '\0'), QStringLiteral("Artwork must be smaller than 25 MB."));

    QDir().mkpath(scratch(QStringLiteral("folder.png")));
    EXPECT_EQ(errorText([&] { await(loadArtworkFile(FileURL::fromLocalFile(scratch(QStringLiteral("folder.png"))))); }), notAnImage);
    EXPECT_TRUE(errorText([&] { await(loadArtworkFile(FileURL::fromLocalFile(scratch(QStringLiteral("missing.png"))))); })
                    .startsWith(QStringLiteral("The artwork could not be read: ")));
    const QByteArray cover = test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg")));
    EXPECT_EQ(await(loadArtworkFile(FileURL::fromLocalFile(test::fixturePath(QStringLiteral("covers/cover.jpg"))))), cover);
}

TEST_F(ArtworkCacheTest, ThumbnailsAreMadeOnceAtTheirSizeAndServedByTheCache)
{
    OstrelThumbnailGenerator thumbnails(*cache);
    Track song = test::makeTrack(QStringLiteral("wide"));
    await(cache->storeArtwork(picture(QSize(600, 300), Qt::darkCyan, "JPG"), song));

    for (const int edge : {40, 80}) {
        const std::optional<QByteArray> made = await(thumbnails.thumbnail(song, QSize(edge, edge)));
        ASSERT_TRUE(made);
        EXPECT_EQ(QImage::fromData(*made).size(), QSize(edge, edge));
        EXPECT_EQ(await(cache->retrieveThumbnail(song, QSizeF(edge, edge))), made);
    }
    EXPECT_TRUE(files().contains(QStringLiteral("thumb_40x40_%1.thumb").arg(id(song))));

    // A new cover drops the thumbnails of the old one.
    await(cache->storeArtwork(picture(QSize(100, 100), Qt::yellow), song));
    EXPECT_FALSE(await(cache->retrieveThumbnail(song, QSizeF(40, 40))));
    const QImage redone = QImage::fromData(*await(thumbnails.thumbnail(song, QSize(40, 40))));
    EXPECT_EQ(redone.pixelColor(20, 20), QColor(Qt::yellow));

    // A row that left the screen before its turn costs nothing.
    const Track scrolled = test::makeTrack(QStringLiteral("scrolled"));
    await(cache->storeArtwork(picture(QSize(300, 300), Qt::red), scrolled));
    std::stop_source leftTheScreen;
    leftTheScreen.request_stop();
    EXPECT_FALSE(await(thumbnails.thumbnail(scrolled, QSize(40, 40), leftTheScreen.get_token())));
    EXPECT_FALSE(await(cache->retrieveThumbnail(scrolled, QSizeF(40, 40))));

    EXPECT_EQ(errorText([&] { await(thumbnails.generateThumbnail("not a picture", QSize(40, 40))); }),
              QStringLiteral("The raw image data is corrupted or formatted incorrectly."));
    EXPECT_EQ(errorText([&] { await(thumbnails.generateThumbnail(pngHeaderOnly(16384, 16384), QSize(40, 40))); }),
              QStringLiteral("The raw image data is corrupted or formatted incorrectly."));
    EXPECT_EQ(errorText([&] { await(thumbnails.generateThumbnail(picture(QSize(10, 10), Qt::red), QSize(0, 40))); }),
              QStringLiteral("Failed to downscale the image to the requested dimensions."));
    thumbnails.setTimeLimit(std::chrono::milliseconds(-1));
    EXPECT_EQ(errorText([&] { await(thumbnails.generateThumbnail(picture(QSize(10, 10), Qt::red), QSize(4, 4))); }),
              QStringLiteral("Thumbnail generation timed out in the background queue."));
}
