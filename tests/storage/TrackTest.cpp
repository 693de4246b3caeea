#include "TestSupport.h"

#include "storage/StateCodecs.h"
#include "storage/TrackError.h"

using namespace varno;

namespace {

std::vector<std::string> keysOf(const std::string& objectJson)
{
    json::Document document(QByteArrayView(objectJson), "x");
    std::vector<std::string> keys;
    json::forEachField(document.root(), document.path(), [&](std::string_view key, json::Value, const json::Path&) { keys.emplace_back(key); });
    return keys;
}

std::string encoded(const Track& track)
{
    std::string out;
    json::Writer w(out);
    json::encode(w, track);
    return out;
}

Track decoded(const std::string& objectJson)
{
    std::string text = "[" + objectJson + "]";
    auto data = std::make_unique<char[]>(text.size() + 64);
    std::copy(text.begin(), text.end(), data.get());
    auto tracks = json::decodeTracks(fileio::FileBytes(std::move(data), text.size(), text.size() + 64), "tracks.json");
    return tracks.at(0);
}

Track fullTrack()
{
    Track t = test::makeTrack(QStringLiteral("Full"));
    t.securityScopedBookmark = QByteArray("bookmark\x00\x01", 10);
    t.artist = QStringLiteral("Artist");
    t.album = QStringLiteral("Album");
    t.genre = QStringLiteral("Genre");
    t.year = 2001;
    t.trackNumber = 3;
    t.discNumber = 1;
    t.composer = QStringLiteral("Composer");
    t.albumArtist = QStringLiteral("Album Artist");
    t.comments = QStringLiteral("Line 1\nLine 2");
    t.bpm = 128;
    t.lyrics = QStringLiteral("la la");
    t.rating = 4;
    t.bitrate = 320;
    t.sampleRate = 44100;
    t.tagFieldsRead = true;
    return t;
}

} // namespace

TEST(Track, FilenameWithSlashIsRejected)
{
    for (const QString& name : {QStringLiteral("a/b.mp3"), QStringLiteral("/")}) {
        EXPECT_EQ(test::errorText([&] { Track(QUuid::createUuid(), FileURL(), name, QStringLiteral("x"), 1, Timestamp::now(), std::nullopt); }),
                  QStringLiteral("The filename '") + name + QStringLiteral("' is invalid. Filenames cannot contain a forward slash ('/')."));
    }
    try {
        Track(QUuid::createUuid(), FileURL(), QStringLiteral("a/b"), QStringLiteral("x"), 1, Timestamp::now(), std::nullopt);
        FAIL();
    } catch (const TrackError& error) {
        EXPECT_EQ(error.kind(), TrackError::Kind::InvalidFilename);
        EXPECT_EQ(error.filename(), QStringLiteral("a/b"));
    }
    EXPECT_NO_THROW(Track(QUuid::createUuid(), FileURL(), QStringLiteral("a\\b.mp3"), QStringLiteral("x"), 1, Timestamp::now(), std::nullopt));
}

TEST(Track, NewRecordHasOnlyRequiredKeysRatingAndDate)
{
    const Track t = test::makeTrack(QStringLiteral("Plain"));
    EXPECT_EQ(t.rating, 0);
    EXPECT_EQ(keysOf(encoded(t)), (std::vector<std::string> {"id", "fileURL", "filename", "title", "duration", "rating", "dateAdded"}));
}

TEST(Track, FullRecordWritesEveryKeyInOrderAndRoundTrips)
{
    const Track t = fullTrack();
    EXPECT_EQ(keysOf(encoded(t)),
              (std::vector<std::string> {"id", "fileURL", "filename", "title", "duration", "securityScopedBookmark", "artist", "album",
                                         "genre", "year", "trackNumber", "discNumber", "composer", "albumArtist", "comments", "bpm",
                                         "lyrics", "rating", "bitrate", "sampleRate", "dateAdded", "tagFieldsRead"}));
    EXPECT_EQ(decoded(encoded(t)), t);
}

TEST(Track, TheTagFieldsMarkIsWrittenOnlyWhenSetAndOldRecordsReadWithoutIt)
{
    Track t = test::makeTrack(QStringLiteral("Marked"));
    t.tagFieldsRead = true;
    EXPECT_TRUE(encoded(t).ends_with(R"(,"tagFieldsRead":true})")) << encoded(t);
    EXPECT_TRUE(decoded(encoded(t)).tagFieldsRead);

    // A record as every earlier version wrote it reads unmarked and is
    // written back byte for byte.
    const std::string old = R"({"id":"0F6C2B9E-0000-4000-8000-000000000001","fileURL":"file:///m/a.mp3","filename":"a.mp3","title":"A",)"
                            R"("duration":2.5,"year":1999,"rating":3,"dateAdded":786000000.25})";
    const Track read = decoded(old);
    EXPECT_FALSE(read.tagFieldsRead);
    EXPECT_EQ(encoded(read), old);
    EXPECT_FALSE(decoded(R"({"id":"0F6C2B9E-0000-4000-8000-000000000001","fileURL":"file:///m/a.mp3","filename":"a.mp3","title":"A",)"
                         R"("duration":2,"tagFieldsRead":null})")
                     .tagFieldsRead);

    Track unmarked = t;
    unmarked.tagFieldsRead = false;
    EXPECT_NE(unmarked, t);
    EXPECT_NE(qHash(unmarked), qHash(t));
}

TEST(Track, DecodingDefaultsRatingAndDateAdded)
{
    const Timestamp before = Timestamp::now();
    const Track t = decoded(R"({"id":"0F6C2B9E-0000-4000-8000-000000000001","fileURL":"file:///a.mp3","filename":"a/b","title":"T","duration":2,"rating":null})");
    EXPECT_EQ(t.rating, 0);
    ASSERT_TRUE(t.dateAdded.has_value());
    EXPECT_GE(*t.dateAdded, before);
    EXPECT_LE(*t.dateAdded, Timestamp::now());
    // Stored records keep their filename even when it breaks the rule for new ones.
    EXPECT_EQ(t.filename, QStringLiteral("a/b"));
}

TEST(Track, EqualityAndHashCoverEveryField)
{
    const QUuid id = QUuid::createUuid();
    Track a = test::makeTrack(QStringLiteral("Same"), id);
    Track b = test::makeTrack(QStringLiteral("Same"), id);
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));

    b.lyrics = QStringLiteral("words");
    EXPECT_NE(a, b);
    EXPECT_NE(qHash(a), qHash(b));

    // Present-but-empty differs from absent.
    b.lyrics = QString();
    EXPECT_NE(a, b);
    EXPECT_NE(qHash(a), qHash(b));

    b = a;
    a.duration = 0.0;
    b.duration = -0.0;
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
}
