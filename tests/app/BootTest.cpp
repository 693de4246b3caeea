#include "BootSupport.h"
#include "UiHarness.h"
#include "TestSupport.h"

#include "app/DIContainer.h"
#include "playback/OstrelQueueEngine.h"
#include "library/LibraryEngine.h"
#include "platform/FileIO.h"
#include "storage/PlaylistCodec.h"
#include "storage/StateCodecs.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <functional>

#include <sys/stat.h>

using namespace varno;

namespace {

class BootTest : public test::DataFolderTest {
protected:
    static std::unique_ptr<DIContainer> boot() { return test::bootContainer(); }

    void storeLibrary(const std::vector<Track>& tracks)
    {
        QDir().mkpath(appFolder());
        test::writeFile(appFile(QStringLiteral("tracks.json")), QByteArray::fromStdString(json::encodeTracks(tracks)));
    }

    void storeSession(const PlaybackStateSnapshot& snapshot)
    {
        QDir().mkpath(appFolder());
        test::writeFile(appFile(QStringLiteral("playback_state.json")), QByteArray::fromStdString(json::encodePlaybackStateSnapshot(snapshot)));
    }

    static PlaybackStateSnapshot session(std::optional<QUuid> current, std::vector<QUuid> upcoming = {})
    {
        PlaybackStateSnapshot s;
        s.currentTrackID = current;
        s.upcomingTrackIDs = std::move(upcoming);
        s.repeatMode = QStringLiteral("off");
        s.shuffleMode = QStringLiteral("off");
        s.currentTime = 30;
        s.isPlaying = true;
        return s;
    }

    // A song whose file is a copy of a generated fixture (four minutes of
    // FLAC unless told otherwise), so the audio engine can load it.
    Track playable(const QString& title, const QString& fixture = QStringLiteral("signals/long-4min.flac"))
    {
        const QString path = scratch(title + QLatin1Char('.') + QFileInfo(fixture).suffix());
        QFile::copy(test::fixturePath(fixture), path);
        Track track = test::makeTrack(title);
        track.fileURL = FileURL::fromLocalFile(path);
        track.filename = QFileInfo(path).fileName();
        return track;
    }

};

} // namespace

TEST_F(BootTest, FirstStartCreatesTheFolderAndReportsNothing)
{
    auto container = boot();
    EXPECT_TRUE(container->libraryEngine().allTracks().empty());
    EXPECT_FALSE(container->queueEngine().currentTrack().has_value());
    EXPECT_FALSE(container->recoveryMessage().has_value());
    EXPECT_EQ(QDir(appFolder()).entryList(QDir::Files),
              (QStringList {"playback_history.json", "playback_state.json", "playlist_records.json", "playlists.json", "tracks.json"}));
}

TEST_F(BootTest, PlaylistsAndSearchFollowWhatIsStored)
{
    storeLibrary({test::makeTrack(QStringLiteral("Rain Song")), test::makeTrack(QStringLiteral("Sunny"))});
    PlaylistRecord rainy;
    rainy.id = QUuid::createUuid();
    rainy.name = QStringLiteral("Rainy Days");
    json::writeArrayFile(appFile(QStringLiteral("playlist_records.json")), std::vector {rainy},
                         [](json::Writer& w, const PlaylistRecord& r) { json::encode(w, r); });
    auto container = boot();
    ASSERT_EQ(container->playlistEngine().rootPlaylists().size(), 1);

    const SearchResults found = container->searchEngine().searchImmediately(QStringLiteral("RAIN"));
    EXPECT_EQ(test::titlesOf(found.songs), QStringList {"Rain Song"});
    ASSERT_EQ(found.playlists.size(), 1);
    EXPECT_EQ(found.playlists[0].name, QStringLiteral("Rainy Days"));
}

