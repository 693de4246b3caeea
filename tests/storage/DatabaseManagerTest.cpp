#include "TestSupport.h"

#include "platform/FileError.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>
#include <sys/stat.h>

using namespace varno;
using test::await;

namespace {

const QStringList kStateFiles = {QStringLiteral("tracks.json"), QStringLiteral("playlists.json"), QStringLiteral("playback_history.json"),
                                 QStringLiteral("playback_state.json")};

ino_t inodeOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_ino;
}

Playlist makePlaylist(const QString& name, PlaylistType type = PlaylistType::standard())
{
    Playlist p;
    p.id = QUuid::createUuid();
    p.name = name;
    p.type = type;
    return p;
}

class DatabaseManagerTest : public test::DataFolderTest {
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

    std::vector<QString> titles()
    {
        std::vector<QString> result;
        for (const Track& t : await(manager->loadAllTracks()))
            result.push_back(t.title);
        return result;
    }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> manager;
};

} // namespace

TEST_F(DatabaseManagerTest, FreshFolderHoldsFourEmptyFilesAndNothingStored)
{
    for (const QString& name : kStateFiles) {
        EXPECT_TRUE(QFileInfo(appFile(name)).isFile()) << name.toStdString();
        EXPECT_EQ(QFileInfo(appFile(name)).size(), 0);
    }
    EXPECT_EQ(manager->databaseURL().toLocalFile(), appFile(QStringLiteral("library.sqlite")));
    EXPECT_FALSE(QFileInfo::exists(appFile(QStringLiteral("library.sqlite"))));
    EXPECT_TRUE(await(manager->loadAllTracks()).empty());
    EXPECT_FALSE(manager->loadPlaybackState().has_value());
    EXPECT_EQ(manager->fetchStatistics(QUuid::createUuid()), PlaybackStatistics {});
    EXPECT_TRUE(manager->loadAllPlaylists().empty());
}

TEST_F(DatabaseManagerTest, ConstructionKeepsExistingFilesAndCreatesMissingFolders)
{
    test::writeFile(appFile(QStringLiteral("tracks.json")), "[]");
    OstrelDatabaseManager again(preferences);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), QByteArray("[]"));

    const QString nested = scratch(QStringLiteral("a/b/c"));
    OstrelDatabaseManager elsewhere(preferences, nested);
    EXPECT_TRUE(QFileInfo(nested + QStringLiteral("/playback_state.json")).isFile());
}

TEST_F(DatabaseManagerTest, SaveTracksReplacesInPlaceAndAppendsNewOnesInOrder)
{
    Track a = test::makeTrack(QStringLiteral("A")), b = test::makeTrack(QStringLiteral("B"));
    await(manager->saveTracks({a, b}));
    Track b2 = b;
    b2.title = QStringLiteral("B2");
    await(manager->saveTracks({test::makeTrack(QStringLiteral("C")), b2, test::makeTrack(QStringLiteral("D"))}));
    EXPECT_EQ(titles(), (std::vector<QString> {"A", "B2", "C", "D"}));

    // Two records with one new id: the first is appended, the second replaces it.
    const QUuid id = QUuid::createUuid();
    await(manager->saveTracks({test::makeTrack(QStringLiteral("E1"), id), test::makeTrack(QStringLiteral("E2"), id)}));
    EXPECT_EQ(titles(), (std::vector<QString> {"A", "B2", "C", "D", "E2"}));

    const std::optional<Track> fetched = await(manager->fetchTrack(b.id));
    ASSERT_TRUE(fetched.has_value());
    EXPECT_EQ(*fetched, b2);
    EXPECT_FALSE(await(manager->fetchTrack(QUuid::createUuid())).has_value());
}

