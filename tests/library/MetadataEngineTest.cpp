#include "TestSupport.h"

#include "fixtures/FixtureGenerator.h"

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
    std::vector<MediaItem> readTags(const QString&) const override { return asset.items; }
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
                       item("copyright", QStringLiteral("ignored"))},
                      3.0, 44100.0};
    const ExtractedMetadata m = read(QStringLiteral("a.mp3"), asset);
    EXPECT_EQ(m.artist, QStringLiteral("Second"));
    EXPECT_EQ(m.genre, QStringLiteral("Real Genre"));
    EXPECT_EQ(m.album, QStringLiteral("Album"));
    EXPECT_EQ(m.composer, QStringLiteral("Composer"));
    EXPECT_EQ(m.albumArtist, QStringLiteral("AA"));

    // "type" counts while no genre came before it.
    EXPECT_EQ(read(QStringLiteral("b.mp3"), MediaAsset {{item("type", QStringLiteral("T"))}, 3.0, {}}).genre, QStringLiteral("T"));
}

namespace {

// One text of a tag and the field the rules make of it.
struct TagFieldCase {
    const char* key;
    const char* text;
    std::optional<std::int64_t> number;
};

constexpr TagFieldCase kNumberCases[] = {
    {"date", "2004-05-01", 2004},   {"date", "2004", 2004},      {"date", " 1999 ", 1999},      {"date", "20040501", 2004},
    {"date", "2004-05-01T10:00", 2004}, {"date", "0", {}},       {"date", "-1", {}},            {"date", "abc", {}},
    {"date", "", {}},               {"trackNumber", "3/12", 3}, {"trackNumber", "03", 3},      {"trackNumber", "3 / 12", 3},
    {"trackNumber", "0", {}},       {"trackNumber", "0/12", {}}, {"trackNumber", "-1", {}},     {"trackNumber", "abc", {}},
    {"trackNumber", "3 of 12", {}}, {"trackNumber", "99999999999999999999", {}},                {"discNumber", "2/2", 2},
    {"discNumber", "1", 1},         {"discNumber", "0", {}},     {"discNumber", "-1", {}},      {"discNumber", "abc", {}},
    {"bpm", "120", 120},            {"bpm", "120.6", 121},       {"bpm", "120,4", 120},         {"bpm", "0", {}},
    {"bpm", "0.2", {}},             {"bpm", "-1", {}},           {"bpm", "abc", {}},            {"bpm", "12x", {}},
};

std::optional<std::int64_t> numberFor(const char* key, const ExtractedMetadata& m)
{
    const std::string_view field(key);
    if (field == "date")
        return m.year;
    if (field == "trackNumber")
        return m.trackNumber;
    return field == "discNumber" ? m.discNumber : m.bpm;
}

} // namespace

TEST_F(MetadataRulesTest, NumbersAreTakenFromTheirTextAndZeroNegativeOrUnreadableOnesStayAbsent)
{
    for (const TagFieldCase& c : kNumberCases) {
        SCOPED_TRACE(std::string(c.key) + " \"" + c.text + "\"");
        const ExtractedMetadata m = read(QStringLiteral("a.mp3"), MediaAsset {{item(c.key, QString::fromUtf8(c.text))}, 3.0, 44100.0});
        EXPECT_EQ(numberFor(c.key, m), c.number);
    }
}

