// The real sound output: a private PulseAudio server with a null sink, whose
// monitor is recorded to check that sound really comes out.

#include "TestSupport.h"

#include "AudioTestSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "platform/FFmpegAudioPlayer.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

#include <csignal>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace varno;
using namespace std::chrono_literals;
using test::RecordingObserver;
using test::ScopedEnvironment;

namespace {

constexpr int kRecordRate = 44100;

QString program(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// Runs a command to its end; its exit code, or -1 when it did not finish.
int run(const QString& command, const QStringList& arguments, int timeoutMs = 10000, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(command, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput() + process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QTest::qWait(100);
    }
    return true;
}

// An empty runtime folder that XDG_RUNTIME_DIR points at while this lives,
// with PULSE_SERVER unset: libpulse then looks for a server there and only
// there.
class PrivateRuntime {
public:
    PrivateRuntime()
        : m_runtime("XDG_RUNTIME_DIR", QFile::encodeName(m_folder.path()))
        , m_server("PULSE_SERVER")
    {
        QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    ScopedEnvironment m_runtime;
    ScopedEnvironment m_server;
};

// A PulseAudio server of the test's own with one null sink, "test_sink",
// in the current runtime folder. Killed on destruction.
class PrivateSoundServer {
public:
    // Empty when the server answers; the reason otherwise.
    QString start()
    {
        QByteArray output;
        const int started = run(program("pulseaudio"),
                                {"-D", "-n", "--exit-idle-time=-1", "--load=module-native-protocol-unix",
                                 "--load=module-null-sink sink_name=test_sink"},
                                20000, &output);
        m_started = true;
        if (started != 0)
            return QStringLiteral("pulseaudio -D failed (%1): %2").arg(started).arg(QString::fromLocal8Bit(output));
        // Start-up can take a second or two on a loaded machine.
        if (!pollUntil([] { return run(program("pactl"), {"info"}, 5000) == 0; }, 15s))
            return QStringLiteral("the server did not answer pactl info");
        return {};
    }

    // The server's process, from the pid file it keeps in the runtime
    // folder; 0 when there is none.
    pid_t pid() const
    {
        const QByteArray text = test::readFile(QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/pulse/pid"));
        return static_cast<pid_t>(text.trimmed().toLongLong());
    }

    ~PrivateSoundServer()
    {
        if (m_started)
            run(program("pulseaudio"), {"--kill"});
    }

private:
    bool m_started = false;
};

// Interleaved stereo s16le frames recorded from the sink's monitor.
struct Recording {
    std::vector<qint16> samples;

    std::size_t frames() const { return samples.size() / 2; }
    bool loud(std::size_t frame, int threshold) const
    {
        return std::abs(int(samples[2 * frame])) > threshold || std::abs(int(samples[2 * frame + 1])) > threshold;
    }
};

Recording readRecording(const QString& path)
{
    const QByteArray bytes = test::readFile(path);
    Recording recording;
    recording.samples.resize(static_cast<std::size_t>(bytes.size()) / sizeof(qint16));
    for (std::size_t i = 0; i < recording.samples.size(); ++i)
        recording.samples[i] = qFromLittleEndian<qint16>(bytes.constData() + i * sizeof(qint16));
    return recording;
}

class PulseOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (program("pulseaudio").isEmpty())
            GTEST_SKIP() << "pulseaudio is not installed: the real sound output is not tested";
        ASSERT_FALSE(program("pactl").isEmpty()) << "pactl is missing (pulseaudio-utils)";
        ASSERT_FALSE(program("parec").isEmpty()) << "parec is missing (pulseaudio-utils)";
        ASSERT_TRUE(m_scratch.isValid());
    }

    QString scratch(const QString& name) const { return m_scratch.filePath(name); }

    QTemporaryDir m_scratch;
    const ScopedEnvironment m_output {"VARNO_AUDIO_OUTPUT", "pulse"};
};

} // namespace

TEST_F(PulseOutput, playsAFileThroughTheServerFromStartToEnd)
{
    PrivateRuntime runtime;
    PrivateSoundServer server;
    const QString failure = server.start();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();

    constexpr double kSeconds = 3.0;
    const QString song = scratch("sine.wav");
    fixtures::Signal signal;
    signal.seconds = kSeconds;
    fixtures::writeAudioFile(song, fixtures::Format::Wav, signal);

    QProcess recorder;
    const QString recordingPath = scratch("recording.raw");
    recorder.setStandardOutputFile(recordingPath);
    recorder.start(program("parec"), {"-d", "test_sink.monitor", "--format=s16le", QStringLiteral("--rate=%1").arg(kRecordRate),
                                      "--channels=2", "--raw"});
    ASSERT_TRUE(recorder.waitForStarted());
    ASSERT_TRUE(pollUntil(
        [] {
            QByteArray outputs;
            return run(program("pactl"), {"list", "short", "source-outputs"}, 5000, &outputs) == 0 && !outputs.trimmed().isEmpty();
        },
        10s))
        << "parec did not start recording";

    {
        const auto factory = makeDefaultAudioPlayerFactory();
        const auto player = factory->makePlayer(song);
        RecordingObserver observer;
        player->setObserver(&observer);
        EXPECT_DOUBLE_EQ(player->duration(), kSeconds);

        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(player->play());
        // The position is what has been heard: never ahead of the time
        // played so far (a decoder's position would be, by the buffers ahead
        // of the speaker), never going back.
        double last = 0;
        while (observer.finishes.empty() && clock.elapsed() < 15000) {
            QTest::qWait(100);
            if (!observer.finishes.empty())
                break;
            const double position = player->currentTime();
            EXPECT_LE(position, clock.elapsed() / 1000.0 + 0.02);
            EXPECT_GE(position, last);
            last = position;
        }
        const double took = clock.elapsed() / 1000.0;
        ASSERT_FALSE(observer.finishes.empty()) << "no end after " << took << " s";
        ASSERT_EQ(observer.finishes.size(), 1u);
        EXPECT_TRUE(observer.finishes[0].successfully);
        EXPECT_GT(last, 1.0);
        EXPECT_DOUBLE_EQ(player->currentTime(), kSeconds);
        // The end is reported once the server has played it, not when it was
        // decoded (which takes milliseconds). The null sink starts a new
        // stream at the end of the block it is rendering, up to two seconds
        // late (the system's own player does the same there), hence the slack.
        EXPECT_GT(took, kSeconds - 0.1);
        EXPECT_LT(took, kSeconds + 3.0);
        std::cout << "[ info     ] played " << kSeconds << " s in " << took << " s; last position before the end " << last << " s"
                  << std::endl;
    }

    // The recorder is let take 0.3 s more of the sink than it had at the
    // end, so the song's last blocks are in the file however late a busy
    // machine hands them over.
    const qint64 recordedAtTheEnd = QFileInfo(recordingPath).size();
    ASSERT_TRUE(pollUntil([&] { return QFileInfo(recordingPath).size() >= recordedAtTheEnd + qint64(0.3 * kRecordRate) * 4; }, 10s));
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000));

    const Recording recording = readRecording(recordingPath);
    // Sound is the sine at level 0.5; a sixtieth of full scale is plainly not silence.
    constexpr int kThreshold = 32768 / 60;
    std::size_t first = recording.frames(), last = 0, loudFrames = 0;
    for (std::size_t frame = 0; frame < recording.frames(); ++frame) {
        if (recording.loud(frame, kThreshold)) {
            first = std::min(first, frame);
            last = frame;
            ++loudFrames;
        }
    }
    ASSERT_GT(loudFrames, 0u) << "the recording of " << recording.frames() << " frames is silent";
    const double heardSeconds = double(last - first + 1) / kRecordRate;
    std::cout << "[ info     ] recorded " << double(loudFrames) / kRecordRate << " s of sound over " << heardSeconds << " s" << std::endl;
    // Loose: the null sink drops or delays a block here and there, for any
    // client (a sine is near zero for only a few percent of its frames).
    EXPECT_NEAR(heardSeconds, kSeconds, 0.4);
    EXPECT_GT(double(loudFrames) / kRecordRate, 0.8 * kSeconds);
}

