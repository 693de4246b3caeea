#include "TestSupport.h"

#include "playlists/OstrelSearchEngine.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace varno;
using namespace std::chrono_literals;

namespace {

// Time passes only when the test says so.
class ManualDebounceTimer final : public DebounceTimer {
public:
    void start(std::chrono::milliseconds delay, std::function<void()> handler) override
    {
        m_deadline = m_now + delay;
        m_handler = std::move(handler);
    }

    void advance(std::chrono::milliseconds by)
    {
        m_now += by;
        if (m_handler && m_now >= m_deadline)
            std::exchange(m_handler, nullptr)();
    }

private:
    std::chrono::milliseconds m_now {0};
    std::chrono::milliseconds m_deadline {0};
    std::function<void()> m_handler;
};

Track song(const QString& title, std::optional<QString> artist = {}, std::optional<QString> album = {},
           std::optional<QString> genre = {})
{
    Track track = test::makeTrack(title);
    track.artist = std::move(artist);
    track.album = std::move(album);
    track.genre = std::move(genre);
    return track;
}

Playlist playlist(const QString& name)
{
    Playlist p;
    p.id = QUuid::createUuid();
    p.name = name;
    return p;
}

// More songs than are indexed on the main thread, so their index is built on
// the worker.
TrackList largeLibrary(const QString& title)
{
    TrackList songs;
    for (std::size_t i = 0; i <= OstrelSearchEngine::kInlineIndexLimit; ++i)
        songs.append(std::make_shared<const Track>(song(title + QString::number(i), QStringLiteral("Artist"))));
    return songs;
}

class SearchEngineTest : public ::testing::Test {
protected:
    SearchEngineTest()
    {
        engine.updateTracks(TrackList {
            song(QStringLiteral("Purple Rain"), QStringLiteral("Prince"), QStringLiteral("Purple Rain"), QStringLiteral("Pop")),
            song(QStringLiteral("Été indien"), QStringLiteral("Joe Dassin"), QStringLiteral("L'Été indien"), QStringLiteral("Chanson")),
            song(QStringLiteral("Raindrops"), QStringLiteral("Basement Jaxx")),
            song(QStringLiteral("Quiet")),
            song(QStringLiteral("Yesterday"), QStringLiteral("The Beatles"), QStringLiteral("Help!"), QStringLiteral("Rock")),
        });
        engine.updatePlaylists({playlist(QStringLiteral("Rainy Days")), playlist(QStringLiteral("Workout")),
                                playlist(QStringLiteral("Brainstorm"))});
        published.clear();
    }

    void type(const QString& text) { engine.updateQuery(text); }
    void pause(std::chrono::milliseconds by) { timer->advance(by); }
    SearchResults lastPublished() const { return published.last().at(0).value<SearchResults>(); }

    ManualDebounceTimer* timer = new ManualDebounceTimer;
    OstrelSearchEngine engine {std::unique_ptr<DebounceTimer>(timer)};
    QSignalSpy published {&engine, &SearchEngine::resultsPublished};
    QSignalSpy queryChanged {&engine, &SearchEngine::activeQueryChanged};
};

TEST_F(SearchEngineTest, TypingWithinThePauseSearchesOnceForTheFinalText)
{
    for (const char* text : {"r", "ra", "rai", "rain"}) {
        type(QString::fromLatin1(text));
        pause(149ms);
    }
    EXPECT_EQ(published.count(), 0);
    EXPECT_EQ(engine.activeQuery(), QStringLiteral("rain"));

    pause(1ms);
    ASSERT_EQ(published.count(), 1);
    EXPECT_EQ(lastPublished().query, QStringLiteral("rain"));
    EXPECT_EQ(test::titlesOf(lastPublished().songs), (QStringList {QStringLiteral("Purple Rain"), QStringLiteral("Raindrops")}));
    EXPECT_EQ(engine.results(), lastPublished());
}

TEST_F(SearchEngineTest, TheSameTextTwiceAfterThePauseIsSearchedOnce)
{
    type(QStringLiteral("rain"));
    pause(150ms);
    type(QStringLiteral("rai"));
    type(QStringLiteral("rain"));
    pause(150ms);
    EXPECT_EQ(published.count(), 1);
}

TEST_F(SearchEngineTest, ActiveQueryChangedOnlyWhenTheTextChanges)
{
    type(QStringLiteral("rain"));
    type(QStringLiteral("rain"));
    engine.clearSearch();
    engine.clearSearch();
    EXPECT_EQ(queryChanged.count(), 2);
    EXPECT_EQ(engine.activeQuery(), QString());
}

TEST_F(SearchEngineTest, CapitalsAndAccentsAreIgnored)
{
    EXPECT_EQ(test::titlesOf(engine.searchImmediately(QStringLiteral("ÉTÉ")).songs), QStringList {QStringLiteral("Été indien")});
    EXPECT_EQ(test::titlesOf(engine.searchImmediately(QStringLiteral("ete")).songs), QStringList {QStringLiteral("Été indien")});
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("l'ete")).albums, QStringList {QStringLiteral("L'Été indien")});
}

