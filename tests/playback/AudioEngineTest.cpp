#include "FakeAudioPlayer.h"
#include "TestSupport.h"

#include "playback/AudioPlaybackError.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"

#include <QElapsedTimer>
#include <QFile>

#include <cmath>
#include <limits>
#include <sys/stat.h>

using namespace varno;
using test::FakeAudioPlayerFactory;
using test::FakePlayerScript;

namespace {

// Everything the engine told its delegate, as text, in order.
class RecordingDelegate final : public AudioEngineDelegate {
public:
    std::vector<QString> events;
    std::vector<double> times;
    int finishes = 0;
    std::vector<QString> failures;

    void audioEngine(AudioEngine&, PlaybackState state) override { events.push_back(QStringLiteral("state %1").arg(int(state))); }
    void audioEngine(AudioEngine&, const std::optional<Track>& track) override
    {
        events.push_back(QStringLiteral("track %1").arg(track ? track->title : QStringLiteral("none")));
    }
    void audioEngine(AudioEngine&, double seconds) override { times.push_back(seconds); }
    void audioEngineDidFinishPlayback(AudioEngine&) override { ++finishes; }
    void audioEngine(AudioEngine&, std::exception_ptr error) override { failures.push_back(describe(error)); }
};

QString state(PlaybackState s)
{
    return QStringLiteral("state %1").arg(int(s));
}

class AudioEngineTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        shared = std::make_shared<FakeAudioPlayerFactory::Shared>();
        engine = std::make_unique<OstrelAudioEngine>(std::make_unique<FakeAudioPlayerFactory>(shared));
        engine->setDelegate(&delegate);
    }

    // A song whose file exists and holds a few bytes; the fake player does
    // not read it.
    Track song(const QString& title, double duration = 200)
    {
        const QString path = scratch(title + QStringLiteral(".mp3"));
        test::writeFile(path, "not really audio");
        Track track = test::makeTrack(title);
        track.fileURL = FileURL::fromLocalFile(path);
        track.duration = duration;
        FakePlayerScript script;
        script.duration = duration;
        shared->scripts.insert(path, script);
        return track;
    }

    FakePlayerScript& scriptOf(const Track& track) { return shared->scripts[track.fileURL.toLocalFile()]; }
    test::FakePlayerLog& lastLog() { return *shared->logs.back(); }
    test::FakeAudioPlayer& lastPlayer() { return *shared->players.back(); }

    // As long as the position timer takes for three reports: the window in
    // which a paused engine must report nothing.
    static constexpr test::TimerBeats kThreeReports {std::chrono::milliseconds(OstrelAudioEngine::kProgressIntervalMs), 3};
    // As long as a fade takes for three steps.
    static constexpr test::TimerBeats kThreeFadeSteps {std::chrono::milliseconds(20), 3};

    std::shared_ptr<FakeAudioPlayerFactory::Shared> shared;
    RecordingDelegate delegate;
    std::unique_ptr<OstrelAudioEngine> engine;
};

} // namespace

TEST_F(AudioEngineTest, PlayLoadsStartsAndAnnouncesEachChange)
{
    const Track a = song(QStringLiteral("a"));
    engine->play(a);

    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);
    EXPECT_EQ(engine->currentTrack()->id, a.id);
    EXPECT_TRUE(engine->isProgressTimerActive());
    EXPECT_EQ(delegate.events, (std::vector<QString> {state(PlaybackState::Buffering), QStringLiteral("track a"), state(PlaybackState::Playing)}));
    EXPECT_EQ(delegate.times, std::vector<double> {0.0});
    EXPECT_EQ(lastLog().calls, (std::vector<QString> {QStringLiteral("seek 0"), QStringLiteral("prepare"), QStringLiteral("play")}));
    EXPECT_EQ(lastLog().volumes, std::vector<float> {1.0f});
    EXPECT_EQ(lastLog().observer != nullptr, true);
}

