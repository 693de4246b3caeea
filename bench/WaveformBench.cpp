// The waveform generator: 360 peaks of a 4-minute MP3, FLAC and M4A against
// the bare decode session decoding the same file to float planar and against
// the ffmpeg command decoding it as a whole process, all timed in turn in
// the same run; a request answered from the cache; and the memory a scan
// takes for a 4-minute and a 2-hour FLAC, which should be the same.

#include "BenchSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "media/OstrelWaveformGenerator.h"
#include "platform/FFmpegAudioDecodeSession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <vector>

using namespace varno;

namespace {

constexpr int kPoints = 360;
constexpr double kSongSeconds = 240.0;
constexpr double kLongSeconds = 2 * 3600.0;

// Noise: every codec works as hard on it as on dense music, and FLAC cannot
// shrink it to nothing the way it does a sine.
fixtures::Signal noise(double seconds)
{
    fixtures::Signal signal;
    signal.waveform = fixtures::Waveform::Noise;
    signal.seconds = seconds;
    signal.levels = {0.5, 0.5};
    signal.seed = 7;
    return signal;
}

class Files {
public:
    const QString& song(fixtures::Format format)
    {
        QString& path = m_songs[format];
        if (path.isEmpty()) {
            path = m_folder.filePath(QStringLiteral("song.") + fixtures::extension(format));
            fixtures::writeAudioFile(path, format, noise(kSongSeconds));
        }
        return path;
    }

    // A sine, as the playback benchmark's two-hour file: two hours of noise
    // would be gigabytes of FLAC, and the decoder's buffers do not depend
    // on what the samples are.
    const QString& twoHourFlac()
    {
        if (m_twoHours.isEmpty()) {
            m_twoHours = m_folder.filePath(QStringLiteral("two-hours.flac"));
            fixtures::Signal signal;
            signal.seconds = kLongSeconds;
            fixtures::writeAudioFile(m_twoHours, fixtures::Format::Flac, signal);
        }
        return m_twoHours;
    }

