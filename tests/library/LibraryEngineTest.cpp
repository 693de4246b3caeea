#include "FakeAudioEngine.h"
#include "LibraryHarness.h"
#include "TestSupport.h"

#include "library/AudioImportSupport.h"
#include "playback/OstrelQueueEngine.h"
#include "storage/DatabaseError.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QSignalSpy>

#include <cmath>

using namespace varno;
using test::await;

namespace {

class LibraryEngineTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        library.start();
    }
    void TearDown() override
    {
        engine.reset();
        database.reset();
        DataFolderTest::TearDown();
    }

    // A copy of a fixture under a name of the test's choosing.
    FileURL audioFile(const QString& name, const QString& fixture = QStringLiteral("formats/untagged.mp3"))
    {
        const QString path = scratch(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(test::fixturePath(fixture), path)) << path.toStdString();
        return FileURL::fromLocalFile(path);
    }

    QStringList filenames() const
    {
        QStringList names;
        for (const Track& t : engine->allTracks())
            names << t.filename;
        return names;
    }

    TrackList stored() { return await(database->loadAllTracks()); }

    // a.mp3, b.mp3 and c.mp3, tagged, in that order.
    void importThreeSongs()
    {
        std::vector<FileURL> files;
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            files.push_back(audioFile(QString::fromLatin1(name), QStringLiteral("formats/tagged.mp3")));
        await(engine->importFiles(files));
        ASSERT_EQ(engine->allTracks().size(), 3u);
    }

    // Every change the engine announces from now on, in order.
    void recordChanges()
    {
        QObject::connect(engine.get(), &LibraryEngine::tracksChanged, engine.get(),
                         [this](const TrackListChange& change) { changes.push_back(change); });
    }

    test::LibraryHarness library;
    SettingsPreferencesStore& preferences = library.preferences;
    std::unique_ptr<OstrelDatabaseManager>& database = library.database;
    MetadataCache& cache = library.cache;
    test::RecordingFileWatcher& watcher = library.watcher;
    std::unique_ptr<OstrelLibraryEngine>& engine = library.engine;
    std::vector<TrackListChange> changes;
};

} // namespace

TEST_F(LibraryEngineTest, ImportAddsSupportedFilesOnceInPathOrder)
{
    const FileURL b = audioFile(QStringLiteral("b.mp3"), QStringLiteral("formats/tagged.mp3"));
    const FileURL a = audioFile(QStringLiteral("a.MP3"));
    test::writeFile(scratch(QStringLiteral("notes.txt")), "text");
    QSignalSpy changed(engine.get(), &LibraryEngine::tracksChanged);

    await(engine->importFiles({b, a, b, FileURL::fromLocalFile(scratch(QStringLiteral("notes.txt")))}));
    EXPECT_EQ(filenames(), (QStringList {"a.MP3", "b.mp3"}));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(stored(), engine->allTracks());

    const Track& tagged = engine->allTracks()[1];
    EXPECT_EQ(tagged.title, QStringLiteral("Tagged Title"));
    EXPECT_EQ(tagged.artist, QStringLiteral("Tagged Artist"));
    EXPECT_TRUE(tagged.securityScopedBookmark.has_value());
    EXPECT_EQ(tagged.rating, 0);
    EXPECT_EQ(await(cache.tracksByArtist(QStringLiteral("Tagged Artist"))).size(), 1u);

    // Importing the same files again adds nothing.
    await(engine->importFiles({a, b}));
    EXPECT_EQ(filenames(), (QStringList {"a.MP3", "b.mp3"}));
}