TEST_F(DatabaseManagerTest, DeleteTracksKeepsOrderAndAlwaysRewrites)
{
    Track a = test::makeTrack(QStringLiteral("A")), b = test::makeTrack(QStringLiteral("B")), c = test::makeTrack(QStringLiteral("C"));
    await(manager->saveTracks({a, b, c}));
    await(manager->deleteTracks({b}));
    EXPECT_EQ(titles(), (std::vector<QString> {"A", "C"}));

    const QString path = appFile(QStringLiteral("tracks.json"));
    const QByteArray before = test::readFile(path);
    const ino_t inode = inodeOf(path);
    await(manager->deleteTracks({test::makeTrack(QStringLiteral("Unknown"))}));
    EXPECT_EQ(test::readFile(path), before);
    EXPECT_NE(inodeOf(path), inode) << "the file should have been replaced";
}

TEST_F(DatabaseManagerTest, TagFieldsFillOnlyWhatUnmarkedRecordsOnDiskLack)
{
    Track edited = test::makeTrack(QStringLiteral("Edited"));
    edited.year = 2010;
    Track cleared = test::makeTrack(QStringLiteral("Cleared"));
    cleared.tagFieldsRead = true;
    const Track plain = test::makeTrack(QStringLiteral("Plain"));
    await(manager->saveTracks({edited, cleared, plain}));
    const TagFields fromTags {1999, 3, 1, QStringLiteral("Liner notes"), 120};

    // Another process edits a song after this one read the library: the
    // fill goes onto its record as the file holds it then.
    OstrelDatabaseManager otherProcess(preferences);
    Track retitled = plain;
    retitled.title = QStringLiteral("Retitled");
    otherProcess.updateTracksFile({retitled});

    const TracksFileUpdate update = await(manager->fillTagFields(
        {{edited.id, fromTags}, {cleared.id, fromTags}, {plain.id, fromTags}, {QUuid::createUuid(), fromTags}}));
    const TrackList stored = await(manager->loadAllTracks());
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].year, 2010);
    EXPECT_EQ(stored[0].trackNumber, 3);
    EXPECT_EQ(stored[0].comments, QStringLiteral("Liner notes"));
    EXPECT_TRUE(stored[0].tagFieldsRead);
    EXPECT_EQ(stored[1], cleared);
    EXPECT_EQ(stored[2].title, QStringLiteral("Retitled"));
    EXPECT_EQ(stored[2].bpm, 120);
    EXPECT_EQ(update.filled, (TrackList {stored[0], stored[2]}));
    ASSERT_TRUE(update.library.has_value());
    EXPECT_EQ(*update.library, stored);

    // Nothing left to fill: nothing is written.
    const QString path = appFile(QStringLiteral("tracks.json"));
    const ino_t inode = inodeOf(path);
    EXPECT_TRUE(await(manager->fillTagFields({{plain.id, fromTags}})).filled.empty());
    EXPECT_EQ(inodeOf(path), inode);
}

TEST_F(DatabaseManagerTest, CorruptTracksFileIsNeverOverwritten)
{
    const QString path = appFile(QStringLiteral("tracks.json"));
    test::writeFile(path, "{}");
    const QString expected = QStringLiteral("tracks.json: expected an array");

    EXPECT_EQ(test::errorText([&] { await(manager->loadAllTracks()); }), expected);
    EXPECT_EQ(test::errorText([&] { await(manager->fetchTrack(QUuid::createUuid())); }), expected);
    EXPECT_EQ(test::errorText([&] { await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))})); }), expected);
    EXPECT_EQ(test::errorText([&] { await(manager->deleteTracks({test::makeTrack(QStringLiteral("A"))})); }), expected);
    // Every other writing operation leaves the library file alone.
    manager->savePlaylists({makePlaylist(QStringLiteral("P"))});
    manager->deletePlaylist(QUuid::createUuid());
    manager->recordPlayback(QUuid::createUuid(), Timestamp::now());
    manager->savePlaybackState(PlaybackStateSnapshot {});
    manager->setPreference(true, QStringLiteral("some.flag"));
    EXPECT_EQ(test::readFile(path), QByteArray("{}"));
}

TEST_F(DatabaseManagerTest, UnencodableSongFailsTheSaveAndKeepsTheOldFile)
{
    await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))}));
    const QByteArray before = test::readFile(appFile(QStringLiteral("tracks.json")));
    Track broken = test::makeTrack(QStringLiteral("B"));
    broken.duration = std::numeric_limits<double>::infinity();
    EXPECT_THROW(await(manager->saveTracks({broken})), json::EncodingError);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), before);
    EXPECT_EQ(QDir(appFolder()).entryList({QStringLiteral(".*")}, QDir::Hidden | QDir::Files), QStringList {QStringLiteral(".state.lock")})
        << "a temporary file was left";
}