TEST_F(PulseOutput, pauseHoldsAndSeekMovesWhatIsHeard)
{
    PrivateRuntime runtime;
    PrivateSoundServer server;
    const QString failure = server.start();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();

    const QString song = scratch("sine.wav");
    fixtures::Signal signal;
    signal.seconds = 6.0;
    fixtures::writeAudioFile(song, fixtures::Format::Wav, signal);
    const auto factory = makeDefaultAudioPlayerFactory();
    const auto player = factory->makePlayer(song);
    RecordingObserver observer;
    player->setObserver(&observer);

    ASSERT_TRUE(player->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentTime() > 0.3; }, 5000));
    player->pause();
    // What the server had taken but not played is kept, not counted: once
    // the server has answered the pause, the position holds for as long as
    // playing moves it (below).
    double previous = -1;
    ASSERT_TRUE(pollUntil(
        [&] {
            const double now = player->currentTime();
            return std::exchange(previous, now) == now;
        },
        10s));
    const test::TimerBeats window {100ms, 3};
    const double paused = player->currentTime();
    EXPECT_FALSE(test::happensWithin(window, [&] { return player->currentTime() != paused; }));

    player->setCurrentTime(5.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 5.0);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(test::happensWithin(window, [&] { return player->currentTime() > 5.0; }));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            EXPECT_LE(player->currentTime(), 5.0 + clock.elapsed() / 1000.0 + 0.02) << clock.elapsed();
            return !observer.finishes.empty();
        },
        10000));
    // One second was left; the null sink may hold a new stream back by up to
    // a block.
    EXPECT_GT(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 4000);
    ASSERT_EQ(observer.finishes.size(), 1u);
    EXPECT_TRUE(observer.finishes[0].successfully);
}