TEST_F(AudioEngineTest, LoadFailuresKeepThePreviousSongSoundingAndNameTheFile)
{
    const Track a = song(QStringLiteral("a"));
    const Track gone = song(QStringLiteral("gone"));
    QFile::remove(gone.fileURL.toLocalFile());
    const Track empty = song(QStringLiteral("empty"));
    test::writeFile(empty.fileURL.toLocalFile(), {});
    const Track garbled = song(QStringLiteral("garbled"));
    scriptOf(garbled).openFailure = QStringLiteral("its format is not recognised");
    const Track silent = song(QStringLiteral("silent"));
    scriptOf(silent).duration = 0;
    const Track stubborn = song(QStringLiteral("stubborn"));
    scriptOf(stubborn).prepares = false;
    const Track mute = song(QStringLiteral("mute"));
    scriptOf(mute).plays = false;
    const Track piped = song(QStringLiteral("piped"));
    QFile::remove(piped.fileURL.toLocalFile());
    ASSERT_EQ(::mkfifo(QFile::encodeName(piped.fileURL.toLocalFile()).constData(), 0600), 0);

    engine->play(a);
    auto* playing = shared->players.back();

    const auto path = [](const Track& t) { return t.fileURL.toLocalFile(); };
    EXPECT_EQ(test::errorText([&] { engine->play(gone); }), "The audio file could not be found at " + path(gone) + ".");
    EXPECT_EQ(test::errorText([&] { engine->play(empty); }),
              "The audio file at " + path(empty) + " does not contain any playable frames.");
    EXPECT_EQ(test::errorText([&] { engine->play(garbled); }),
              "The audio file at " + path(garbled) + " could not be opened: its format is not recognised");
    EXPECT_EQ(test::errorText([&] { engine->play(silent); }),
              "The audio file at " + path(silent) + " does not contain any playable frames.");
    EXPECT_EQ(test::errorText([&] { engine->play(stubborn); }),
              "The audio file at " + path(stubborn) + " has an unsupported playback format.");
    EXPECT_EQ(test::errorText([&] { engine->play(mute); }),
              "The audio file at " + path(mute) + " has an unsupported playback format.");
    EXPECT_EQ(test::errorText([&] { engine->play(piped); }),
              "The audio file at " + path(piped) + " could not be opened: it is a named pipe, not a regular file");

    // Each failure reached the delegate too; the first song never stopped.
    EXPECT_EQ(delegate.failures.size(), 7u);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);
    EXPECT_EQ(engine->currentTrack()->id, a.id);
    EXPECT_EQ(shared->players.back() == playing, false);
    EXPECT_TRUE(shared->logs.front()->playing);
    for (std::size_t i = 1; i < shared->logs.size(); ++i)
        EXPECT_FALSE(shared->logs[i]->alive) << shared->logs[i]->path.toStdString();

    // With nothing sounding before, a failure leaves the engine failed.
    engine->stop();
    EXPECT_THROW(engine->play(gone), AudioPlaybackError);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Failed);
}

TEST_F(AudioEngineTest, AnUnreachableSoundServerIsAnEngineStartFailure)
{
    const Track a = song(QStringLiteral("a"));
    shared->outputDown = QStringLiteral("Connection refused");
    EXPECT_EQ(test::errorText([&] { engine->play(a); }), "The audio engine could not start: Connection refused");
    EXPECT_EQ(test::errorText([&] { engine->restore(a, 3); }), "The audio engine could not start: Connection refused");
    EXPECT_EQ(engine->playbackState(), PlaybackState::Failed);
}

TEST_F(AudioEngineTest, RestoreLoadsPausedWithTheTimeClampedIntoTheSong)
{
    const Track a = song(QStringLiteral("a"), 200);
    engine->restore(a, 500);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Paused);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 200);
    EXPECT_FALSE(engine->isProgressTimerActive());
    EXPECT_FALSE(lastLog().playing);

    for (const double at : {-4.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        engine->restore(a, at);
        EXPECT_DOUBLE_EQ(engine->currentTime(), 0) << at;
        EXPECT_DOUBLE_EQ(lastLog().currentTime, 0) << at;
    }
}

