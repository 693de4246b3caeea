#include "FakeArtworkCache.h"
#include "FakeEngines.h"
#include "LibraryHarness.h"
#include "TestSupport.h"

#include "edits/ArtworkBatchSnapshot.h"
#include "edits/SharedMetadataDraft.h"
#include "edits/TrackEditor.h"
#include "edits/TrackMetadataBatchCoordinator.h"
#include "edits/TrackMetadataBatchEditState.h"
#include "media/ArtworkCache.h"
#include "storage/DatabaseError.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSignalSpy>

#include <algorithm>
#include <functional>

using namespace varno;
using test::await;
using test::FakeArtworkCache;
using test::FakeLibrary;

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

[[noreturn]] void fail(const char* text)
{
    throw Error(QString::fromUtf8(text));
}

Track song(const QString& title, std::optional<QString> artist = std::nullopt, std::optional<std::int64_t> year = std::nullopt,
           std::int64_t rating = 0)
{
    Track track = test::makeTrack(title);
    track.artist = std::move(artist);
    track.year = year;
    track.rating = rating;
    return track;
}

// `count` new songs whose covers all share one 4 MiB buffer, so a selection
// holding hundreds of MiB of covers costs one small allocation.
std::vector<Track> songsWithSharedCovers(FakeArtworkCache& cache, int count)
{
    static const QByteArray cover(4 * kMiB, Qt::Uninitialized);
    std::vector<Track> tracks;
    for (int i = 0; i < count; ++i) {
        tracks.push_back(song(QStringLiteral("song %1").arg(i)));
        cache.covers.insert(tracks.back().id, cover);
    }
    return tracks;
}

SharedTrackMetadataPatch patchSettingArtist(const QString& artist)
{
    SharedTrackMetadataPatch patch;
    patch.artist = OptionalMetadataChange<QString>::set(artist);
    return patch;
}

// Three songs in the library: the first two with covers, the third without.
class SharedMetadataSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library.tracks = {song(QStringLiteral("One"), QStringLiteral("A")), song(QStringLiteral("Two"), QStringLiteral("B")),
                          song(QStringLiteral("Three"))};
        artwork.covers.insert(library.tracks[0].id, "cover one");
        artwork.covers.insert(library.tracks[1].id, "cover two");
        coversBefore = artwork.covers;
        tracksBefore = library.tracks;
        coordinator.beginEditing(library.tracks);
    }

    SharedTrackMetadataPatch artistAndCover()
    {
        SharedTrackMetadataPatch patch = patchSettingArtist(QStringLiteral("Band"));
        patch.artwork = SharedArtworkChange::replace("new cover");
        return patch;
    }

    void failWritingNewCoverOf(int index)
    {
        const QUuid id = library.tracks[index].id;
        artwork.failStore = [id](const Track& track, const QByteArray& data) {
            if (track.id == id && data == "new cover")
                fail("disk full");
        };
    }

    FakeLibrary library;
    FakeArtworkCache artwork;
    TrackEditor editor {library, artwork};
    TrackMetadataBatchCoordinator coordinator {editor, artwork};
    QHash<QUuid, QByteArray> coversBefore;
    std::vector<Track> tracksBefore;
};

// Four songs imported into the real library, a track editor over it and a
// coordinator over that.
class SharedEditOverTheLibraryTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        harness.start();
        std::vector<FileURL> files;
        for (int i = 0; i < 4; ++i) {
            const QString path = scratch(QStringLiteral("music/%1.mp3").arg(i));
            QDir().mkpath(QFileInfo(path).absolutePath());
            ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.mp3")), path));
            files.push_back(FileURL::fromLocalFile(path));
        }
        await(harness.engine->importFiles(files));
        for (const Track& track : harness.engine->allTracks())
            songs.push_back(track);
        ASSERT_EQ(songs.size(), 4u);
        editor = std::make_unique<TrackEditor>(*harness.engine, artwork);
        coordinator = std::make_unique<TrackMetadataBatchCoordinator>(*editor, artwork);
    }
    void TearDown() override
    {
        coordinator.reset();
        editor.reset();
        harness.engine.reset();
        harness.database.reset();
        DataFolderTest::TearDown();
    }

    test::LibraryHarness harness;
    FakeArtworkCache artwork;
    std::unique_ptr<TrackEditor> editor;
    std::unique_ptr<TrackMetadataBatchCoordinator> coordinator;
    std::vector<Track> songs;
};

} // namespace

