#include "ModelChecks.h"
#include "SongListTestSupport.h"

#include "ui/songs/FilteredLibraryTrackSource.h"
#include "ui/songs/FixedTrackSource.h"
#include "ui/songs/TrackCellFormatter.h"
#include "ui/songs/TrackListSource.h"
#include "ui/songs/TrackListTexts.h"

#include <QSignalSpy>

using namespace varno;
using namespace varno::test;

namespace {

using Kind = TrackListChange::Kind;

class TrackTableModelTest : public SongListTest {
protected:
    // Every column shown, so each cell's text can be read.
    void SetUp() override
    {
        SongListTest::SetUp();
        for (TrackTableColumnID column : kAllTrackTableColumns)
            harness->trackTableLayout.setColumnVisible(column, true, nullptr);
    }

    // A model over songs handed to it, as a playlist's list is.
    TrackTableModel& modelOver(TrackList tracks)
    {
        fixedSource = std::make_unique<FixedTrackSource>(std::move(tracks));
        fixedModel = std::make_unique<TrackTableModel>(*fixedSource, harness->environment());
        checkModel(*fixedModel);
        return *fixedModel;
    }

    QString cell(TrackTableModel& tracks, int row, TrackTableColumnID column)
    {
        return tracks.data(tracks.index(row, tracks.columnOf(column))).toString();
    }

    void TearDown() override
    {
        fixedModel.reset();
        fixedSource.reset();
        SongListTest::TearDown();
    }

    std::unique_ptr<FixedTrackSource> fixedSource;
    std::unique_ptr<TrackTableModel> fixedModel;
};

TEST_F(TrackTableModelTest, CellsShowEachColumnsTextWithADashForWhatIsMissing)
{
    Track short_ = makeTrack(QStringLiteral("Short"));
    short_.duration = 59;
    short_.sampleRate = 44100;
    short_.bitrate = 320;
    short_.year = 1999;
    short_.trackNumber = 7;
    short_.artist = QStringLiteral("Somebody");
    short_.fileURL = FileURL::fromLocalFile(QStringLiteral("/music/Short.flac"));
    Track long_ = makeTrack(QStringLiteral("Long"));
    long_.duration = 3725.9;
    long_.dateAdded.reset();
    TrackTableModel& tracks = modelOver(TrackList {short_, long_});

    const int shortRow = tracks.rowOfID(short_.id);
    const int longRow = tracks.rowOfID(long_.id);
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::Duration), QStringLiteral("0:59"));
    EXPECT_EQ(cell(tracks, longRow, TrackTableColumnID::Duration), QStringLiteral("1:02:05"));
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::SampleRate), QStringLiteral("44.1 kHz"));
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::Bitrate), QStringLiteral("320 kbps"));
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::Format), QStringLiteral("FLAC"));
    EXPECT_EQ(cell(tracks, longRow, TrackTableColumnID::Format), QStringLiteral("MP3"));
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::Year), QStringLiteral("1999"));
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::TrackNumber), QStringLiteral("7"));
    EXPECT_EQ(cell(tracks, shortRow, TrackTableColumnID::Artist), QStringLiteral("Somebody"));
    for (TrackTableColumnID missing : {TrackTableColumnID::Artist, TrackTableColumnID::Album, TrackTableColumnID::AlbumArtist,
                                       TrackTableColumnID::Genre, TrackTableColumnID::Year, TrackTableColumnID::TrackNumber,
                                       TrackTableColumnID::Bitrate, TrackTableColumnID::SampleRate, TrackTableColumnID::DateAdded})
        EXPECT_EQ(cell(tracks, longRow, missing), QStringLiteral("—")) << rawValue(missing).toStdString();
}

