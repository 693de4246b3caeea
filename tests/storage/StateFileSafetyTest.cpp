// What keeps the user's state safe from other processes, from files they
// changed by hand, and from saves that were cut short.

#include "HostileFiles.h"
#include "TestSupport.h"

#include "platform/Diagnostics.h"
#include "platform/FileLock.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/JsonLimits.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace varno;
using test::await;
using test::diagnosticsOf;

namespace {

class StateFileSafetyTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        manager = makeManager();
    }

    // A second manager over the same folder behaves as another process: it
    // has its own idea of which version of each file it last saw.
    std::unique_ptr<OstrelDatabaseManager> makeManager() { return std::make_unique<OstrelDatabaseManager>(preferences); }

    TrackList stored() { return await(manager->loadAllTracks()); }

    QStringList damagedCopies(const QString& name) const
    {
        return QDir(appFolder()).entryList({name + QStringLiteral(".damaged-*")}, QDir::Files);
    }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> manager;
};

} // namespace

TEST_F(StateFileSafetyTest, AWriterSeesAndKeepsWhatAnotherProcessWrote)
{
    const auto other = makeManager();
    stored();
    TracksFileUpdate update = await(manager->saveTracks({test::makeTrack(QStringLiteral("mine 1"))}));
    EXPECT_EQ(update.storedCount, 1u);
    EXPECT_FALSE(update.library) << "nobody else wrote: the caller's list is already right";

    await(other->appendNewTracks({test::makeTrack(QStringLiteral("theirs"))}));
    EXPECT_TRUE(await(manager->tracksFileChangedElsewhere()));

    update = await(manager->saveTracks({test::makeTrack(QStringLiteral("mine 2"))}));
    EXPECT_EQ(update.storedCount, 3u);
    ASSERT_TRUE(update.library);
    EXPECT_EQ(test::titlesOf(*update.library), (QStringList {"mine 1", "theirs", "mine 2"}));
    EXPECT_FALSE(await(manager->tracksFileChangedElsewhere()));
    EXPECT_EQ(test::titlesOf(stored()), (QStringList {"mine 1", "theirs", "mine 2"}));
}

TEST_F(StateFileSafetyTest, TwoImportsOfTheSameFileStoreItOnce)
{
    const auto other = makeManager();
    Track first = test::makeTrack(QStringLiteral("first"));
    Track second = test::makeTrack(QStringLiteral("second"));
    second.fileURL = first.fileURL;
    await(other->appendNewTracks({first}));
    const TracksFileUpdate update = await(manager->appendNewTracks({second, test::makeTrack(QStringLiteral("new"))}));
    EXPECT_EQ(update.storedCount, 2u);
    ASSERT_TRUE(update.library);
    EXPECT_EQ(test::titlesOf(*update.library), (QStringList {"first", "new"}));
}

TEST_F(StateFileSafetyTest, ASecondWriterWaitsForTheLockAndGivesUpWithAClearMessage)
{
    qputenv("VARNO_STATE_LOCK_WAIT_MS", "300");
    const auto impatient = makeManager();
    qunsetenv("VARNO_STATE_LOCK_WAIT_MS");
    {
        const fileio::FileLock held = fileio::FileLock::acquire(manager->stateLockPath(), std::chrono::seconds(1));
        EXPECT_EQ(test::errorText([&] { await(impatient->saveTracks({test::makeTrack(QStringLiteral("A"))})); }),
                  QStringLiteral("Another VARNO MUSIC process kept the library busy for 300 ms, so nothing was changed. "
                                 "Try again when it has finished."));
    }
    EXPECT_TRUE(stored().empty());

    // Released while the writer waits: the write goes ahead.
    std::optional<fileio::FileLock> held = fileio::FileLock::acquire(manager->stateLockPath(), std::chrono::seconds(1));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        held.reset();
    });
    await(manager->saveTracks({test::makeTrack(QStringLiteral("B"))}));
    releaser.join();
    EXPECT_EQ(test::titlesOf(stored()), QStringList {"B"});
}

