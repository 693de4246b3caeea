#include "BootSupport.h"
#include "TestSupport.h"

#include "app/DIContainer.h"
#include "edits/TrackRemovalCoordinator.h"
#include "playback/AudioPlaybackError.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace varno;
using test::waitUntil;

namespace {

// The whole composition root on the clocked null output, by default fifty
// times faster than real time: a two-second fixture plays in about 40 ms.
// A test that looks at a song while it plays boots at real time instead, so
// the song cannot end, or run past what the test checks, while a busy
// machine holds the test back.
class PlaybackEndToEndTest : public test::DataFolderTest {
protected:
    static constexpr const char* kFast = "50";
    static constexpr const char* kRealTime = "1";

    void SetUp() override
    {
        DataFolderTest::SetUp();
        qputenv("VARNO_AUDIO_OUTPUT", "null");
    }
    void TearDown() override
    {
        qunsetenv("VARNO_NULL_OUTPUT_SPEED");
        DataFolderTest::TearDown();
    }

    static std::unique_ptr<DIContainer> boot(const char* speed = kFast)
    {
        qputenv("VARNO_NULL_OUTPUT_SPEED", speed);
        return test::bootContainer();
    }

    // Copies fixtures into the scratch folder and imports them, in order.
    std::vector<Track> importCopies(DIContainer& container, const QStringList& fixtures)
    {
        std::vector<FileURL> urls;
        for (int i = 0; i < fixtures.size(); ++i) {
            const QString path = scratch(QStringLiteral("song%1.%2").arg(i).arg(QFileInfo(fixtures[i]).suffix()));
            EXPECT_TRUE(QFile::copy(test::fixturePath(fixtures[i]), path));
            urls.push_back(FileURL::fromLocalFile(path));
        }
        test::await(container.libraryEngine().importFiles(urls));
        std::vector<Track> songs;
        for (const FileURL& url : urls) {
            for (const Track& track : container.libraryEngine().allTracks())
                if (track.fileURL == url)
                    songs.push_back(track);
        }
        EXPECT_EQ(songs.size(), urls.size());
        return songs;
    }

    const QStringList threeSongs {QStringLiteral("formats/tagged.mp3"), QStringLiteral("formats/tagged.flac"),
                                  QStringLiteral("formats/tagged.wav")};
};

QString titleOf(const std::optional<Track>& track)
{
    return track ? track->filename : QStringLiteral("none");
}

} // namespace

TEST_F(PlaybackEndToEndTest, SongsPlayToTheEndOfTheQueueOneAfterAnother)
{
    auto container = boot();
    const std::vector<Track> songs = importCopies(*container, threeSongs);
    QueueEngine& queue = container->queueEngine();
    AudioEngine& audio = container->audioEngine();

    QStringList started;
    QObject::connect(&audio, &AudioEngine::currentTrackChanged, [&] { started << titleOf(audio.currentTrack()); });
    queue.playNow(songs, 0);
    ASSERT_FALSE(queue.lastPlaybackError()) << describe(queue.lastPlaybackError()).toStdString();
    EXPECT_EQ(audio.playbackState(), PlaybackState::Playing);

    ASSERT_TRUE(waitUntil([&] { return queue.history().size() == 2 && audio.playbackState() == PlaybackState::Stopped; }));
    EXPECT_EQ(started, (QStringList {"song0.mp3", "song1.flac", "song2.wav"}));
    // Repeat off: the last song stays current, stopped at its end.
    EXPECT_EQ(queue.currentTrack(), songs[2]);
    EXPECT_TRUE(queue.upcoming().empty());
    EXPECT_NEAR(audio.currentTime(), audio.duration(), 0.001);
    EXPECT_EQ(queue.advanceToNext(), std::nullopt);
}

TEST_F(PlaybackEndToEndTest, RepeatOneReplaysAndRepeatAllStartsOver)
{
    auto container = boot();
    const std::vector<Track> songs = importCopies(*container, threeSongs);
    QueueEngine& queue = container->queueEngine();
    AudioEngine& audio = container->audioEngine();

    int starts = 0;
    QObject::connect(&audio, &AudioEngine::currentTrackChanged, [&] { ++starts; });
    queue.setRepeatMode(RepeatMode::Track);
    queue.playNow(songs, 1);
    ASSERT_TRUE(waitUntil([&] { return starts >= 3; }));
    EXPECT_EQ(queue.currentTrack(), songs[1]);
    EXPECT_EQ(queue.history(), std::vector<Track> {songs[0]});

    // Repeat all: after the last song the play order begins again.
    queue.setRepeatMode(RepeatMode::All);
    queue.advanceToNext();
    ASSERT_TRUE(waitUntil([&] { return queue.currentTrack() == songs[0] && queue.history().empty(); }));
    EXPECT_EQ(queue.upcoming(), (std::vector<Track> {songs[1], songs[2]}));
    EXPECT_EQ(audio.playbackState(), PlaybackState::Playing);
    queue.setRepeatMode(RepeatMode::Off);
}