TEST_F(SearchEngineTest, DecomposedAndPrecomposedAccentsAreTheSameText)
{
    const QString decomposedE = QStringLiteral("e\u0301");
    engine.updateTracks(TrackList {song(QStringLiteral("Caf") + decomposedE), song(QStringLiteral("Café au lait"))});
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("CAFÉ")).songs.size(), 2u);
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("caf") + decomposedE).songs.size(), 2u);
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("cafe")).songs.size(), 2u);
}

// Each query, typed without accents in any case, finds the one song whose
// title or artist is written with them, and the other way round.
TEST_F(SearchEngineTest, QueriesWithoutAccentsFindNamesWithThem)
{
    const QList<std::pair<QString, QString>> pairs {
        {QStringLiteral("bjorn"), QStringLiteral("Björn Again")},
        {QStringLiteral("strasse"), QStringLiteral("Die Straße")},
        {QStringLiteral("STRASSE"), QStringLiteral("GROẞE STRAẞE")},
        {QStringLiteral("beyonce"), QStringLiteral("Beyoncé")},
        {QStringLiteral("soren"), QStringLiteral("Søren Lund")},
        {QStringLiteral("lodz"), QStringLiteral("Łódź Nights")},
        {QStringLiteral("istanbul"), QStringLiteral("İSTANBUL")},
        {QStringLiteral("fiesta"), QStringLiteral("ﬁesta")},
        {QStringLiteral("αθηνα"), QStringLiteral("ΑΘΉΝΑ")},
        {QStringLiteral("елка"), QStringLiteral("Ёлка")},
        {QStringLiteral("Björk"), QStringLiteral("bjork")},
        {QStringLiteral("Straße"), QStringLiteral("strasse")},
    };
    for (const auto& [query, name] : pairs) {
        engine.updateTracks(TrackList {song(QStringLiteral("Other"), QStringLiteral("Someone")), song(name),
                                       song(QStringLiteral("Another"), name)});
        const SearchResults results = engine.searchImmediately(query);
        EXPECT_EQ(test::titlesOf(results.songs), (QStringList {name, QStringLiteral("Another")})) << query.toStdString();
        EXPECT_EQ(results.artists, QStringList {name}) << query.toStdString();
    }
}

TEST_F(SearchEngineTest, MarksThatMakeAnotherLetterStillCount)
{
    engine.updateTracks(TrackList {song(QStringLiteral("かえる")), song(QStringLiteral("がっこう")), song(QStringLiteral("한국"))});
    EXPECT_EQ(test::titlesOf(engine.searchImmediately(QStringLiteral("か")).songs), QStringList {QStringLiteral("かえる")});
    EXPECT_EQ(test::titlesOf(engine.searchImmediately(QStringLiteral("が")).songs), QStringList {QStringLiteral("がっこう")});
    // A Hangul syllable is not found by its first letters alone.
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("하")).songs.size(), 0u);
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("한")).songs.size(), 1u);
}

TEST_F(SearchEngineTest, AQueryOfAccentsAloneFindsNothing)
{
    const SearchResults results = engine.searchImmediately(QStringLiteral("\u0301"));
    EXPECT_EQ(results.query, QStringLiteral("\u0301"));
    EXPECT_TRUE(results.songs.empty());
    EXPECT_TRUE(results.playlists.isEmpty());
}

TEST_F(SearchEngineTest, PlaylistNamesMatchIgnoringAccents)
{
    engine.updatePlaylists({playlist(QStringLiteral("Café del Mar")), playlist(QStringLiteral("Workout"))});
    EXPECT_EQ(test::namesOf(engine.searchImmediately(QStringLiteral("CAFE")).playlists), QStringList {QStringLiteral("Café del Mar")});
}

