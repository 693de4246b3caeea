#include "TestSupport.h"

#include "platform/FileIO.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"
#include "storage/TrackSnapshot.h"

#include <QFile>
#include <QFileInfo>

using namespace varno;
using test::await;

namespace {

// Every kind of field: texts shared between songs, empty and absent ones,
// text outside the basic plane, numbers present and absent, a bookmark.
TrackList sampleLibrary()
{
    std::vector<Track> songs;
    for (int i = 0; i < 5; ++i) {
        Track t = test::makeTrack(QStringLiteral("Song %1 ✓ 𝄞").arg(i));
        t.artist = QStringLiteral("Björk");
        t.album = i < 3 ? std::optional<QString>(QStringLiteral("Début")) : std::nullopt;
        t.genre = QString();
        t.trackNumber = i + 1;
        t.discNumber = i < 3 ? std::optional<std::int64_t>(1) : std::nullopt;
        t.year = 1993;
        t.bpm = i == 2 ? std::optional<std::int64_t>(-7) : std::nullopt;
        t.rating = i % 6;
        t.bitrate = 320;
        t.comments = QStringLiteral("line one\nline two");
        t.lyrics = i == 4 ? std::optional<QString>(QString(3000, QLatin1Char('x'))) : std::nullopt;
        t.tagFieldsRead = i % 2 == 0;
        if (i == 1)
            t.securityScopedBookmark = QByteArray("\x00\x01grant\xff", 8);
        songs.push_back(t);
    }
    return TrackList(songs);
}

fileio::FileVersion someVersion()
{
    fileio::FileVersion version;
    version.exists = true;
    version.device = 2049;
    version.inode = 131077;
    version.size = 51234;
    version.modifiedNanoseconds = 1'765'000'000'123'456'789;
    return version;
}

std::vector<Track> values(const TrackList& list)
{
    return std::vector<Track>(list.begin(), list.end());
}

} // namespace

TEST(TrackSnapshot, KeepsEverySongExactlyAndOnlyForTheVersionItWasMadeFrom)
{
    std::vector<Track> songs = values(sampleLibrary());
    songs[3].dateAdded.reset();
    const TrackList library(songs);
    const std::string bytes = snapshot::encode(library, someVersion());

    const std::optional<TrackList> read = snapshot::decode(bytes, someVersion());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(values(*read), values(library));
    EXPECT_FALSE((*read)[3].dateAdded.has_value());

    // Any part of the identity that differs means another tracks file.
    for (auto change : {+[](fileio::FileVersion& v) { v.device++; }, +[](fileio::FileVersion& v) { v.inode++; },
                        +[](fileio::FileVersion& v) { v.size++; }, +[](fileio::FileVersion& v) { v.modifiedNanoseconds++; },
                        +[](fileio::FileVersion& v) { v.exists = false; }}) {
        fileio::FileVersion other = someVersion();
        change(other);
        EXPECT_FALSE(snapshot::decode(bytes, other).has_value());
    }
    EXPECT_TRUE(snapshot::decode(snapshot::encode(TrackList(), someVersion()), someVersion())->empty());
}

TEST(TrackSnapshot, RefusesDamagedTruncatedAndForeignBytes)
{
    const std::string bytes = snapshot::encode(sampleLibrary(), someVersion());

    // A flipped bit anywhere: header, texts, file URLs, records.
    for (std::size_t at = 0; at < bytes.size(); at += 7) {
        std::string damaged = bytes;
        damaged[at] = char(damaged[at] ^ 0x10);
        EXPECT_FALSE(snapshot::decode(damaged, someVersion()).has_value()) << "byte " << at;
    }
    for (std::size_t size = 0; size < bytes.size(); size += 13)
        EXPECT_FALSE(snapshot::decode(std::string_view(bytes).substr(0, size), someVersion()).has_value()) << "cut at " << size;
    EXPECT_FALSE(snapshot::decode(bytes + std::string(8, '\0'), someVersion()).has_value());

    const std::string json = json::encodeTracks(sampleLibrary());
    EXPECT_FALSE(snapshot::decode(json, someVersion()).has_value());
    EXPECT_FALSE(snapshot::decode(std::string(bytes.size(), '\0'), someVersion()).has_value());
    std::string laterFormat = bytes;
    laterFormat[8] = char(snapshot::kFormatVersion + 1);
    EXPECT_FALSE(snapshot::decode(laterFormat, someVersion()).has_value());
}

class LibrarySnapshotTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        manager = std::make_unique<OstrelDatabaseManager>(preferences);
    }
    void TearDown() override
    {
        manager.reset();
        DataFolderTest::TearDown();
    }

    // A later start: a new manager over the same folder.
    TrackList reopen()
    {
        manager.reset();
        manager = std::make_unique<OstrelDatabaseManager>(preferences);
        return await(manager->loadAllTracks());
    }

    QString tracksPath() const { return appFile(QStringLiteral("tracks.json")); }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> manager;
};