TEST_F(LibraryEngineTest, ImportedSongsTakeYearNumbersCommentsAndBpmFromTheirTags)
{
    await(engine->importFiles({audioFile(QStringLiteral("a.flac"), QStringLiteral("formats/tagged.flac")), audioFile(QStringLiteral("b.mp3"))}));
    ASSERT_EQ(engine->allTracks().size(), 2u);
    const Track& tagged = engine->allTracks()[0];
    EXPECT_EQ(tagged.year, 1999);
    EXPECT_EQ(tagged.trackNumber, 3);
    EXPECT_EQ(tagged.discNumber, 1);
    EXPECT_EQ(tagged.comments, QStringLiteral("Tagged comment"));
    EXPECT_EQ(tagged.bpm, 120);
    const Track& untagged = engine->allTracks()[1];
    EXPECT_FALSE(untagged.year || untagged.trackNumber || untagged.discNumber || untagged.comments || untagged.bpm);
    // Both were read: a rescan leaves them as they are.
    EXPECT_TRUE(tagged.tagFieldsRead && untagged.tagFieldsRead);
    EXPECT_EQ(stored(), engine->allTracks());
}

TEST_F(LibraryEngineTest, KnownFilesGetAFreshBookmarkInsteadOfANewSong)
{
    const FileURL a = audioFile(QStringLiteral("a.mp3"));
    await(engine->importFiles({a}));
    Track withoutBookmark = engine->allTracks()[0];
    withoutBookmark.securityScopedBookmark.reset();
    await(engine->updateTracks({withoutBookmark}));
    ASSERT_FALSE(stored()[0].securityScopedBookmark.has_value());

    await(engine->importFiles({a}));
    ASSERT_EQ(engine->allTracks().size(), 1u);
    EXPECT_TRUE(engine->allTracks()[0].securityScopedBookmark.has_value());
    EXPECT_TRUE(stored()[0].securityScopedBookmark.has_value());
}

TEST_F(LibraryEngineTest, FailedFilesAreListedAndTheRestImported)
{
    std::vector<FileURL> urls {audioFile(QStringLiteral("good.mp3"))};
    for (int i = 1; i <= 5; ++i)
        urls.push_back(audioFile(QStringLiteral("bad%1.mp3").arg(i), QStringLiteral("bad/random.mp3")));
    try {
        await(engine->importFiles(urls));
        FAIL() << "the import did not report its failures";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.kind(), DatabaseError::Kind::WriteFailed);
        const QStringList lines = error.description().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines[0], QStringLiteral("Some files could not be imported:"));
        for (int i = 1; i <= 3; ++i)
            EXPECT_TRUE(lines[i].startsWith(QStringLiteral("bad%1.mp3: The file \u201Cbad%1.mp3\u201D could not be read as audio: ").arg(i)))
                << lines[i].toStdString();
        EXPECT_EQ(lines[4], QStringLiteral("And 2 more."));
    }
    EXPECT_EQ(filenames(), QStringList {"good.mp3"});
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(LibraryEngineTest, AddingAFolderWatchesItAndSkipsHiddenItemsFoldersAndLoops)
{
    const FileURL tree = FileURL::fromLocalFile(test::fixturePath(QStringLiteral("tree")));
    await(engine->addFolders({tree}));
    EXPECT_EQ(watcher.folders, std::vector<FileURL> {tree});
    QStringList names = filenames();
    names.sort();
    EXPECT_EQ(names, (QStringList {"deep.mp3", "one.mp3", "track.mp3", "two.flac"}));

    // A second walk finds every file known (with its bookmark): nothing changes.
    const TrackList before = engine->allTracks();
    await(engine->addFolders({tree}));
    EXPECT_EQ(engine->allTracks(), before);
}

TEST_F(LibraryEngineTest, WatchedFoldersSurviveARestartAndRescanFindsNewAndMissingFiles)
{
    audioFile(QStringLiteral("music/kept.mp3"));
    const FileURL doomed = audioFile(QStringLiteral("music/sub/doomed.flac"), QStringLiteral("formats/untagged.flac"));
    const FileURL folder = FileURL::fromLocalFile(scratch(QStringLiteral("music")));
    await(engine->addFolders({folder}));
    EXPECT_EQ(engine->watchedFolders(), QStringList {scratch(QStringLiteral("music"))});

    // A new engine (the next start) watches the folder again.
    test::RecordingFileWatcher restartedWatcher;
    const auto restarted = library.makeEngine(restartedWatcher);
    await(restarted->loadLibraryFromDisk());
    EXPECT_EQ(restartedWatcher.folders, std::vector<FileURL> {folder});

    audioFile(QStringLiteral("music/new.mp3"));
    audioFile(QStringLiteral("music/broken.mp3"), QStringLiteral("bad/random.mp3"));
    QFile::remove(doomed.toLocalFile());
    const RescanSummary summary = await(engine->rescan());
    EXPECT_EQ(summary.added, 1);
    EXPECT_EQ(summary.missing, 1);
    EXPECT_TRUE(summary.failures.startsWith(QStringLiteral("Some files could not be imported:\nbroken.mp3: "))) << summary.failures.toStdString();
    // Nothing is ever dropped from the library by a rescan.
    QStringList names = filenames();
    names.sort();
    EXPECT_EQ(names, (QStringList {"doomed.flac", "kept.mp3", "new.mp3"}));
    EXPECT_EQ(stored().size(), 3u);
}

