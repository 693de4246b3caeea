#include "FakeEngines.h"
#include "InterceptingDatabase.h"
#include "LibraryHarness.h"
#include "TestSupport.h"

#include "library/LibraryTrackRemovalError.h"
#include "edits/TrackRemovalCoordinator.h"
#include "playback/QueueEngine.h"
#include "storage/DatabaseError.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QHash>
#include <QSignalSpy>
#include <QUndoStack>

#include <functional>

using namespace varno;
using test::await;
using test::InterceptingDatabase;
using test::RecordingQueue;

namespace {

using Undo = TrackRemovalCoordinator::UndoRegistration;

class TrackRemovalTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        library.open();
        database = std::make_unique<InterceptingDatabase>(*realDatabase);
        library.start(database.get());
        coordinator = std::make_unique<TrackRemovalCoordinator>(*engine, &queue, &undoStack);
    }
    void TearDown() override
    {
        coordinator.reset();
        engine.reset();
        database.reset();
        realDatabase.reset();
        DataFolderTest::TearDown();
    }

    QString musicPath(const QString& name) const { return scratch(QStringLiteral("music/") + name); }

    // Copies a fixture into the music folder and imports it.
    Track importSong(const QString& name)
    {
        const QString path = musicPath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), path)) << path.toStdString();
        await(engine->importFiles({FileURL::fromLocalFile(path)}));
        return songNamed(name);
    }

    // A library holding one song at `path`, whatever is there, written
    // straight into the tracks file.
    Track listSongAt(const QString& path)
    {
        Track song = test::makeTrack(QStringLiteral("Listed"));
        song.fileURL = FileURL::fromLocalFile(path);
        song.filename = QFileInfo(path).fileName();
        test::writeFile(appFile(QStringLiteral("tracks.json")), QByteArray::fromStdString(json::encodeTracks({song})));
        await(engine->loadLibraryFromDisk());
        return song;
    }

    Track songNamed(const QString& filename) const
    {
        for (const Track& t : engine->allTracks()) {
            if (t.filename == filename)
                return t;
        }
        ADD_FAILURE() << "no song " << filename.toStdString();
        return {};
    }

    QStringList filenames() const
    {
        QStringList names;
        for (const Track& t : engine->allTracks())
            names << t.filename;
        return names;
    }

    QStringList storedFilenames()
    {
        QStringList names;
        for (const Track& t : await(database->loadAllTracks()))
            names << t.filename;
        return names;
    }

    bool indexed(const Track& song) { return await(cache.track(song.id)).has_value(); }

    QString removalError(const Track& song, RemovalKind kind)
    {
        return test::errorText([&] { await(engine->removeTrack(song, kind)); });
    }

    void removeThroughCoordinator(const Track& song, RemovalKind kind = RemovalKind::KeepFile)
    {
        await(coordinator->startRemoval(song, kind, Undo::Register));
    }

    // Runs `step` (an undo or a redo, which start their work and return) and
    // waits for what it changes to be published.
    template<typename Object, typename Signal>
    void runAndWait(const std::function<void()>& step, Object* sender, Signal signal)
    {
        QSignalSpy published(sender, signal);
        step();
        ASSERT_TRUE(!published.isEmpty() || published.wait());
    }

    test::LibraryHarness library;
    std::unique_ptr<OstrelDatabaseManager>& realDatabase = library.database;
    std::unique_ptr<InterceptingDatabase> database;
    MetadataCache& cache = library.cache;
    std::unique_ptr<OstrelLibraryEngine>& engine = library.engine;

    RecordingQueue queue;
    QUndoStack undoStack;
    std::unique_ptr<TrackRemovalCoordinator> coordinator;
};

} // namespace

// ---------------------------------------------------------------------------
// Removal from the player

