#include "LibraryHarness.h"
#include "TestSupport.h"

#include "library/LibraryImporter.h"
#include "library/OstrelMetadataEngine.h"
#include "library/WatchedFolders.h"
#include "platform/Worker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

using namespace varno;
using test::await;

namespace {

// Reads metadata with the real engine, but one file at a time and no faster
// than one every ten milliseconds, so that an import of a few dozen files
// lasts long enough to publish progress between its first and last update.
class PacedMetadataEngine final : public MetadataEngine {
public:
    PacedMetadataEngine() { m_pace.setMaxThreadCount(1); }
    ~PacedMetadataEngine() override { m_pace.waitForDone(); }

    QCoro::Task<ExtractedMetadata> readMetadata(FileURL url) override
    {
        auto pausing = runOn(&m_pace, [] { QThread::msleep(10); });
        co_await pausing;
        auto reading = m_inner.readMetadata(std::move(url));
        co_return co_await reading;
    }
    QCoro::Task<> writeMetadata(Track track, std::optional<QByteArray> artwork) override
    {
        return m_inner.writeMetadata(std::move(track), std::move(artwork));
    }
    QCoro::Task<std::optional<QByteArray>> extractArtwork(FileURL url) override { return m_inner.extractArtwork(std::move(url)); }
    QCoro::Task<std::vector<std::optional<TagFields>>> readTagFields(std::vector<FileURL> urls) override
    {
        return m_inner.readTagFields(std::move(urls));
    }

private:
    OstrelMetadataEngine m_inner;
    QThreadPool m_pace;
};

// Warnings of the library's logging category, collected while a test runs;
// every other message goes where it went before.
QStringList libraryWarnings;
QtMessageHandler previousHandler = nullptr;

void collectLibraryWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && qstrcmp(context.category, "varno.library") == 0)
        libraryWarnings.push_back(message);
    else if (previousHandler)
        previousHandler(type, context, message);
}

class LibraryEventsTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        libraryWarnings.clear();
        previousHandler = qInstallMessageHandler(collectLibraryWarnings);
        library.start();
    }
    void TearDown() override
    {
        engine.reset();
        database.reset();
        qInstallMessageHandler(previousHandler);
        DataFolderTest::TearDown();
    }

    FileURL audioFile(const QString& name, const QString& fixture = QStringLiteral("formats/untagged.mp3"))
    {
        const QString path = scratch(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(test::fixturePath(fixture), path)) << path.toStdString();
        return FileURL::fromLocalFile(path);
    }

    static QString numberedName(int i) { return QStringLiteral("f%1.mp3").arg(i, 2, 10, QLatin1Char('0')); }

    std::vector<FileURL> numberedFiles(int count)
    {
        std::vector<FileURL> files;
        for (int i = 0; i < count; ++i)
            files.push_back(audioFile(QStringLiteral("import/") + numberedName(i)));
        return files;
    }

    void report(const FileSystemChange& change) { emit watcher.changeOccurred(change); }

    QStringList filenames() const
    {
        QStringList names;
        for (const Track& t : engine->allTracks())
            names << t.filename;
        names.sort();
        return names;
    }

    QUuid idOf(const QString& filename) const
    {
        for (const Track& t : engine->allTracks()) {
            if (t.filename == filename)
                return t.id;
        }
        ADD_FAILURE() << "no song " << filename.toStdString();
        return {};
    }

    TrackList stored() { return await(database->loadAllTracks()); }

    PacedMetadataEngine metadataEngine;
    test::LibraryHarness library {&metadataEngine};
    std::unique_ptr<OstrelDatabaseManager>& database = library.database;
    test::RecordingFileWatcher& watcher = library.watcher;
    std::unique_ptr<OstrelLibraryEngine>& engine = library.engine;
};

} // namespace

