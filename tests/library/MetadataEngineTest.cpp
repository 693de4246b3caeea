#include "TestSupport.h"

#include "library/MetadataError.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/FFmpegInput.h"
#include "platform/TagLibMediaReader.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <future>
#include <sys/stat.h>
#include <thread>
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

// ---------------------------------------------------------------------------
// Real files of every format, from the fixture generator.

namespace {

struct FormatCase {
    const char* extension;
    bool holdsTags;
};

constexpr FormatCase kFormats[] = {
    {"mp3", true}, {"m4a", true}, {"wav", true}, {"flac", true}, {"aac", false}, {"ogg", true}, {"wma", true}, {"aiff", true},
};

class MetadataFilesTest : public ::testing::Test {
protected:
    ExtractedMetadata read(const QString& relative) { return await(engine.readMetadata(FileURL::fromLocalFile(test::fixturePath(relative)))); }
    std::optional<QByteArray> artwork(const QString& relative)
    {
        return await(engine.extractArtwork(FileURL::fromLocalFile(test::fixturePath(relative))));
    }

    OstrelMetadataEngine engine;
};

} // namespace

TEST_F(MetadataFilesTest, EveryFormatYieldsTagsDurationSampleRateAndCover)
{
    const QByteArray jpeg = test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg")));
    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.extension);
        const QString tagged = QStringLiteral("formats/tagged.") + QLatin1String(format.extension);
        const ExtractedMetadata m = read(tagged);
        EXPECT_NEAR(m.duration, 2.0, 0.25);
        EXPECT_EQ(m.sampleRate, 44100);
        EXPECT_GT(m.bitrate.value_or(0), 0);
        // Year, track, disc, comment and BPM are in the file and never taken.
        EXPECT_FALSE(m.year || m.trackNumber || m.discNumber || m.comments || m.bpm);
        if (format.holdsTags) {
            EXPECT_EQ(m.title, QStringLiteral("Tagged Title"));
            EXPECT_EQ(m.artist, QStringLiteral("Tagged Artist"));
            EXPECT_EQ(m.album, QStringLiteral("Tagged Album"));
            EXPECT_EQ(m.genre, QStringLiteral("Tagged Genre"));
            EXPECT_EQ(m.composer, QStringLiteral("Tagged Composer"));
            EXPECT_EQ(m.albumArtist, QStringLiteral("Tagged Album Artist"));
            EXPECT_EQ(artwork(tagged), jpeg);
        } else {
            EXPECT_EQ(m.title, QStringLiteral("tagged"));
            EXPECT_FALSE(artwork(tagged).has_value());
        }

        const ExtractedMetadata plain = read(QStringLiteral("formats/untagged.") + QLatin1String(format.extension));
        EXPECT_EQ(plain.title, QStringLiteral("untagged"));
        EXPECT_FALSE(plain.artist || plain.album || plain.genre || plain.composer || plain.albumArtist);
        EXPECT_EQ(plain.sampleRate, 48000);
        EXPECT_NEAR(plain.duration, 1.0, 0.25);
    }
}

TEST_F(MetadataFilesTest, FirstEmbeddedPictureWinsAndComesBackAsStored)
{
    const QByteArray jpeg = test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg")));
    const QByteArray png = test::readFile(test::fixturePath(QStringLiteral("covers/cover.png")));
    for (const char* extension : {"mp3", "flac", "m4a"})
        EXPECT_EQ(artwork(QStringLiteral("covers/png-cover.") + QLatin1String(extension)), png) << extension;
    for (const char* extension : {"mp3", "flac", "m4a", "ogg"})
        EXPECT_EQ(artwork(QStringLiteral("covers/two-covers.") + QLatin1String(extension)), jpeg) << extension;
}

TEST_F(MetadataFilesTest, AwkwardNamesAreReadAndTitledAfterTheName)
{
    const std::pair<const char*, const char*> names[] = {
        {"names/with space.mp3", "with space"}, {"names/hash#1.mp3", "hash#1"}, {"names/100%.mp3", "100%"},
        {"names/what?.mp3", "what?"},           {"names/SONG.MP3", "SONG"},     {"names/Song.Name.mp3", "Song.Name"},
        {"names/日本語の曲.mp3", "日本語の曲"},
    };
    for (const auto& [file, title] : names) {
        const ExtractedMetadata m = read(QString::fromUtf8(file));
        EXPECT_EQ(m.title, QString::fromUtf8(title));
        EXPECT_GT(m.duration, 0.5) << file;
    }
}

TEST_F(MetadataFilesTest, BadInputFailsCleanlyAndQuickly)
{
    for (const char* file : {"bad/empty.mp3", "bad/random.flac", "bad/random.mp3", "bad/truncated.mp3", "bad/truncated.flac",
                             "bad/cover.jpg", "bad/song.mp3", "tree/album.flac", "formats/missing.mp3"}) {
        SCOPED_TRACE(file);
        QElapsedTimer timer;
        timer.start();
        // A file whose tags survived but whose audio is cut off may still be
        // described; everything else must fail with the media error.
        try {
            const ExtractedMetadata m = read(QString::fromUtf8(file));
            EXPECT_TRUE(QByteArray(file).startsWith("bad/truncated")) << "read as audio";
            EXPECT_GE(m.duration, 0);
        } catch (const MediaReadError& error) {
            EXPECT_TRUE(error.description().startsWith(QStringLiteral("The file \u201C"))) << error.description().toStdString();
        }
        try {
            artwork(QString::fromUtf8(file));
        } catch (const MediaReadError&) {
        }
        EXPECT_LT(timer.elapsed(), 2000);
    }
    EXPECT_EQ(test::errorText([&] { read(QStringLiteral("bad/empty.mp3")); }),
              QStringLiteral("The file \u201C" "empty.mp3\u201D could not be read as audio: the file is empty"));
}

namespace {

// The text of what `read` throws, given ten seconds. A reader that opens a
// named pipe can block for good (TagLib opens for writing too, so it never
// sees the end), so it runs on a thread of its own, abandoned if it blocks.
template<typename Read>
QString refusalWithinTenSeconds(Read read)
{
    auto text = std::make_shared<std::promise<QString>>();
    std::future<QString> outcome = text->get_future();
    std::thread([text, read] { text->set_value(test::errorText(read)); }).detach();
    if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
        return QStringLiteral("<blocked>");
    return outcome.get();
}

} // namespace

TEST(MediaReaderTest, NamedPipeIsRefusedBeforeAnyOpen)
{
    const QTemporaryDir folder;
    const QString pipe = folder.filePath(QStringLiteral("x.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString expected = QStringLiteral("The file \u201Cx.mp3\u201D could not be read as audio: it is a named pipe, not a regular file");
    EXPECT_EQ(refusalWithinTenSeconds([pipe] { TagLibMediaReader().read(pipe); }), expected);
    EXPECT_EQ(refusalWithinTenSeconds([pipe] { TagLibMediaReader().firstArtwork(pipe); }), expected);
    // Where the player and the PCM reader open files.
    EXPECT_EQ(refusalWithinTenSeconds([pipe] { ffmpeg::open(pipe); }), expected);
}