TEST_F(TrackRemovalTest, RemovalKeepsTheFileAndUndoBringsTheSongBackLast)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    importSong(QStringLiteral("b.mp3"));
    importSong(QStringLiteral("c.mp3"));
    QSignalSpy inFlight(coordinator.get(), &TrackRemovalCoordinator::inFlightTrackIDChanged);

    removeThroughCoordinator(a);
    EXPECT_EQ(filenames(), (QStringList {"b.mp3", "c.mp3"}));
    EXPECT_EQ(storedFilenames(), (QStringList {"b.mp3", "c.mp3"}));
    EXPECT_FALSE(indexed(a));
    EXPECT_TRUE(QFile::exists(musicPath(QStringLiteral("a.mp3"))));
    EXPECT_EQ(queue.removed, std::vector<QUuid> {a.id});
    EXPECT_EQ(inFlight.count(), 2);
    EXPECT_FALSE(coordinator->inFlightTrackID().has_value());
    EXPECT_FALSE(coordinator->errorMessage().has_value());
    ASSERT_EQ(undoStack.count(), 1);
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Remove Track"));

    runAndWait([&] { undoStack.undo(); }, engine.get(), &LibraryEngine::tracksChanged);
    EXPECT_EQ(filenames(), (QStringList {"b.mp3", "c.mp3", "a.mp3"}));
    EXPECT_EQ(storedFilenames(), (QStringList {"b.mp3", "c.mp3", "a.mp3"}));
    EXPECT_TRUE(indexed(a));
    EXPECT_EQ(undoStack.redoText(), QStringLiteral("Remove Track"));

    runAndWait([&] { undoStack.redo(); }, engine.get(), &LibraryEngine::tracksChanged);
    EXPECT_EQ(filenames(), (QStringList {"b.mp3", "c.mp3"}));
    EXPECT_EQ(storedFilenames(), (QStringList {"b.mp3", "c.mp3"}));
    EXPECT_EQ(queue.removed, (std::vector<QUuid> {a.id, a.id}));
    EXPECT_TRUE(QFile::exists(musicPath(QStringLiteral("a.mp3"))));
}

TEST_F(TrackRemovalTest, UndoAfterTheFileVanishedLeavesTheSongOut)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    removeThroughCoordinator(a);
    ASSERT_TRUE(QFile::remove(musicPath(QStringLiteral("a.mp3"))));

    runAndWait([&] { undoStack.undo(); }, coordinator.get(), &TrackRemovalCoordinator::errorMessageChanged);
    EXPECT_EQ(coordinator->errorMessage(), QStringLiteral("a.mp3 cannot be restored because the original file is no longer available."));
    EXPECT_TRUE(filenames().isEmpty());
    EXPECT_TRUE(storedFilenames().isEmpty());

    // With nothing to remove again, the redo leaves the stack instead.
    undoStack.redo();
    EXPECT_EQ(undoStack.count(), 0);
    EXPECT_TRUE(filenames().isEmpty());
}

TEST_F(TrackRemovalTest, AQuickRedoWaitsForTheUndoBeforeIt)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    importSong(QStringLiteral("b.mp3"));
    removeThroughCoordinator(a);
    QSignalSpy changed(engine.get(), &LibraryEngine::tracksChanged);

    undoStack.undo();
    undoStack.redo();
    while (changed.count() < 2)
        ASSERT_TRUE(changed.wait());
    EXPECT_EQ(filenames(), QStringList {"b.mp3"});
    EXPECT_FALSE(coordinator->errorMessage().has_value());
    EXPECT_EQ(queue.removed, (std::vector<QUuid> {a.id, a.id}));
}