TEST_F(LibraryEventsTest, ImportProgressRunsFromFirstToLastFileAndEndsInactive)
{
    const std::vector<FileURL> files = numberedFiles(40);
    std::vector<ImportProgress> updates;
    QObject::connect(engine.get(), &LibraryEngine::importProgressChanged, engine.get(), [&] { updates.push_back(engine->importProgress()); });
    QElapsedTimer clock;
    clock.start();
    await(engine->importFiles(files));
    const qint64 elapsed = clock.elapsed();

    ASSERT_GE(updates.size(), 4u);
    EXPECT_EQ(updates.front(), (ImportProgress {0, 40, QStringLiteral("f00.mp3"), true}));
    EXPECT_EQ(updates[updates.size() - 2], (ImportProgress {40, 40, QStringLiteral("f39.mp3"), true}));
    EXPECT_EQ(updates.back(), (ImportProgress {40, 40, QString(), false}));
    for (std::size_t i = 1; i + 1 < updates.size(); ++i) {
        EXPECT_GT(updates[i].done, updates[i - 1].done);
        EXPECT_EQ(updates[i].currentFile, numberedName(std::min(updates[i].done, 39)));
    }
    // Throttled: one update per interval at most, besides the first, the
    // last and the end.
    EXPECT_LE(static_cast<qint64>(updates.size()), 3 + elapsed / LibraryImporter::kProgressIntervalMs + 1);
    EXPECT_EQ(engine->allTracks().size(), 40u);
}

TEST_F(LibraryEventsTest, CancelKeepsTheSongsImportedSoFarAndReadsNoMoreFiles)
{
    const std::vector<FileURL> files = numberedFiles(40);
    int doneAtCancel = -1;
    QObject::connect(engine.get(), &LibraryEngine::importProgressChanged, engine.get(), [&] {
        const ImportProgress progress = engine->importProgress();
        if (doneAtCancel < 0 && progress.active && progress.done >= 5) {
            doneAtCancel = progress.done;
            engine->cancelImport();
        }
    });
    EXPECT_NO_THROW(await(engine->importFiles(files)));
    ASSERT_GT(doneAtCancel, 0);
    ASSERT_LT(doneAtCancel, 40);

    QStringList expected;
    for (int i = 0; i < doneAtCancel; ++i)
        expected << numberedName(i);
    EXPECT_EQ(filenames(), expected);
    EXPECT_EQ(stored().size(), static_cast<std::size_t>(doneAtCancel));
    EXPECT_EQ(engine->importProgress(), (ImportProgress {doneAtCancel, 40, QString(), false}));

    // The cancel ended that import only: the next one brings in the rest.
    await(engine->importFiles(files));
    EXPECT_EQ(engine->allTracks().size(), 40u);
}

TEST_F(LibraryEventsTest, FilesAddedOrMovedInAreImportedTogetherOnceTheFolderIsQuiet)
{
    const FileURL added = audioFile(QStringLiteral("music/new.mp3"));
    const FileURL movedIn = audioFile(QStringLiteral("music/moved.mp3"));
    QSignalSpy changed(engine.get(), &LibraryEngine::tracksChanged);
    QSignalSpy progress(engine.get(), &LibraryEngine::importProgressChanged);

    report(FileSystemChange::added(added));
    report(FileSystemChange::modified(movedIn));
    QCoreApplication::processEvents();
    EXPECT_TRUE(engine->allTracks().empty());
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(filenames(), (QStringList {"moved.mp3", "new.mp3"}));
    EXPECT_EQ(stored().size(), 2u);
    // Imports nobody asked for publish no progress.
    EXPECT_EQ(progress.count(), 0);

    // A change to a song already in the library imports nothing more: a
    // file reported after it, handled with it, is the only song added.
    const Track before = engine->allTracks()[1];
    report(FileSystemChange::modified(added));
    report(FileSystemChange::added(audioFile(QStringLiteral("music/later.mp3"))));
    ASSERT_TRUE(test::waitUntil([&] { return filenames().contains(QStringLiteral("later.mp3")); }));
    EXPECT_EQ(filenames(), (QStringList {"later.mp3", "moved.mp3", "new.mp3"}));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(stored().size(), 3u);
    EXPECT_EQ(engine->allTracks()[1], before);
}