TEST_F(DatabaseManagerTest, LargeLibraryRoundTrips)
{
    // Large enough to be read through a file mapping rather than a copy.
    std::vector<Track> library;
    for (int i = 0; i < 25000; ++i) {
        Track t = test::makeTrack(QStringLiteral("Song %1 with a longer title").arg(i));
        t.artist = QStringLiteral("Artist %1 é").arg(i % 300);
        library.push_back(std::move(t));
    }
    await(manager->saveTracks(library));
    ASSERT_GT(QFileInfo(appFile(QStringLiteral("tracks.json"))).size(), 4 << 20);
    EXPECT_EQ(await(manager->loadAllTracks()), library);
}

TEST_F(DatabaseManagerTest, AFolderInPlaceOfTheLibraryIsAnErrorNeverAnEmptyLibrary)
{
    const QString path = appFile(QStringLiteral("tracks.json"));
    QFile::remove(path);
    QDir().mkpath(path);
    const QString expected = QStringLiteral("The file \u201Ctracks.json\u201D could not be read: it is a folder, not a file (%1)").arg(path);
    EXPECT_EQ(test::errorText([&] { await(manager->loadAllTracks()); }), expected);
    EXPECT_EQ(test::errorText([&] { await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))})); }), expected);
    EXPECT_TRUE(QFileInfo(path).isDir());
    const QStringList leftovers = QDir(appFolder()).entryList({QStringLiteral(".tracks.json.*")}, QDir::Hidden | QDir::Files);
    EXPECT_TRUE(leftovers.isEmpty()) << leftovers.join(',').toStdString();
}

TEST_F(DatabaseManagerTest, EraseAllDataLeavesFourEmptyFiles)
{
    await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))}));
    manager->recordPlayback(QUuid::createUuid(), Timestamp::now());
    await(manager->eraseAllData());
    for (const QString& name : kStateFiles)
        EXPECT_EQ(QFileInfo(appFile(name)).size(), 0) << name.toStdString();
    EXPECT_TRUE(await(manager->loadAllTracks()).empty());
}

TEST_F(DatabaseManagerTest, EraseAllDataStopsAtTheFirstFailedRemoval)
{
    QFile::remove(appFile(QStringLiteral("playlists.json")));
    const QString text = test::errorText([&] { await(manager->eraseAllData()); });
    EXPECT_TRUE(text.contains(QStringLiteral("playlists.json"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("No such file or directory"))) << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(appFile(QStringLiteral("tracks.json"))));
    EXPECT_TRUE(QFileInfo::exists(appFile(QStringLiteral("playback_history.json"))));
}

TEST_F(DatabaseManagerTest, PlaylistsRoundTripAndDeleteById)
{
    Playlist standard = makePlaylist(QStringLiteral("Mix"));
    standard.description = QStringLiteral("for the road");
    standard.tags = {QStringLiteral("a"), QStringLiteral("b")};
    standard.trackIDs = {QUuid::createUuid(), QUuid::createUuid()};
    Playlist smart = makePlaylist(QStringLiteral("Smart"), PlaylistType::smart(QStringLiteral("{\"rules\":[]}")));
    Playlist folder = makePlaylist(QStringLiteral("Folder"), PlaylistType::folder());
    folder.childrenIDs = {standard.id};
    folder.isFavorite = true;

    manager->savePlaylists({standard, smart, folder});
    EXPECT_EQ(manager->loadAllPlaylists(), (std::vector<Playlist> {standard, smart, folder}));
    manager->deletePlaylist(smart.id);
    EXPECT_EQ(manager->loadAllPlaylists(), (std::vector<Playlist> {standard, folder}));
    EXPECT_TRUE(test::readFile(appFile(QStringLiteral("playlists.json"))).contains(R"("type":{"folder":{}})"));
}

