#include "TestSupport.h"

#include "AudioTestSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "platform/FFmpegAudioPlayer.h"
#include "platform/MediaReader.h"
#include "platform/NullAudioOutput.h"

#include <QCoreApplication>
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

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s)
{
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
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
        // Nothing more arrives later.
        QTest::qWait(150);
        ASSERT_EQ(observer.finishes.size(), 1u);
        EXPECT_EQ(observer.finishes[0].player, player.get());
        EXPECT_TRUE(observer.finishes[0].successfully);
        EXPECT_DOUBLE_EQ(player->currentTime(), player->duration());
        // Finished players hold no stream.
        EXPECT_EQ(player->outputStream(), nullptr);
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
    ASSERT_TRUE(player->play());
    const audio::NullAudioStream& stream = nullStream(*player);
    double last = -1;
    for (int i = 0; i < 10; ++i) {
        QTest::qWait(40);
        const double before = double(stream.framesConsumed()) / 44100.0;
        const double position = player->currentTime();
        const double after = double(stream.framesConsumed()) / 44100.0;
        EXPECT_GE(position, before - 1e-9);
        EXPECT_LE(position, after + 1e-9);
        EXPECT_GT(position, last);
        last = position;
    }
    // Four times real time, for at least 0.4 s of waiting.
    EXPECT_GT(last, 1.5);
}

TEST(AudioPlayer, pauseStopsConsumptionAndHoldsThePosition)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.mp3"), 4.0);
    ASSERT_TRUE(player->play());
    QTest::qWait(150);
    player->pause();
    const audio::NullAudioStream& stream = nullStream(*player);
    const std::uint64_t consumed = stream.framesConsumed();
    const double position = player->currentTime();
    EXPECT_GT(position, 0.3);
    QTest::qWait(250);
    EXPECT_EQ(stream.framesConsumed(), consumed);
    EXPECT_DOUBLE_EQ(player->currentTime(), position);

    ASSERT_TRUE(player->play());
    QTest::qWait(100);
    EXPECT_GT(stream.framesConsumed(), consumed);
    EXPECT_GT(player->currentTime(), position);
}

TEST(AudioPlayer, seekMovesThePositionAtOnceAndPlaysOnFromThere)
{
    const auto player = makePlayer(QStringLiteral("signals/long-4min.mp3"), 4.0);
    RecordingObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    QTest::qWait(100);

    const auto seekedAt = std::chrono::steady_clock::now();
    player->setCurrentTime(120.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 120.0);
    ASSERT_TRUE(waitFor([&] {
        const auto handed = player->firstSamplesHandedAt();
        return handed && *handed >= seekedAt;
    }));
    QTest::qWait(200);
    const double position = player->currentTime();
    EXPECT_GT(position, 120.2);
    EXPECT_LT(position, 124.0);

    // Seeking while paused moves the position too, and playing goes on from it.
    player->pause();
    player->setCurrentTime(30.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 30.0);
    QTest::qWait(100);
    EXPECT_DOUBLE_EQ(player->currentTime(), 30.0);
    ASSERT_TRUE(player->play());
    QTest::qWait(150);
    EXPECT_GT(player->currentTime(), 30.1);
    EXPECT_LT(player->currentTime(), 33.0);

    // Out of range is clamped; just before the end plays out and finishes once.
    player->setCurrentTime(-5);
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.0);
    player->setCurrentTime(player->duration() - 0.3);
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    QTest::qWait(100);
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
    std::this_thread::sleep_for(500ms);
    player->setCurrentTime(1.0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(observer.finishes.empty());
    // The new place plays to the end and finishes on its own.
    ASSERT_TRUE(waitFor([&] { return !observer.finishes.empty(); }));
    QTest::qWait(100);
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
    QTest::qWait(150);
    player->stop();
    EXPECT_EQ(player->outputStream(), nullptr);
    const double position = player->currentTime();
    EXPECT_GT(position, 0.3);
    QTest::qWait(100);
    EXPECT_DOUBLE_EQ(player->currentTime(), position);

    ASSERT_TRUE(player->play());
    EXPECT_NE(player->outputStream(), nullptr);
    EXPECT_GE(player->currentTime(), position);
    QTest::qWait(100);
    EXPECT_GT(player->currentTime(), position);
    EXPECT_LT(player->currentTime(), position + 2.0);
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
    QTest::qWait(100);
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
        QTest::qWait(100);
    }
    {
        // Destroyed with its finish already queued.
        const auto player = makePlayer(QStringLiteral("formats/tagged.wav"), 50.0);
        player->setObserver(&observer);
        ASSERT_TRUE(player->play());
        std::this_thread::sleep_for(500ms);
    }
    {
        // Destroyed while merely prepared, and never prepared.
        const auto prepared = makePlayer(QStringLiteral("formats/tagged.mp3"));
        ASSERT_TRUE(prepared->prepareToPlay());
        const auto idle = makePlayer(QStringLiteral("formats/tagged.mp3"));
    }
    QTest::qWait(200);
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
    // 2 s of audio at forty times real time, with room for a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_TRUE(observer.finishes[0].successfully);
}

TEST(AudioPlayer, anUnknownOutputNameIsReportedOnceAndTheRealOutputUsed)
{
    const ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "loudspeaker");
    std::unique_ptr<AudioPlayerFactory> factory;
    const QByteArray printed = capturedStdout([&] { factory = makeDefaultAudioPlayerFactory(); });
    EXPECT_EQ(printed, "VARNO_AUDIO_OUTPUT=loudspeaker is not an audio output (auto, pulse or null); using auto\n");
    ASSERT_NE(factory, nullptr);
}