// --- the draft built from a selection ---

TEST(SharedMetadataDraftTest, SharedValuesFillFieldsAndDisagreementsAreMixed)
{
    Track a = song(QStringLiteral("a"), QStringLiteral("Artist A"), 2001, 3);
    Track b = song(QStringLiteral("b"), QStringLiteral("Artist B"), 2001, 3);
    a.album = b.album = QStringLiteral("Album");
    b.genre = QStringLiteral("Jazz");

    const SharedMetadataDraft draft({a, b});
    EXPECT_EQ(draft.artist, AppliedTextMetadataDraft(QString(), true));
    EXPECT_EQ(draft.album, AppliedTextMetadataDraft(QStringLiteral("Album"), false));
    EXPECT_EQ(draft.year, AppliedTextMetadataDraft(QStringLiteral("2001"), false));
    EXPECT_TRUE(draft.genre.hadMixedValues()) << "an absent genre disagrees with a present one";
    EXPECT_EQ(draft.composer, AppliedTextMetadataDraft(QString(), false)) << "both absent is a shared value";
    EXPECT_EQ(draft.rating, 3);
    EXPECT_FALSE(draft.hadMixedRatings());
    EXPECT_FALSE(draft.isRatingApplied || draft.artist.isApplied || draft.album.isApplied || draft.year.isApplied);
    EXPECT_FALSE(draft.replacementArtworkData.has_value());
}

TEST(SharedMetadataDraftTest, DifferentRatingsAreMixed)
{
    const SharedMetadataDraft draft({song(QStringLiteral("a"), {}, {}, 3), song(QStringLiteral("b"), {}, {}, 5)});
    EXPECT_TRUE(draft.hadMixedRatings());
    EXPECT_FALSE(draft.isRatingApplied);
}

TEST(SharedMetadataDraftTest, EmptySelectionGivesEmptyUnmixedFields)
{
    const SharedMetadataDraft draft(std::vector<Track> {});
    EXPECT_EQ(draft, SharedMetadataDraft());
    EXPECT_FALSE(draft.artist.hadMixedValues());
    EXPECT_FALSE(draft.hadMixedRatings());
}

// --- turning the draft into a patch ---

TEST(SharedMetadataPatchTest, DisabledFieldsKeepEverySongsOwnValue)
{
    const Track a = song(QStringLiteral("a"), QStringLiteral("Artist A"));
    const Track b = song(QStringLiteral("b"), QStringLiteral("Artist B"));
    SharedMetadataDraft draft({a, b});
    draft.year.value = QStringLiteral("not a year");

    const SharedTrackMetadataPatch patch = draft.makePatch();
    EXPECT_TRUE(patch.isEmpty());
    EXPECT_EQ(patch.appliedTo(a), a);
    EXPECT_EQ(patch.appliedTo(b), b);
}

TEST(SharedMetadataPatchTest, AppliedTextIsTrimmedAndBlankTextClears)
{
    SharedMetadataDraft draft({song(QStringLiteral("a"), QStringLiteral("Old"))});
    draft.artist = {QStringLiteral("  New Artist\n"), false};
    draft.artist.isApplied = true;
    draft.comments.value = QStringLiteral(" \n\t ");
    draft.comments.isApplied = true;

    const SharedTrackMetadataPatch patch = draft.makePatch();
    EXPECT_EQ(patch.artist, OptionalMetadataChange<QString>::set(QStringLiteral("New Artist")));
    EXPECT_EQ(patch.comments, OptionalMetadataChange<QString>::set(std::nullopt));
    EXPECT_EQ(patch.album, OptionalMetadataChange<QString>::unchanged());
}

