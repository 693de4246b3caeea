#include "TestSupport.h"

#include "library/MetadataError.h"
#include "library/OstrelMetadataEngine.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <utime.h>

using namespace varno;
using test::await;

namespace {

// A media layer that reports what the test tells it to.
class FakeMediaReader final : public MediaReader {
public:
    MediaAsset asset;
    MediaAsset read(const QString&) const override { return asset; }
    std::optional<QByteArray> firstArtwork(const QString&) const override { return std::nullopt; }
};

MediaItem item(const char* key, const QString& value)
{
    return MediaItem {QString::fromLatin1(key), value, std::nullopt};
}

class MetadataRulesTest : public test::DataFolderTest {
protected:
    ExtractedMetadata read(const QString& name, MediaAsset asset, qint64 size = 1000)
    {
        const QString path = scratch(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.resize(size);
        file.close();
        auto reader = std::make_shared<FakeMediaReader>();
        reader->asset = std::move(asset);
        OstrelMetadataEngine engine(reader);
        return await(engine.readMetadata(FileURL::fromLocalFile(path)));
    }
};

} // namespace

TEST_F(MetadataRulesTest, UntaggedFileIsTitledAfterItsNameWithoutTheLastExtension)
{
    const ExtractedMetadata m = read(QStringLiteral("Song.Name.mp3"), MediaAsset {{}, 3.0, 44100.0});
    EXPECT_EQ(m.title, QStringLiteral("Song.Name"));
    EXPECT_FALSE(m.artist || m.album || m.genre || m.composer || m.albumArtist);
    EXPECT_FALSE(m.year || m.trackNumber || m.discNumber || m.comments || m.bpm);
    // An empty title from the tags is kept.
    EXPECT_EQ(read(QStringLiteral("b.mp3"), MediaAsset {{item("title", QString())}, 3.0, 44100.0}).title, QString());
}

TEST_F(MetadataRulesTest, KeysMapAndLaterItemsWinButTypeOnlyFillsAMissingGenre)
{
    MediaAsset asset {{item("artist", QStringLiteral("First")), item("artist", QStringLiteral("Second")),
                       item("type", QStringLiteral("Type Genre")), item("genre", QStringLiteral("Real Genre")),
                       item("type", QStringLiteral("Ignored")), item("albumName", QStringLiteral("Album")),
                       item("composer", QStringLiteral("Composer")), item("albumArtist", QStringLiteral("AA")),
                       item("comment", QStringLiteral("ignored"))},
                      3.0, 44100.0};
    const ExtractedMetadata m = read(QStringLiteral("a.mp3"), asset);
    EXPECT_EQ(m.artist, QStringLiteral("Second"));
    EXPECT_EQ(m.genre, QStringLiteral("Real Genre"));
    EXPECT_EQ(m.album, QStringLiteral("Album"));
    EXPECT_EQ(m.composer, QStringLiteral("Composer"));
    EXPECT_EQ(m.albumArtist, QStringLiteral("AA"));
    EXPECT_FALSE(m.comments.has_value());

    // "type" counts while no genre came before it.
    EXPECT_EQ(read(QStringLiteral("b.mp3"), MediaAsset {{item("type", QStringLiteral("T"))}, 3.0, {}}).genre, QStringLiteral("T"));
}

TEST_F(MetadataRulesTest, BitrateAndSampleRateAreTruncated)
{
    ExtractedMetadata m = read(QStringLiteral("a.mp3"), MediaAsset {{}, 200.0, 44100.9}, 4000000);
    EXPECT_EQ(m.bitrate, 160);
    EXPECT_EQ(m.sampleRate, 44100);
    m = read(QStringLiteral("b.mp3"), MediaAsset {{}, 0.0, std::nullopt}, 4000000);
    EXPECT_FALSE(m.bitrate.has_value());
    EXPECT_FALSE(m.sampleRate.has_value());
    m = read(QStringLiteral("c.mp3"), MediaAsset {{}, 3.0, std::numeric_limits<double>::infinity()});
    EXPECT_FALSE(m.sampleRate.has_value());
}

TEST_F(MetadataRulesTest, TagWritesAreRefusedWithoutTouchingTheFile)
{
    const QString path = scratch(QStringLiteral("keep.mp3"));
    test::writeFile(path, "original bytes");
    const utimbuf old {1000000000, 1000000000};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &old), 0);
    OstrelMetadataEngine engine;
    Track song = test::makeTrack(QStringLiteral("keep"));
    song.fileURL = FileURL::fromLocalFile(path);
    try {
        await(engine.writeMetadata(song, QByteArray("new art")));
        FAIL() << "a tag write succeeded";
    } catch (const MetadataError& error) {
        EXPECT_EQ(error.kind(), MetadataError::Kind::TagWriteFailed);
        EXPECT_EQ(error.description(),
                  QStringLiteral("Physical tag writing is disabled until a non-destructive file replacement workflow is available. "
                                 "Local metadata edits are saved in the app library."));
    }
    EXPECT_EQ(test::readFile(path), QByteArray("original bytes"));
    EXPECT_EQ(QFileInfo(path).lastModified().toSecsSinceEpoch(), 1000000000);

    song.fileURL = FileURL::fromLocalFile(scratch(QStringLiteral("missing.mp3")));
    try {
        await(engine.writeMetadata(song, std::nullopt));
        FAIL() << "a tag write succeeded";
    } catch (const MetadataError& error) {
        EXPECT_EQ(error.kind(), MetadataError::Kind::FileNotFound);
        EXPECT_EQ(error.description(), QStringLiteral("The file \u201Cmissing.mp3\u201D could not be found."));
    }
}
