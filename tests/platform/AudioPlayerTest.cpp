#include "TestSupport.h"

#include "AudioTestSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "platform/FFmpegAudioPlayer.h"
#include "platform/MediaReader.h"
#include "platform/NullAudioOutput.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace varno;
using namespace std::chrono_literals;
using test::RecordingObserver;
using test::ScopedEnvironment;

namespace {

// Fast enough that a 2 s fixture plays in a tenth of a second, slow enough
// that the null output still takes a few periods per file.
constexpr double kFast = 20.0;

std::unique_ptr<FFmpegAudioPlayer> makePlayer(const QString& relative, double speed = kFast)
{
    return std::make_unique<FFmpegAudioPlayer>(test::fixturePath(relative), std::make_shared<audio::NullAudioOutput>(speed));
}

audio::NullAudioStream& nullStream(const FFmpegAudioPlayer& player)
{
    auto* stream = dynamic_cast<audio::NullAudioStream*>(player.outputStream());
    if (!stream)
        throw std::logic_error("the player has no null output stream open");
    return *stream;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30s)
{
    return test::waitUntil(condition, timeout);
}

// The window in which a paused or stopped player must not move: fifteen
// turns of a 10 ms timer, which a busy machine stretches as it stretches
// the output's clock. Each test that uses it also shows the player moving
// within it once it plays.
constexpr test::TimerBeats kStillWindow {10ms, 15};

// The furthest a player of `speed` can have played from `from` in the real
// time `elapsed` has measured: the null output consumes on a clock, so a
// busy machine makes it fall behind, never run ahead. A period of slack
// covers the buffer an output takes at the start of a period.
double furthestFrom(double from, double speed, const QElapsedTimer& elapsed)
{
    return from + speed * (double(elapsed.elapsed()) / 1000.0 + 0.05);
}

// Lets `player` play its whole file into the output without running the
// event loop, so its finish is queued but not delivered: the output's clock
// runs on its own thread, and once every frame is consumed only the drain
// and the post remain, which a short pause more lets happen.
void playToTheEndUnseen(FFmpegAudioPlayer& player)
{
    const audio::NullAudioStream& stream = nullStream(player);
    const auto total = static_cast<std::uint64_t>(player.duration() * 44100.0);
    QDeadlineTimer deadline(30000);
    while (stream.framesConsumed() < total && !deadline.hasExpired())
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(50ms);
}

// What the process writes on standard output while `body` runs.
template<typename Body>
QByteArray capturedStdout(Body&& body)
{
    std::fflush(stdout);
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("stdout")));
    const int saved = ::dup(STDOUT_FILENO);
    std::FILE* file = std::fopen(path.constData(), "w");
    ::dup2(::fileno(file), STDOUT_FILENO);
    body();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    std::fclose(file);
    return test::readFile(QString::fromLocal8Bit(path));
}

} // namespace

TEST(AudioPlayer, playsEveryFormatToItsEndAndNotifiesOnceWithSuccess)
{
    for (const fixtures::Format format : fixtures::kAllFormats) {
        const QString relative = QStringLiteral("formats/tagged.") + fixtures::extension(format);
        SCOPED_TRACE(relative.toStdString());
        const auto player = makePlayer(relative);
        RecordingObserver observer;
        player->setObserver(&observer);
        EXPECT_GT(player->duration(), 1.9);
        EXPECT_LT(player->duration(), 2.3);

        ASSERT_TRUE(player->play());
        ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
        ASSERT_EQ(observer.finishes.size(), 1u);
        EXPECT_EQ(observer.finishes[0].player, player.get());
        EXPECT_TRUE(observer.finishes[0].successfully);
        EXPECT_DOUBLE_EQ(player->currentTime(), player->duration());
        // Finished players hold no stream.
        EXPECT_EQ(player->outputStream(), nullptr);

        // Nothing more arrives later: played again, the file brings one
        // finish more, and at its end, so it is not a repeat of the first.
        ASSERT_TRUE(player->play());
        ASSERT_TRUE(waitFor([&] { return observer.finishes.size() >= 2; }));
        EXPECT_DOUBLE_EQ(player->currentTime(), player->duration());
        EXPECT_EQ(observer.finishes.size(), 2u);
    }
}

TEST(AudioPlayer, theWholeFileReachesTheOutputBeforeTheEndIsReported)
{
    const auto output = std::make_shared<audio::NullAudioOutput>(kFast);
    FFmpegAudioPlayer player(test::fixturePath("formats/tagged.flac"), output);
    RecordingObserver observer;
    player.setObserver(&observer);
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    EXPECT_EQ(output->framesConsumed(), 2u * 44100u);
}