TEST_F(StateFileSafetyTest, AnUnreadableLibraryIsAnErrorAndIsNeverReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads a file of mode 000";
    await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))}));
    await(manager->saveTracks({test::makeTrack(QStringLiteral("B"))}));
    const QString path = appFile(QStringLiteral("tracks.json"));
    const QByteArray library = test::readFile(path);
    const QByteArray backup = test::readFile(manager->tracksBackupPath());
    ASSERT_TRUE(QFile::setPermissions(path, {}));
    const QString expected = QStringLiteral("The file \u201Ctracks.json\u201D could not be read: Permission denied (%1)").arg(path);
    EXPECT_EQ(test::errorText([&] { stored(); }), expected);
    EXPECT_EQ(test::errorText([&] { await(manager->saveTracks({test::makeTrack(QStringLiteral("C"))})); }), expected);
    EXPECT_EQ(test::errorText([&] { await(manager->appendNewTracks({test::makeTrack(QStringLiteral("C"))})); }), expected);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(test::readFile(path), library);
    EXPECT_EQ(test::readFile(manager->tracksBackupPath()), backup);
}

TEST_F(StateFileSafetyTest, APipeWhereTheLibraryBelongsIsAnErrorNotAHang)
{
    const QString path = appFile(QStringLiteral("tracks.json"));
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    EXPECT_EQ(test::errorText([&] { stored(); }),
              QStringLiteral("The file \u201Ctracks.json\u201D could not be read: it is a named pipe, not a regular file (%1)").arg(path));
}

TEST_F(StateFileSafetyTest, AReadOnlyFileIsNotReplaced)
{
    await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))}));
    const QString path = appFile(QStringLiteral("tracks.json"));
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray before = test::readFile(path);
    EXPECT_EQ(test::errorText([&] { await(manager->saveTracks({test::makeTrack(QStringLiteral("B"))})); }),
              QStringLiteral("The file \u201Ctracks.json\u201D could not be saved: it is read-only; make it writable to save changes (%1)").arg(path));
    EXPECT_EQ(test::readFile(path), before);

    const QString session = appFile(QStringLiteral("playback_state.json"));
    ASSERT_TRUE(QFile::setPermissions(session, QFile::ReadOwner));
    EXPECT_THROW(manager->savePlaybackState(PlaybackStateSnapshot {}), Error);
    EXPECT_EQ(QFileInfo(session).size(), 0);
}

TEST_F(StateFileSafetyTest, AFailedSaveKeepsTheBackupOfTheLastGoodVersion)
{
    await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))}));
    const QByteArray versionA = test::readFile(appFile(QStringLiteral("tracks.json")));
    await(manager->saveTracks({test::makeTrack(QStringLiteral("B"))}));
    const QByteArray versionAB = test::readFile(appFile(QStringLiteral("tracks.json")));
    EXPECT_EQ(test::readFile(manager->tracksBackupPath()), versionA);

    Track broken = test::makeTrack(QStringLiteral("C"));
    broken.duration = std::nan("");
    EXPECT_THROW(await(manager->saveTracks({broken})), json::EncodingError);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), versionAB);
    EXPECT_EQ(test::readFile(manager->tracksBackupPath()), versionA) << "the backup was replaced by a save that failed";
    EXPECT_EQ(QDir(appFolder()).entryList({QStringLiteral(".tracks.json*")}, QDir::Hidden | QDir::Files), QStringList());
}

TEST_F(StateFileSafetyTest, TemporariesOfAKilledSaveAreRemovedAtTheNextStartAndNothingElse)
{
    const QStringList stale = {QStringLiteral(".tracks.json.Ab12Cd"), QStringLiteral(".tracks.json.bak.x9Y8z7"),
                               QStringLiteral(".playback_state.json.QWERTY"), QStringLiteral(".playlists.json.000000")};
    const QStringList foreign = {QStringLiteral(".tracks.json.notes"), QStringLiteral(".mine.json.Ab12Cd"), QStringLiteral("tracks.json.Ab12Cd")};
    for (const QString& name : stale + foreign)
        test::writeFile(appFile(name), "[");

    // While another process holds the lock, its temporaries may be alive.
    {
        const fileio::FileLock held = fileio::FileLock::acquire(manager->stateLockPath(), std::chrono::seconds(1));
        makeManager();
        for (const QString& name : stale)
            EXPECT_TRUE(QFileInfo::exists(appFile(name))) << name.toStdString();
    }
    makeManager();
    for (const QString& name : stale)
        EXPECT_FALSE(QFileInfo::exists(appFile(name))) << name.toStdString();
    for (const QString& name : foreign)
        EXPECT_TRUE(QFileInfo::exists(appFile(name))) << name.toStdString();
}

