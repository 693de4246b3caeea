// Playing audio: the process's CPU while a 320 kb/s MP3 plays in real time to
// the null output and while it is paused, the time from play() and from a
// seek to the first samples handed to the output, resident memory above idle
// while a two-hour FLAC plays through, and how far the reported position
// strays from the frames the output consumed.
//
// Everything runs on the clocked null output, so the figures do not depend
// on a sound server. The last two measure the app's whole path: queue and
// audio engines with their timers and session saves over the player.

#include "BenchSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "platform/FFmpegAudioPlayer.h"
#include "platform/NullAudioOutput.h"
#include "platform/SettingsPreferencesStore.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"
#include "storage/OstrelDatabaseManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace varno;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kMp3Seconds = 240.0;
constexpr double kLongFlacSeconds = 2 * 3600.0;

struct Fixture {
    QTemporaryDir folder;
    QString mp3;

    Fixture()
        : mp3(folder.filePath(QStringLiteral("320k.mp3")))
    {
        // Noise keeps the encoder busy in every band, as music does; a sine
        // would leave most of the 320 kb/s as padding.
        fixtures::Signal signal;
        signal.waveform = fixtures::Waveform::Noise;
        signal.seconds = kMp3Seconds;
        signal.levels = {0.3, 0.3};
        fixtures::writeAudioFile(mp3, fixtures::Format::Mp3, signal, {}, {}, 320);
    }

    // Made on first use only: it takes a minute.
    const QString& longFlac()
    {
        if (m_longFlac.isEmpty()) {
            m_longFlac = folder.filePath(QStringLiteral("two-hours.flac"));
            fixtures::Signal signal;
            signal.seconds = kLongFlacSeconds;
            fixtures::writeAudioFile(m_longFlac, fixtures::Format::Flac, signal);
        }
        return m_longFlac;
    }

private:
    QString m_longFlac;
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long contextSwitches()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// The share of one core the whole process used over `duration`, the main
// thread asleep.
struct CpuShare {
    double percent;
    double switchesPerSecond;
};

CpuShare measureCpu(std::chrono::seconds duration)
{
    const double cpuBefore = cpuSeconds();
    const long switchesBefore = contextSwitches();
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(duration);
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    return {100.0 * (cpuSeconds() - cpuBefore) / wall, double(contextSwitches() - switchesBefore) / wall};
}

std::unique_ptr<FFmpegAudioPlayer> makePlayer(const QString& path, double speed)
{
    return std::make_unique<FFmpegAudioPlayer>(path, std::make_shared<audio::NullAudioOutput>(speed));
}

// Waits for the first samples handed over at or after `since`; milliseconds.
double millisecondsToFirstSamples(const FFmpegAudioPlayer& player, Clock::time_point since)
{
    for (;;) {
        if (const auto handed = player.firstSamplesHandedAt(); handed && *handed >= since)
            return std::chrono::duration<double, std::milli>(*handed - since).count();
        std::this_thread::sleep_for(100us);
    }
}

struct Spread {
    double median;
    double max;
};

Spread spreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

void BM_CpuWhilePlayingAndPaused(benchmark::State& state)
{
    for (auto _ : state) {
        const auto player = makePlayer(fixture().mp3, 1.0);
        player->play();
        // The first fill of the ring is a burst; the steady state is the point.
        std::this_thread::sleep_for(1s);
        const CpuShare playing = measureCpu(30s);
        player->pause();
        std::this_thread::sleep_for(500ms);
        const CpuShare paused = measureCpu(5s);
        state.counters["playing_cpu_pct"] = playing.percent;
        state.counters["playing_switches_per_s"] = playing.switchesPerSecond;
        state.counters["paused_cpu_pct"] = paused.percent;
        state.counters["paused_switches_per_s"] = paused.switchesPerSecond;
        state.counters["position_s"] = player->currentTime();
        state.counters["mp3_kbps"] = double(QFileInfo(fixture().mp3).size()) * 8.0 / player->duration() / 1000.0;
    }
}

void BM_PlayToFirstSamples(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<double> cold, prepared;
        for (int i = 0; i < 20; ++i) {
            // Straight from a closed player: opens the codec and the output,
            // starts the decoding thread, decodes the first packets.
            const auto player = makePlayer(fixture().mp3, 1.0);
            const auto pressed = Clock::now();
            player->play();
            cold.push_back(millisecondsToFirstSamples(*player, pressed));

            const auto ready = makePlayer(fixture().mp3, 1.0);
            ready->prepareToPlay();
            std::this_thread::sleep_for(50ms);
            const auto pressedReady = Clock::now();
            ready->play();
            prepared.push_back(millisecondsToFirstSamples(*ready, pressedReady));
        }
        const Spread coldSpread = spreadOf(cold);
        const Spread preparedSpread = spreadOf(prepared);
        state.counters["cold_median_ms"] = coldSpread.median;
        state.counters["cold_max_ms"] = coldSpread.max;
        state.counters["prepared_median_ms"] = preparedSpread.median;
        state.counters["prepared_max_ms"] = preparedSpread.max;
    }
}