TEST_F(BootTest, SessionWhoseSongsAreGoneReportsItAndCanBeDismissed)
{
    storeSession(session(QUuid::createUuid(), {QUuid::createUuid()}));
    auto container = boot();
    EXPECT_EQ(container->recoveryMessage(), QStringLiteral("The last track is no longer available. Your library was left unchanged."));
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), QByteArray());

    QSignalSpy changed(container.get(), &DIContainer::recoveryMessageChanged);
    container->dismissRecoveryMessage();
    EXPECT_FALSE(container->recoveryMessage().has_value());
    EXPECT_EQ(changed.count(), 1);
    container->dismissRecoveryMessage();
    EXPECT_FALSE(container->recoveryMessage().has_value());
}

TEST_F(BootTest, UndecodableSessionIsReportedAndTheLibraryLoadsAnyway)
{
    storeLibrary({test::makeTrack(QStringLiteral("Kept"))});
    test::writeFile(appFile(QStringLiteral("playback_state.json")), R"({"upcomingTrackIDs":"nope"})");
    auto container = boot();
    const QString message = QStringLiteral("playback_state.json: key \"upcomingTrackIDs\": expected an array");
    EXPECT_EQ(container->recoveryMessage(), QStringLiteral("Playback could not be restored: ") + message);
    EXPECT_EQ(describe(container->queueEngine().lastPlaybackError()), message);
    EXPECT_EQ(test::titlesOf(container->libraryEngine().allTracks()), QStringList {"Kept"});
}

TEST_F(BootTest, MissingCurrentSongIsReplacedByTheFirstUpcomingSongThatExists)
{
    const Track b = playable(QStringLiteral("B")), c = playable(QStringLiteral("C")), d = playable(QStringLiteral("D"));
    storeLibrary({b, c, d});
    PlaybackStateSnapshot saved = session(QUuid::createUuid(), {QUuid::createUuid(), b.id, c.id, QUuid::createUuid()});
    saved.historyTrackIDs = {d.id, b.id, QUuid::createUuid()};
    saved.playbackOrderTrackIDs = std::vector<QUuid> {c.id, b.id, QUuid::createUuid()};
    storeSession(saved);

    auto container = boot();
    const QueueEngine& queue = container->queueEngine();
    EXPECT_EQ(queue.currentTrack(), b);
    EXPECT_EQ(test::titlesOf(queue.upcoming()), QStringList {"C"});
    EXPECT_EQ(test::titlesOf(queue.history()), QStringList {"D"});
    // The shuffle order is the concrete engine's own state.
    EXPECT_EQ(test::titlesOf(dynamic_cast<const OstrelQueueEngine&>(queue).playbackOrder()), (QStringList {"C", "B"}));
    // Loaded, paused at the saved time, although the session was playing.
    EXPECT_EQ(container->audioEngine().currentTrack(), b);
    EXPECT_EQ(container->audioEngine().playbackState(), PlaybackState::Paused);
    EXPECT_EQ(container->audioEngine().currentTime(), 30);
    EXPECT_FALSE(container->recoveryMessage().has_value());
    EXPECT_FALSE(queue.lastPlaybackError());
}

TEST_F(BootTest, ASessionWhoseSongCannotBeLoadedIsReported)
{
    const Track gone = playable(QStringLiteral("Gone"));
    storeLibrary({gone});
    storeSession(session(gone.id));
    QFile::remove(gone.fileURL.toLocalFile());

    auto container = boot();
    const QString text = "The audio file could not be found at " + gone.fileURL.toLocalFile() + ".";
    EXPECT_EQ(container->recoveryMessage(), "Playback could not be restored: " + text);
    EXPECT_EQ(describe(container->queueEngine().lastPlaybackError()), text);
    // The queue keeps the session; the user may fix the file and press play.
    EXPECT_EQ(container->queueEngine().currentTrack(), gone);
}