TEST(SharedMetadataPatchTest, AppliedNumbersAreParsedAndBlanksClear)
{
    Track track = song(QStringLiteral("a"), {}, 1990);
    track.bpm = 120;
    SharedMetadataDraft draft({track});
    draft.year = {QStringLiteral("  "), false};
    draft.year.isApplied = true;
    draft.discNumber = {QStringLiteral(" 2 "), false};
    draft.discNumber.isApplied = true;

    const Track patched = draft.makePatch().appliedTo(track);
    EXPECT_EQ(patched.year, std::nullopt);
    EXPECT_EQ(patched.discNumber, 2);
    EXPECT_EQ(patched.bpm, 120);
}

TEST(SharedMetadataPatchTest, NumbersOutsideTheirRangeAreRefusedWithTheirMessage)
{
    struct Case {
        AppliedTextMetadataDraft SharedMetadataDraft::*field;
        QString text;
        QString message;
    };
    const QString year = QStringLiteral("Year must be between 0 and 9999, or left blank to clear it.");
    const QString disc = QStringLiteral("Disc number must be between 1 and 999, or left blank to clear it.");
    const QString bpm = QStringLiteral("BPM must be between 1 and 999, or left blank to clear it.");
    const std::vector<Case> cases {
        {&SharedMetadataDraft::year, "10000", year}, {&SharedMetadataDraft::year, "-1", year},
        {&SharedMetadataDraft::year, "19.5", year},  {&SharedMetadataDraft::discNumber, "0", disc},
        {&SharedMetadataDraft::discNumber, "1000", disc}, {&SharedMetadataDraft::bpm, "0", bpm},
        {&SharedMetadataDraft::bpm, "12 bpm", bpm},
    };
    for (const Case& c : cases) {
        SharedMetadataDraft draft;
        (draft.*c.field).value = c.text;
        (draft.*c.field).isApplied = true;
        EXPECT_EQ(draft.validationMessage(), c.message) << c.text.toStdString();
        EXPECT_EQ(test::errorText([&] { draft.makePatch(); }), c.message) << c.text.toStdString();
    }
}

TEST(SharedMetadataPatchTest, RangeBoundsAreAccepted)
{
    SharedMetadataDraft draft;
    for (AppliedTextMetadataDraft* field : {&draft.year, &draft.discNumber, &draft.bpm})
        field->isApplied = true;
    draft.year.value = QStringLiteral("0");
    draft.discNumber.value = draft.bpm.value = QStringLiteral("1");
    EXPECT_EQ(draft.validationMessage(), std::nullopt);

    draft.year.value = QStringLiteral("9999");
    draft.discNumber.value = draft.bpm.value = QStringLiteral("999");
    const SharedTrackMetadataPatch patch = draft.makePatch();
    EXPECT_EQ(patch.year, OptionalMetadataChange<std::int64_t>::set(9999));
    EXPECT_EQ(patch.discNumber, OptionalMetadataChange<std::int64_t>::set(999));
    EXPECT_EQ(patch.bpm, OptionalMetadataChange<std::int64_t>::set(999));
}

TEST(SharedMetadataPatchTest, RatingAndArtworkChangeOnlyWhenChosen)
{
    SharedMetadataDraft draft({song(QStringLiteral("a"), {}, {}, 2)});
    draft.rating = 5;
    EXPECT_EQ(draft.makePatch().rating, std::nullopt);
    EXPECT_EQ(draft.makePatch().artwork, SharedArtworkChange::unchanged());

    draft.isRatingApplied = true;
    draft.replacementArtworkData = QByteArray("png");
    EXPECT_EQ(draft.makePatch().rating, 5);
    EXPECT_EQ(draft.makePatch().artwork, SharedArtworkChange::replace("png"));
}

// --- the artwork snapshot ---

TEST(SharedMetadataArtworkSnapshotTest, ExactlyTheUndoLimitIsAllowed)
{
    FakeArtworkCache cache;
    std::vector<Track> tracks = songsWithSharedCovers(cache, 64);
    tracks.push_back(song(QStringLiteral("no cover")));

    const ArtworkBatchSnapshot snapshot = await(ArtworkBatchSnapshot::capture(cache, tracks));
    EXPECT_EQ(snapshot.byteCount(), 256 * kMiB);
    ASSERT_EQ(snapshot.entries().size(), 65u);
    EXPECT_EQ(snapshot.entries().back(), (ArtworkBatchSnapshot::Entry {tracks.back(), {}}));
}