TEST_F(PulseOutput, withoutAServerMakingAPlayerFailsWithTheReasonAndLaterFindsOne)
{
    PrivateRuntime runtime;
    const auto factory = makeDefaultAudioPlayerFactory();
    const QString song = test::fixturePath("formats/tagged.wav");
    QString reason;
    try {
        factory->makePlayer(song);
        ADD_FAILURE() << "a player was made without a sound server";
    } catch (const AudioOutputError& error) {
        reason = error.description();
    }
    EXPECT_FALSE(reason.isEmpty());
    std::cout << "[ info     ] without a server: " << reason.toStdString() << std::endl;

    // The same factory tries again once a server is there.
    PrivateSoundServer server;
    const QString failure = server.start();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    const auto player = factory->makePlayer(song);
    RecordingObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !observer.finishes.empty(); }, 10000));
    EXPECT_TRUE(observer.finishes[0].successfully);
}

TEST(PulseOutputWithoutServer, makingAPlayerThrowsAudioOutputError)
{
    // Needs no pulseaudio binary: nothing is started.
    const ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "pulse");
    QTemporaryDir folder;
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
    const ScopedEnvironment server("PULSE_SERVER");
    const auto factory = makeDefaultAudioPlayerFactory();
    EXPECT_THROW(factory->makePlayer(test::fixturePath("formats/tagged.wav")), AudioOutputError);
    EXPECT_NE(test::errorText([&] { factory->makePlayer(test::fixturePath("formats/tagged.wav")); }), QString());
}

TEST(PulseOutputWithoutServer, playingASongFailsAsAnEngineThatCouldNotStart)
{
    const ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "pulse");
    QTemporaryDir folder;
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
    const ScopedEnvironment server("PULSE_SERVER");
    OstrelAudioEngine engine(makeDefaultAudioPlayerFactory());
    Track song = test::makeTrack(QStringLiteral("tagged"));
    song.fileURL = FileURL::fromLocalFile(test::fixturePath("formats/tagged.wav"));

    const QString text = test::errorText([&] { engine.play(song); });
    EXPECT_TRUE(text.startsWith(QStringLiteral("The audio engine could not start: "))) << text.toStdString();
    EXPECT_GT(text.size(), QStringLiteral("The audio engine could not start: ").size());
    EXPECT_EQ(test::errorText([&] { engine.restore(song, 10); }), text);
    EXPECT_EQ(engine.playbackState(), PlaybackState::Failed);
}