TEST_F(MetadataRulesTest, EmptyCommentsStayAbsentAndAnUnreadableItemLeavesAnEarlierValue)
{
    EXPECT_EQ(read(QStringLiteral("a.mp3"), MediaAsset {{item("comment", QStringLiteral("Liner\nnotes"))}, 3.0, {}}).comments,
              QStringLiteral("Liner\nnotes"));
    for (const QString& empty : {QString(), QStringLiteral(" \n ")})
        EXPECT_FALSE(read(QStringLiteral("a.mp3"), MediaAsset {{item("comment", empty)}, 3.0, {}}).comments.has_value());

    const ExtractedMetadata m = read(QStringLiteral("b.mp3"), MediaAsset {{item("date", QStringLiteral("1999")), item("date", QStringLiteral("abc")),
                                                                            item("trackNumber", QStringLiteral("2")),
                                                                            item("trackNumber", QStringLiteral("5/9")),
                                                                            item("comment", QStringLiteral("kept")), item("comment", QString())},
                                                                           3.0, {}});
    EXPECT_EQ(m.year, 1999);
    EXPECT_EQ(m.trackNumber, 5);
    EXPECT_EQ(m.comments, QStringLiteral("kept"));
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
        if (format.holdsTags) {
            EXPECT_EQ(m.year, 1999);
            EXPECT_EQ(m.trackNumber, 3);
            EXPECT_EQ(m.discNumber, 1);
            EXPECT_EQ(m.comments, QStringLiteral("Tagged comment"));
            EXPECT_EQ(m.bpm, 120);
            EXPECT_EQ(m.title, QStringLiteral("Tagged Title"));
            EXPECT_EQ(m.artist, QStringLiteral("Tagged Artist"));
            EXPECT_EQ(m.album, QStringLiteral("Tagged Album"));
            EXPECT_EQ(m.genre, QStringLiteral("Tagged Genre"));
            EXPECT_EQ(m.composer, QStringLiteral("Tagged Composer"));
            EXPECT_EQ(m.albumArtist, QStringLiteral("Tagged Album Artist"));
            EXPECT_EQ(artwork(tagged), jpeg);
        } else {
            EXPECT_EQ(m.title, QStringLiteral("tagged"));
            EXPECT_FALSE(m.year || m.trackNumber || m.discNumber || m.comments || m.bpm);
            EXPECT_FALSE(artwork(tagged).has_value());
        }

        const ExtractedMetadata plain = read(QStringLiteral("formats/untagged.") + QLatin1String(format.extension));
        EXPECT_EQ(plain.title, QStringLiteral("untagged"));
        EXPECT_FALSE(plain.artist || plain.album || plain.genre || plain.composer || plain.albumArtist);
        EXPECT_FALSE(plain.year || plain.trackNumber || plain.discNumber || plain.comments || plain.bpm);
        EXPECT_EQ(plain.sampleRate, 48000);
        EXPECT_NEAR(plain.duration, 1.0, 0.25);
    }
}

namespace {

using fixtures::TagKind;

// Each kind of tag the library reads the five fields from, written on a copy
// of an untagged fixture. A RIFF INFO chunk has no disc number or BPM; raw
// AAC's leading ID3v2 tag is read by FFmpeg, everything else by TagLib.
struct TagKindCase {
    const char* extension;
    TagKind kind;
    bool holdsDiscAndBpm = true;
};

constexpr TagKindCase kTagKinds[] = {
    {"mp3", TagKind::Standard}, {"mp3", TagKind::Id3v23}, {"mp3", TagKind::Ape},     {"m4a", TagKind::Standard},
    {"wav", TagKind::Standard}, {"wav", TagKind::RiffInfo, false},                     {"flac", TagKind::Standard},
    {"ogg", TagKind::Standard}, {"wma", TagKind::Standard}, {"aiff", TagKind::Id3v23}, {"aac", TagKind::LeadingId3v2},
};

struct FieldTexts {
    const char* year;
    const char* track;
    const char* disc;
    const char* bpm;
    const char* comment;
};

class TagKindsTest : public MetadataFilesTest {
protected:
    // A copy of the untagged fixture of the case's format with `texts`
    // written as the case's kind of tag.
    FileURL tagged(const TagKindCase& kind, const FieldTexts& texts)
    {
        fixtures::Tags tags;
        tags.kind = kind.kind;
        tags.title = QStringLiteral("Fields");
        const auto text = [](const char* value) { return value ? std::optional<QString>(QString::fromUtf8(value)) : std::nullopt; };
        tags.year = text(texts.year);
        tags.track = text(texts.track);
        tags.comment = text(texts.comment);
        if (kind.holdsDiscAndBpm) {
            tags.disc = text(texts.disc);
            tags.bpm = text(texts.bpm);
        }
        const QString path = m_folder.filePath(QStringLiteral("%1.%2").arg(m_copies++).arg(QLatin1String(kind.extension)));
        fixtures::copyWithTags(test::fixturePath(QStringLiteral("formats/untagged.") + QLatin1String(kind.extension)), path, tags);
        return FileURL::fromLocalFile(path);
    }