TEST_F(LibraryEventsTest, VanishedTemporaryFileReportedAsAddedIsIgnored)
{
    const FileURL temporary = FileURL::fromLocalFile(scratch(QStringLiteral("music/song.mp3.partial.mp3")));
    const FileURL song = audioFile(QStringLiteral("music/song.mp3"));
    QSignalSpy changed(engine.get(), &LibraryEngine::tracksChanged);

    report(FileSystemChange::added(temporary));
    report(FileSystemChange::modified(song));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(filenames(), QStringList {"song.mp3"});
    EXPECT_TRUE(libraryWarnings.isEmpty()) << libraryWarnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(LibraryEventsTest, NewFileThatCannotBeReadIsLoggedAndSkipped)
{
    const FileURL broken = audioFile(QStringLiteral("music/broken.mp3"), QStringLiteral("bad/random.mp3"));
    const FileURL song = audioFile(QStringLiteral("music/song.mp3"));
    QSignalSpy changed(engine.get(), &LibraryEngine::tracksChanged);

    report(FileSystemChange::added(broken));
    report(FileSystemChange::added(song));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(filenames(), QStringList {"song.mp3"});
    ASSERT_EQ(libraryWarnings.size(), 1);
    EXPECT_TRUE(libraryWarnings[0].startsWith(QStringLiteral("A new file in a watched folder could not be imported: broken.mp3: ")))
        << libraryWarnings[0].toStdString();
}

TEST_F(LibraryEventsTest, DeletedFileMakesItsSongUnavailableUntilTheFileComesBack)
{
    const FileURL song = audioFile(QStringLiteral("music/song.mp3"));
    await(engine->importFiles({song}));
    const QUuid id = engine->allTracks()[0].id;
    const QByteArray tracksFile = test::readFile(appFile(QStringLiteral("tracks.json")));
    QSignalSpy unavailable(engine.get(), &LibraryEngine::unavailableTracksChanged);

    QFile::remove(song.toLocalFile());
    report(FileSystemChange::deleted(song));
    ASSERT_TRUE(unavailable.wait(5000));
    EXPECT_EQ(engine->unavailableTrackIDs(), QSet<QUuid> {id});
    EXPECT_EQ(filenames(), QStringList {"song.mp3"});
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), tracksFile);

    audioFile(QStringLiteral("music/song.mp3"));
    report(FileSystemChange::added(song));
    ASSERT_TRUE(unavailable.wait(5000));
    EXPECT_TRUE(engine->unavailableTrackIDs().isEmpty());
    EXPECT_EQ(filenames(), QStringList {"song.mp3"});
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), tracksFile);
}

TEST_F(LibraryEventsTest, FolderReportedGoneMakesEverySongBelowItUnavailable)
{
    await(engine->importFiles({audioFile(QStringLiteral("music/album/a.mp3")), audioFile(QStringLiteral("music/album/disc 2/b.mp3")),
                               audioFile(QStringLiteral("music/album 2/c.mp3")), audioFile(QStringLiteral("music/album.mp3"))}));
    QSignalSpy unavailable(engine.get(), &LibraryEngine::unavailableTracksChanged);

    const QString album = scratch(QStringLiteral("music/album"));
    ASSERT_TRUE(QDir(album).removeRecursively());
    report(FileSystemChange::deleted(FileURL::fromLocalFile(album)));
    ASSERT_TRUE(unavailable.wait(5000));
    EXPECT_EQ(engine->unavailableTrackIDs(), (QSet<QUuid> {idOf(QStringLiteral("a.mp3")), idOf(QStringLiteral("b.mp3"))}));
    EXPECT_EQ(engine->allTracks().size(), 4u);
    EXPECT_EQ(stored().size(), 4u);
}