TEST(PulseOutputWithoutServer, aServerThatNeverAnswersGivesUpInsteadOfHanging)
{
    // A socket that takes connections and never says a word, like a wedged
    // sound server.
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("native")));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    const ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "pulse");
    const ScopedEnvironment server("PULSE_SERVER", QByteArray("unix:") + path);
    const auto factory = makeDefaultAudioPlayerFactory();
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(test::errorText([&] { factory->makePlayer(test::fixturePath("formats/tagged.wav")); }),
              QStringLiteral("the sound server did not answer"));
    EXPECT_LT(waited.elapsed(), 10000);
    ::close(listener);
}

TEST_F(PulseOutput, aServerThatWentAwayIsReportedAsSuchAndPlayingOnReconnectsWhereTheSoundStopped)
{
    PrivateRuntime runtime;
    std::optional<PrivateSoundServer> server(std::in_place);
    ASSERT_EQ(server->start(), QString());

    const QString song = scratch("long.wav");
    fixtures::Signal signal;
    signal.seconds = 30.0;
    fixtures::writeAudioFile(song, fixtures::Format::Wav, signal);
    Track track = test::makeTrack(QStringLiteral("long"));
    track.fileURL = FileURL::fromLocalFile(song);

    OstrelAudioEngine engine(makeDefaultAudioPlayerFactory());
    OstrelQueueEngine queue;
    queue.setAudioEngine(&engine);
    queue.playNow(TrackList {track});
    ASSERT_EQ(engine.playbackState(), PlaybackState::Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.currentTime() > 1.0; }, 10000));

    server.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.playbackState() == PlaybackState::Failed; }, 10000));
    const QString reported = describe(queue.lastPlaybackError());
    std::cout << "[ info     ] reported: " << reported.toStdString() << std::endl;
    // The file is fine; the sound server is what went, and the message says so.
    EXPECT_TRUE(reported.startsWith(QStringLiteral("The audio engine could not start: the connection to the sound server was lost (")))
        << reported.toStdString();
    const double stoppedAt = engine.currentTime();

    // Pressing play while there is no server says the same, and tries again
    // at the next press.
    engine.resume();
    EXPECT_EQ(engine.playbackState(), PlaybackState::Failed);
    EXPECT_TRUE(describe(queue.lastPlaybackError()).startsWith(QStringLiteral("The audio engine could not start: ")));

    server.emplace();
    ASSERT_EQ(server->start(), QString());
    queue.clearReportedErrors();
    engine.resume();
    EXPECT_EQ(engine.playbackState(), PlaybackState::Playing);
    EXPECT_EQ(queue.lastPlaybackError(), nullptr);
    // It plays on from about where the sound stopped, not from the start.
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.currentTime() > stoppedAt + 1.0; }, 10000))
        << "stopped at " << stoppedAt << ", now " << engine.currentTime();
    EXPECT_GT(engine.currentTime(), stoppedAt - 0.5);
    engine.clearQueue();
}

TEST_F(PulseOutput, aServerThatStopsRespondingIsReportedWithinSecondsInsteadOfPlayingOnInSilence)
{
    PrivateRuntime runtime;
    PrivateSoundServer server;
    ASSERT_EQ(server.start(), QString());
    const pid_t serverPid = server.pid();
    ASSERT_GT(serverPid, 0);

    const QString song = scratch("long.wav");
    fixtures::Signal signal;
    signal.seconds = 30.0;
    fixtures::writeAudioFile(song, fixtures::Format::Wav, signal);
    Track track = test::makeTrack(QStringLiteral("long"));
    track.fileURL = FileURL::fromLocalFile(song);

    OstrelAudioEngine engine(makeDefaultAudioPlayerFactory());
    OstrelQueueEngine queue;
    queue.setAudioEngine(&engine);
    queue.playNow(TrackList {track});
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.currentTime() > 1.0; }, 10000));

    ASSERT_EQ(::kill(serverPid, SIGSTOP), 0);
    const bool failed = QTest::qWaitFor([&] { return engine.playbackState() == PlaybackState::Failed; }, 15000);
    ::kill(serverPid, SIGCONT);
    ASSERT_TRUE(failed) << "still " << int(engine.playbackState()) << " at " << engine.currentTime();
    EXPECT_EQ(describe(queue.lastPlaybackError()),
              QStringLiteral("The audio engine could not start: the sound server has taken no sound for 3 seconds; it may have stopped responding"));
    engine.clearQueue();
}
