#include "InterceptingDatabase.h"
#include "LibraryHarness.h"
#include "TestSupport.h"

#include "storage/StateCodecs.h"

#include <QCoroTimer>
#include <QDir>

#include <functional>

using namespace varno;
using test::await;

namespace {

// The real metadata engine, counting the files whose tag fields are asked
// for, with a hook that runs once they have been read: the moment another
// process may change the library before the rescan writes what was read.
// While `holdTagReads` is set, reads of tag fields wait before they start.
class WatchedMetadataEngine final : public MetadataEngine {
public:
    std::size_t tagFieldFiles = 0;
    std::function<void()> afterTagFieldsRead;
    bool holdTagReads = false;

    QCoro::Task<ExtractedMetadata> readMetadata(FileURL url) override { return m_real.readMetadata(std::move(url)); }
    QCoro::Task<> writeMetadata(Track track, std::optional<QByteArray> artwork) override
    {
        return m_real.writeMetadata(std::move(track), std::move(artwork));
    }
    QCoro::Task<std::optional<QByteArray>> extractArtwork(FileURL url) override { return m_real.extractArtwork(std::move(url)); }
    QCoro::Task<std::vector<std::optional<TagFields>>> readTagFields(std::vector<FileURL> urls) override
    {
        tagFieldFiles += urls.size();
        while (holdTagReads) {
            auto pause = QCoro::sleepFor(std::chrono::milliseconds(2));
            co_await pause;
        }
        auto reading = m_real.readTagFields(std::move(urls));
        std::vector<std::optional<TagFields>> fields = co_await reading;
        if (afterTagFieldsRead)
            afterTagFieldsRead();
        co_return fields;
    }

private:
    OstrelMetadataEngine m_real;
};

class TagFieldsRescanTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        library.open();
    }
    void TearDown() override
    {
        library.engine.reset();
        library.database.reset();
        DataFolderTest::TearDown();
    }

    // A song as versions that did not read the five fields stored it: the
    // texts of its tags, none of the five and no mark.
    Track oldRecord(const QString& name, const QString& fixture = QStringLiteral("formats/tagged.mp3"))
    {
        const QString path = scratch(QStringLiteral("music/") + name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(test::fixturePath(fixture), path)) << path.toStdString();
        Track track(QUuid::createUuid(), FileURL::fromLocalFile(path), name, name, 2.0, Timestamp::now(), std::nullopt);
        track.artist = QStringLiteral("Tagged Artist");
        return track;
    }

    // Writes the library as such a version left it and starts the engine on it.
    void startOn(const std::vector<Track>& songs)
    {
        json::writeTracksFile(appFile(QStringLiteral("tracks.json")), TrackList(songs));
        library.start();
    }

    // The library file as another process reads it.
    TrackList onDisk() { return otherProcess().readTracksFile(); }

    OstrelDatabaseManager& otherProcess()
    {
        if (!m_otherProcess)
            m_otherProcess = std::make_unique<OstrelDatabaseManager>(library.preferences);
        return *m_otherProcess;
    }

    static void expectStandardFields(const Track& song)
    {
        SCOPED_TRACE(song.filename.toStdString());
        EXPECT_EQ(song.year, 1999);
        EXPECT_EQ(song.trackNumber, 3);
        EXPECT_EQ(song.discNumber, 1);
        EXPECT_EQ(song.comments, QStringLiteral("Tagged comment"));
        EXPECT_EQ(song.bpm, 120);
        EXPECT_TRUE(song.tagFieldsRead);
    }

    WatchedMetadataEngine metadata;
    test::LibraryHarness library {&metadata};

private:
    std::unique_ptr<OstrelDatabaseManager> m_otherProcess;
};

} // namespace