TEST(AudioPlayer, positionFollowsTheFramesTheOutputConsumed)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.flac"), 4.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.0);
    QElapsedTimer playing;
    playing.start();
    ASSERT_TRUE(player->play());
    const audio::NullAudioStream& stream = nullStream(*player);
    double last = -1;
    for (int i = 0; i < 10; ++i) {
        // Each look comes once the output has consumed past the last one.
        ASSERT_TRUE(waitFor([&] { return double(stream.framesConsumed()) / 44100.0 > last + 0.1; }));
        const double before = double(stream.framesConsumed()) / 44100.0;
        const double position = player->currentTime();
        const double after = double(stream.framesConsumed()) / 44100.0;
        EXPECT_GE(position, before - 1e-9);
        EXPECT_LE(position, after + 1e-9);
        EXPECT_GT(position, last);
        last = position;
    }
    // Never ahead of four times real time.
    EXPECT_LE(last, furthestFrom(0, 4.0, playing));
}

TEST(AudioPlayer, pauseStopsConsumptionAndHoldsThePosition)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.mp3"), 4.0);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->currentTime() > 0.3; }));
    player->pause();
    const audio::NullAudioStream& stream = nullStream(*player);
    const std::uint64_t consumed = stream.framesConsumed();
    const double position = player->currentTime();
    EXPECT_FALSE(test::happensWithin(kStillWindow, [&] { return stream.framesConsumed() != consumed || player->currentTime() != position; }));

    ASSERT_TRUE(player->play());
    EXPECT_TRUE(test::happensWithin(kStillWindow, [&] { return stream.framesConsumed() > consumed && player->currentTime() > position; }));
}

TEST(AudioPlayer, seekMovesThePositionAtOnceAndPlaysOnFromThere)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.mp3"), 4.0);
    RecordingObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->currentTime() > 0; }));

    const auto seekedAt = std::chrono::steady_clock::now();
    QElapsedTimer sinceSeek;
    sinceSeek.start();
    player->setCurrentTime(120.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 120.0);
    ASSERT_TRUE(waitFor([&] {
        const auto handed = player->firstSamplesHandedAt();
        return handed && *handed >= seekedAt;
    }));
    ASSERT_TRUE(waitFor([&] { return player->currentTime() > 120.2; }));
    EXPECT_LE(player->currentTime(), furthestFrom(120, 4.0, sinceSeek));

    // Seeking while paused moves the position too, and playing goes on from it.
    player->pause();
    player->setCurrentTime(30.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 30.0);
    EXPECT_FALSE(test::happensWithin(kStillWindow, [&] { return player->currentTime() != 30.0; }));
    QElapsedTimer sincePlay;
    sincePlay.start();
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(test::happensWithin(kStillWindow, [&] { return player->currentTime() > 30.0; }));
    ASSERT_TRUE(waitFor([&] { return player->currentTime() > 30.1; }));
    EXPECT_LE(player->currentTime(), furthestFrom(30, 4.0, sincePlay));

    // Out of range is clamped; just before the end plays out and finishes
    // once, and at the end.
    // Still playing: by the time it is read the position may have moved on
    // from 0 by a few milliseconds of sound.
    player->setCurrentTime(-5);
    EXPECT_GE(player->currentTime(), 0.0);
    EXPECT_LT(player->currentTime(), 0.5);
    player->setCurrentTime(player->duration() - 0.3);
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    ASSERT_EQ(observer.finishes.size(), 1u);
    EXPECT_TRUE(observer.finishes[0].successfully);
    EXPECT_DOUBLE_EQ(player->currentTime(), player->duration());
}

TEST(AudioPlayer, aSeekAfterTheLastSamplesCancelsTheFinishOfThePlaceLeft)
{
    const auto player = makePlayer(QStringLiteral("formats/tagged.wav"), 50.0);
    RecordingObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    // Without running the event loop: the finish is queued, not delivered.
    playToTheEndUnseen(*player);
    player->setCurrentTime(1.0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(observer.finishes.empty());
    // The new place plays to the end and finishes on its own: one finish,
    // at the end.
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    EXPECT_DOUBLE_EQ(player->currentTime(), player->duration());
    EXPECT_EQ(observer.finishes.size(), 1u);
}

TEST(AudioPlayer, volumeScalesTheSamplesHandedToTheOutput)
{
    for (const float volume : {0.0f, 0.5f, 1.0f}) {
        SCOPED_TRACE(volume);
        const auto player = makePlayer(QStringLiteral("formats/tagged.wav"));
        player->setVolume(volume);
        ASSERT_TRUE(player->play());
        const audio::NullAudioStream& stream = nullStream(*player);
        ASSERT_TRUE(waitFor([&] { return stream.framesConsumed() > 44100; }));
        // The fixture is a sine at level 0.5.
        EXPECT_NEAR(stream.peakLevel(), 0.5f * volume, 0.01f);
        if (volume == 0.0f) {
            EXPECT_EQ(stream.peakLevel(), 0.0f);
        }
    }
}

TEST(AudioPlayer, stopReleasesTheOutputAndKeepsThePosition)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.flac"), 4.0);
    RecordingObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->currentTime() > 0.3; }));
    player->stop();
    EXPECT_EQ(player->outputStream(), nullptr);
    const double position = player->currentTime();
    EXPECT_FALSE(test::happensWithin(kStillWindow, [&] { return player->currentTime() != position; }));

    QElapsedTimer sincePlay;
    sincePlay.start();
    ASSERT_TRUE(player->play());
    EXPECT_NE(player->outputStream(), nullptr);
    EXPECT_GE(player->currentTime(), position);
    EXPECT_TRUE(test::happensWithin(kStillWindow, [&] { return player->currentTime() > position; }));
    EXPECT_LE(player->currentTime(), furthestFrom(position, 4.0, sincePlay));
    EXPECT_TRUE(observer.finishes.empty());
}