TEST_F(AudioEngineTest, ResumeNearTheEndStartsOverAndPauseHoldsThePosition)
{
    const Track a = song(QStringLiteral("a"), 200);
    engine->restore(a, 199.97);
    engine->resume();
    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 0);
    EXPECT_DOUBLE_EQ(lastLog().currentTime, 0);

    lastLog().currentTime = 42.5;
    engine->pause();
    EXPECT_EQ(engine->playbackState(), PlaybackState::Paused);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 42.5);
    EXPECT_FALSE(engine->isProgressTimerActive());
    engine->pause(); // not playing: nothing happens
    EXPECT_EQ(engine->playbackState(), PlaybackState::Paused);

    engine->togglePlayback();
    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 42.5);
}

TEST_F(AudioEngineTest, ThePositionTimerFeedsTheDelegateOnlyWhilePlaying)
{
    const Track a = song(QStringLiteral("a"), 200);
    QElapsedTimer playing;
    playing.start();
    engine->play(a);
    lastLog().currentTime = 12.25;
    ASSERT_TRUE(test::waitUntil([&] { return delegate.times.size() >= 3; }));
    EXPECT_DOUBLE_EQ(engine->currentTime(), 12.25);
    // About one update every 50 ms, plus the one at load; a busy machine
    // makes them rarer, never more frequent.
    EXPECT_LE(qint64(delegate.times.size()), 2 + playing.elapsed() / OstrelAudioEngine::kProgressIntervalMs);

    engine->pause();
    const std::size_t updates = delegate.times.size();
    lastLog().currentTime = 30;
    EXPECT_FALSE(test::happensWithin(kThreeReports, [&] { return delegate.times.size() > updates; }));
    EXPECT_DOUBLE_EQ(engine->currentTime(), 12.25);

    // Resumed, the timer reports again within the same window, and a
    // position past the end is shown as the end.
    engine->resume();
    lastLog().currentTime = 250;
    EXPECT_TRUE(test::happensWithin(kThreeReports, [&] { return delegate.times.size() > updates; }));
    EXPECT_DOUBLE_EQ(engine->currentTime(), 200);
}

TEST_F(AudioEngineTest, SeekClampsIntoTheSongAndNeverChangesTheState)
{
    const Track a = song(QStringLiteral("a"), 200);
    engine->seek(10); // no song: nothing
    EXPECT_TRUE(delegate.times.empty());

    engine->restore(a, 5);
    engine->seek(1e9);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 200);
    engine->seek(-1);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 0);
    engine->seek(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(engine->currentTime(), 0);
    engine->seek(61.5);
    EXPECT_DOUBLE_EQ(lastLog().currentTime, 61.5);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Paused);
    EXPECT_DOUBLE_EQ(delegate.times.back(), 61.5);
    EXPECT_DOUBLE_EQ(engine->progress(), 61.5 / 200);
}

TEST_F(AudioEngineTest, PreviousRestartsPastThreeSecondsAndStepsBackOtherwise)
{
    const Track a = song(QStringLiteral("a"));
    const Track b = song(QStringLiteral("b"));
    engine->setQueue({a, b}, 1);
    EXPECT_EQ(engine->currentTrack()->id, b.id);
    EXPECT_TRUE(shared->players.empty()); // nothing loaded yet
    engine->resume();
    EXPECT_EQ(lastLog().path, b.fileURL.toLocalFile());

    engine->seek(3.1);
    engine->previousTrack();
    EXPECT_EQ(engine->currentTrack()->id, b.id);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 0);

    engine->seek(3.0);
    engine->previousTrack();
    EXPECT_EQ(engine->currentTrack()->id, a.id);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);

    engine->nextTrack();
    EXPECT_EQ(engine->currentTrack()->id, b.id);
    engine->nextTrack(); // past the end: stop
    EXPECT_EQ(engine->playbackState(), PlaybackState::Stopped);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 0);

    engine->clearQueue();
    EXPECT_TRUE(engine->queue().empty());
    EXPECT_FALSE(engine->currentTrack());
    EXPECT_FALSE(lastLog().alive);
}