TEST_F(TrackTableModelTest, DatesUseTheLocalesMediumStyleWithoutWeekdayOrTime)
{
    const TrackCellFormatter american(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(american.dateText(QDate(2024, 3, 5)), QStringLiteral("Mar 5, 2024"));
    const TrackCellFormatter german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(german.dateText(QDate(2024, 3, 5)), QStringLiteral("5. März 2024"));
}

TEST_F(TrackTableModelTest, RowsStartSortedByTitleAndFollowANewSortOrder)
{
    Track a = makeTrack(QStringLiteral("Apple"));
    a.artist = QStringLiteral("Zed");
    Track b = makeTrack(QStringLiteral("banana"));
    b.artist = QStringLiteral("Amy");
    Track c = makeTrack(QStringLiteral("Cherry"));
    TrackTableModel& tracks = modelOver(TrackList {c, b, a});
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Apple", "banana", "Cherry"}));

    tracks.sortByColumn(TrackTableColumnID::Artist);
    // No artist counts as empty text, which comes first.
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Cherry", "banana", "Apple"}));
    tracks.sortByColumn(TrackTableColumnID::Artist);
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Apple", "banana", "Cherry"}));
    EXPECT_EQ(tracks.headerData(tracks.columnOf(TrackTableColumnID::Artist), Qt::Horizontal, Qt::AccessibleDescriptionRole).toString(),
              QStringLiteral("Sort by Artist, Descending"));
    EXPECT_EQ(tracks.headerData(tracks.columnOf(TrackTableColumnID::Title), Qt::Horizontal, Qt::AccessibleDescriptionRole).toString(),
              QStringLiteral("Sort by Title, Not selected"));
}

TEST_F(TrackTableModelTest, ALongListSortsOnAWorkerWhileItsRowsKeepTheirOrderAndFollowChanges)
{
    std::vector<Track> songs;
    for (std::size_t i = 0; i <= TrackTableModel::kLargestSortOnTheSpot; ++i) {
        Track t = makeTrack(QStringLiteral("Song %1").arg(i, 6, 10, QLatin1Char('0')));
        t.artist = QStringLiteral("Artist %1").arg((i * 7919) % 1000, 4, 10, QLatin1Char('0'));
        songs.push_back(t);
    }
    TrackTableModel& tracks = modelOver(TrackList(songs));
    const std::vector<QUuid> byTitle = tracks.shownTracks().ids;
    QSignalSpy relaid(&tracks, &QAbstractItemModel::layoutChanged);

    // The header follows the click at once; the rows wait for the worker,
    // and only the last of two quick clicks is shown.
    tracks.sortByColumn(TrackTableColumnID::Artist);
    tracks.sortByColumn(TrackTableColumnID::Artist);
    EXPECT_TRUE(tracks.isSorting());
    EXPECT_EQ(tracks.sortOrder(), (TrackSortOrder {TrackSortField::Artist, false}));
    EXPECT_EQ(tracks.shownTracks().ids, byTitle);

    // A song added meanwhile gets its row among the rows as they stand, and
    // its place in the new order.
    Track late = makeTrack(QStringLiteral("Song late"));
    late.artist = QStringLiteral("Artist 9999");
    songs.push_back(late);
    fixedSource->setTracks(TrackList(songs));
    EXPECT_EQ(tracks.rowOfID(late.id), static_cast<int>(songs.size()) - 1);

    ASSERT_TRUE(test::waitUntil([&] { return !tracks.isSorting(); }));
    EXPECT_EQ(relaid.count(), 1);
    EXPECT_EQ(tracks.shownTracks().ids, sortForDisplay(TrackList(songs), tracks.sortOrder(), trackCollator()).ids);
    EXPECT_EQ(tracks.rowOfID(late.id), 0);

    // Back to the listed order: that needs no sorting and is shown at once.
    tracks.setSortOrder(TrackSortOrder::listed());
    EXPECT_FALSE(tracks.isSorting());
    EXPECT_EQ(tracks.trackAt(0).id, songs.front().id);
}

// What a model tells its view when the library changes under it; Qt's
// model tester checks each announcement against the model as it is made.
struct ModelSignals {
    explicit ModelSignals(TrackTableModel& tracks)
        : changed(&tracks, &QAbstractItemModel::dataChanged)
        , reset(&tracks, &QAbstractItemModel::modelReset)
        , moved(&tracks, &QAbstractItemModel::rowsMoved)
        , inserted(&tracks, &QAbstractItemModel::rowsInserted)
        , removed(&tracks, &QAbstractItemModel::rowsRemoved)
        , relaid(&tracks, &QAbstractItemModel::layoutChanged)
    {
        checkModel(tracks);
    }
    QSignalSpy changed, reset, moved, inserted, removed, relaid;
};

TEST_F(TrackTableModelTest, AnEditedSongIsOneRowChangedOrMovedAndNeverAReset)
{
    addSongs({QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")});
    LibraryTrackSource source(library());
    TrackTableModel tracks(source, harness->environment());
    ModelSignals spy(tracks);

    edit(QStringLiteral("Bravo"), [](Track& t) { t.genre = QStringLiteral("Jazz"); });
    EXPECT_EQ(spy.changed.count(), 1);
    const int bravo = tracks.rowOfID(song(QStringLiteral("Bravo")).id);
    EXPECT_EQ(spy.changed.first().at(0).value<QModelIndex>().row(), bravo);
    EXPECT_EQ(cell(tracks, bravo, TrackTableColumnID::Genre), QStringLiteral("Jazz"));

    edit(QStringLiteral("Alpha"), [](Track& t) { t.title = QStringLiteral("Delta"); });
    EXPECT_EQ(spy.moved.count(), 1);
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Bravo", "Charlie", "Delta"}));
    EXPECT_EQ(spy.reset.count(), 0);
    EXPECT_EQ(spy.relaid.count(), 0);
}

TEST_F(TrackTableModelTest, ImportedAndRemovedSongsAreRowInsertionsAndRemovalsThatKeepTheSelection)
{
    addSongs({QStringLiteral("Bravo"), QStringLiteral("Delta")});
    LibraryTrackSource source(library());
    TrackTableModel tracks(source, harness->environment());
    tracks.clickRow(tracks.rowOfID(song(QStringLiteral("Delta")).id), {});
    ModelSignals spy(tracks);

    addSongs({QStringLiteral("Charlie")});
    EXPECT_GE(spy.inserted.count(), 1);
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Bravo", "Charlie", "Delta"}));

    await(library().removeTrack(song(QStringLiteral("Bravo")), RemovalKind::KeepFile));
    EXPECT_EQ(spy.removed.count(), 1);
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Charlie", "Delta"}));
    EXPECT_EQ(spy.reset.count(), 0);
    EXPECT_EQ(titlesOf(tracks.selectedTracks()), (QStringList {"Delta"}));

    await(library().removeTrack(song(QStringLiteral("Delta")), RemovalKind::KeepFile));
    EXPECT_EQ(tracks.selectionCount(), 0);
}

TEST_F(TrackTableModelTest, TopRatedAndFavouritesFilterTheLibraryInTheirOwnOrder)
{
    Track a = makeTrack(QStringLiteral("A"));
    a.rating = 3;
    Track b = makeTrack(QStringLiteral("B"));
    b.rating = 5;
    Track c = makeTrack(QStringLiteral("C"));
    c.rating = 3;
    Track d = makeTrack(QStringLiteral("D"));
    d.rating = 4;
    Track e = makeTrack(QStringLiteral("E"));
    const TrackList library {a, b, c, d, e};
    EXPECT_EQ(titlesOf(topRatedTracks(library)), (QStringList {"B", "D", "A", "C"}));
    EXPECT_EQ(titlesOf(favoriteTracks(library)), (QStringList {"B", "D"}));
}

TEST_F(TrackTableModelTest, FavouritesListFollowsRatingChangesRowByRow)
{
    addSongs({QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")});
    edit(QStringLiteral("Alpha"), [](Track& t) { t.rating = 5; });
    FilteredLibraryTrackSource favorites(library(), favoriteTracks);
    TrackTableModel tracks(favorites, harness->environment());
    ModelSignals spy(tracks);

    edit(QStringLiteral("Charlie"), [](Track& t) { t.rating = 4; });
    edit(QStringLiteral("Bravo"), [](Track& t) { t.rating = 3; });
    edit(QStringLiteral("Alpha"), [](Track& t) { t.rating = 0; });
    EXPECT_EQ(titlesOf(tracks.shownTracks().tracks), (QStringList {"Charlie"}));
    EXPECT_EQ(spy.inserted.count(), 1);
    EXPECT_EQ(spy.removed.count(), 1);
    EXPECT_EQ(spy.reset.count(), 0);
}

// A playlist's list in its own order: rows are the list's positions, songs
// added or taken out are single rows, and a column sort can be left for the
// listed order again.
TEST_F(TrackTableModelTest, TheListedOrderKeepsTheListsOwnOrderRowByRowAndComesBackAfterAColumnSort)
{
    const auto shared = [](const QString& title) { return std::make_shared<const Track>(makeTrack(title)); };
    const SharedTrack c = shared(QStringLiteral("C")), a = shared(QStringLiteral("A")), b = shared(QStringLiteral("B"));
    fixedSource = std::make_unique<FixedTrackSource>(TrackList(QList<SharedTrack> {c, a}));
    fixedModel = std::make_unique<TrackTableModel>(*fixedSource, harness->environment(), nullptr, TrackSortOrder::listed());
    checkModel(*fixedModel);
    QSignalSpy resets(fixedModel.get(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(fixedModel.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(fixedModel.get(), &QAbstractItemModel::rowsRemoved);
    EXPECT_EQ(titlesOf(fixedModel->shownTracks().tracks), (QStringList {"C", "A"}));

    fixedSource->setTracks(TrackList(QList<SharedTrack> {c, b, a}));
    EXPECT_EQ(titlesOf(fixedModel->shownTracks().tracks), (QStringList {"C", "B", "A"}));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.first().at(1).toInt(), 1);
    fixedSource->setTracks(TrackList(QList<SharedTrack> {b, a}));
    EXPECT_EQ(titlesOf(fixedModel->shownTracks().tracks), (QStringList {"B", "A"}));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.first().at(1).toInt(), 0);

    fixedModel->sortByColumn(TrackTableColumnID::Title);
    EXPECT_EQ(titlesOf(fixedModel->shownTracks().tracks), (QStringList {"A", "B"}));
    EXPECT_FALSE(fixedModel->sortOrder().asListed);
    fixedModel->setSortOrder(TrackSortOrder::listed());
    EXPECT_EQ(titlesOf(fixedModel->shownTracks().tracks), (QStringList {"B", "A"}));
    EXPECT_EQ(resets.count(), 0);
}

TEST(TrackListChanges, DescribeInsertionsRemovalsMovesAndEditsAgainstTheListBefore)
{
    const Track a = makeTrack(QStringLiteral("A"));
    const Track b = makeTrack(QStringLiteral("B"));
    const Track c = makeTrack(QStringLiteral("C"));
    const Track d = makeTrack(QStringLiteral("D"));
    const TrackList before {a, b, c, d};
    const auto kinds = [](const std::vector<TrackListChange>& changes) {
        std::vector<std::pair<Kind, std::vector<std::size_t>>> described;
        for (const TrackListChange& change : changes)
            described.emplace_back(change.kind, change.positions);
        return described;
    };
    using Described = std::vector<std::pair<Kind, std::vector<std::size_t>>>;

    TrackList inserted = before;
    inserted.insert(2, std::make_shared<const Track>(makeTrack(QStringLiteral("X"))));
    EXPECT_EQ(kinds(trackListChanges(before, inserted)), (Described {{Kind::Inserted, {2}}}));

    TrackList removed = before;
    removed.removeAt(1);
    EXPECT_EQ(kinds(trackListChanges(before, removed)), (Described {{Kind::Removed, {1}}}));

    const TrackList moved(QList<SharedTrack> {before.shared(1), before.shared(2), before.shared(0), before.shared(3)});
    EXPECT_EQ(kinds(trackListChanges(before, moved)), (Described {{Kind::Removed, {0}}, {Kind::Inserted, {2}}}));

    TrackList edited = before;
    Track renamed = c;
    renamed.title = QStringLiteral("C2");
    edited.replace(2, std::make_shared<const Track>(renamed));
    EXPECT_EQ(kinds(trackListChanges(before, edited)), (Described {{Kind::Updated, {2}}}));

    EXPECT_TRUE(trackListChanges(before, before).empty());
    const TrackList shuffled(QList<SharedTrack> {before.shared(3), before.shared(1), before.shared(2), before.shared(0)});
    EXPECT_EQ(kinds(trackListChanges(before, shuffled)), (Described {{Kind::Reset, {}}}));
}

} // namespace