TEST(AudioPlayer, playAfterTheEndStartsOver)
{
    const auto player = makePlayer(QStringLiteral("formats/tagged.ogg"));
    RecordingObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return observer.finishes.size() == 1; }));
    EXPECT_DOUBLE_EQ(player->currentTime(), player->duration());

    ASSERT_TRUE(player->play());
    EXPECT_LT(player->currentTime(), 0.5);
    ASSERT_TRUE(waitFor([&] { return observer.finishes.size() == 2; }));
    EXPECT_TRUE(observer.finishes[1].successfully);
}

TEST(AudioPlayer, playHandsTheFirstSamplesToTheOutputQuickly)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.mp3"), 1.0);
    EXPECT_FALSE(player->firstSamplesHandedAt());
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->firstSamplesHandedAt().has_value(); }, 2s));
    // Loose: a sanitizer build on a busy machine.
    EXPECT_LT(*player->firstSamplesHandedAt() - pressed, 500ms);
}

TEST(AudioPlayer, filesThatCannotBeOpenedThrowWithTheReason)
{
    FFmpegAudioPlayerFactory factory([] { return std::make_shared<audio::NullAudioOutput>(kFast); });
    const auto openError = [&](const QString& relative) {
        return test::errorText([&] { factory.makePlayer(test::fixturePath(relative)); });
    };
    EXPECT_EQ(openError("bad/empty.mp3"), QStringLiteral("The file \u201Cempty.mp3\u201D could not be read as audio: the file is empty"));
    EXPECT_EQ(openError("bad/random.mp3"),
              QStringLiteral("The file \u201Crandom.mp3\u201D could not be read as audio: its format is not recognised"));
    EXPECT_EQ(openError("bad/song.mp3"), QStringLiteral("The file \u201Csong.mp3\u201D could not be read as audio: it holds no audio"));
    EXPECT_EQ(openError("bad/cover.jpg"), QStringLiteral("The file \u201Ccover.jpg\u201D could not be read as audio: it holds no audio"));
    EXPECT_EQ(openError("bad/missing.mp3"),
              QStringLiteral("The file \u201Cmissing.mp3\u201D could not be read as audio: No such file or directory"));
    EXPECT_THROW(factory.makePlayer(test::fixturePath("bad/random.flac")), MediaReadError);
}

TEST(AudioPlayer, corruptionPartWayThroughEndsPlaybackUnsuccessfully)
{
    const auto output = std::make_shared<audio::NullAudioOutput>(kFast);
    FFmpegAudioPlayer player(test::fixturePath("bad/garbled-tail.m4a"), output);
    RecordingObserver observer;
    player.setObserver(&observer);
    EXPECT_NEAR(player.duration(), 4.0, 0.05);
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    ASSERT_EQ(observer.finishes.size(), 1u);
    EXPECT_FALSE(observer.finishes[0].successfully);
    // The intact first half was played before the failure ended it.
    EXPECT_GT(output->framesConsumed(), 44100u);
    EXPECT_LT(output->framesConsumed(), 3u * 44100u);
}

TEST(AudioPlayer, destroyingAPlayingPlayerNeitherCrashesNorNotifies)
{
    RecordingObserver observer;
    {
        const auto player = makePlayer(QStringLiteral("signals/long-4min.flac"));
        player->setObserver(&observer);
        ASSERT_TRUE(player->play());
        ASSERT_TRUE(waitFor([&] { return player->currentTime() > 0; }));
    }
    {
        // Destroyed with its finish already queued.
        const auto player = makePlayer(QStringLiteral("formats/tagged.wav"), 50.0);
        player->setObserver(&observer);
        ASSERT_TRUE(player->play());
        playToTheEndUnseen(*player);
    }
    {
        // Destroyed while merely prepared, and never prepared.
        const auto prepared = makePlayer(QStringLiteral("formats/tagged.mp3"));
        ASSERT_TRUE(prepared->prepareToPlay());
        const auto idle = makePlayer(QStringLiteral("formats/tagged.mp3"));
    }
    // What the players posted before they went is delivered now.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(observer.finishes.empty());
}