TEST_F(SearchEngineTest, ArtistsMatchIgnoringCaseListedOnceAndSorted)
{
    engine.updateTracks(TrackList {
        song(QStringLiteral("One"), QStringLiteral("abba")), song(QStringLiteral("Two"), QStringLiteral("ABBA")),
        song(QStringLiteral("Three"), QStringLiteral("Abba Tribute")), song(QStringLiteral("Four"), QStringLiteral("ABBA")),
        song(QStringLiteral("Five"), QStringLiteral("Björk")),
    });
    const SearchResults upper = engine.searchImmediately(QStringLiteral("ABB"));
    EXPECT_EQ(upper.artists, (QStringList {QStringLiteral("ABBA"), QStringLiteral("Abba Tribute"), QStringLiteral("abba")}));
    EXPECT_EQ(test::titlesOf(upper.songs), (QStringList {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three"), QStringLiteral("Four")}));
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("abba tribute")).artists, QStringList {QStringLiteral("Abba Tribute")});
}

TEST_F(SearchEngineTest, NamesAboveTheBasicPlaneSortAfterIt)
{
    // U+1D400 is stored as surrogates (0xD835 …), which a comparison of
    // UTF-16 code units would put before U+FF21.
    const QString fullwidthA = QStringLiteral("x\uFF21");
    const QString boldA = QStringLiteral("x") + QString::fromUcs4(U"\U0001D400");
    engine.updateTracks(TrackList {song(QStringLiteral("1"), boldA), song(QStringLiteral("2"), fullwidthA),
                                   song(QStringLiteral("3"), QStringLiteral("xZ"))});
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("x")).artists, (QStringList {QStringLiteral("xZ"), fullwidthA, boldA}));
}

TEST_F(SearchEngineTest, SongsMatchByAnyFieldInListOrderAndNamesByTheirOwnField)
{
    // By genre, by artist, by title, by genre.
    const SearchResults results = engine.searchImmediately(QStringLiteral("o"));
    EXPECT_EQ(test::titlesOf(results.songs), (QStringList {QStringLiteral("Purple Rain"), QStringLiteral("Été indien"),
                                                   QStringLiteral("Raindrops"), QStringLiteral("Yesterday")}));
    EXPECT_EQ(results.artists, (QStringList {QStringLiteral("Joe Dassin")}));
    EXPECT_EQ(results.albums, QStringList());
    EXPECT_EQ(results.genres, (QStringList {QStringLiteral("Chanson"), QStringLiteral("Pop"), QStringLiteral("Rock")}));
    EXPECT_EQ(test::namesOf(results.playlists), (QStringList {QStringLiteral("Workout"), QStringLiteral("Brainstorm")}));

    const SearchResults byAlbum = engine.searchImmediately(QStringLiteral("HELP"));
    EXPECT_EQ(test::titlesOf(byAlbum.songs), QStringList {QStringLiteral("Yesterday")});
    EXPECT_EQ(byAlbum.albums, QStringList {QStringLiteral("Help!")});
}

TEST_F(SearchEngineTest, FoundSongsAreTheRecordsHandedInAndOutliveTheirList)
{
    SearchResults results;
    {
        const TrackList songs {song(QStringLiteral("Rain")), song(QStringLiteral("Sun")), song(QStringLiteral("Rainbow"))};
        engine.updateTracks(songs);
        results = engine.searchImmediately(QStringLiteral("rain"));
        ASSERT_EQ(results.songs.size(), 2u);
        EXPECT_EQ(results.songs.shared(0).get(), songs.shared(0).get());
        EXPECT_EQ(results.songs.shared(1).get(), songs.shared(2).get());
    }
    engine.updateTracks({});
    engine.clearSearch();
    EXPECT_EQ(results.songs.back().title, QStringLiteral("Rainbow"));
}

TEST_F(SearchEngineTest, EmptyQueryPublishesEmptyResults)
{
    type(QStringLiteral("rain"));
    pause(150ms);
    type(QString());
    pause(150ms);
    ASSERT_EQ(published.count(), 2);
    EXPECT_EQ(lastPublished(), SearchResults {});
    EXPECT_EQ(engine.searchImmediately(QString()), SearchResults {});
}