TEST_F(LibrarySnapshotTest, ASaveLeavesASnapshotThatTheNextStartReadsInsteadOfTheFile)
{
    const TrackList library = sampleLibrary();
    await(manager->saveTracks(library));
    manager->waitForSnapshot();
    ASSERT_TRUE(QFileInfo::exists(manager->snapshotPath()));
    EXPECT_TRUE(manager->snapshotPath().startsWith(appFile(QStringLiteral("LibraryCache/"))));

    // A snapshot made for the file on disk is taken as it stands: one with
    // other titles shows that the start read it, not the JSON.
    std::vector<Track> renamed = values(library);
    renamed[0].title = QStringLiteral("From the snapshot");
    ASSERT_TRUE(snapshot::write(manager->snapshotPath(), TrackList(renamed), fileio::versionOf(tracksPath())));
    EXPECT_EQ(reopen()[0].title, QStringLiteral("From the snapshot"));
}

TEST_F(LibrarySnapshotTest, ALibraryWrittenByAnotherProcessIsNeverHiddenByAnOldSnapshot)
{
    await(manager->saveTracks(sampleLibrary()));
    manager->waitForSnapshot();
    const QByteArray oldSnapshot = test::readFile(manager->snapshotPath());

    // Another writer replaces the library, with a file of the same size.
    std::vector<Track> changed = values(sampleLibrary());
    changed[0].title = QStringLiteral("Other writer");
    fileio::writeFileAtomically(tracksPath(), json::encodeTracks(TrackList(changed)));
    EXPECT_EQ(reopen()[0].title, QStringLiteral("Other writer"));

    // The parse made a snapshot of the new version, which the next start uses.
    manager->waitForSnapshot();
    EXPECT_NE(test::readFile(manager->snapshotPath()), oldSnapshot);
    EXPECT_TRUE(snapshot::read(manager->snapshotPath(), fileio::versionOf(tracksPath())).has_value());
    EXPECT_EQ(reopen()[0].title, QStringLiteral("Other writer"));
}

TEST_F(LibrarySnapshotTest, ADamagedOrForeignSnapshotIsIgnoredAndReplaced)
{
    const TrackList library = sampleLibrary();
    await(manager->saveTracks(library));
    manager->waitForSnapshot();
    const QByteArray good = test::readFile(manager->snapshotPath());

    for (const QByteArray& bad : {good.left(good.size() / 2), QByteArray(good).replace(good.size() - 20, 4, "XXXX"),
                                  QByteArray("not a snapshot at all"), QByteArray()}) {
        test::writeFile(manager->snapshotPath(), bad);
        EXPECT_EQ(values(reopen()), values(library));
        manager->waitForSnapshot();
        EXPECT_TRUE(snapshot::read(manager->snapshotPath(), fileio::versionOf(tracksPath())).has_value());
    }
}

TEST_F(LibrarySnapshotTest, EditsAndErasingKeepTheSnapshotInStep)
{
    TrackList library = sampleLibrary();
    await(manager->saveTracks(library));
    Track edited = library[2];
    edited.title = QStringLiteral("Edited");
    await(manager->updateTracks(TrackList({edited})));
    EXPECT_EQ(reopen()[2].title, QStringLiteral("Edited"));

    await(manager->eraseAllData());
    EXPECT_FALSE(QFileInfo::exists(manager->snapshotPath()));
    EXPECT_TRUE(reopen().empty());
}

TEST_F(LibrarySnapshotTest, TheSnapshotOfTheLastSaveIsOnDiskWhenTheManagerCloses)
{
    // A burst of saves, and the process quits before they pause.
    TrackList library = sampleLibrary();
    await(manager->saveTracks(library));
    std::vector<Track> edited = values(library);
    edited[1].title = QStringLiteral("Edited last");
    await(manager->updateTracks(TrackList({edited[1]})));
    manager.reset();

    const std::optional<TrackList> onDisk = snapshot::read(appFile(QStringLiteral("LibraryCache/tracks.snapshot")), fileio::versionOf(tracksPath()));
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(values(*onDisk), edited);
}

TEST_F(LibrarySnapshotTest, AMappedSnapshotIsOfferedOnlyForTheLibraryOnDisk)
{
    EXPECT_EQ(manager->mapSnapshot(), nullptr);
    await(manager->saveTracks(sampleLibrary()));
    manager->waitForSnapshot();
    const std::unique_ptr<snapshot::Mapping> mapping = manager->mapSnapshot();
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(mapping->songCount(), sampleLibrary().size());
    EXPECT_EQ(mapping->song(4)->lyrics, sampleLibrary()[4].lyrics);

    std::vector<Track> changed = values(sampleLibrary());
    changed.pop_back();
    fileio::writeFileAtomically(tracksPath(), json::encodeTracks(TrackList(changed)));
    EXPECT_EQ(manager->mapSnapshot(), nullptr);
}