TEST_F(TagFieldsRescanTest, ARescanFillsSongsImportedBeforeTheFieldsWereReadInOneWrite)
{
    startOn({oldRecord(QStringLiteral("a.mp3")), oldRecord(QStringLiteral("b.flac"), QStringLiteral("formats/tagged.flac")),
             oldRecord(QStringLiteral("c.ogg"), QStringLiteral("formats/untagged.ogg"))});
    const QByteArray before = test::readFile(appFile(QStringLiteral("tracks.json")));
    std::vector<TrackListChange> changes;
    QObject::connect(library.engine.get(), &LibraryEngine::tracksChanged, library.engine.get(),
                     [&](const TrackListChange& change) { changes.push_back(change); });

    const RescanSummary summary = await(library.engine->rescan());
    EXPECT_EQ(summary.tagsToRead, 3);
    EXPECT_EQ(await(library.engine->waitForTagFill()), 3);
    const TrackList& songs = library.engine->allTracks();
    ASSERT_EQ(songs.size(), 3u);
    expectStandardFields(songs[0]);
    expectStandardFields(songs[1]);
    EXPECT_FALSE(songs[2].year || songs[2].trackNumber || songs[2].discNumber || songs[2].comments || songs[2].bpm);
    EXPECT_TRUE(songs[2].tagFieldsRead);
    EXPECT_EQ(onDisk(), songs);
    EXPECT_EQ(changes, std::vector<TrackListChange> {TrackListChange::updated({0, 1, 2})});
    // One write: the backup is the library as it was before the rescan.
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json.bak"))), before);

    // Marked songs are not read again, and nothing is written.
    const QByteArray filled = test::readFile(appFile(QStringLiteral("tracks.json")));
    metadata.tagFieldFiles = 0;
    EXPECT_EQ(await(library.engine->rescan()).tagsToRead, 0);
    EXPECT_EQ(await(library.engine->waitForTagFill()), 0);
    EXPECT_EQ(metadata.tagFieldFiles, 0u);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), filled);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json.bak"))), before);
}

TEST_F(TagFieldsRescanTest, AValueTheUserGaveStaysAndOneClearedAfterTheFieldsWereReadStaysCleared)
{
    Track edited = oldRecord(QStringLiteral("edited.mp3"));
    edited.year = 2010;
    edited.comments = QString();
    Track cleared = oldRecord(QStringLiteral("cleared.mp3"));
    cleared.tagFieldsRead = true;
    startOn({edited, cleared});

    await(library.engine->rescan());
    EXPECT_EQ(await(library.engine->waitForTagFill()), 1);
    EXPECT_EQ(metadata.tagFieldFiles, 1u);
    const Track& filled = library.engine->allTracks()[0];
    EXPECT_EQ(filled.year, 2010);
    EXPECT_EQ(filled.comments, QString());
    EXPECT_EQ(filled.trackNumber, 3);
    EXPECT_EQ(filled.bpm, 120);
    EXPECT_EQ(library.engine->allTracks()[1], cleared);
    EXPECT_EQ(onDisk(), library.engine->allTracks());
}

TEST_F(TagFieldsRescanTest, ASongRemovedMeanwhileStaysGoneAndAFieldEditedMeanwhileStays)
{
    const Track removed = oldRecord(QStringLiteral("removed.mp3"));
    const Track kept = oldRecord(QStringLiteral("kept.mp3"));
    startOn({removed, kept});
    // Another process removes one song and rates the other after the files
    // were read and before the rescan writes.
    metadata.afterTagFieldsRead = [&] {
        otherProcess().deleteFromTracksFile({removed});
        Track rated = otherProcess().readTracksFile()[0];
        rated.rating = 5;
        otherProcess().updateTracksFile({rated});
    };

    await(library.engine->rescan());
    EXPECT_EQ(await(library.engine->waitForTagFill()), 1);
    const TrackList stored = onDisk();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].id, kept.id);
    EXPECT_EQ(stored[0].rating, 5);
    expectStandardFields(stored[0]);
    EXPECT_EQ(library.engine->allTracks(), stored);
}