TEST_F(StateFileSafetyTest, ADamagedSessionIsKeptAsideBeforeANewOneIsWritten)
{
    const QString path = appFile(QStringLiteral("playback_state.json"));
    test::writeFile(path, "{\"currentTrackID\":");
    PlaybackStateSnapshot snapshot;
    snapshot.repeatMode = QStringLiteral("all");
    const QString said = diagnosticsOf([&] { manager->savePlaybackState(snapshot); });

    EXPECT_EQ(manager->loadPlaybackState()->repeatMode, QStringLiteral("all"));
    const QStringList kept = damagedCopies(QStringLiteral("playback_state.json"));
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(test::readFile(appFile(kept.first())), QByteArray("{\"currentTrackID\":"));
    EXPECT_TRUE(said.startsWith(QStringLiteral("playback_state.json could not be read and was kept as %1 before a new one was written: ").arg(kept.first())))
        << said.toStdString();
    EXPECT_EQ(said.count(QLatin1Char('\n')), 1);

    // The next saves write over what this manager wrote, keeping nothing more.
    manager->savePlaybackState(snapshot);
    EXPECT_EQ(damagedCopies(QStringLiteral("playback_state.json")).size(), 1);
}

TEST_F(StateFileSafetyTest, ADamagedHistoryOrPlaylistListIsKeptAside)
{
    test::writeFile(appFile(QStringLiteral("playback_history.json")), "[{\"trackID\":1}]");
    test::writeFile(appFile(QStringLiteral("playlists.json")), "{}");
    const QUuid song = QUuid::createUuid();
    const QString said = diagnosticsOf([&] {
        manager->recordPlayback(song, Timestamp::now());
        manager->savePlaylists({});
    });
    EXPECT_EQ(manager->fetchStatistics(song).playCount, 1);
    EXPECT_EQ(damagedCopies(QStringLiteral("playback_history.json")).size(), 1);
    EXPECT_EQ(damagedCopies(QStringLiteral("playlists.json")).size(), 1);
    EXPECT_EQ(said.count(QLatin1Char('\n')), 2) << said.toStdString();
}

// A damaged library of nothing but opening brackets had the parser index
// every one of them: 100 MB of them peaked at over half a gigabyte. The
// nesting is refused before parsing, and the library is never replaced.
TEST_F(StateFileSafetyTest, AHundredMegabytesOfBracketsInTheLibraryAreRefusedBeforeParsing)
{
    const QString path = appFile(QStringLiteral("tracks.json"));
    constexpr std::int64_t kSize = std::int64_t(100) << 20;
    test::writeRepeatedByte(path, '[', kSize);
    const QString expected = QStringLiteral("tracks.json: nested more than 8 levels deep, deeper than the app ever writes");

    const test::PeakMemoryGrowth memory;
    EXPECT_EQ(test::errorText([&] { stored(); }), expected);
    // The file is mapped, and reading its first bytes brings them in; what
    // parsing would add on top must not come.
    EXPECT_LT(memory.bytes(), kSize + (64 << 20));
    EXPECT_EQ(test::errorText([&] { await(manager->saveTracks({test::makeTrack(QStringLiteral("A"))})); }), expected);
    EXPECT_EQ(QFileInfo(path).size(), kSize);
}

// Brackets inside strings are text, whatever escapes come before them and
// wherever they fall in the blocks the depth check reads.
TEST_F(StateFileSafetyTest, BracketsInsideTextDoNotCountAsNesting)
{
    std::vector<Track> songs;
    for (int padding = 0; padding < 130; ++padding) {
        Track song = test::makeTrack(QString(padding, QLatin1Char(' ')) + QStringLiteral("\\\"[[[[[[[[[[{{{{{{{{{{\\"));
        song.artist = QStringLiteral("\\\\\"]]]]]]]]]]\"");
        songs.push_back(std::move(song));
    }
    await(manager->saveTracks(TrackList(songs)));
    const TrackList loaded = stored();
    ASSERT_EQ(loaded.size(), songs.size());
    for (std::size_t i = 0; i < songs.size(); ++i) {
        EXPECT_EQ(loaded[i].title, songs[i].title);
        EXPECT_EQ(loaded[i].artist, songs[i].artist);
    }
}