TEST_F(AudioEngineTest, VolumeIsClampedAndFadesMoveInSteps)
{
    const Track a = song(QStringLiteral("a"));
    engine->play(a);
    engine->setVolume(-0.2f);
    EXPECT_EQ(engine->volume(), 0.0f);
    engine->setVolume(1.0f);

    lastLog().volumes.clear();
    engine->fade(1.0, 0);
    ASSERT_TRUE(test::waitUntil([&] { return engine->volume() == 0.0f; }));
    EXPECT_EQ(lastLog().volumes.size(), 50u);
    EXPECT_NEAR(lastLog().volumes.front(), 0.98f, 1e-6);

    lastLog().volumes.clear();
    engine->fade(0.01, 0.5f);
    ASSERT_TRUE(test::waitUntil([&] { return engine->volume() == 0.5f; }));
    EXPECT_EQ(lastLog().volumes, std::vector<float> {0.5f});

    engine->fade(0, 3);
    EXPECT_EQ(engine->volume(), 1.0f);

    // A new fade replaces a running one: after the new one has landed, the
    // old one takes no further step...
    lastLog().volumes.clear();
    engine->fade(10, 0);
    engine->fade(0.02, 0.25f);
    ASSERT_TRUE(test::waitUntil([&] { return engine->volume() == 0.25f; }));
    EXPECT_FALSE(test::happensWithin(kThreeFadeSteps, [&] { return lastLog().volumes.size() > 1; }));
    EXPECT_EQ(lastLog().volumes, std::vector<float> {0.25f});
    // ...where the same window sees the steps of a fade left running.
    engine->fade(10, 0);
    EXPECT_TRUE(test::happensWithin(kThreeFadeSteps, [&] { return lastLog().volumes.size() > 1; }));
}

TEST_F(AudioEngineTest, EndOfSongStopsAtTheEndAndStaleEndsAreIgnored)
{
    const Track a = song(QStringLiteral("a"), 120);
    const Track b = song(QStringLiteral("b"), 90);
    engine->play(a);
    engine->play(b);

    // A player the engine no longer holds (its end was already on its way).
    auto staleLog = std::make_shared<test::FakePlayerLog>();
    staleLog->observer = lastLog().observer;
    test::FakeAudioPlayer stale({}, staleLog);
    stale.finish(true);
    EXPECT_EQ(delegate.finishes, 0);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);

    lastPlayer().finish(true);
    EXPECT_EQ(delegate.finishes, 1);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Stopped);
    EXPECT_DOUBLE_EQ(engine->currentTime(), 90);
    EXPECT_FALSE(engine->isProgressTimerActive());

    engine->play(a);
    lastPlayer().finish(false);
    EXPECT_EQ(engine->playbackState(), PlaybackState::Failed);
    EXPECT_EQ(delegate.failures.back(), "The audio file at " + a.fileURL.toLocalFile() + " has an unsupported playback format.");
}

TEST_F(AudioEngineTest, SettingsAreKeptAndDeviceRoutingIsRefused)
{
    EXPECT_TRUE(engine->isGaplessEnabled());
    EXPECT_TRUE(engine->isReplayGainEnabled());
    EXPECT_EQ(engine->crossfadeDuration(), 0);
    engine->setGaplessEnabled(false);
    engine->setCrossfadeDuration(4.5);
    engine->setReplayGainEnabled(false);
    EXPECT_FALSE(engine->isGaplessEnabled());
    EXPECT_EQ(engine->crossfadeDuration(), 4.5);
    EXPECT_FALSE(engine->isReplayGainEnabled());

    EXPECT_EQ(test::errorText([&] { engine->setOutputDevice(QStringLiteral("hdmi")); }),
              "Output device switching is not available in this version. Choose the output in your desktop's sound settings instead.");
}

TEST_F(AudioEngineTest, DestroyingTheEngineStopsThePlayerAndForgetsAGoneDelegate)
{
    const Track a = song(QStringLiteral("a"));
    engine->play(a);
    auto log = shared->logs.back();
    engine.reset();
    EXPECT_FALSE(log->alive);
    EXPECT_EQ(log->calls.back(), "stop");
}

TEST_F(AudioEngineTest, ADelegateThatIsGoneIsNotCalled)
{
    const Track a = song(QStringLiteral("a"));
    auto queue = std::make_unique<OstrelQueueEngine>();
    engine->setDelegate(queue.get());
    queue.reset();
    EXPECT_EQ(engine->delegate(), nullptr);
    engine->play(a); // would reach freed memory if the delegate were kept
    EXPECT_EQ(engine->playbackState(), PlaybackState::Playing);
}