TEST_F(BootTest, VolumeIsClampedAndUnknownModesAreOff)
{
    const Track a = playable(QStringLiteral("A"));
    storeLibrary({a});
    struct Case {
        std::optional<float> saved;
        float restored;
        QString repeat;
        RepeatMode repeatMode;
        QString shuffle;
        ShuffleMode shuffleMode;
    };
    const Case cases[] = {
        {1.7f, 1.0f, QStringLiteral("loop"), RepeatMode::Off, QStringLiteral("smart"), ShuffleMode::Smart},
        {-0.5f, 0.0f, QStringLiteral("all"), RepeatMode::All, QStringLiteral("random"), ShuffleMode::Off},
        {std::nullopt, 1.0f, QStringLiteral("track"), RepeatMode::Track, QStringLiteral("standard"), ShuffleMode::Standard},
    };
    for (const Case& c : cases) {
        PlaybackStateSnapshot saved = session(a.id);
        saved.volume = c.saved;
        saved.repeatMode = c.repeat;
        saved.shuffleMode = c.shuffle;
        storeSession(saved);
        auto container = boot();
        EXPECT_EQ(container->audioEngine().volume(), c.restored);
        EXPECT_EQ(container->queueEngine().repeatMode(), c.repeatMode) << c.repeat.toStdString();
        EXPECT_EQ(container->queueEngine().shuffleMode(), c.shuffleMode) << c.shuffle.toStdString();
        EXPECT_FALSE(container->recoveryMessage().has_value());
    }
}

TEST_F(BootTest, CorruptLibraryIsReportedOnStandardOutputAndLeftAlone)
{
    QDir().mkpath(appFolder());
    test::writeFile(appFile(QStringLiteral("tracks.json")), "[{]");
    storeSession(session(QUuid::createUuid()));
    testing::internal::CaptureStdout();
    auto container = boot();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("LibraryEngine failed to load tracks: tracks.json: ", 0), 0u) << out;
    EXPECT_EQ(container->recoveryMessage(), QStringLiteral("The last track is no longer available. Your library was left unchanged."));
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("tracks.json"))), QByteArray("[{]"));
}

// A session waits for its library: when the library cannot be read, saving
// (at quit, when the window loses focus, or as playback moves) would replace
// the session with an empty one, and the user would lose their queue and
// place along with the damaged library.
TEST_F(BootTest, WhenTheLibraryCannotBeReadTheSavedSessionIsLeftAsItIs)
{
    const struct {
        const char* name;
        std::function<void(const QString&)> damage;
    } cases[] = {
        {"damaged", [](const QString& path) { test::writeFile(path, "[{]"); }},
        {"a folder", [](const QString& path) { QDir().mkpath(path); }},
        {"a pipe", [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(appFolder()).removeRecursively();
        QDir().mkpath(appFolder());
        c.damage(appFile(QStringLiteral("tracks.json")));
        storeSession(session(QUuid::createUuid(), {QUuid::createUuid()}));
        const QByteArray saved = test::readFile(appFile(QStringLiteral("playback_state.json")));

        testing::internal::CaptureStdout();
        auto container = boot();
        testing::internal::GetCapturedStdout();
        // What quitting and losing focus do.
        container->queueEngine().savePlaybackState(true);
        container->queueEngine().savePlaybackState(false);
        container->finishBackgroundWork();
        container.reset();
        EXPECT_EQ(test::readFile(appFile(QStringLiteral("playback_state.json"))), saved);
    }
}

TEST_F(BootTest, DemoSampleIsTheFirstCandidateThatExists)
{
    EXPECT_FALSE(DIContainer::demoSampleFile().has_value());
    const QString folder = homeFolder() + QStringLiteral("/Music/Audio Music Apps/Samples/QUICK SAMPLER");
    QDir().mkpath(folder);
    test::writeFile(folder + QStringLiteral("/ANALOG B.wav"), "RIFF");
    EXPECT_EQ(DIContainer::demoSampleFile(), folder + QStringLiteral("/ANALOG B.wav"));
    test::writeFile(folder + QStringLiteral("/ANALOG A.wav"), "RIFF");
    EXPECT_EQ(DIContainer::demoSampleFile(), folder + QStringLiteral("/ANALOG A.wav"));
}

TEST_F(BootTest, EmptyLibraryImportsTheSampleFileEvenAfterAFailedRestore)
{
    const QString folder = homeFolder() + QStringLiteral("/Music/Audio Music Apps/Samples/QUICK SAMPLER");
    QDir().mkpath(folder);
    QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.wav")), folder + QStringLiteral("/ANALOG B.wav"));
    storeSession(session(QUuid::createUuid()));
    auto container = boot();
    EXPECT_EQ(container->recoveryMessage(), QStringLiteral("The last track is no longer available. Your library was left unchanged."));
    ASSERT_EQ(container->libraryEngine().allTracks().size(), 1u);
    EXPECT_EQ(container->libraryEngine().allTracks()[0].filename, QStringLiteral("ANALOG B.wav"));
    // …and plays it through the queue.
    EXPECT_EQ(container->queueEngine().currentTrack(), container->libraryEngine().allTracks()[0]);
    EXPECT_EQ(container->audioEngine().playbackState(), PlaybackState::Playing);
    EXPECT_EQ(QDir(appFolder()).entryList(QDir::Files).size(), 5);
    EXPECT_TRUE(test::readFile(appFile(QStringLiteral("tracks.json"))).contains("ANALOG%20B.wav"));
}

TEST_F(BootTest, UnreadableSampleIsReportedOnStandardOutputOnly)
{
    const QString folder = homeFolder() + QStringLiteral("/Music/Audio Music Apps/Samples/QUICK SAMPLER");
    QDir().mkpath(folder);
    test::writeFile(folder + QStringLiteral("/ANALOG A.wav"), "not audio");
    testing::internal::CaptureStdout();
    auto container = boot();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Demo playback bootstrap failed: Some files could not be imported:\nANALOG A.wav: ", 0), 0u) << out;
    EXPECT_TRUE(container->libraryEngine().allTracks().empty());
    EXPECT_FALSE(container->recoveryMessage().has_value());
}

TEST_F(BootTest, MainWindowShowsTheRecoveryMessageUntilDismissed)
{
    storeSession(session(QUuid::createUuid()));
    auto container = boot();
    container->themeEngine().setReduceMotion(true);
    SettingsPreferencesStore preferences;
    WorkspacePanelState panels(preferences);
    TrackTableLayoutState columns(preferences);
    WindowMemory memory(preferences);
    test::FakeDialogs dialogs;
    MainWindow window(container->windowEngines(), panels, columns, memory, dialogs);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("VARNO MUSIC"));
    EXPECT_EQ(window.size(), QSize(1320, 820));
    EXPECT_EQ(window.minimumSize(), QSize(900, 650));
    window.show();
    auto* banner = window.findChild<QWidget*>(QStringLiteral("recoveryBanner"));
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisible());
    container->dismissRecoveryMessage();
    EXPECT_FALSE(banner->isVisible());
}