void BM_SeekToFirstSamples(benchmark::State& state)
{
    for (auto _ : state) {
        const auto player = makePlayer(fixture().mp3, 1.0);
        player->play();
        std::this_thread::sleep_for(300ms);
        std::mt19937 random(7);
        std::vector<double> latencies;
        for (int i = 0; i < 30; ++i) {
            const double target = double(random() % 2300) / 10.0;
            const auto asked = Clock::now();
            player->setCurrentTime(target);
            latencies.push_back(millisecondsToFirstSamples(*player, asked));
            std::this_thread::sleep_for(150ms);
        }
        const Spread spread = spreadOf(latencies);
        state.counters["seek_median_ms"] = spread.median;
        state.counters["seek_max_ms"] = spread.max;
    }
}

void BM_ResidentMemoryPlayingTwoHourFlac(benchmark::State& state)
{
    QElapsedTimer making;
    making.start();
    const QString& flac = fixture().longFlac();
    state.counters["generate_s"] = double(making.elapsed()) / 1000.0;

    // Fast enough to play the whole file in twenty seconds; the player keeps
    // the same buffers at any speed.
    constexpr double kSpeed = 400.0;
    for (auto _ : state) {
        const std::size_t idle = bench::residentBytes();
        std::size_t peak = idle;
        bool finished = false;
        struct Observer final : AudioPlayerObserver {
            bool* finished;
            void audioPlayerDidFinishPlaying(AudioPlayer&, bool) override { *finished = true; }
        } observer;
        observer.finished = &finished;

        const auto player = makePlayer(flac, kSpeed);
        player->setObserver(&observer);
        player->play();
        QElapsedTimer clock;
        clock.start();
        while (!finished && clock.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(20ms);
            peak = std::max(peak, bench::residentBytes());
        }
        if (!finished)
            state.SkipWithError("the two-hour file did not play to its end");
        state.counters["play_through_s"] = double(clock.elapsed()) / 1000.0;
        state.counters["rss_idle_MB"] = double(idle) / 1e6;
        state.counters["rss_above_idle_MB"] = double(peak - idle) / 1e6;
        state.counters["duration_s"] = player->duration();
    }
}

void BM_PositionAgainstFramesConsumed(benchmark::State& state)
{
    for (auto _ : state) {
        const auto player = makePlayer(fixture().mp3, 1.0);
        player->play();
        const auto* stream = dynamic_cast<const audio::NullAudioStream*>(player->outputStream());
        double worst = 0, sum = 0;
        int samples = 0;
        const auto until = Clock::now() + 10s;
        while (Clock::now() < until) {
            std::this_thread::sleep_for(7ms);
            const double position = player->currentTime();
            const double consumed = double(stream->framesConsumed()) / 44100.0;
            const double error = std::abs(position - consumed);
            worst = std::max(worst, error);
            sum += error;
            ++samples;
        }
        state.counters["samples"] = samples;
        state.counters["mean_error_ms"] = 1000.0 * sum / samples;
        state.counters["max_error_ms"] = 1000.0 * worst;
    }
}

