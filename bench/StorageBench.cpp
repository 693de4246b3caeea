// Library storage at 100,000 songs: loading the tracks file against a bare
// simdjson parse of the same file into plain structs, saving one edited song,
// the peak memory of a load, and play statistics over a long history.

#include "BenchSupport.h"

#include "platform/FileIO.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/JsonLimits.h"
#include "storage/StateCodecs.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

using namespace varno;

namespace {

constexpr std::size_t kSongs = 100000;

struct Fixture {
    QTemporaryDir folder;
    std::unique_ptr<SettingsPreferencesStore> preferences;
    std::unique_ptr<OstrelDatabaseManager> manager;
    std::vector<Track> library;
    QUuid frequentSong;
    std::size_t fileSize = 0;

    Fixture()
    {
        preferences = std::make_unique<SettingsPreferencesStore>();
        manager = std::make_unique<OstrelDatabaseManager>(*preferences, folder.path());
        library = bench::syntheticLibrary(kSongs);
        const std::string text = json::encodeTracks(library);
        fileSize = text.size();
        fileio::writeFileAtomically(tracksPath(), text);

        std::vector<PlaybackHistory> history;
        history.reserve(kSongs);
        frequentSong = library[7].id;
        for (std::size_t i = 0; i < kSongs; ++i)
            history.push_back({i % 50 == 0 ? frequentSong : library[i % library.size()].id, Timestamp::fromSecondsSinceReferenceDate(7e8 + double(i))});
        fileio::writeFileAtomically(folder.path() + QStringLiteral("/playback_history.json"), json::encodePlaybackHistory(history));
    }

    QString tracksPath() const { return folder.path() + QStringLiteral("/tracks.json"); }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

void BM_BareSimdjsonParse(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        std::vector<bench::PlainTrack> tracks = bench::bareParse(f.tracksPath());
        benchmark::DoNotOptimize(tracks.size());
    }
    state.counters["songs"] = kSongs;
    state.counters["MB"] = double(f.fileSize) / 1e6;
}

// The nesting check every load runs before the parser, alone, over the
// library file already in memory.
void BM_NestingCheck(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::string text = json::encodeTracks(f.library);
    for (auto _ : state)
        benchmark::DoNotOptimize(json::nestsWithin(text.data(), text.size(), 8));
    state.counters["MB/s"] = benchmark::Counter(double(text.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LoadAllTracks(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        TrackList tracks = f.manager->readTracksFile();
        benchmark::DoNotOptimize(tracks.size());
    }
}

void BM_LoadAllTracksPeakMemory(benchmark::State& state)
{
    Fixture& f = fixture();
    std::size_t peakAbove = 0;
    for (auto _ : state) {
        const std::size_t before = bench::residentBytes();
        bench::resetPeakResident();
        {
            TrackList tracks = f.manager->readTracksFile();
            benchmark::DoNotOptimize(tracks.size());
        }
        peakAbove = std::max(peakAbove, bench::peakResidentBytes() - before);
    }
    state.counters["peak_MB"] = double(peakAbove) / 1e6;
    state.counters["peak_x_file"] = double(peakAbove) / double(f.fileSize);
}

void BM_SaveTracksOneEdited(benchmark::State& state)
{
    Fixture& f = fixture();
    Track edited = f.library[kSongs / 2];
    int round = 0;
    for (auto _ : state) {
        edited.title = QStringLiteral("Edited %1").arg(++round);
        f.manager->upsertTracksFile({edited});
    }
}

void BM_FetchStatistics(benchmark::State& state)
{
    Fixture& f = fixture();
    std::int64_t plays = 0;
    for (auto _ : state)
        plays = f.manager->fetchStatistics(f.frequentSong).playCount;
    state.counters["plays"] = double(plays);
    state.counters["history"] = kSongs;
}

} // namespace

// Several rounds each so the figures are steady state: the first touch of
// fresh memory is slow on these machines.
BENCHMARK(BM_BareSimdjsonParse)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_NestingCheck)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LoadAllTracks)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_LoadAllTracksPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SaveTracksOneEdited)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_FetchStatistics)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv, true);
}
