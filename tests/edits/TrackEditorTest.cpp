#include "RecordingFileWatcher.h"
#include "TestSupport.h"

#include "FakeArtworkCache.h"

#include "edits/TrackEditor.h"
#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "media/OstrelArtworkCache.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/OstrelDatabaseManager.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace varno;
using test::await;

namespace {

// The real library over the test's data folder: a write suspends while the
// tracks file is written, and the list changes only once it is done, which
// is when an edit taken from a copy of the record would lose another.
class TrackEditorTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        database = std::make_unique<OstrelDatabaseManager>(preferences);
        library = std::make_unique<OstrelLibraryEngine>(*database, metadataEngine, cache, watcher);
        editor = std::make_unique<TrackEditor>(*library, artwork);
        const QString path = scratch(QStringLiteral("music/song.mp3"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.mp3")), path));
        await(library->importFiles({FileURL::fromLocalFile(path)}));
        ASSERT_EQ(library->allTracks().size(), 1u);
        song = library->allTracks().front();
    }
    void TearDown() override
    {
        editor.reset();
        library.reset();
        database.reset();
        DataFolderTest::TearDown();
    }

    Track current() const { return library->allTracks().front(); }
    Track onDisk() { return await(database->loadAllTracks()).front(); }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> database;
    OstrelMetadataEngine metadataEngine;
    MetadataCache cache;
    test::RecordingFileWatcher watcher;
    test::FakeArtworkCache artwork;
    std::unique_ptr<OstrelLibraryEngine> library;
    std::unique_ptr<TrackEditor> editor;
    Track song;
};

TrackPatch artistPatch(const QString& artist)
{
    TrackPatch patch;
    patch.artist = OptionalMetadataChange<QString>::set(artist);
    return patch;
}

TEST_F(TrackEditorTest, EditsOfDifferentFieldsAskedForAtOnceAllStay)
{
    TrackPatch genre;
    genre.genre = OptionalMetadataChange<QString>::set(QStringLiteral("Jazz"));
    TrackPatch title;
    title.title = QStringLiteral("Renamed");
    auto first = editor->edit(song.id, artistPatch(QStringLiteral("Someone")));
    auto second = editor->edit(song.id, genre);
    auto third = editor->edit(song.id, title);
    auto rating = editor->setRating(song.id, 2);
    EXPECT_TRUE(editor->isBusy());
    await(std::move(first));
    await(std::move(second));
    await(std::move(third));
    await(std::move(rating));
    EXPECT_FALSE(editor->isBusy());

    for (const Track& stored : {current(), onDisk()}) {
        EXPECT_EQ(stored.artist, QStringLiteral("Someone"));
        EXPECT_EQ(stored.genre, QStringLiteral("Jazz"));
        EXPECT_EQ(stored.title, QStringLiteral("Renamed"));
        EXPECT_EQ(stored.rating, 2);
        EXPECT_EQ(stored.album, song.album);
        EXPECT_EQ(stored.duration, song.duration);
    }
}

TEST_F(TrackEditorTest, AnEditIsWrittenOverWhatAnotherProcessWroteAndTheLibraryTookIn)
{
    OstrelDatabaseManager otherProcess(preferences);
    Track theirs = onDisk();
    theirs.album = QStringLiteral("Their Album");
    theirs.rating = 4;
    await(otherProcess.saveTracks({theirs}));
    // What the app does when the state folder changes.
    await(library->refreshIfChangedElsewhere());

    await(editor->edit(song.id, artistPatch(QStringLiteral("Mine"))));
    const Track stored = onDisk();
    EXPECT_EQ(stored.artist, QStringLiteral("Mine"));
    EXPECT_EQ(stored.album, QStringLiteral("Their Album"));
    EXPECT_EQ(stored.rating, 4);
    EXPECT_EQ(current(), stored);
}

TEST_F(TrackEditorTest, FavouritesAreRatedFiveAndTakenOutAtZero)
{
    await(editor->setFavorite(song.id, true));
    EXPECT_EQ(current().rating, 5);
    EXPECT_TRUE(isFavorite(current().rating));
    await(editor->setFavorite(song.id, false));
    EXPECT_EQ(onDisk().rating, 0);

    const struct {
        std::int64_t rating;
        bool favorite;
    } cases[] = {{0, false}, {3, false}, {4, true}, {5, true}};
    for (const auto& c : cases)
        EXPECT_EQ(isFavorite(c.rating), c.favorite) << c.rating;
}

TEST_F(TrackEditorTest, ASongNoLongerInTheLibraryIsReportedAndNothingIsWritten)
{
    const QByteArray before = test::readFile(appFile(QStringLiteral("tracks.json")));
    const QString error = test::errorText([&] { await(editor->edit(QUuid::createUuid(), artistPatch(QStringLiteral("X")))); });
    EXPECT_EQ(error, QStringLiteral("One or more tracks are no longer in the local library."));
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), before);

    // The refusal leaves the editor free for the next edit.
    await(editor->edit(song.id, artistPatch(QStringLiteral("After"))));
    EXPECT_EQ(current().artist, QStringLiteral("After"));
}