// The app's whole playing path: the queue engine saving its session, the
// audio engine with its 20 Hz position timer, the player and the null output
// at speed 1, the main thread running its event loop as the app's does.
struct PlayingApp {
    std::shared_ptr<audio::NullAudioOutput> output = std::make_shared<audio::NullAudioOutput>(1.0);
    QTemporaryDir folder;
    SettingsPreferencesStore preferences;
    OstrelDatabaseManager database {preferences, folder.path()};
    OstrelAudioEngine audio {std::make_unique<FFmpegAudioPlayerFactory>([this] { return output; })};
    OstrelQueueEngine queue {&database};

    PlayingApp() { queue.setAudioEngine(&audio); }

    static Track song(const QString& path)
    {
        return Track(QUuid::createUuid(), FileURL::fromLocalFile(path), QFileInfo(path).fileName(), QStringLiteral("Noise"), kMp3Seconds,
                     Timestamp::now(), std::nullopt);
    }
};

void runEventLoopFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

CpuShare measureCpuWithEventLoop(std::chrono::seconds duration)
{
    const double cpuBefore = cpuSeconds();
    const long switchesBefore = contextSwitches();
    const auto wallBefore = Clock::now();
    runEventLoopFor(duration);
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    return {100.0 * (cpuSeconds() - cpuBefore) / wall, double(contextSwitches() - switchesBefore) / wall};
}

void BM_EnginesWhilePlayingAndPaused(benchmark::State& state)
{
    for (auto _ : state) {
        PlayingApp app;
        app.queue.playNow({PlayingApp::song(fixture().mp3)});
        runEventLoopFor(1s);
        const CpuShare playing = measureCpuWithEventLoop(30s);
        app.audio.pause();
        runEventLoopFor(500ms);
        const CpuShare paused = measureCpuWithEventLoop(5s);
        state.counters["playing_cpu_pct"] = playing.percent;
        state.counters["paused_cpu_pct"] = paused.percent;
        state.counters["paused_switches_per_s"] = paused.switchesPerSecond;
        state.counters["position_s"] = app.audio.currentTime();
    }
}

// From the user's "play this song" (access, open, prepare, start) to the
// first samples the output takes.
void BM_EnginePlayToFirstSamples(benchmark::State& state)
{
    for (auto _ : state) {
        PlayingApp app;
        const Track song = PlayingApp::song(fixture().mp3);
        std::vector<double> latencies;
        for (int i = 0; i < 20; ++i) {
            const std::uint64_t before = app.output->framesConsumed();
            const auto pressed = Clock::now();
            app.audio.play(song);
            while (app.output->framesConsumed() == before)
                std::this_thread::sleep_for(100us);
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());
            runEventLoopFor(100ms);
        }
        const Spread spread = spreadOf(latencies);
        state.counters["median_ms"] = spread.median;
        state.counters["max_ms"] = spread.max;
    }
}

// Queue steps in a queue of 100,000 songs, all of them the same small file,
// on the main thread: what "next" and "previous" cost the GUI thread.
void BM_QueueStepsInAHugeQueue(benchmark::State& state)
{
    for (auto _ : state) {
        PlayingApp app;
        // Shared songs, as the library hands them over.
        TrackList songs;
        songs.reserve(100000);
        for (int i = 0; i < 100000; ++i)
            songs.append(std::make_shared<const Track>(PlayingApp::song(fixture().mp3)));
        QElapsedTimer timer;
        timer.start();
        app.queue.playNow(songs, 50000);
        const double playNowMs = double(timer.nsecsElapsed()) / 1e6;
        std::vector<double> steps;
        for (int i = 0; i < 20; ++i) {
            timer.restart();
            if (i % 2 == 0)
                app.queue.advanceToNext();
            else
                app.queue.playPreviousSong();
            steps.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        const Spread spread = spreadOf(steps);
        state.counters["play_now_ms"] = playNowMs;
        state.counters["step_median_ms"] = spread.median;
        state.counters["step_max_ms"] = spread.max;
        app.queue.savePlaybackState(true);
    }
}

} // namespace

BENCHMARK(BM_CpuWhilePlayingAndPaused)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlayToFirstSamples)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SeekToFirstSamples)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ResidentMemoryPlayingTwoHourFlac)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PositionAgainstFramesConsumed)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_EnginesWhilePlayingAndPaused)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_EnginePlayToFirstSamples)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_QueueStepsInAHugeQueue)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv, true);
}