TEST(AudioPlayer, theObserverMayDestroyThePlayerItHearsFrom)
{
    struct Dropping final : AudioPlayerObserver {
        std::unique_ptr<AudioPlayer> player;
        int finishes = 0;
        void audioPlayerDidFinishPlaying(AudioPlayer&, bool) override
        {
            ++finishes;
            player.reset();
        }
    } observer;
    observer.player = makePlayer(QStringLiteral("formats/tagged.mp3"));
    observer.player->setObserver(&observer);
    ASSERT_TRUE(observer.player->play());
    ASSERT_TRUE(waitFor([&] { return observer.finishes == 1; }));
    EXPECT_EQ(observer.player, nullptr);
}

TEST(AudioPlayer, theDefaultFactoryTakesTheNullOutputAndItsSpeedFromTheEnvironment)
{
    const ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "null");
    const ScopedEnvironment speed("VARNO_NULL_OUTPUT_SPEED", "40");
    const auto factory = makeDefaultAudioPlayerFactory();
    const auto player = factory->makePlayer(test::fixturePath("formats/tagged.wav"));
    RecordingObserver observer;
    player->setObserver(&observer);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    // 2 s of audio at forty times real time: well under the 2 s it takes at
    // real time (the clocked output never runs ahead), with room for a
    // busy machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1900ms);
    EXPECT_TRUE(observer.finishes[0].successfully);
}

TEST(AudioPlayer, anUnknownOutputNameIsReportedOnceAndTheRealOutputUsed)
{
    const ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "loudspeaker");
    std::unique_ptr<AudioPlayerFactory> factory;
    const QByteArray printed = capturedStdout([&] { factory = makeDefaultAudioPlayerFactory(); });
    EXPECT_EQ(printed, "VARNO_AUDIO_OUTPUT=loudspeaker is not an audio output (auto, pulse, null or wav:PATH); using auto\n");
    ASSERT_NE(factory, nullptr);
}

namespace {

// An output that opens streams and then never takes a sample, as a sound
// server does while it is stopped: no error, no progress.
class SilentStream final : public audio::AudioOutputStream {
public:
    void start() override {}
    void pause() override {}
    void flush() override {}
    void samplesAvailable() override {}
    std::uint64_t heardFrames() const override { return 0; }
    bool drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected) override
    {
        while (generation.load() == expected)
            std::this_thread::sleep_for(5ms);
        return false;
    }
    void interruptDrain() override {}
};

class SilentOutput final : public audio::AudioOutput {
public:
    bool isUsable() const override { return true; }
    std::unique_ptr<audio::AudioOutputStream> openStream(const audio::StreamFormat&, audio::AudioSource&) override
    {
        return std::make_unique<SilentStream>();
    }
};

} // namespace

TEST(AudioPlayer, anOutputThatStopsTakingSoundEndsPlaybackWithTheReason)
{
    FFmpegAudioPlayer player(test::fixturePath("signals/long-4min.flac"), std::make_shared<SilentOutput>());
    RecordingObserver observer;
    player.setObserver(&observer);
    ASSERT_TRUE(player.play());
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }, 20s));
    // Not before the output had its time to start.
    EXPECT_GE(elapsed.elapsed(), std::chrono::milliseconds(FFmpegAudioPlayer::kStallLimit).count());
    ASSERT_EQ(observer.finishes.size(), 1u);
    EXPECT_FALSE(observer.finishes[0].successfully);
    EXPECT_EQ(player.outputFailure(), QStringLiteral("the sound server has taken no sound for 3 seconds; it may have stopped responding"));
    EXPECT_EQ(player.currentTime(), 0.0);
    EXPECT_EQ(player.outputStream(), nullptr);
}

TEST(AudioPlayer, aPausedPlayerIsNeverTakenForAStalledOutput)
{
    FFmpegAudioPlayer player(test::fixturePath("signals/long-4min.flac"), std::make_shared<SilentOutput>());
    RecordingObserver observer;
    player.setObserver(&observer);
    ASSERT_TRUE(player.play());
    player.pause();
    // Well past the limit, counted in timer beats so a busy machine
    // stretches the window as it stretches the player's own timer; the test
    // above shows a playing player is caught within it.
    EXPECT_FALSE(test::happensWithin(test::TimerBeats {100ms, 45}, [&] { return !observer.finishes.empty(); }));
    EXPECT_TRUE(observer.finishes.empty());
    EXPECT_FALSE(player.outputFailure());
}