TEST(SharedMetadataArtworkSnapshotTest, OneByteOverTheUndoLimitStopsCapturing)
{
    FakeArtworkCache cache;
    std::vector<Track> tracks = songsWithSharedCovers(cache, 64);
    tracks.push_back(song(QStringLiteral("one byte")));
    cache.covers.insert(tracks.back().id, "x");
    tracks.push_back(song(QStringLiteral("never asked")));

    EXPECT_EQ(test::errorText([&] { await(ArtworkBatchSnapshot::capture(cache, tracks)); }),
              QStringLiteral("The existing artwork exceeds the 256 MB safe undo limit. Select fewer songs and try again."));
    EXPECT_EQ(cache.retrieved.size(), 65u);
    EXPECT_EQ(cache.writes, 0);
}

TEST(SharedMetadataArtworkSnapshotTest, ValidOnlyForTheSameSongsInAnyOrder)
{
    const Track a = song(QStringLiteral("a")), b = song(QStringLiteral("b")), c = song(QStringLiteral("c"));
    const ArtworkBatchSnapshot snapshot({{a, {QByteArray("A")}}, {b, {}}});
    EXPECT_TRUE(snapshot.isValidFor({b, a}));
    EXPECT_FALSE(snapshot.isValidFor({a}));
    EXPECT_FALSE(snapshot.isValidFor({a, c}));

    FakeArtworkCache cache;
    EXPECT_EQ(test::errorText([&] { await(snapshot.restore(cache, {a, c})); }),
              QStringLiteral("The shared artwork operation was cancelled because its song set changed."));
    EXPECT_EQ(cache.writes, 0);
}

TEST(SharedMetadataArtworkSnapshotTest, EqualWhenSongsAndCoverStatesAreEqual)
{
    const Track a = song(QStringLiteral("a"));
    const ArtworkBatchSnapshot snapshot({{a, {QByteArray("A")}}});
    EXPECT_EQ(snapshot, ArtworkBatchSnapshot({{a, {QByteArray("A")}}}));
    EXPECT_NE(snapshot, ArtworkBatchSnapshot({{a, {QByteArray("B")}}}));
    EXPECT_NE(snapshot, ArtworkBatchSnapshot({{a, {}}}));
    EXPECT_NE(ArtworkBatchSnapshot({{a, {std::nullopt, true}}}), ArtworkBatchSnapshot({{a, {}}}));
}

TEST(SharedMetadataArtworkSnapshotTest, RestoreGivesEachSongTheCoverStateItHad)
{
    const Track a = song(QStringLiteral("a")), b = song(QStringLiteral("b")), c = song(QStringLiteral("c"));
    FakeArtworkCache cache;
    cache.covers.insert(a.id, "A");
    cache.hidden.insert(c.id);
    const ArtworkBatchSnapshot snapshot = await(ArtworkBatchSnapshot::capture(cache, {a, b, c}));
    for (const Track& track : {a, b, c})
        await(cache.storeArtwork("shared", track));

    await(snapshot.restore(cache, {a, b, c}));
    EXPECT_EQ(cache.covers, (QHash<QUuid, QByteArray> {{a.id, "A"}}));
    EXPECT_EQ(cache.hidden, QSet<QUuid> {c.id});
}

TEST(SharedMetadataArtworkSnapshotTest, RecoveryStateMustMatchTheBatch)
{
    const Track a = song(QStringLiteral("a")), b = song(QStringLiteral("b"));
    const TrackMetadataBatch batch {QUuid::createUuid(), {a, b}};
    const SharedArtworkChange replace = SharedArtworkChange::replace("new");
    const QString incomplete = QStringLiteral("The shared artwork operation was cancelled because its recovery state was incomplete.");

    EXPECT_EQ(test::errorText([&] { TrackMetadataBatchEditState {{a, b}, std::nullopt}.checkMatches(batch, replace); }), incomplete);
    EXPECT_EQ(test::errorText([&] { TrackMetadataBatchEditState {{a}, std::nullopt}.checkMatches(batch, SharedArtworkChange::unchanged()); }),
              incomplete);
    EXPECT_EQ(test::errorText([&] { TrackMetadataBatchEditState {{a, b}, ArtworkBatchSnapshot({{a, {}}})}.checkMatches(batch, replace); }),
              QStringLiteral("The shared artwork operation was cancelled because its song set changed."));
    EXPECT_EQ(test::errorText([&] { TrackMetadataBatchEditState {{b, a}, ArtworkBatchSnapshot({{b, {}}, {a, {}}})}.checkMatches(batch, replace); }),
              QStringLiteral("<no error>"));
}