// Quitting while files still import: the import stops, what it read so far
// is in the library file, and no coroutine is left waiting for a worker (a
// leak the sanitizer reports when the test ends).
TEST_F(BootTest, QuittingDuringAnImportStopsItAndLeavesNoWorkBehind)
{
    auto container = boot();
    std::vector<FileURL> urls;
    for (int i = 0; i < 300; ++i) {
        const QString path = scratch(QStringLiteral("song %1.ogg").arg(i, 3, 10, QLatin1Char('0')));
        ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.ogg")), path));
        urls.push_back(FileURL::fromLocalFile(path));
    }
    LibraryEngine& library = container->libraryEngine();
    library.importFiles(urls);
    ASSERT_TRUE(test::waitUntil([&] { return library.importProgress().done > 0; }));

    container->finishBackgroundWork();
    EXPECT_FALSE(library.importProgress().active);
    const std::vector<Track> stored = json::decodeTracks(fileio::readWholeFile(appFile(QStringLiteral("tracks.json"))).value(), "tracks.json");
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(library.allTracks().size()));
    container.reset();
}

// Playlists that are there but cannot be read are said in the banner rather
// than shown as none, and the file is left as it is for the user to mend;
// a message about the session is kept beside it.
TEST_F(BootTest, PlaylistsThatCannotBeReadAreReportedAtStartAndLeftAlone)
{
    const QString store = appFile(QStringLiteral("playlist_records.json"));
    const auto unreadable = [&](const QString& reason) {
        return QStringLiteral("Playlists could not be loaded: The file \u201Cplaylist_records.json\u201D could not be read: %1 (%2)").arg(reason, store);
    };
    const struct {
        const char* name;
        std::function<void()> make;
        QString message;
        std::function<bool()> untouched;
    } cases[] = {
        {"a folder", [&] { QDir().mkpath(store); }, unreadable(QStringLiteral("it is a folder, not a file")), [&] { return QFileInfo(store).isDir(); }},
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(store).constData(), 0600), 0); }, unreadable(QStringLiteral("it is a named pipe, not a regular file")),
         [&] {
             struct stat info {};
             return ::lstat(QFile::encodeName(store).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
         }},
        {"a link to /dev/zero", [&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), store)); },
         unreadable(QStringLiteral("it is a character device, not a regular file")), [&] { return QFileInfo(store).symLinkTarget() == QStringLiteral("/dev/zero"); }},
        {"damaged", [&] { test::writeFile(store, "[{"); }, QString(), [&] { return test::readFile(store) == "[{"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(appFolder()).removeRecursively();
        QDir().mkpath(appFolder());
        c.make();
        testing::internal::CaptureStdout();
        auto container = boot();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Failed to load playlists: "), std::string::npos) << out;
        ASSERT_TRUE(container->recoveryMessage().has_value());
        if (c.message.isEmpty())
            EXPECT_TRUE(container->recoveryMessage()->startsWith(QStringLiteral("Playlists could not be loaded: playlist_records.json: "))) << container->recoveryMessage()->toStdString();
        else
            EXPECT_EQ(container->recoveryMessage(), c.message);
        EXPECT_TRUE(container->playlistEngine().rootPlaylists().isEmpty());
        container->finishBackgroundWork();
        container.reset();
        EXPECT_TRUE(c.untouched());
    }

    QDir(appFolder()).removeRecursively();
    QDir().mkpath(appFolder());
    QDir().mkpath(store);
    storeSession(session(QUuid::createUuid()));
    testing::internal::CaptureStdout();
    auto container = boot();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(container->recoveryMessage(), QStringLiteral("The last track is no longer available. Your library was left unchanged.\n") +
                                                unreadable(QStringLiteral("it is a folder, not a file")));
}