// The session, the history and the playlist list are small; a file of one
// of their names that is hundreds of megabytes or nests deeply is damaged.
// It is refused unparsed and kept aside like any other damaged file.
TEST_F(StateFileSafetyTest, AHugeOrDeeplyNestedSmallStateFileIsRefusedUnparsedAndKeptAside)
{
    const QString session = appFile(QStringLiteral("playback_state.json"));
    constexpr std::int64_t kSize = std::int64_t(100) << 20;
    test::writeRepeatedByte(session, '[', kSize);
    const QString tooLarge = QStringLiteral("playback_state.json is too large to be a state file (100 MB)");
    {
        const test::PeakMemoryGrowth memory;
        EXPECT_EQ(test::errorText([&] { manager->loadPlaybackState(); }), tooLarge);
        const QString said = diagnosticsOf([&] { manager->savePlaybackState(PlaybackStateSnapshot {}); });
        EXPECT_TRUE(said.endsWith(tooLarge + QLatin1Char('\n'))) << said.toStdString();
        EXPECT_LT(memory.bytes(), kSize + (64 << 20));
    }
    ASSERT_EQ(damagedCopies(QStringLiteral("playback_state.json")).size(), 1);
    EXPECT_EQ(QFileInfo(appFile(damagedCopies(QStringLiteral("playback_state.json")).first())).size(), kSize);
    EXPECT_TRUE(manager->loadPlaybackState());

    test::writeFile(appFile(QStringLiteral("playback_history.json")), QByteArray(10000, '['));
    test::writeFile(appFile(QStringLiteral("playlists.json")), "[{\"tags\":[[[[[[[[[[[[]]]]]]]]]]]]}]");
    const QString said = diagnosticsOf([&] {
        manager->recordPlayback(QUuid::createUuid(), Timestamp::now());
        manager->savePlaylists({});
    });
    EXPECT_TRUE(said.contains(QStringLiteral(": playback_history.json: nested more than 8 levels deep, deeper than the app ever writes\n"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral(": playlists.json: nested more than 8 levels deep, deeper than the app ever writes\n"))) << said.toStdString();
    EXPECT_EQ(damagedCopies(QStringLiteral("playback_history.json")).size(), 1);
    EXPECT_EQ(damagedCopies(QStringLiteral("playlists.json")).size(), 1);
}

// The nesting check has a wide-vector kernel and a portable one; both must
// give the answer a plain byte-by-byte reading gives, across block edges,
// strings, escapes and stray closing brackets.
TEST(NestingCheck, BothKernelsAgreeWithAPlainReadingOnRandomText)
{
    const auto plain = [](const std::string& text, int limit) {
        int depth = 0;
        bool inString = false;
        bool escaped = false;
        for (const char c : text) {
            if (inString) {
                if (escaped)
                    escaped = false;
                else if (c == '\\')
                    escaped = true;
                else if (c == '"')
                    inString = false;
            } else if (c == '"') {
                inString = true;
            } else if (c == '[' || c == '{') {
                if (++depth > limit)
                    return false;
            } else if ((c == ']' || c == '}') && depth > 0) {
                --depth;
            }
        }
        return true;
    };
    std::mt19937 random(2026);
    const std::string alphabet = "[[{{]]}}\"\\ a";
    for (int round = 0; round < 20000; ++round) {
        std::string text(std::uniform_int_distribution<int>(0, 300)(random), ' ');
        for (char& c : text)
            c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
        const int limit = std::uniform_int_distribution<int>(1, 8)(random);
        const bool expected = plain(text, limit);
        ASSERT_EQ(json::nestsWithin(text.data(), text.size(), limit), expected) << text;
        ASSERT_EQ(json::nestsWithinPortably(text.data(), text.size(), limit), expected) << text;
    }
}
