#include "TestSupport.h"

#include "workspace/TrackSorting.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

using namespace varno;
using Field = TrackSortField;

namespace {

const QCollator kEnglish {QLocale(QLocale::English, QLocale::UnitedStates)};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Track song(std::function<void(Track&)> edit = {})
{
    Track track = test::makeTrack(QStringLiteral("Song"));
    track.dateAdded.reset();
    if (edit)
        edit(track);
    return track;
}

Track titled(const QString& title)
{
    return song([&](Track& t) { t.title = title; });
}

Track atPath(const QString& path)
{
    return song([&](Track& t) { t.fileURL = FileURL::fromLocalFile(path); });
}

QStringList titlesAndIds(const TrackList& songs)
{
    QStringList out;
    for (const Track& song : songs)
        out << song.title + QLatin1Char('/') + song.id.toString(QUuid::WithoutBraces);
    return out;
}

const char* nameOf(std::weak_ordering order)
{
    return order == std::weak_ordering::less ? "less" : order == std::weak_ordering::greater ? "greater" : "same";
}

// Two songs differing in one field, and how they compare on it.
struct ComparisonCase {
    const char* name;
    Field field;
    Track a;
    Track b;
    std::weak_ordering expected;
};

class CompareTracksTest : public ::testing::TestWithParam<ComparisonCase> { };

TEST_P(CompareTracksTest, ComparesTheFieldWithItsMissingValueRule)
{
    const ComparisonCase& c = GetParam();
    EXPECT_STREQ(nameOf(compareTracks(c.a, c.b, c.field, kEnglish)), nameOf(c.expected));
    // The other way round gives the opposite.
    const std::weak_ordering reversed = 0 <=> c.expected;
    EXPECT_STREQ(nameOf(compareTracks(c.b, c.a, c.field, kEnglish)), nameOf(reversed));
}

constexpr auto less = std::weak_ordering::less;
constexpr auto same = std::weak_ordering::equivalent;
constexpr auto greater = std::weak_ordering::greater;

INSTANTIATE_TEST_SUITE_P(
    Fields, CompareTracksTest,
    ::testing::Values(
        ComparisonCase {"TitleByWordsNotCodePoints", Field::Title, titled("apple"), titled("Banana"), less},
        ComparisonCase {"TitleAccentsSortWithTheirLetter", Field::Title, titled("Été"), titled("Ezra"), less},
        ComparisonCase {"TitleAccentAfterPlainLetter", Field::Title, titled("Ete"), titled("Été"), less},
        ComparisonCase {"TitleDigitsAsText", Field::Title, titled("Song 10"), titled("Song 2"), less},
        ComparisonCase {"TitleEqual", Field::Title, titled("Same"), titled("Same"), same},
        ComparisonCase {"ArtistMissingIsEmpty", Field::Artist, song(), song([](Track& t) { t.artist = "Abba"; }), less},
        ComparisonCase {"ArtistMissingEqualsEmpty", Field::Artist, song(), song([](Track& t) { t.artist = ""; }), same},
        ComparisonCase {"Album", Field::Album, song([](Track& t) { t.album = "Zoo"; }), song([](Track& t) { t.album = "Ærø"; }), greater},
        ComparisonCase {"AlbumArtistMissingFirst", Field::AlbumArtist, song([](Track& t) { t.albumArtist = "Zed"; }), song(), greater},
        ComparisonCase {"Genre", Field::Genre, song([](Track& t) { t.genre = "jazz"; }), song([](Track& t) { t.genre = "Rock"; }), less},
        ComparisonCase {"YearMissingIsZero", Field::Year, song(), song([](Track& t) { t.year = 0; }), same},
        ComparisonCase {"YearMissingBeforeYearOne", Field::Year, song(), song([](Track& t) { t.year = 1; }), less},
        ComparisonCase {"NegativeYearBeforeMissing", Field::Year, song([](Track& t) { t.year = -5; }), song(), less},
        ComparisonCase {"TrackNumberNumeric", Field::TrackNumber, song([](Track& t) { t.trackNumber = 2; }),
                        song([](Track& t) { t.trackNumber = 10; }), less},
        ComparisonCase {"BitrateMissingIsZero", Field::Bitrate, song(), song([](Track& t) { t.bitrate = 128; }), less},
        ComparisonCase {"SampleRate", Field::SampleRate, song([](Track& t) { t.sampleRate = 48000; }),
                        song([](Track& t) { t.sampleRate = 44100; }), greater},
        ComparisonCase {"Duration", Field::Duration, song([](Track& t) { t.duration = 59.5; }), song([](Track& t) { t.duration = 60; }), less},
        ComparisonCase {"DurationNaNFirst", Field::Duration, song([](Track& t) { t.duration = kNaN; }), song([](Track& t) { t.duration = -1; }),
                        less},
        ComparisonCase {"DurationNaNEqualsNaN", Field::Duration, song([](Track& t) { t.duration = kNaN; }),
                        song([](Track& t) { t.duration = kNaN; }), same},
        ComparisonCase {"FormatIsThePathExtension", Field::Format, atPath("/m/b.mp3"), atPath("/m/a.FLAC"), greater},
        ComparisonCase {"FormatMissingExtensionIsEmpty", Field::Format, atPath("/m/README"), atPath("/m/x.aac"), less},
        ComparisonCase {"FormatIgnoresFolderDots", Field::Format, atPath("/m/v1.5/track"), atPath("/m/track"), same},
        ComparisonCase {"FormatEscapedName", Field::Format, atPath("/m/a b#1.ogg"), atPath("/m/c.ogg"), same},
        ComparisonCase {"DateAddedChronological", Field::DateAdded,
                        song([](Track& t) { t.dateAdded = Timestamp::fromSecondsSinceReferenceDate(-10); }),
                        song([](Track& t) { t.dateAdded = Timestamp::fromSecondsSinceReferenceDate(5); }), less},
        ComparisonCase {"DateAddedMissingIsDistantPast", Field::DateAdded, song(),
                        song([](Track& t) { t.dateAdded = Timestamp::fromSecondsSinceReferenceDate(-1e12); }), less}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackSortingTest, PathExtension)
{
    EXPECT_EQ(pathExtension(FileURL::fromLocalFile("/music/a.b/Song.Flac")), "Flac");
    EXPECT_EQ(pathExtension(FileURL::fromLocalFile("/music/Ça va.mp3")), "mp3");
    EXPECT_EQ(pathExtension(FileURL::fromLocalFile("/music/.hidden")), "");
    EXPECT_EQ(pathExtension(FileURL::fromLocalFile("/music/noext")), "");
    EXPECT_EQ(pathExtension(FileURL::fromLocalFile("/music/odd.é")), "é");
    EXPECT_EQ(pathExtension(*FileURL::fromEncoded("https://example.com/a.wav?x=1.2#t.3")), "wav");
}

// Songs that compare the same on the field: the UUID text decides, in both
// directions.
TEST(TrackSortingTest, EqualValuesKeepUuidOrderInBothDirections)
{
    const Track first = song([](Track& t) {
        t.id = QUuid("{0A000000-0000-4000-8000-000000000000}");
        t.title = "Same";
    });
    const Track second = song([](Track& t) {
        t.id = QUuid("{A0000000-0000-4000-8000-000000000000}");
        t.title = "Same";
    });
    for (bool ascending : {true, false}) {
        const TrackSortOrder order {Field::Title, ascending};
        EXPECT_TRUE(sortPrecedes(first, second, order, kEnglish));
        EXPECT_FALSE(sortPrecedes(second, first, order, kEnglish));
        EXPECT_EQ(titlesAndIds(sortedTracks(TrackList {second, first}, order, kEnglish)), titlesAndIds(TrackList {first, second}));
    }
}

Track named(const QString& title, std::function<void(Track&)> edit)
{
    Track track = titled(title);
    edit(track);
    return track;
}

// Orders of whole lists, ascending and descending, by the fields' titles;
// sorting pair by pair with sortPrecedes gives the same order. Songs that tie
// on the field are ordered by the later keys, ascending in both directions
// of the field: an album reads in disc and track order.
struct ListOrderCase {
    const char* name;
    Field field;
    std::vector<Track> songs;
    QStringList ascending;
    QStringList descending;
};

class ListOrderTest : public ::testing::TestWithParam<ListOrderCase> { };

TEST_P(ListOrderTest, SortsBothWays)
{
    const ListOrderCase& c = GetParam();
    const TrackList songs(c.songs);
    for (bool ascending : {true, false}) {
        const TrackSortOrder order {c.field, ascending};
        const QStringList& expected = ascending ? c.ascending : c.descending;
        EXPECT_EQ(test::titlesOf(sortedTracks(songs, order, kEnglish)), expected) << (ascending ? "ascending" : "descending");
        QList<SharedTrack> pairwise = songs.sharedSongs();
        std::stable_sort(pairwise.begin(), pairwise.end(), [&](const SharedTrack& x, const SharedTrack& y) { return sortPrecedes(*x, *y, order, kEnglish); });
        EXPECT_EQ(test::titlesOf(TrackList(pairwise)), expected) << "pairwise";
    }
}

Track onAlbum(const QString& title, const QString& album, std::optional<std::int64_t> disc, std::optional<std::int64_t> track,
              std::function<void(Track&)> edit = {})
{
    Track t = titled(title);
    t.album = album;
    t.discNumber = disc;
    t.trackNumber = track;
    if (edit)
        edit(t);
    return t;
}

INSTANTIATE_TEST_SUITE_P(
    Ties, ListOrderTest,
    ::testing::Values(
        // Files named out of order, two discs, one song with no number.
        ListOrderCase {"AlbumByDiscThenTrack", Field::Album,
                 {onAlbum("d2t1", "Harbour", 2, 1), onAlbum("d1t10", "Harbour", 1, 10), onAlbum("d1t2", "Harbour", 1, 2),
                  onAlbum("other", "Acoustic", 1, 3), onAlbum("none", "Harbour", std::nullopt, std::nullopt),
                  onAlbum("d1t1", "Harbour", 1, 1)},
                 {"other", "none", "d1t1", "d1t2", "d1t10", "d2t1"},
                 {"none", "d1t1", "d1t2", "d1t10", "d2t1", "other"}},
        // Two albums of one name: the album artist, else the artist, keeps
        // each together.
        ListOrderCase {"AlbumSameNameByAlbumArtistOrArtist", Field::Album,
                 {onAlbum("b1", "Greatest", 1, 1, [](Track& t) { t.artist = "Zed"; t.albumArtist = "Band"; }),
                  onAlbum("a2", "Greatest", 1, 2, [](Track& t) { t.artist = "Abba"; }),
                  onAlbum("b2", "Greatest", 1, 2, [](Track& t) { t.artist = "Band"; t.albumArtist = ""; }),
                  onAlbum("a1", "Greatest", 1, 1, [](Track& t) { t.artist = "Abba"; })},
                 {"a1", "a2", "b1", "b2"},
                 {"a1", "a2", "b1", "b2"}},
        ListOrderCase {"ArtistByAlbumDiscTrack", Field::Artist,
                 {onAlbum("y2", "Y", 1, 2, [](Track& t) { t.artist = "A"; }), onAlbum("x1", "X", 1, 1, [](Track& t) { t.artist = "A"; }),
                  onAlbum("y1", "Y", 1, 1, [](Track& t) { t.artist = "A"; }), onAlbum("b", "A", 1, 1, [](Track& t) { t.artist = "B"; })},
                 {"x1", "y1", "y2", "b"},
                 {"b", "x1", "y1", "y2"}},
        ListOrderCase {"YearByAlbumThenTrack", Field::Year,
                 {onAlbum("n2", "New", 1, 2, [](Track& t) { t.year = 2004; }), onAlbum("o", "Old", 1, 9, [](Track& t) { t.year = 1990; }),
                  onAlbum("n1", "New", 1, 1, [](Track& t) { t.year = 2004; }), onAlbum("m", "Mid", 1, 5, [](Track& t) { t.year = 2004; })},
                 {"o", "m", "n1", "n2"},
                 {"m", "n1", "n2", "o"}},
        ListOrderCase {"GenreByArtistFirst", Field::Genre,
                 {onAlbum("z-a", "A", 1, 1, [](Track& t) { t.genre = "Jazz"; t.artist = "Zoe"; }),
                  onAlbum("a-b", "B", 1, 1, [](Track& t) { t.genre = "Jazz"; t.artist = "Al"; }),
                  onAlbum("a-a", "A", 1, 2, [](Track& t) { t.genre = "Jazz"; t.artist = "Al"; })},
                 {"a-a", "a-b", "z-a"},
                 {"a-a", "a-b", "z-a"}},
        ListOrderCase {"TrackNumberByAlbumDiscThenTitle", Field::TrackNumber,
                 {onAlbum("b", "Y", 1, 1), onAlbum("c", "X", 2, 1), onAlbum("a", "Y", 1, 1), onAlbum("d", "X", 1, 1), onAlbum("e", "X", 1, 2)},
                 {"d", "c", "a", "b", "e"},
                 {"e", "d", "c", "a", "b"}},
        ListOrderCase {"OtherFieldsByTitle", Field::Bitrate,
                 {named("b", [](Track& t) { t.bitrate = 320; }), named("C", [](Track& t) { t.bitrate = 320; }),
                  named("a", [](Track& t) { t.bitrate = 320; }), named("low", [](Track& t) { t.bitrate = 128; })},
                 {"low", "a", "b", "C"},
                 {"a", "b", "C", "low"}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Lists, ListOrderTest,
    ::testing::Values(
        ListOrderCase {"ArtistMissingFirstThenLast", Field::Artist,
                       {named("b", [](Track& t) { t.artist = "Beck"; }), named("none", [](Track&) {}),
                        named("a", [](Track& t) { t.artist = "abba"; })},
                       {"none", "a", "b"}, {"b", "a", "none"}},
        ListOrderCase {"YearMissingBetweenNegativeAndOne", Field::Year,
                       {named("one", [](Track& t) { t.year = 1; }), named("none", [](Track&) {}),
                        named("minus", [](Track& t) { t.year = -1; })},
                       {"minus", "none", "one"}, {"one", "none", "minus"}},
        ListOrderCase {"DateAddedMissingFirst", Field::DateAdded,
                       {named("new", [](Track& t) { t.dateAdded = Timestamp::now(); }), named("none", [](Track&) {}),
                        named("old", [](Track& t) { t.dateAdded = Timestamp::fromSecondsSinceReferenceDate(0); })},
                       {"none", "old", "new"}, {"new", "old", "none"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A mixed list: accents, cases, missing values, equal values, copies of one
// song. The keyed sort must give exactly what sorting with sortPrecedes
// gives, for every field and both directions.
TrackList mixedList()
{
    std::mt19937 random(3);
    const QStringList texts {"", "a", "A", "b", "É", "e", "Ö", "o", "z", "Zebra", "zebra", "ß", "ss", "日本", "Ω", "1", "10", "2"};
    const QStringList paths {"/m/a.mp3", "/m/b.MP3", "/m/c.flac", "/m/d", "/m/e.ogg", "/m/f.Ogg", "/m/.g"};
    std::vector<Track> songs;
    for (int i = 0; i < 120; ++i) {
        songs.push_back(song([&](Track& t) {
            const auto pick = [&](const QStringList& list) { return list[static_cast<qsizetype>(random() % list.size())]; };
            const auto maybe = [&](auto value) { return random() % 4 == 0 ? std::nullopt : std::optional(value); };
            t.title = pick(texts);
            t.artist = maybe(pick(texts));
            t.album = maybe(pick(texts));
            t.albumArtist = maybe(pick(texts));
            t.genre = maybe(pick(texts));
            t.year = maybe(std::int64_t(random() % 5) - 1);
            t.trackNumber = maybe(std::int64_t(random() % 4));
            t.discNumber = maybe(std::int64_t(random() % 3));
            t.bitrate = maybe(std::int64_t(random() % 3) * 128);
            t.sampleRate = maybe(std::int64_t(44100 + (random() % 2) * 3900));
            t.duration = random() % 10 == 0 ? kNaN : double(random() % 4) / 2;
            if (random() % 3)
                t.dateAdded = Timestamp::fromSecondsSinceReferenceDate(double(random() % 3));
            t.fileURL = FileURL::fromLocalFile(pick(paths));
        }));
    }
    songs.push_back(songs[5]);
    songs.push_back(songs[5]);
    return TrackList(songs);
}

TEST(TrackSortingTest, KeyedSortAgreesWithSortPrecedesOnEveryFieldAndDirection)
{
    const TrackList songs = mixedList();
    for (int f = 0; f <= static_cast<int>(Field::DateAdded); ++f) {
        for (bool ascending : {true, false}) {
            const TrackSortOrder order {static_cast<Field>(f), ascending};
            QList<SharedTrack> expected = songs.sharedSongs();
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const SharedTrack& a, const SharedTrack& b) { return sortPrecedes(*a, *b, order, kEnglish); });
            const TrackList sorted = sortedTracks(songs, order, kEnglish);
            EXPECT_EQ(titlesAndIds(sorted), titlesAndIds(TrackList(expected))) << rawValue(order.field).toStdString() << " " << ascending;
            // The same records, not copies.
            EXPECT_EQ(sorted.shared(0).get(), expected.front().get());
        }
    }
}

TEST(TrackSortingTest, ShownListCarriesTheIdsInTheSameOrder)
{
    const TrackList songs = mixedList();
    const ShownTracks shown = sortForDisplay(songs, {Field::Genre, false}, kEnglish);
    EXPECT_EQ(titlesAndIds(shown.tracks), titlesAndIds(sortedTracks(songs, {Field::Genre, false}, kEnglish)));
    ASSERT_EQ(shown.ids.size(), songs.size());
    for (std::size_t i = 0; i < shown.ids.size(); ++i)
        EXPECT_EQ(shown.ids[i], shown.tracks[i].id);
}

// Above a few thousand texts, keys are built and ordered on two threads.
TEST(TrackSortingTest, LargeListsSortLikeSmallOnes)
{
    std::mt19937 random(9);
    const QStringList words {"été", "Ete", "eté", "zebra", "Zebra", "apple", "Äpfel", "ß", "ss", "ñu", "nu", ""};
    std::vector<Track> songs;
    for (int i = 0; i < 20000; ++i) {
        songs.push_back(song([&](Track& t) {
            t.title = words[static_cast<qsizetype>(random() % words.size())] + QString::number(random() % 50);
            t.artist = words[static_cast<qsizetype>(random() % words.size())];
        }));
    }
    const TrackList list(songs);
    for (const TrackSortOrder& order : {TrackSortOrder {Field::Title, true}, TrackSortOrder {Field::Artist, false}}) {
        QList<SharedTrack> expected = list.sharedSongs();
        std::stable_sort(expected.begin(), expected.end(),
                         [&](const SharedTrack& a, const SharedTrack& b) { return sortPrecedes(*a, *b, order, kEnglish); });
        EXPECT_EQ(titlesAndIds(sortedTracks(list, order, kEnglish)), titlesAndIds(TrackList(expected))) << rawValue(order.field).toStdString();
    }
}

TEST(TrackSortingTest, UuidOrderIsTheOrderOfTheUpperCaseText)
{
    std::mt19937_64 random(11);
    for (int i = 0; i < 2000; ++i) {
        QByteArray a(16, 0), b(16, 0);
        for (int k = 0; k < 16; ++k) {
            a[k] = char(random());
            // Often equal prefixes, so later bytes decide too.
            b[k] = random() % 3 ? a[k] : char(random());
        }
        const QUuid x = QUuid::fromRfc4122(a), y = QUuid::fromRfc4122(b);
        const QString textX = x.toString(QUuid::WithoutBraces).toUpper(), textY = y.toString(QUuid::WithoutBraces).toUpper();
        ASSERT_EQ(uuidTextPrecedes(x, y), textX < textY) << textX.toStdString() << " " << textY.toStdString();
    }
}

TEST(TrackSortingTest, HeaderClicksToggleTheDirectionOfTheSortColumn)
{
    struct Step {
        TrackTableColumnID clicked;
        TrackSortOrder after;
    };
    TrackSortOrder order;
    EXPECT_EQ(order, (TrackSortOrder {Field::Title, true}));
    for (const Step& step : {Step {TrackTableColumnID::Year, {Field::Year, true}}, Step {TrackTableColumnID::Year, {Field::Year, false}},
                             Step {TrackTableColumnID::Year, {Field::Year, true}}, Step {TrackTableColumnID::Format, {Field::Format, true}},
                             Step {TrackTableColumnID::Title, {Field::Title, true}}, Step {TrackTableColumnID::Title, {Field::Title, false}}}) {
        order.sortByColumn(step.clicked);
        EXPECT_EQ(order, step.after) << rawValue(step.clicked).toStdString();
    }
    EXPECT_EQ(rawValue(Field::AlbumArtist), "albumArtist");
}

TEST(TrackSortingTest, UserCollatorOrdersWordsEvenWithoutALanguage)
{
    const QCollator collator = trackCollator();
    EXPECT_LT(collator.compare(QStringLiteral("apple"), QStringLiteral("Banana")), 0);
    EXPECT_TRUE(sortPrecedes(titled("apple"), titled("Banana"), TrackSortOrder {}));
}

} // namespace