TEST_F(BootTest, PreferencesThatAreNotAFileAreReportedAndLeftAsTheyAre)
{
    const QString settings = test::settingsFile();
    QDir().mkpath(QFileInfo(settings).path());
    QFile::remove(settings);

    // A folder in the file's place, then a pipe (which QSettings would wait
    // on forever).
    ASSERT_TRUE(QDir().mkpath(settings));
    {
        auto container = boot();
        ASSERT_TRUE(container->recoveryMessage().has_value());
        EXPECT_EQ(*container->recoveryMessage(),
                  QStringLiteral("The preferences in %1 could not be read: it is a folder. Changes made now last until you quit; the file is left as it is.")
                      .arg(settings));
        // A change of this run is kept, in memory only.
        container->themeEngine().setReduceMotion(true);
        EXPECT_TRUE(QFileInfo(settings).isDir());
    }
    QDir(settings).removeRecursively();

    ASSERT_EQ(::mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
    {
        auto container = boot();
        ASSERT_TRUE(container->recoveryMessage().has_value());
        EXPECT_TRUE(container->recoveryMessage()->contains(QStringLiteral("it is not a regular file"))) << container->recoveryMessage()->toStdString();
    }
    QFile::remove(settings);
}

TEST_F(BootTest, PreferencesWithoutReadPermissionAreReportedAndLeftAsTheyAre)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads any file: the unreadable case cannot be made";
    const QString settings = test::settingsFile();
    QDir().mkpath(QFileInfo(settings).path());
    test::writeFile(settings, "[General]\nlibrary.something=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(settings).constData(), 0), 0);
    {
        auto container = boot();
        ASSERT_TRUE(container->recoveryMessage().has_value());
        EXPECT_TRUE(container->recoveryMessage()->contains(QStringLiteral(": Permission denied."))) << container->recoveryMessage()->toStdString();
    }
    ::chmod(QFile::encodeName(settings).constData(), 0600);
    EXPECT_EQ(test::readFile(settings), QByteArray("[General]\nlibrary.something=1\n"));
}