// The heart clicked on a row that `varno-cli remove` took out of the file
// before the app reloaded: the edit fails and the song stays out.
TEST_F(TrackEditorTest, AHeartOnASongAnotherProcessRemovedIsRefusedAndDoesNotBringItBack)
{
    OstrelDatabaseManager otherProcess(preferences);
    await(otherProcess.deleteTracks({song}));
    ASSERT_EQ(library->allTracks().size(), 1u) << "the app has not taken the removal in";

    EXPECT_EQ(test::errorText([&] { await(editor->setFavorite(song.id, true)); }),
              QStringLiteral("\u201C%1\u201D is no longer in the library.").arg(song.title));
    EXPECT_TRUE(await(database->loadAllTracks()).empty());
    EXPECT_TRUE(library->allTracks().empty());
}

TEST_F(TrackEditorTest, TheLibrarysRefusalReachesTheCaller)
{
    TrackPatch blank;
    blank.title = QStringLiteral("   ");
    EXPECT_EQ(test::errorText([&] { await(editor->edit(song.id, blank)); }), QStringLiteral("Track title cannot be empty."));
    EXPECT_EQ(current(), song);
}

TEST_F(TrackEditorTest, CoversAreWrittenAndRemovedForTheSong)
{
    await(editor->setArtwork(song, QByteArray("cover")));
    EXPECT_EQ(artwork.covers.value(song.id), QByteArray("cover"));
    await(editor->removeArtwork(song));
    EXPECT_FALSE(artwork.covers.contains(song.id));
    EXPECT_EQ(artwork.removals, 1);
}

TEST_F(TrackEditorTest, RemovingTheCoverInTheSongsFileHidesItForGoodWithoutChangingTheFile)
{
    // The real cache, and a second one over the same folder for the next start.
    const auto makeCovers = [&] { return std::make_unique<OstrelArtworkCache>(CacheMetrics {}, std::nullopt, &metadataEngine); };
    std::unique_ptr<OstrelArtworkCache> covers = makeCovers();
    auto covering = std::make_unique<TrackEditor>(*library, *covers);
    const QString path = song.fileURL.toLocalFile();
    const QByteArray audio = test::readFile(path);
    ASSERT_EQ(await(covers->retrieveArtwork(song)), test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg"))));

    await(covering->removeArtwork(song));
    EXPECT_FALSE(await(covers->retrieveArtwork(song)));
    covering.reset();
    covers = makeCovers();
    covering = std::make_unique<TrackEditor>(*library, *covers);
    EXPECT_FALSE(await(covers->retrieveArtwork(song)));
    EXPECT_EQ(test::readFile(path), audio);

    await(covering->setArtwork(song, QByteArray("chosen")));
    EXPECT_EQ(await(covers->retrieveArtwork(song)), QByteArray("chosen"));
    covering.reset();
}

// --- Patches -------------------------------------------------------------

TEST(TrackPatchTest, BetweenNamesOnlyTheFieldsThatDiffer)
{
    Track before = test::makeTrack(QStringLiteral("Song"));
    before.artist = QStringLiteral("A");
    before.year = 1999;
    before.duration = 187.2;
    EXPECT_TRUE(TrackPatch::between(before, before).isEmpty());

    Track after = before;
    after.artist = std::nullopt;
    after.year = 2001;
    after.rating = 3;
    const TrackPatch patch = TrackPatch::between(before, after);
    TrackPatch expected;
    expected.artist = OptionalMetadataChange<QString>::set(std::nullopt);
    expected.year = OptionalMetadataChange<std::int64_t>::set(2001);
    expected.rating = 3;
    EXPECT_EQ(patch, expected);

    // Applied to a record that changed elsewhere meanwhile, the other
    // fields keep the newer values.
    Track elsewhere = before;
    elsewhere.genre = QStringLiteral("Jazz");
    elsewhere.title = QStringLiteral("Retitled");
    const Track merged = patch.appliedTo(elsewhere);
    EXPECT_EQ(merged.genre, QStringLiteral("Jazz"));
    EXPECT_EQ(merged.title, QStringLiteral("Retitled"));
    EXPECT_FALSE(merged.artist.has_value());
    EXPECT_EQ(merged.year, 2001);
    EXPECT_EQ(merged.rating, 3);
}

TEST(TrackPatchTest, LaterFieldsWinWhenPatchesAreMerged)
{
    TrackPatch typed = artistPatch(QStringLiteral("First"));
    typed.bpm = OptionalMetadataChange<std::int64_t>::set(120);
    typed.merge(artistPatch(QStringLiteral("Second")));
    typed.merge(TrackPatch::withRating(4));
    const Track edited = typed.appliedTo(test::makeTrack(QStringLiteral("Song")));
    EXPECT_EQ(edited.artist, QStringLiteral("Second"));
    EXPECT_EQ(edited.bpm, 120);
    EXPECT_EQ(edited.rating, 4);
}

} // namespace