TEST_F(PlaybackEndToEndTest, ShuffleThenOffRestoresTheOrder)
{
    auto container = boot();
    const std::vector<Track> songs = importCopies(*container, QStringList {QStringLiteral("signals/long-4min.flac")} + threeSongs + threeSongs);
    QueueEngine& queue = container->queueEngine();
    queue.playNow(songs, 0);
    queue.setShuffleMode(ShuffleMode::Standard);
    queue.setShuffleMode(ShuffleMode::Off);
    EXPECT_EQ(queue.upcoming(), std::vector<Track>(songs.begin() + 1, songs.end()));
    EXPECT_EQ(container->audioEngine().currentTrack(), songs[0]);
}

TEST_F(PlaybackEndToEndTest, ASongThatCannotStartLeavesTheQueueAsItWas)
{
    auto container = boot(kRealTime);
    const std::vector<Track> songs = importCopies(*container, QStringList {QStringLiteral("signals/long-4min.flac"), QStringLiteral("formats/tagged.mp3")});
    QueueEngine& queue = container->queueEngine();
    queue.playNow(songs, 0);
    test::writeFile(songs[1].fileURL.toLocalFile(), QByteArray(4096, 'x'));

    EXPECT_EQ(queue.advanceToNext(), std::nullopt);
    EXPECT_EQ(queue.currentTrack(), songs[0]);
    EXPECT_EQ(queue.upcoming(), std::vector<Track> {songs[1]});
    EXPECT_TRUE(queue.history().empty());
    const QString text = describe(queue.lastPlaybackError());
    EXPECT_TRUE(text.startsWith("The audio file at " + songs[1].fileURL.toLocalFile() + " could not be opened: ")) << text.toStdString();
    // The first song never stopped.
    EXPECT_EQ(container->audioEngine().playbackState(), PlaybackState::Playing);
    EXPECT_EQ(container->audioEngine().currentTrack(), songs[0]);
}

TEST_F(PlaybackEndToEndTest, ARestartRestoresTheSessionPausedWhereItWas)
{
    std::vector<Track> songs;
    {
        auto container = boot();
        songs = importCopies(*container, QStringList {QStringLiteral("formats/tagged.mp3"), QStringLiteral("signals/long-4min.flac"),
                                                      QStringLiteral("formats/tagged.flac"), QStringLiteral("formats/tagged.wav")});
        QueueEngine& queue = container->queueEngine();
        queue.playNow(songs, 1);
        queue.setRepeatMode(RepeatMode::All);
        container->audioEngine().pause();
        container->audioEngine().seek(61.5);
        container->audioEngine().setVolume(0.4f);
        queue.savePlaybackState(true);
        ASSERT_FALSE(queue.lastPersistenceError());
    }

    // A second composition root over the same data folder: the next start.
    auto container = boot(kRealTime);
    EXPECT_FALSE(container->recoveryMessage().has_value()) << container->recoveryMessage()->toStdString();
    const QueueEngine& queue = container->queueEngine();
    EXPECT_EQ(queue.currentTrack(), songs[1]);
    EXPECT_EQ(queue.history(), std::vector<Track> {songs[0]});
    EXPECT_EQ(queue.upcoming(), (std::vector<Track> {songs[2], songs[3]}));
    EXPECT_EQ(queue.repeatMode(), RepeatMode::All);
    AudioEngine& audio = container->audioEngine();
    EXPECT_EQ(audio.playbackState(), PlaybackState::Paused);
    EXPECT_EQ(audio.currentTrack(), songs[1]);
    EXPECT_DOUBLE_EQ(audio.currentTime(), 61.5);
    EXPECT_FLOAT_EQ(audio.volume(), 0.4f);

    // Pressing play carries on from there.
    audio.resume();
    ASSERT_TRUE(waitUntil([&] { return audio.currentTime() > 62; }));
    EXPECT_LT(audio.currentTime(), 90);
}

TEST_F(PlaybackEndToEndTest, RemovingTheCurrentSongFromTheLibraryUnloadsIt)
{
    auto container = boot(kRealTime);
    const std::vector<Track> songs = importCopies(*container, QStringList {QStringLiteral("signals/long-4min.flac")} + threeSongs);
    QueueEngine& queue = container->queueEngine();
    queue.playNow(songs, 0);
    queue.playLast({songs[0]});

    TrackRemovalCoordinator coordinator(container->libraryEngine(), &queue, nullptr);
    test::await(coordinator.startRemoval(songs[0], RemovalKind::KeepFile, TrackRemovalCoordinator::UndoRegistration::Skip));
    EXPECT_FALSE(queue.currentTrack().has_value());
    EXPECT_EQ(queue.upcoming(), (std::vector<Track> {songs[1], songs[2], songs[3]}));
    EXPECT_FALSE(container->audioEngine().currentTrack().has_value());
    EXPECT_EQ(container->audioEngine().playbackState(), PlaybackState::Stopped);
}