TEST_F(TrackRemovalTest, RestoringAListedSongReplacesItsRecordInPlace)
{
    importSong(QStringLiteral("a.mp3"));
    Track b = importSong(QStringLiteral("b.mp3"));
    importSong(QStringLiteral("c.mp3"));
    b.title = QStringLiteral("Restored");

    await(engine->restoreTrack(b));
    EXPECT_EQ(filenames(), (QStringList {"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(engine->allTracks()[1], b);
    EXPECT_EQ(await(database->loadAllTracks())[1], b);
}

TEST_F(TrackRemovalTest, RestoringASongWithoutItsFileIsRefused)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    await(engine->removeTrack(a, RemovalKind::KeepFile));
    ASSERT_TRUE(QFile::remove(musicPath(QStringLiteral("a.mp3"))));
    try {
        await(engine->restoreTrack(a));
        FAIL() << "a song without its file was restored";
    } catch (const LibraryTrackRemovalError& error) {
        EXPECT_EQ(error.kind(), LibraryTrackRemovalError::Kind::RestorationFileMissing);
        EXPECT_EQ(error.url(), a.fileURL);
    }
    EXPECT_TRUE(filenames().isEmpty());
}

// ---------------------------------------------------------------------------
// Permanent deletion

TEST_F(TrackRemovalTest, ConfirmedDeletionDeletesOnlyTheSongsFile)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    importSong(QStringLiteral("b.mp3"));
    QSignalSpy pending(coordinator.get(), &TrackRemovalCoordinator::pendingPermanentDeletionChanged);

    coordinator->requestPermanentDeletion(a);
    EXPECT_EQ(coordinator->pendingPermanentDeletion(), a);
    await(coordinator->confirmPermanentDeletion());
    EXPECT_FALSE(coordinator->pendingPermanentDeletion().has_value());
    EXPECT_EQ(pending.count(), 2);

    EXPECT_FALSE(QFile::exists(musicPath(QStringLiteral("a.mp3"))));
    EXPECT_TRUE(QFile::exists(musicPath(QStringLiteral("b.mp3"))));
    EXPECT_EQ(filenames(), QStringList {"b.mp3"});
    EXPECT_EQ(storedFilenames(), QStringList {"b.mp3"});
    EXPECT_FALSE(indexed(a));
    EXPECT_EQ(queue.removed, std::vector<QUuid> {a.id});
    EXPECT_EQ(undoStack.count(), 0);
    EXPECT_FALSE(coordinator->errorMessage().has_value());
}

TEST_F(TrackRemovalTest, CancelledDeletionChangesNothing)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    coordinator->requestPermanentDeletion(a);
    coordinator->cancelPermanentDeletion();
    await(coordinator->confirmPermanentDeletion());
    EXPECT_FALSE(coordinator->pendingPermanentDeletion().has_value());
    EXPECT_TRUE(QFile::exists(musicPath(QStringLiteral("a.mp3"))));
    EXPECT_EQ(filenames(), QStringList {"a.mp3"});
}

TEST_F(TrackRemovalTest, OnlyARegularAudioFileIsDeleted)
{
    const QString folder = musicPath(QStringLiteral("album.mp3"));
    QDir().mkpath(folder);
    test::writeFile(musicPath(QStringLiteral("notes.txt")), "text");
    ASSERT_TRUE(QFile::link(folder, musicPath(QStringLiteral("link.flac"))));

    for (const QString& name : {QStringLiteral("album.mp3"), QStringLiteral("notes.txt"), QStringLiteral("link.flac")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = musicPath(name);
        const Track song = listSongAt(path);
        EXPECT_EQ(removalError(song, RemovalKind::DeleteFile),
                  QStringLiteral("The selected item is not an audio file and was not deleted: ") + path);
        EXPECT_TRUE(QFileInfo::exists(path));
        EXPECT_EQ(filenames(), QStringList {name});
        EXPECT_EQ(storedFilenames(), QStringList {name});
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(TrackRemovalTest, DeletingASongWhoseFileVanishedKeepsItListed)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    ASSERT_TRUE(QFile::remove(musicPath(QStringLiteral("a.mp3"))));

    coordinator->requestPermanentDeletion(a);
    await(coordinator->confirmPermanentDeletion());
    EXPECT_EQ(coordinator->errorMessage(), QStringLiteral("a.mp3 cannot be restored because the original file is no longer available."));
    EXPECT_EQ(filenames(), QStringList {"a.mp3"});
    EXPECT_EQ(storedFilenames(), QStringList {"a.mp3"});
    EXPECT_TRUE(queue.removed.empty());
}

TEST_F(TrackRemovalTest, FailedDeletionWritesTheEntryBack)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    const QString path = musicPath(QStringLiteral("a.mp3"));
    // A folder that takes the file's place after the checks cannot be
    // unlinked, not even by root.
    database->afterDelete = [&] {
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QDir().mkpath(path));
        test::writeFile(path + QStringLiteral("/kept.txt"), "kept");
    };

    EXPECT_EQ(removalError(a, RemovalKind::DeleteFile),
              QStringLiteral("a.mp3 could not be deleted. The library entry was restored. "
                             "The file \u201Ca.mp3\u201D could not be removed: Is a directory (")
                  + path + QLatin1Char(')'));
    EXPECT_EQ(filenames(), QStringList {"a.mp3"});
    EXPECT_EQ(await(database->loadAllTracks()), engine->allTracks());
    EXPECT_TRUE(indexed(a));
    EXPECT_TRUE(QFile::exists(path + QStringLiteral("/kept.txt")));
}