TEST_F(DatabaseManagerTest, PlaylistTypeNeedsExactlyOneCase)
{
    const QString path = appFile(QStringLiteral("playlists.json"));
    const QByteArray head = R"([{"id":"0F6C2B9E-0000-4000-8000-000000000001","name":"x","tags":[],"isFavorite":false,"trackIDs":[],"childrenIDs":[],"type":)";
    test::writeFile(path, head + R"({"standard":{},"folder":{}}}])");
    EXPECT_EQ(test::errorText([&] { manager->loadAllPlaylists(); }),
              QStringLiteral("playlists.json: item 0: key \"type\": Invalid number of keys found, expected one."));
    EXPECT_EQ(test::errorText([&] { manager->deletePlaylist(QUuid::createUuid()); }),
              QStringLiteral("playlists.json: item 0: key \"type\": Invalid number of keys found, expected one."));
    EXPECT_TRUE(test::readFile(path).startsWith(head));

    test::writeFile(path, head + R"({"other":1,"smart":{"criteria":"c"}}}])");
    EXPECT_EQ(manager->loadAllPlaylists().at(0).type, PlaylistType::smart(QStringLiteral("c")));
}

TEST_F(DatabaseManagerTest, HistoryCountsPlaysAndKeepsTheLatest)
{
    const QUuid song = QUuid::createUuid();
    for (int i = 0; i < 10; ++i) {
        manager->recordPlayback(song, Timestamp::fromSecondsSinceReferenceDate(1000 + i));
        manager->recordPlayback(QUuid::createUuid(), Timestamp::fromSecondsSinceReferenceDate(5000));
    }
    const PlaybackStatistics stats = manager->fetchStatistics(song);
    EXPECT_EQ(stats.playCount, 10);
    EXPECT_EQ(stats.lastPlayedDate, Timestamp::fromSecondsSinceReferenceDate(1009));
}

TEST_F(DatabaseManagerTest, DamagedHistoryIsReplacedByTheNextPlay)
{
    const QString path = appFile(QStringLiteral("playback_history.json"));
    test::writeFile(path, "[{\"trackID\":");
    const QUuid song = QUuid::createUuid();
    EXPECT_EQ(manager->fetchStatistics(song), PlaybackStatistics {});
    manager->recordPlayback(song, Timestamp::fromSecondsSinceReferenceDate(42.5));
    EXPECT_EQ(test::readFile(path), QByteArray("[{\"trackID\":\"") + song.toByteArray(QUuid::WithoutBraces).toUpper() + "\",\"timestamp\":42.5}]");
}

TEST_F(DatabaseManagerTest, PlaybackStateOmitsAbsentOptionalsAndRoundTrips)
{
    PlaybackStateSnapshot snapshot;
    snapshot.upcomingTrackIDs = {QUuid::createUuid()};
    snapshot.repeatMode = QStringLiteral("all");
    snapshot.shuffleMode = QStringLiteral("off");
    snapshot.currentTime = 12.25;
    manager->savePlaybackState(snapshot);
    const QByteArray text = test::readFile(appFile(QStringLiteral("playback_state.json")));
    EXPECT_FALSE(text.contains("\"volume\""));
    EXPECT_FALSE(text.contains("\"savedAt\""));
    EXPECT_FALSE(text.contains("\"currentTrackID\""));
    EXPECT_EQ(manager->loadPlaybackState(), snapshot);

    snapshot.currentTrackID = QUuid::createUuid();
    snapshot.playbackOrderTrackIDs = std::vector<QUuid> {*snapshot.currentTrackID};
    snapshot.volume = 0.7f;
    snapshot.savedAt = Timestamp::fromSecondsSinceReferenceDate(786000000.5);
    manager->savePlaybackState(snapshot);
    EXPECT_EQ(manager->loadPlaybackState(), snapshot);

    test::writeFile(appFile(QStringLiteral("playback_state.json")), R"({"upcomingTrackIDs":[]})");
    EXPECT_EQ(test::errorText([&] { manager->loadPlaybackState(); }),
              QStringLiteral("playback_state.json: key \"historyTrackIDs\": required key is missing"));
}