TEST_F(LibraryEngineTest, UpdatesAreCheckedBeforeAnythingIsWritten)
{
    await(engine->importFiles({audioFile(QStringLiteral("a.mp3")), audioFile(QStringLiteral("b.mp3"))}));
    const QByteArray file = test::readFile(appFile(QStringLiteral("tracks.json")));
    const Track a = engine->allTracks()[0];

    auto rejected = [&](std::vector<Track> tracks) { return test::errorText([&] { await(engine->updateTracks(tracks)); }); };
    Track blank = a;
    blank.title = QStringLiteral(" \n\t ");
    Track negative = a;
    negative.duration = -1;
    Track notANumber = a;
    notANumber.duration = std::nan("");
    EXPECT_EQ(rejected({a, a}), QStringLiteral("The metadata update contains duplicate tracks."));
    EXPECT_EQ(rejected({blank}), QStringLiteral("Track title cannot be empty."));
    EXPECT_EQ(rejected({negative}), QStringLiteral("Track duration cannot be negative."));
    EXPECT_EQ(rejected({notANumber}), QStringLiteral("Track duration cannot be negative."));
    EXPECT_EQ(rejected({test::makeTrack(QStringLiteral("stranger"))}), QStringLiteral("One or more tracks are no longer in the local library."));
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), file);

    Track edited = a;
    edited.title = QStringLiteral("Renamed");
    edited.rating = 5;
    await(engine->updateTrack(edited));
    EXPECT_EQ(engine->allTracks()[0], edited);
    EXPECT_EQ(stored()[0], edited);
    EXPECT_EQ(filenames(), (QStringList {"a.mp3", "b.mp3"}));
}

TEST_F(LibraryEngineTest, QueriesFollowLibraryOrder)
{
    std::vector<Track> library;
    for (const auto& [title, rating] : std::vector<std::pair<QString, int>> {{QStringLiteral("Blue MONDAY"), 3},
                                                                             {QStringLiteral("Yellow"), 4},
                                                                             {QStringLiteral("Monday Blues"), 5},
                                                                             {QStringLiteral("Green"), 0},
                                                                             {QStringLiteral("Red"), 1}}) {
        Track t = test::makeTrack(title);
        t.rating = rating;
        t.artist = QStringLiteral("Monday Band");
        library.push_back(t);
    }
    test::writeFile(appFile(QStringLiteral("tracks.json")), QByteArray::fromStdString(json::encodeTracks(library)));
    await(engine->loadLibraryFromDisk());

    auto titles = [](const TrackList& tracks) {
        QStringList result;
        for (const Track& t : tracks)
            result << t.title;
        return result;
    };
    EXPECT_EQ(titles(engine->search(QStringLiteral("monday"))), (QStringList {"Blue MONDAY", "Monday Blues"}));
    EXPECT_TRUE(engine->search(QStringLiteral("band")).empty());
    EXPECT_TRUE(engine->search(QString()).empty());
    EXPECT_EQ(titles(engine->getFavorites()), (QStringList {"Yellow", "Monday Blues"}));
    EXPECT_EQ(titles(engine->getMostPlayed(2)), (QStringList {"Blue MONDAY", "Yellow"}));
    EXPECT_EQ(engine->getRecentlyAdded(10).size(), 5u);
    EXPECT_EQ(titles(await(cache.tracksByArtist(QStringLiteral("Monday Band")))).size(), 5);
}