// --- saving through the coordinator ---

TEST_F(SharedMetadataSaveTest, OpeningPublishesANewBatchEachTime)
{
    QSignalSpy batchChanged(&coordinator, &TrackMetadataBatchCoordinator::batchChanged);
    ASSERT_TRUE(coordinator.batch().has_value());
    const QUuid first = coordinator.batch()->id;
    coordinator.beginEditing({library.tracks[0], library.tracks[1]});
    EXPECT_NE(coordinator.batch()->id, first);
    EXPECT_EQ(coordinator.batch()->tracks.size(), 2u);

    coordinator.cancelEditing();
    EXPECT_FALSE(coordinator.batch().has_value());
    EXPECT_EQ(batchChanged.count(), 2);
}

TEST_F(SharedMetadataSaveTest, SaveWritesEverySongAndCoverThenCloses)
{
    QSignalSpy saving(&coordinator, &TrackMetadataBatchCoordinator::isSavingChanged);
    await(coordinator.save(artistAndCover()));

    for (const Track& track : library.tracks) {
        EXPECT_EQ(track.artist, QStringLiteral("Band"));
        EXPECT_EQ(artwork.covers.value(track.id), "new cover");
    }
    EXPECT_EQ(library.updateCalls, 1);
    EXPECT_FALSE(coordinator.batch().has_value());
    EXPECT_EQ(coordinator.errorMessage(), std::nullopt);
    EXPECT_FALSE(coordinator.isSaving());
    EXPECT_EQ(saving.count(), 2);
}

TEST_F(SharedMetadataSaveTest, SavePatchesTheLibrarysCurrentRecords)
{
    library.tracks[0].rating = 5;
    await(coordinator.save(patchSettingArtist(QStringLiteral("Band"))));
    EXPECT_EQ(library.tracks[0].rating, 5);
    EXPECT_EQ(library.tracks[0].artist, QStringLiteral("Band"));
    EXPECT_EQ(artwork.writes, 0);
}

TEST_F(SharedMetadataSaveTest, CoverOnlySaveLeavesTheSongRecordsAlone)
{
    SharedTrackMetadataPatch patch;
    patch.artwork = SharedArtworkChange::replace("new cover");
    await(coordinator.save(patch));
    EXPECT_EQ(library.updateCalls, 0);
    EXPECT_EQ(artwork.covers.size(), 3);
}

TEST_F(SharedMetadataSaveTest, CoversOverTheUndoLimitRefuseTheSaveBeforeAnyWrite)
{
    const std::vector<Track> large = songsWithSharedCovers(artwork, 64);
    library.tracks.insert(library.tracks.end(), large.begin(), large.end());
    coordinator.beginEditing(library.tracks);

    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(),
              QStringLiteral("The existing artwork exceeds the 256 MB safe undo limit. Select fewer songs and try again."));
    EXPECT_EQ(library.updateCalls, 0);
    EXPECT_EQ(artwork.writes, 0);
    EXPECT_TRUE(coordinator.batch().has_value());
}

TEST_F(SharedMetadataSaveTest, RefusedSongUpdateWritesNoCover)
{
    library.failUpdate = [](int) { fail("database locked"); };
    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(), QStringLiteral("database locked"));
    EXPECT_EQ(artwork.writes, 0);
    EXPECT_EQ(library.tracks, tracksBefore);
    EXPECT_TRUE(coordinator.batch().has_value());
    EXPECT_FALSE(coordinator.isSaving());
}