TEST_F(DatabaseManagerTest, PreferencesStoreTypedValues)
{
    manager->setPreference(true, QStringLiteral("flag"));
    manager->setPreference(QStringList {QStringLiteral("/a b"), QStringLiteral("/é")}, QStringLiteral("folders"));
    EXPECT_EQ(manager->getPreference<bool>(QStringLiteral("flag")), true);
    EXPECT_EQ(manager->getPreference<QStringList>(QStringLiteral("folders")), (QStringList {"/a b", "/é"}));
    EXPECT_FALSE(manager->getPreference<bool>(QStringLiteral("missing")).has_value());
    // Stored as something else: absent, not an error.
    EXPECT_FALSE(manager->getPreference<double>(QStringLiteral("folders")).has_value());

    EXPECT_THROW(manager->setPreference(std::nan(""), QStringLiteral("bad")), json::EncodingError);
    EXPECT_FALSE(manager->getPreference<double>(QStringLiteral("bad")).has_value());

    // Preferences survive a new store (a restart).
    SettingsPreferencesStore reopened;
    EXPECT_EQ(reopened.value(QStringLiteral("flag")), QByteArray("true"));
}

TEST_F(DatabaseManagerTest, FilesWrittenByOtherEncodersLoadAndRoundTrip)
{
    const QString fixtures = QStringLiteral(VARNO_TEST_FIXTURES_DIR "/interop/");
    for (const QString& name : kStateFiles)
        test::writeFile(appFile(name), test::readFile(fixtures + name));

    const TrackList tracks = await(manager->loadAllTracks());
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].fileURL.toLocalFile(), QStringLiteral("/Users/Shared/Music/My Band/01 Intro #1 (50%).mp3"));
    EXPECT_EQ(tracks[0].securityScopedBookmark, QByteArray("book\x00mark-bytes\xff", 16));
    EXPECT_EQ(tracks[0].dateAdded, Timestamp::fromSecondsSinceReferenceDate(786123456.789012));
    EXPECT_EQ(tracks[1].title, QStringLiteral("Déjà vu / Überall"));
    EXPECT_EQ(tracks[1].rating, 5);
    EXPECT_EQ(tracks[2].rating, 0);
    // None of them says its tag fields were read: a rescan reads them.
    EXPECT_FALSE(tracks[0].tagFieldsRead || tracks[1].tagFieldsRead || tracks[2].tagFieldsRead);
    const std::optional<PlaybackStateSnapshot> state = manager->loadPlaybackState();
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->currentTrackID, tracks[1].id);
    const std::vector<Playlist> playlists = manager->loadAllPlaylists();
    ASSERT_EQ(playlists.size(), 2u);
    EXPECT_EQ(manager->fetchStatistics(tracks[0].id).playCount, 2);

    // Re-written by us and read back, every value is unchanged.
    EXPECT_TRUE(tracks[2].dateAdded.has_value());
    await(manager->saveTracks(tracks));
    manager->savePlaybackState(*state);
    manager->savePlaylists(playlists);
    TrackList reread = await(manager->loadAllTracks());
    EXPECT_EQ(reread, tracks);
    EXPECT_EQ(manager->loadPlaybackState(), state);
    EXPECT_EQ(manager->loadAllPlaylists(), playlists);
}

TEST_F(DatabaseManagerTest, EachSaveKeepsThePreviousLibraryAsBackup)
{
    const QString backup = appFile(QStringLiteral("tracks.json.bak"));
    await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))}));
    EXPECT_FALSE(QFileInfo::exists(backup)) << "an empty library needs no backup";
    const QByteArray first = test::readFile(appFile(QStringLiteral("tracks.json")));

    await(manager->saveTracks({test::makeTrack(QStringLiteral("B"))}));
    EXPECT_EQ(test::readFile(backup), first);
    const QByteArray second = test::readFile(appFile(QStringLiteral("tracks.json")));
    await(manager->deleteTracks({}));
    EXPECT_EQ(test::readFile(backup), second);

    // A damaged library is never backed up over the good backup, and the
    // backup can be put back.
    test::writeFile(appFile(QStringLiteral("tracks.json")), "{broken");
    EXPECT_THROW(await(manager->saveTracks({test::makeTrack(QStringLiteral("C"))})), json::DecodingError);
    EXPECT_EQ(test::readFile(backup), second);
    manager->restoreTracksBackup();
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), second);

    await(manager->eraseAllData());
    EXPECT_FALSE(QFileInfo::exists(backup));
    EXPECT_EQ(test::errorText([&] { manager->restoreTracksBackup(); }), QStringLiteral("There is no backup of the library to restore."));
}