TEST_F(SearchEngineTest, ASingleSpaceIsSearchedLikeAnyText)
{
    const SearchResults results = engine.searchImmediately(QStringLiteral(" "));
    EXPECT_EQ(results.query, QStringLiteral(" "));
    EXPECT_EQ(test::titlesOf(results.songs), (QStringList {QStringLiteral("Purple Rain"), QStringLiteral("Été indien"),
                                                   QStringLiteral("Raindrops"), QStringLiteral("Yesterday")}));
    EXPECT_EQ(test::namesOf(results.playlists), QStringList {QStringLiteral("Rainy Days")});
}

TEST_F(SearchEngineTest, ClearSearchEmptiesTheQueryAndPublishesEmptyResults)
{
    type(QStringLiteral("rain"));
    pause(150ms);
    engine.clearSearch();
    EXPECT_EQ(engine.activeQuery(), QString());
    EXPECT_EQ(lastPublished(), SearchResults {});

    // Typed again after the clear, the same text is searched again.
    type(QStringLiteral("rain"));
    pause(150ms);
    EXPECT_EQ(lastPublished().query, QStringLiteral("rain"));
}

TEST_F(SearchEngineTest, ATextStillWaitingForItsPauseIsDroppedByAClear)
{
    type(QStringLiteral("rain"));
    pause(100ms);
    engine.clearSearch();
    pause(150ms);
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(lastPublished(), SearchResults {});
}

TEST_F(SearchEngineTest, NewSongsWhileAQueryIsActiveArePublishedAtOnce)
{
    type(QStringLiteral("rain"));
    pause(150ms);
    engine.updateTracks(TrackList {song(QStringLiteral("November Rain")), song(QStringLiteral("Sunshine"))});
    ASSERT_EQ(published.count(), 2);
    EXPECT_EQ(lastPublished().query, QStringLiteral("rain"));
    EXPECT_EQ(test::titlesOf(lastPublished().songs), QStringList {QStringLiteral("November Rain")});
}

TEST_F(SearchEngineTest, NewPlaylistsWhileAQueryIsActiveArePublishedAtOnce)
{
    type(QStringLiteral("rain"));
    pause(150ms);
    engine.updatePlaylists({playlist(QStringLiteral("Rain Sounds")), playlist(QStringLiteral("Drizzle"))});
    ASSERT_EQ(published.count(), 2);
    EXPECT_EQ(test::namesOf(lastPublished().playlists), QStringList {QStringLiteral("Rain Sounds")});
}

TEST_F(SearchEngineTest, NewContentWithoutAQueryPublishesNothing)
{
    engine.updateTracks(TrackList {song(QStringLiteral("Rain"))});
    engine.updatePlaylists({});
    EXPECT_EQ(published.count(), 0);
}

TEST_F(SearchEngineTest, LargeLibraryIndexedInTheBackgroundIsPublishedWhenReady)
{
    type(QStringLiteral("rain"));
    pause(150ms);
    engine.updateTracks(largeLibrary(QStringLiteral("Stale ")));
    engine.updateTracks(largeLibrary(QStringLiteral("Rain ")));
    ASSERT_TRUE(published.count() == 2 || published.wait(10'000));
    // The build for the first list is dropped; only the second is published.
    EXPECT_EQ(published.count(), 2);
    EXPECT_EQ(lastPublished().songs.size(), OstrelSearchEngine::kInlineIndexLimit + 1);
    EXPECT_EQ(lastPublished().songs.front().title, QStringLiteral("Rain 0"));
}

TEST_F(SearchEngineTest, SearchImmediatelySeesALargeLibraryJustHandedIn)
{
    engine.updateTracks(largeLibrary(QStringLiteral("Song ")));
    EXPECT_EQ(test::titlesOf(engine.searchImmediately(QStringLiteral("SONG 4999")).songs), QStringList {QStringLiteral("Song 4999")});
    EXPECT_EQ(engine.searchImmediately(QStringLiteral("artist")).artists, QStringList {QStringLiteral("Artist")});
}

TEST_F(SearchEngineTest, EngineDestroyedWhileIndexingIsSafe)
{
    auto doomed = std::make_unique<OstrelSearchEngine>(std::make_unique<ManualDebounceTimer>());
    doomed->updateTracks(largeLibrary(QStringLiteral("Song ")));
    doomed.reset();
    // Whatever the build posted back went with the engine.
    QCoreApplication::processEvents();
}

} // namespace