TEST_F(SharedMetadataSaveTest, FailedCoverWriteRestoresCoversAndSongs)
{
    failWritingNewCoverOf(1);
    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(), QStringLiteral("The shared artwork could not be applied. Existing artwork was restored. disk full"));
    EXPECT_EQ(artwork.covers, coversBefore);
    EXPECT_EQ(library.tracks, tracksBefore);
    EXPECT_TRUE(coordinator.batch().has_value());
}

TEST_F(SharedMetadataSaveTest, FailedCoverRecoveryReportsBothFailures)
{
    failWritingNewCoverOf(1);
    artwork.failRemove = [](const Track&) { fail("folder is read-only"); };
    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(),
              QStringLiteral("The shared artwork update failed (disk full), and automatic recovery also failed (folder is read-only)."));
    // The songs are still put back, and so is every cover that could be.
    EXPECT_EQ(library.tracks, tracksBefore);
    EXPECT_EQ(artwork.covers.value(library.tracks[0].id), "cover one");
}

TEST_F(SharedMetadataSaveTest, FailedSongRecoveryReportsBothFailures)
{
    failWritingNewCoverOf(2);
    library.failUpdate = [](int call) {
        if (call == 2)
            fail("database locked");
    };
    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(),
              QStringLiteral("The metadata update failed (The shared artwork could not be applied. Existing artwork was restored. "
                             "disk full), and automatic recovery also failed (database locked)."));
    EXPECT_EQ(artwork.covers, coversBefore);
}

// Another process removed one selected song and the library took that in:
// the others are edited, and the message says what became of the edit.
TEST_F(SharedMetadataSaveTest, ASongRemovedMeanwhileIsLeftOutAndTheOthersAreSaved)
{
    const QUuid gone = library.tracks.back().id;
    library.tracks.pop_back();
    await(coordinator.save(artistAndCover()));

    for (const Track& track : library.tracks) {
        EXPECT_EQ(track.artist, QStringLiteral("Band"));
        EXPECT_EQ(artwork.covers.value(track.id), "new cover");
    }
    EXPECT_FALSE(artwork.covers.contains(gone));
    EXPECT_EQ(coordinator.errorMessage(), QStringLiteral("The changes were saved to 2 songs; 1 song is no longer in the library."));
    EXPECT_FALSE(coordinator.batch().has_value());
}

TEST_F(SharedMetadataSaveTest, ARollbackPutsBackTheSongsItChangedWhenOneWasGone)
{
    library.tracks.erase(library.tracks.begin());
    tracksBefore.erase(tracksBefore.begin());
    failWritingNewCoverOf(0);
    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(), QStringLiteral("The shared artwork could not be applied. Existing artwork was restored. disk full"));
    EXPECT_EQ(library.tracks, tracksBefore);
    EXPECT_EQ(artwork.covers, coversBefore);
    EXPECT_TRUE(coordinator.batch().has_value());
}

TEST_F(SharedMetadataSaveTest, NothingIsSavedWhenEverySongIsGone)
{
    library.tracks.clear();
    await(coordinator.save(artistAndCover()));
    EXPECT_EQ(coordinator.errorMessage(), QStringLiteral("Nothing was saved: the 3 songs are no longer in the library."));
    EXPECT_EQ(library.updateCalls, 0);
    EXPECT_EQ(artwork.covers, coversBefore);
    EXPECT_TRUE(coordinator.batch().has_value());
}

// The same over the real library, which still lists the song another process
// removed: the write finds it gone from the file.
TEST_F(SharedEditOverTheLibraryTest, ASongRemovedByAnotherProcessIsLeftOutOfASharedEdit)
{
    OstrelDatabaseManager otherProcess(harness.preferences);
    await(otherProcess.deleteTracks({songs[1]}));

    coordinator->beginEditing(songs);
    await(coordinator->save(patchSettingArtist(QStringLiteral("Band"))));
    EXPECT_EQ(coordinator->errorMessage(), QStringLiteral("The changes were saved to 3 songs; 1 song is no longer in the library."));
    const TrackList stored = await(harness.database->loadAllTracks());
    ASSERT_EQ(stored.size(), 3u);
    for (const Track& track : stored)
        EXPECT_EQ(track.artist, QStringLiteral("Band"));
    EXPECT_FALSE(harness.engine->allTracks().find(songs[1].id));
}