// A large library read, edited and written back comes out as it went in,
// apart from the one song, with its repeated tags held once in memory.
TEST_F(DatabaseManagerTest, AHundredThousandSongRoundTripChangesOnlyTheEditedSong)
{
    const QString path = manager->tracksFileURL().toLocalFile();

    constexpr int kSongs = 100000;
    QList<SharedTrack> songs;
    songs.reserve(kSongs);
    for (int i = 0; i < kSongs; ++i) {
        Track song = test::makeTrack(QStringLiteral("Song %1").arg(i));
        song.artist = QStringLiteral("Artist %1").arg(i % 500);
        song.album = QStringLiteral("A rather long album title, \u201C%1\u201D").arg(i % 900);
        song.genre = i % 7 == 0 ? QStringLiteral("Tab\there") : QStringLiteral("Rock");
        song.rating = i % 6;
        songs.append(std::make_shared<const Track>(std::move(song)));
    }
    const TrackList original(songs);
    json::writeTracksFile(path, original);

    const TrackList loaded = manager->readTracksFile();
    ASSERT_EQ(loaded, original);
    EXPECT_TRUE(loaded[7].artist->isSharedWith(*loaded[507].artist));
    EXPECT_TRUE(loaded[7].genre->isSharedWith(*loaded[14].genre));
    EXPECT_TRUE(loaded[7].album->isSharedWith(*loaded[907].album));
    EXPECT_NE(loaded[7].album, loaded[8].album);

    Track edited = loaded[kSongs / 2];
    edited.title = QStringLiteral("Edited \"quoted\"");
    manager->upsertTracksFile(TrackList {edited});

    TrackList expected = original;
    expected.replace(kSongs / 2, std::make_shared<const Track>(edited));
    const std::optional<fileio::FileBytes> written = fileio::readWholeFile(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::string(written->view()), json::encodeTracks(expected));
    // Read by a manager that never saw it, as another process would.
    OstrelDatabaseManager other(preferences);
    EXPECT_EQ(other.readTracksFile(), expected);
}

// An import begins the write while its files are read; the append then adds
// only the new songs. Whatever happened to the file meanwhile, the result is
// the library a whole write would have made.
TEST_F(DatabaseManagerTest, APreparedAppendGivesTheFileAWholeWriteWouldAndFallsBackWhenItCannot)
{
    const QString path = appFile(QStringLiteral("tracks.json"));
    const Track a = test::makeTrack(QStringLiteral("A")), b = test::makeTrack(QStringLiteral("B"));

    // From a 0-byte file, then from a library this manager wrote.
    manager->readTracksFile();
    manager->prepareTracksAppend();
    manager->appendToTracksFile({a});
    manager->prepareTracksAppend();
    manager->appendToTracksFile({b});
    EXPECT_EQ(test::readFile(path).toStdString(), json::encodeTracks({a, b}));
    EXPECT_EQ(test::readFile(path + QStringLiteral(".bak")).toStdString(), json::encodeTracks({a}));

    // Another process writes between the preparation and the append.
    manager->prepareTracksAppend();
    OstrelDatabaseManager other(preferences);
    const Track c = test::makeTrack(QStringLiteral("C")), d = test::makeTrack(QStringLiteral("D"));
    other.upsertTracksFile({c});
    const TracksFileUpdate update = manager->appendToTracksFile({d});
    EXPECT_EQ(test::readFile(path).toStdString(), json::encodeTracks({a, b, c, d}));
    ASSERT_TRUE(update.library);
    EXPECT_EQ(update.library->size(), 4u);

    // Another process starting sweeps the prepared temporary away.
    manager->prepareTracksAppend();
    const QStringList temporaries = QDir(appFolder()).entryList({QStringLiteral(".tracks.json.*")}, QDir::Hidden | QDir::Files);
    ASSERT_EQ(temporaries.size(), 1);
    ASSERT_TRUE(QFile::remove(appFile(temporaries[0])));
    const Track e = test::makeTrack(QStringLiteral("E"));
    EXPECT_FALSE(manager->appendToTracksFile({e}).library);
    EXPECT_EQ(test::readFile(path).toStdString(), json::encodeTracks({a, b, c, d, e}));
    EXPECT_EQ(QDir(appFolder()).entryList({QStringLiteral(".tracks.json.*")}, QDir::Hidden | QDir::Files), QStringList());
}