TEST_F(LibraryEngineTest, UnreadableLibraryIsReportedAndKeepsTheList)
{
    await(engine->importFiles({audioFile(QStringLiteral("a.mp3"))}));
    test::writeFile(appFile(QStringLiteral("tracks.json")), "[{\"id\":1}]");
    testing::internal::CaptureStdout();
    await(engine->loadLibraryFromDisk());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "LibraryEngine failed to load tracks: tracks.json: item 0: key \"id\": expected a string\n");
    EXPECT_EQ(filenames(), QStringList {"a.mp3"});
}

TEST(AudioImportSupport, ExtensionsAreComparedInLowerCase)
{
    using namespace AudioImportSupport;
    EXPECT_EQ(supportedAudioExtensions(), (QStringList {"mp3", "m4a", "wav", "flac", "aac", "ogg", "wma", "aiff"}));
    EXPECT_TRUE(isSupportedAudioURL(FileURL::fromLocalFile(QStringLiteral("/m/SONG.WAV"))));
    EXPECT_TRUE(isSupportedAudioURL(FileURL::fromLocalFile(QStringLiteral("/m/album.flac"))));
    EXPECT_FALSE(isSupportedAudioURL(FileURL::fromLocalFile(QStringLiteral("/m/song.aif"))));
    EXPECT_FALSE(isSupportedAudioURL(FileURL::fromLocalFile(QStringLiteral("/m/mp3"))));
    EXPECT_FALSE(isSupportedAudioURL(*FileURL::fromEncoded("file:///m/album.flac/")));
}

TEST(SampleTracks, FiveRecordsSharingArtistAndAlbum)
{
    const std::vector<Track> samples = sampleTracks();
    ASSERT_EQ(samples.size(), 5u);
    std::vector<double> durations;
    for (const Track& t : samples) {
        durations.push_back(t.duration);
        EXPECT_EQ(t.fileURL.toLocalFile(), QStringLiteral("/music/track.mp3"));
        EXPECT_EQ(t.artist, samples[0].artist);
        EXPECT_EQ(t.album, samples[0].album);
    }
    EXPECT_EQ(durations, (std::vector<double> {243, 322, 343, 235, 607}));
}

// Another process (the command-line tool) writing the same library: a second
// database manager over the same folder sees the file as that process would.
TEST_F(LibraryEngineTest, ChangesMadeByAnotherProcessAreTakenInAndNeverDropped)
{
    await(engine->importFiles({audioFile(QStringLiteral("mine.mp3"))}));
    OstrelDatabaseManager otherProcess(preferences);
    const Track theirs = test::makeTrack(QStringLiteral("theirs"));
    await(otherProcess.appendNewTracks({theirs}));

    // The folder watch asks; the engine reloads only for a foreign version.
    QSignalSpy changed(engine.get(), &LibraryEngine::tracksChanged);
    await(engine->refreshIfChangedElsewhere());
    EXPECT_EQ(filenames(), (QStringList {"mine.mp3", theirs.filename}));
    await(engine->refreshIfChangedElsewhere());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(await(cache.track(theirs.id))->title, QStringLiteral("theirs"));

    // A write of the engine's own after another process's, with no reload in
    // between, keeps both and brings the other's songs into the list.
    const Track later = test::makeTrack(QStringLiteral("later"));
    await(otherProcess.appendNewTracks({later}));
    Track edited = engine->allTracks().front();
    edited.title = QStringLiteral("edited");
    await(engine->updateTrack(edited));
    EXPECT_EQ(filenames(), (QStringList {"mine.mp3", theirs.filename, later.filename}));
    EXPECT_EQ(stored().size(), 3u);
    EXPECT_EQ(stored().front().title, QStringLiteral("edited"));

    // Removed elsewhere: gone from the list and the index at the next look.
    await(otherProcess.deleteTracks({theirs}));
    await(engine->refreshIfChangedElsewhere());
    EXPECT_EQ(filenames(), (QStringList {"mine.mp3", later.filename}));
    EXPECT_FALSE(await(cache.track(theirs.id)));
}