TEST_F(TrackRemovalTest, FailedDeletionAndFailedRecoveryAreBothReported)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    const QString path = musicPath(QStringLiteral("a.mp3"));
    database->afterDelete = [&] {
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inner")));
    };
    database->saveFailure = QStringLiteral("The disk is full.");

    EXPECT_EQ(removalError(a, RemovalKind::DeleteFile),
              QStringLiteral("a.mp3 could not be deleted, and its library entry could not be restored automatically. Deletion error: "
                             "The file \u201Ca.mp3\u201D could not be removed: Is a directory (")
                  + path + QStringLiteral("). Recovery error: The disk is full."));
    EXPECT_EQ(filenames(), QStringList {"a.mp3"});
    EXPECT_TRUE(storedFilenames().isEmpty());
}

// ---------------------------------------------------------------------------
// The coordinator

TEST_F(TrackRemovalTest, ASecondRemovalIsRefusedWhileTheFirstRuns)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    const Track b = importSong(QStringLiteral("b.mp3"));

    auto first = coordinator->startRemoval(a, RemovalKind::KeepFile, Undo::Register);
    EXPECT_EQ(coordinator->inFlightTrackID(), a.id);
    removeThroughCoordinator(b, RemovalKind::DeleteFile);
    EXPECT_EQ(coordinator->errorMessage(), QStringLiteral("Wait for the current library operation to finish before removing another track."));
    EXPECT_EQ(coordinator->inFlightTrackID(), a.id);

    await(std::move(first));
    EXPECT_FALSE(coordinator->inFlightTrackID().has_value());
    EXPECT_EQ(filenames(), QStringList {"b.mp3"});
    EXPECT_TRUE(QFile::exists(musicPath(QStringLiteral("b.mp3"))));
    EXPECT_EQ(queue.removed, std::vector<QUuid> {a.id});
    EXPECT_EQ(undoStack.count(), 1);
}

TEST_F(TrackRemovalTest, UnknownSongIsReportedAndTheQueueIsNotTold)
{
    importSong(QStringLiteral("a.mp3"));
    QSignalSpy errors(coordinator.get(), &TrackRemovalCoordinator::errorMessageChanged);

    removeThroughCoordinator(test::makeTrack(QStringLiteral("stranger")));
    EXPECT_EQ(coordinator->errorMessage(), QStringLiteral("Track not found in the local library."));
    EXPECT_EQ(errors.count(), 2);
    EXPECT_FALSE(coordinator->inFlightTrackID().has_value());
    EXPECT_TRUE(queue.removed.empty());
    EXPECT_EQ(undoStack.count(), 0);
    EXPECT_EQ(filenames(), QStringList {"a.mp3"});

    coordinator->clearErrorMessage();
    EXPECT_FALSE(coordinator->errorMessage().has_value());
}

TEST_F(TrackRemovalTest, WithoutAQueueOrAnUndoStackTheRemovalStillHappens)
{
    const Track a = importSong(QStringLiteral("a.mp3"));
    TrackRemovalCoordinator bare(*engine, nullptr, nullptr);
    await(bare.startRemoval(a, RemovalKind::KeepFile, Undo::Register));
    EXPECT_TRUE(filenames().isEmpty());
    EXPECT_FALSE(bare.errorMessage().has_value());
}

TEST(LibraryTrackRemovalError, TextsNameTheDecodedFile)
{
    const FileURL url = *FileURL::fromEncoded("file:///music/My%20Song%20%231.mp3");
    EXPECT_EQ(LibraryTrackRemovalError::invalidDeletionTarget(url).description(),
              QStringLiteral("The selected item is not an audio file and was not deleted: /music/My Song #1.mp3"));
    EXPECT_EQ(LibraryTrackRemovalError::fileDeletionFailed(url, QStringLiteral("Busy.")).description(),
              QStringLiteral("My Song #1.mp3 could not be deleted. The library entry was restored. Busy."));
    EXPECT_EQ(LibraryTrackRemovalError::rollbackFailed(url, QStringLiteral("Busy"), QStringLiteral("Full")).description(),
              QStringLiteral("My Song #1.mp3 could not be deleted, and its library entry could not be restored automatically. "
                             "Deletion error: Busy. Recovery error: Full"));
    EXPECT_EQ(LibraryTrackRemovalError::restorationFileMissing(url).description(),
              QStringLiteral("My Song #1.mp3 cannot be restored because the original file is no longer available."));
}