namespace {

QStringList databaseMessages;
QtMessageHandler previousMessageHandler = nullptr;

void collectDatabaseMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (qstrcmp(context.category, "varno.database") == 0)
        databaseMessages.push_back(message);
    else if (previousMessageHandler)
        previousMessageHandler(type, context, message);
}

} // namespace

// Another process starting while an import runs may sweep the prepared
// temporary away: a normal race, which costs a whole write and says nothing.
TEST_F(DatabaseManagerTest, AnAppendWhoseTemporaryAnotherProcessSweptAwaySaysNothing)
{
    manager->appendToTracksFile({test::makeTrack(QStringLiteral("A"))});
    manager->prepareTracksAppend();
    // What another process's start does when it finds the lock free.
    { OstrelDatabaseManager starting(preferences); }
    ASSERT_EQ(QDir(appFolder()).entryList({QStringLiteral(".tracks.json.*")}, QDir::Hidden | QDir::Files), QStringList());

    databaseMessages.clear();
    previousMessageHandler = qInstallMessageHandler(collectDatabaseMessages);
    manager->appendToTracksFile({test::makeTrack(QStringLiteral("B"))});
    qInstallMessageHandler(previousMessageHandler);
    EXPECT_EQ(databaseMessages, QStringList());
    EXPECT_EQ(titles(), (std::vector<QString> {QStringLiteral("A"), QStringLiteral("B")}));
}

// Each process adds its folder to the list on disk, not to a copy it read
// earlier, so folders added at the same time by several processes all stay.
TEST_F(DatabaseManagerTest, WatchedFoldersAddedByTwoProcessesBothStay)
{
    OstrelDatabaseManager other(preferences);
    EXPECT_EQ(await(manager->loadWatchedFolders()), QStringList());
    EXPECT_EQ(await(other.loadWatchedFolders()), QStringList());

    EXPECT_EQ(await(manager->addWatchedFolders({QStringLiteral("/music/a")})), QStringList {QStringLiteral("/music/a")});
    EXPECT_EQ(await(other.addWatchedFolders({QStringLiteral("/music/b"), QStringLiteral("/music/a")})),
              (QStringList {QStringLiteral("/music/a"), QStringLiteral("/music/b")}));
    EXPECT_EQ(await(manager->loadWatchedFolders()), (QStringList {QStringLiteral("/music/a"), QStringLiteral("/music/b")}));
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("watched_folders.json"))), QByteArray(R"(["/music/a","/music/b"])"));
}

TEST_F(DatabaseManagerTest, TheWatchedFoldersThePreferencesHeldMoveIntoTheFileOnce)
{
    manager->setPreference(QStringList {QStringLiteral("/old/one"), QStringLiteral("/old/two")}, QStringLiteral("library.watchedFolders"));
    EXPECT_EQ(await(manager->addWatchedFolders({QStringLiteral("/new")})),
              (QStringList {QStringLiteral("/old/one"), QStringLiteral("/old/two"), QStringLiteral("/new")}));
    EXPECT_FALSE(manager->getPreference<QStringList>(QStringLiteral("library.watchedFolders")));

    // Once the file is there the list is the file's alone.
    QFile::remove(appFile(QStringLiteral("watched_folders.json")));
    EXPECT_EQ(await(manager->loadWatchedFolders()), QStringList());
}