TEST_F(LibraryEngineTest, AnImportAfterAnotherProcessImportedTheSameFileAddsItOnce)
{
    const FileURL file = audioFile(QStringLiteral("shared.mp3"));
    OstrelDatabaseManager otherProcess(preferences);
    Track theirs = test::makeTrack(QStringLiteral("theirs"));
    theirs.fileURL = file;
    await(otherProcess.appendNewTracks({theirs}));

    const std::vector<FileURL> files {file, audioFile(QStringLiteral("new.mp3"))};
    auto importing = engine->importPaths({}, files);
    const ImportSummary summary = await(std::move(importing));
    EXPECT_EQ(summary.added, 1);
    EXPECT_EQ(engine->allTracks().size(), 2u);
    EXPECT_EQ(stored().size(), 2u);
}

TEST_F(LibraryEngineTest, ALibraryThatCannotBeReadIsAnErrorNotAnEmptyLibrary)
{
    await(engine->importFiles({audioFile(QStringLiteral("a.mp3"))}));
    const QString tracks = appFile(QStringLiteral("tracks.json"));
    const QByteArray before = test::readFile(tracks);
    QFile::remove(tracks);
    QDir().mkpath(tracks);
    await(engine->loadLibraryFromDisk());
    ASSERT_TRUE(engine->loadError());
    EXPECT_TRUE(engine->loadError()->contains(QStringLiteral("it is a folder, not a file"))) << engine->loadError()->toStdString();
    EXPECT_EQ(filenames(), QStringList {"a.mp3"}) << "the list keeps what it had";
    EXPECT_THROW(await(engine->importFiles({audioFile(QStringLiteral("b.mp3"))})), Error);
    EXPECT_TRUE(QFileInfo(tracks).isDir());

    QDir(tracks).removeRecursively();
    test::writeFile(tracks, before);
    await(engine->loadLibraryFromDisk());
    EXPECT_FALSE(engine->loadError());
}

// The song list is shared, not copied: whoever holds a list keeps what they
// took while the library moves on, and the library says which rows changed.

TEST_F(LibraryEngineTest, AnEditLeavesAListSomeoneHoldsAsItWasAndSharesTheOtherSongs)
{
    importThreeSongs();
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

TEST_F(LibraryEngineTest, ImportsAndRemovalsSayWhichPositionsChanged)
{
    importThreeSongs();
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

TEST_F(LibraryEngineTest, ARemovedSongStaysWholeInTheQueueUntilTheQueueDropsIt)
{
    importThreeSongs();
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

TEST_F(LibraryEngineTest, UndoingARemovalPutsTheSameSongBack)
{
    importThreeSongs();
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

// `varno-cli remove` while the app still lists the song: an edit of it (a
// heart clicked before the app took the removal in) must not put it back.
TEST_F(LibraryEngineTest, AnEditOfASongAnotherProcessRemovedFailsAndNeverPutsItBack)
{
    importThreeSongs();
    const Track kept = engine->allTracks()[0];
    const Track removed = engine->allTracks()[1];
    test::LibraryHarness otherProcess;
    await(otherProcess.start().removeTrack(removed, RemovalKind::KeepFile));
    const QByteArray file = test::readFile(appFile(QStringLiteral("tracks.json")));

    Track keptEdit = kept;
    keptEdit.rating = 3;
    Track removedEdit = removed;
    removedEdit.rating = 5;
    EXPECT_EQ(test::errorText([&] { await(engine->updateTracks({keptEdit, removedEdit})); }),
              QStringLiteral("\u201CTagged Title\u201D is no longer in the library."));

    // Nothing was written, and the engine now lists what the file holds.
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), file);
    EXPECT_FALSE(stored().find(removed.id));
    EXPECT_EQ(filenames(), (QStringList {"a.mp3", "c.mp3"}));
    EXPECT_FALSE(await(cache.track(removed.id)));

    await(engine->updateTrack(keptEdit));
    EXPECT_EQ(stored().size(), 2u);
    EXPECT_EQ(stored()[0].rating, 3);
}
