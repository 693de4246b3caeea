// The song list is shared, not copied: whoever holds a list keeps what they
// took while the library moves on, and the library says which rows changed.

#include "RecordingFileWatcher.h"
#include "TestSupport.h"

#include "../playback/FakeAudioEngine.h"

#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/FileIO.h"
#include "platform/SettingsPreferencesStore.h"
#include "playback/OstrelQueueEngine.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"

#include <QTemporaryDir>

using namespace varno;
using test::await;

namespace {

class SharedSongListTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        database = std::make_unique<OstrelDatabaseManager>(preferences);
        engine = std::make_unique<OstrelLibraryEngine>(*database, metadataEngine, cache, watcher);
        await(engine->loadLibraryFromDisk());
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
            const QString path = scratch(QString::fromLatin1(name));
            ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.mp3")), path));
            files.push_back(FileURL::fromLocalFile(path));
        }
        await(engine->importFiles(files));
        ASSERT_EQ(engine->allTracks().size(), 3u);
    }
    void TearDown() override
    {
        engine.reset();
        database.reset();
        DataFolderTest::TearDown();
    }

    // Every change the engine announces, in order.
    void recordChanges()
    {
        QObject::connect(engine.get(), &LibraryEngine::tracksChanged, engine.get(),
                         [this](const TrackListChange& change) { changes.push_back(change); });
    }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> database;
    OstrelMetadataEngine metadataEngine;
    MetadataCache cache;
    test::RecordingFileWatcher watcher;
    std::unique_ptr<OstrelLibraryEngine> engine;
    std::vector<FileURL> files;
    std::vector<TrackListChange> changes;
};

} // namespace

TEST_F(SharedSongListTest, AnEditLeavesAListSomeoneHoldsAsItWasAndSharesTheOtherSongs)
{
    recordChanges();
    const TrackList held = engine->allTracks();
    Track edited = held[1];
    edited.title = QStringLiteral("Edited");

    await(engine->updateTrack(edited));

    EXPECT_EQ(held[1].title, QStringLiteral("Tagged Title"));
    const TrackList& now = engine->allTracks();
    EXPECT_EQ(now[1].title, QStringLiteral("Edited"));
    // The untouched songs are the very records the old list holds.
    EXPECT_EQ(now.shared(0), held.shared(0));
    EXPECT_EQ(now.shared(2), held.shared(2));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], TrackListChange::updated({1}));
    // The index serves the library's own record, not a copy made earlier.
    EXPECT_EQ(await(cache.track(edited.id))->title, QStringLiteral("Edited"));
}

TEST_F(SharedSongListTest, ImportsAndRemovalsSayWhichPositionsChanged)
{
    recordChanges();
    const QString path = scratch(QStringLiteral("d.mp3"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), path));
    await(engine->importFiles({FileURL::fromLocalFile(path)}));
    const Track second = engine->allTracks()[1];
    await(engine->removeTrack(second, RemovalKind::KeepFile));

    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], TrackListChange::inserted({3}));
    EXPECT_EQ(changes[1], TrackListChange::removed({1}));
    EXPECT_EQ(engine->allTracks().size(), 3u);
}

TEST_F(SharedSongListTest, ARemovedSongStaysWholeInTheQueueUntilTheQueueDropsIt)
{
    test::FakeAudioEngine audio;
    OstrelQueueEngine queue;
    queue.setAudioEngine(&audio);
    queue.playNow(engine->allTracks(), 0);
    const Track playing = *queue.currentTrack();
    const Track next = queue.upcoming()[0];

    await(engine->removeTrack(next, RemovalKind::KeepFile));
    await(engine->removeTrack(playing, RemovalKind::KeepFile));

    // The library let go of both records; the queue's are still whole.
    EXPECT_EQ(engine->allTracks().size(), 1u);
    EXPECT_EQ(queue.currentTrack()->title, playing.title);
    EXPECT_EQ(queue.upcoming()[0].filename, QStringLiteral("b.mp3"));
    queue.removeTrackFromPlayback(next.id);
    queue.removeTrackFromPlayback(playing.id);
    EXPECT_FALSE(queue.currentTrack());
    EXPECT_EQ(queue.upcoming().size(), 1u);
}

TEST_F(SharedSongListTest, UndoingARemovalPutsTheSameSongBack)
{
    const TrackList before = engine->allTracks();
    const Track removed = before[0];
    await(engine->removeTrack(removed, RemovalKind::KeepFile));
    recordChanges();

    await(engine->restoreTrack(removed));

    const TrackList& now = engine->allTracks();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now.back(), removed);
    EXPECT_EQ(changes, std::vector<TrackListChange> {TrackListChange::inserted({2})});
    // The list held from before the removal never lost the song.
    EXPECT_EQ(before[0], removed);
    EXPECT_EQ(await(database->loadAllTracks()).back(), removed);
    EXPECT_EQ(await(cache.track(removed.id)), removed);
}

// A large library read, edited and written back comes out as it went in,
// apart from the one song, with its repeated tags held once in memory.
TEST(SharedSongListStorageTest, AHundredThousandSongRoundTripChangesOnlyTheEditedSong)
{
    QTemporaryDir folder;
    SettingsPreferencesStore preferences;
    OstrelDatabaseManager manager(preferences, folder.path());
    const QString path = folder.path() + QStringLiteral("/tracks.json");

    constexpr int kSongs = 100000;
    QList<SharedTrack> songs;
    songs.reserve(kSongs);
    for (int i = 0; i < kSongs; ++i) {
        Track song = test::makeTrack(QStringLiteral("Song %1").arg(i));
        song.artist = QStringLiteral("Artist %1").arg(i % 500);
        song.album = QStringLiteral("Album \u201C%1\u201D").arg(i % 900);
        song.genre = i % 7 == 0 ? QStringLiteral("Tab\there") : QStringLiteral("Rock");
        song.rating = i % 6;
        songs.append(std::make_shared<const Track>(std::move(song)));
    }
    const TrackList original(songs);
    json::writeTracksFile(path, original);

    const TrackList loaded = manager.readTracksFile();
    ASSERT_EQ(loaded, original);
    EXPECT_TRUE(loaded[7].artist->isSharedWith(*loaded[507].artist));
    EXPECT_TRUE(loaded[7].genre->isSharedWith(*loaded[14].genre));

    Track edited = loaded[kSongs / 2];
    edited.title = QStringLiteral("Edited \"quoted\"");
    manager.upsertTracksFile(TrackList {edited});

    TrackList expected = original;
    expected.replace(kSongs / 2, std::make_shared<const Track>(edited));
    const std::optional<fileio::FileBytes> written = fileio::readWholeFile(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::string(written->view()), json::encodeTracks(expected));
    // Read by a manager that never saw it, as another process would.
    OstrelDatabaseManager other(preferences, folder.path());
    EXPECT_EQ(other.readTracksFile(), expected);
}