    // What an import reads, checked to be what a rescan reads.
    ExtractedMetadata readBothWays(const FileURL& file)
    {
        const ExtractedMetadata m = await(engine.readMetadata(file));
        EXPECT_EQ(m.title, QStringLiteral("Fields"));
        const std::vector<std::optional<TagFields>> fields = await(engine.readTagFields({file}));
        EXPECT_EQ(fields, (std::vector<std::optional<TagFields>> {TagFields {m.year, m.trackNumber, m.discNumber, m.comments, m.bpm}}));
        return m;
    }

private:
    QTemporaryDir m_folder;
    int m_copies = 0;
};

} // namespace

TEST_F(TagKindsTest, EachKindOfTagGivesYearNumbersBpmAndComments)
{
    for (const TagKindCase& kind : kTagKinds) {
        SCOPED_TRACE(std::string(kind.extension) + " kind " + std::to_string(static_cast<int>(kind.kind)));
        const ExtractedMetadata m = readBothWays(tagged(kind, {"2004-05-01", "3/12", "2/3", "128", "Liner notes"}));
        EXPECT_EQ(m.year, 2004);
        EXPECT_EQ(m.trackNumber, 3);
        EXPECT_EQ(m.comments, QStringLiteral("Liner notes"));
        EXPECT_EQ(m.discNumber, kind.holdsDiscAndBpm ? std::optional<std::int64_t>(2) : std::nullopt);
        EXPECT_EQ(m.bpm, kind.holdsDiscAndBpm ? std::optional<std::int64_t>(128) : std::nullopt);
    }
}

TEST_F(TagKindsTest, ZeroNegativeAndUnreadableTagsGiveNothingInAnyKind)
{
    for (const TagKindCase& kind : kTagKinds) {
        SCOPED_TRACE(std::string(kind.extension) + " kind " + std::to_string(static_cast<int>(kind.kind)));
        for (const FieldTexts& texts : {FieldTexts {"abc", "0", "-1", "abc", nullptr}, FieldTexts {"0", "-1", "abc", "0", " "},
                                        FieldTexts {"-1", "abc", "0", "-1", nullptr}}) {
            const ExtractedMetadata m = readBothWays(tagged(kind, texts));
            EXPECT_FALSE(m.year || m.trackNumber || m.discNumber || m.comments || m.bpm)
                << texts.year << " " << texts.track << " " << texts.disc << " " << texts.bpm;
        }
    }
}

TEST_F(MetadataFilesTest, TagFieldsOfManyFilesComeBackInOrderWithNothingForFilesThatCannotBeRead)
{
    std::vector<FileURL> files;
    for (int i = 0; i < 300; ++i)
        files.push_back(FileURL::fromLocalFile(test::fixturePath(i % 2 ? QStringLiteral("formats/tagged.flac") : QStringLiteral("formats/untagged.ogg"))));
    files[7] = FileURL::fromLocalFile(test::fixturePath(QStringLiteral("formats/missing.mp3")));
    files[200] = FileURL::fromLocalFile(test::fixturePath(QStringLiteral("bad/random.mp3")));
    const std::vector<std::optional<TagFields>> fields = await(engine.readTagFields(files));
    ASSERT_EQ(fields.size(), files.size());
    const TagFields standard {1999, 3, 1, QStringLiteral("Tagged comment"), 120};
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i == 7 || i == 200)
            EXPECT_FALSE(fields[i].has_value()) << i;
        else
            EXPECT_EQ(fields[i], i % 2 ? std::optional(standard) : std::optional(TagFields {})) << i;
    }
    EXPECT_TRUE(await(engine.readTagFields({})).empty());
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