TEST_F(TagFieldsRescanTest, ASongWhoseFileIsGoneIsFilledOnceItIsBack)
{
    const Track song = oldRecord(QStringLiteral("away.mp3"));
    const QString path = song.fileURL.toLocalFile();
    QFile::rename(path, path + QStringLiteral(".moved"));
    startOn({song});
    const QByteArray before = test::readFile(appFile(QStringLiteral("tracks.json")));

    RescanSummary summary = await(library.engine->rescan());
    EXPECT_EQ(await(library.engine->waitForTagFill()), 0);
    EXPECT_EQ(summary.missing, 1);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), before);
    EXPECT_FALSE(library.engine->allTracks()[0].tagFieldsRead);

    QFile::rename(path + QStringLiteral(".moved"), path);
    summary = await(library.engine->rescan());
    EXPECT_EQ(await(library.engine->waitForTagFill()), 1);
    EXPECT_EQ(summary.missing, 0);
    expectStandardFields(library.engine->allTracks()[0]);
}

TEST_F(TagFieldsRescanTest, TheRescanReturnsBeforeTheTagsAreReadWhichShowTheirProgressUntilSaved)
{
    startOn({oldRecord(QStringLiteral("a.mp3")), oldRecord(QStringLiteral("b.mp3")), oldRecord(QStringLiteral("c.mp3"))});
    metadata.holdTagReads = true;

    const RescanSummary summary = await(library.engine->rescan());
    EXPECT_EQ(summary.tagsToRead, 3);
    EXPECT_EQ(summary.missing, 0);
    for (const Track& song : library.engine->allTracks())
        EXPECT_FALSE(song.tagFieldsRead || song.year);
    const ImportProgress reading = library.engine->importProgress();
    EXPECT_TRUE(reading.active);
    EXPECT_TRUE(reading.readingTagsOnly);
    EXPECT_EQ(reading.done, 0);
    EXPECT_EQ(reading.total, 3);
    // A second rescan meanwhile leaves the running fill to finish.
    EXPECT_EQ(await(library.engine->rescan()).tagsToRead, 0);

    metadata.holdTagReads = false;
    EXPECT_EQ(await(library.engine->waitForTagFill()), 3);
    EXPECT_EQ(metadata.tagFieldFiles, 3u);
    for (const Track& song : library.engine->allTracks())
        expectStandardFields(song);
    EXPECT_EQ(onDisk(), library.engine->allTracks());
    EXPECT_EQ(library.engine->importProgress(), (ImportProgress {3, 3, QString(), false}));
}

TEST_F(TagFieldsRescanTest, AFillSavedWhileTheUserEditsTheSongKeepsTheEditAndFillsOnlyWhatItLacks)
{
    const Track song = oldRecord(QStringLiteral("edited.mp3"));
    json::writeTracksFile(appFile(QStringLiteral("tracks.json")), TrackList({song}));
    test::InterceptingDatabase database(*library.database);
    OstrelLibraryEngine& engine = library.start(&database);
    // The user's edit lands after the fill was written and before the fill
    // is published: its write replaces the filled record on disk.
    database.afterFill = [&]() -> QCoro::Task<> {
        Track edited = engine.allTracks()[0];
        edited.year = 2010;
        edited.rating = 4;
        auto editing = engine.updateTrack(edited);
        co_await editing;
    };

    await(engine.rescan());
    EXPECT_EQ(await(engine.waitForTagFill()), 1);
    const Track& shown = engine.allTracks()[0];
    EXPECT_EQ(shown.year, 2010);
    EXPECT_EQ(shown.rating, 4);
    EXPECT_EQ(shown.trackNumber, 3);
    EXPECT_EQ(shown.bpm, 120);
    EXPECT_TRUE(shown.tagFieldsRead);
    const Track stored = onDisk()[0];
    EXPECT_EQ(stored.year, 2010);
    EXPECT_EQ(stored.rating, 4);
    library.engine.reset();
}