    QString cacheFolder() const { return m_folder.filePath(QStringLiteral("cache")); }

private:
    QTemporaryDir m_folder;
    std::map<fixtures::Format, QString> m_songs;
    QString m_twoHours;
};

Files& files()
{
    static Files instance;
    return instance;
}

Track songAt(const QString& path)
{
    // A new id each time: the cache never answers for a song it has not seen.
    return Track(QUuid::createUuid(), FileURL::fromLocalFile(path), QFileInfo(path).fileName(), QStringLiteral("Song"), kSongSeconds,
                 Timestamp::now(), std::nullopt);
}

double millisecondsOf(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor: the decode session alone, delivering float planar samples as
// the generator's reader gets them, with the same decoder threads, and
// nothing more; the difference is what the generator adds (the copy into
// its buffer, the peaks, the cache). Returns the frames decoded.
std::int64_t bareDecode(const QString& path)
{
    FFmpegAudioDecodeSession session(path);
    if (session.open({FFmpegAudioDecodeSession::Layout::Planar, 0, 0}) != FFmpegAudioDecodeSession::OpenResult::Opened)
        return 0;
    std::int64_t frames = 0;
    while (session.next() == FFmpegAudioDecodeSession::Step::Samples) {
        frames += session.samples().frameCount;
        benchmark::DoNotOptimize(session.samples().planes[0]);
    }
    return frames;
}

// The ffmpeg command decoding the file and throwing the samples away, start
// to exit. Absent when ffmpeg is not installed or fails.
std::optional<double> ffmpegMilliseconds(const QString& program, const QString& path)
{
    QProcess ffmpeg;
    QElapsedTimer clock;
    clock.start();
    ffmpeg.start(program, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("null"),
                           QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return std::nullopt;
    return millisecondsOf(clock);
}

// Each iteration times the generator on a song it has not seen, the bare
// session and the ffmpeg command on the same file, one after the other, so a
// busy machine slows all three alike. The iteration time is the generator's.
void BM_Peaks360Of4MinuteFile(benchmark::State& state, fixtures::Format format)
{
    const QString& path = files().song(format);
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    OstrelWaveformGenerator generator(files().cacheFolder());
    std::vector<double> generated, bare, command;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const Waveform waveform = bench::awaitTask(generator.generateWaveform(songAt(path), kPoints));
        generated.push_back(millisecondsOf(clock));
        state.SetIterationTime(generated.back() / 1000.0);
        if (waveform.peaks.size() != std::size_t(kPoints))
            state.SkipWithError("the waveform does not have 360 peaks");

        clock.start();
        benchmark::DoNotOptimize(bareDecode(path));
        bare.push_back(millisecondsOf(clock));

        if (!ffmpeg.isEmpty()) {
            if (const std::optional<double> ms = ffmpegMilliseconds(ffmpeg, path))
                command.push_back(*ms);
            else
                state.SkipWithError("ffmpeg could not decode the file");
        }
    }
    state.counters["generator_ms"] = median(generated);
    state.counters["bare_decode_ms"] = median(bare);
    state.counters["generator_x_bare"] = median(generated) / median(bare);
    if (!command.empty()) {
        state.counters["ffmpeg_process_ms"] = median(command);
        state.counters["generator_x_ffmpeg"] = median(generated) / median(command);
    }
    if (ffmpeg.isEmpty())
        state.SetLabel("ffmpeg is not installed: its comparison was skipped");
}

void BM_CacheHit(benchmark::State& state)
{
    OstrelWaveformGenerator generator(files().cacheFolder());
    const Track song = songAt(files().song(fixtures::Format::Mp3));
    const Waveform first = bench::awaitTask(generator.generateWaveform(song, kPoints));
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const Waveform cached = bench::awaitTask(generator.generateWaveform(song, kPoints));
        times.push_back(millisecondsOf(clock));
        if (cached != first)
            state.SkipWithError("the cache answered with other peaks");
    }
    state.counters["median_ms"] = median(times);
    state.counters["max_ms"] = *std::max_element(times.begin(), times.end());
}

// The peak resident memory a scan adds, for a 4-minute and a 2-hour FLAC.
// A scan of a short file comes first, so the worker thread and the
// decoder's one-time tables are there before anything is measured.
void BM_PeakMemoryOfAScan(benchmark::State& state)
{
    QElapsedTimer making;
    making.start();
    const QString& longFlac = files().twoHourFlac();
    const QString& shortFlac = files().song(fixtures::Format::Flac);
    state.counters["generate_files_s"] = double(making.elapsed()) / 1000.0;

    OstrelWaveformGenerator generator(files().cacheFolder());
    bench::awaitTask(generator.generateWaveform(songAt(shortFlac), kPoints));
    const auto growthOf = [&](const QString& path) {
        const std::size_t before = bench::residentBytes();
        bench::resetPeakResident();
        bench::awaitTask(generator.generateWaveform(songAt(path), kPoints));
        return double(bench::peakResidentBytes() - std::min(before, bench::peakResidentBytes())) / 1e6;
    };
    for (auto _ : state) {
        state.counters["four_minutes_MB"] = growthOf(shortFlac);
        QElapsedTimer scanning;
        scanning.start();
        state.counters["two_hours_MB"] = growthOf(longFlac);
        state.counters["two_hours_scan_s"] = double(scanning.elapsed()) / 1000.0;
    }
}

} // namespace

BENCHMARK_CAPTURE(BM_Peaks360Of4MinuteFile, mp3, fixtures::Format::Mp3)->Unit(benchmark::kMillisecond)->Iterations(9)->UseManualTime();
BENCHMARK_CAPTURE(BM_Peaks360Of4MinuteFile, flac, fixtures::Format::Flac)->Unit(benchmark::kMillisecond)->Iterations(9)->UseManualTime();
BENCHMARK_CAPTURE(BM_Peaks360Of4MinuteFile, m4a, fixtures::Format::M4a)->Unit(benchmark::kMillisecond)->Iterations(9)->UseManualTime();
BENCHMARK(BM_CacheHit)->Unit(benchmark::kMicrosecond)->Iterations(200)->UseRealTime();
BENCHMARK(BM_PeakMemoryOfAScan)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv);
}
