// Library storage at 100,000 songs: loading the tracks file against a bare
// simdjson parse of the same file into plain structs, saving one edited song,
// the peak memory of a load, and play statistics over a long history.

#include "BenchSupport.h"

#include "platform/FileIO.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <simdjson.h>

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

// The reference: what a parse of this file into plain structs costs when
// nothing else is done (no UUID, URL or Base64 decoding, no UTF-16).
struct PlainTrack {
    std::string id, fileURL, filename, title, bookmark, artist, album, genre, composer, albumArtist, comments, lyrics;
    double duration = 0, dateAdded = 0;
    std::int64_t rating = 0, bitrate = 0, sampleRate = 0, year = 0, trackNumber = 0, discNumber = 0, bpm = 0;
};

std::vector<PlainTrack> bareParse(const QString& path)
{
    simdjson::padded_string text = simdjson::padded_string::load(QFile::encodeName(path).toStdString()).value();
    thread_local simdjson::ondemand::parser parser;
    simdjson::ondemand::document document = parser.iterate(text).value();
    std::vector<PlainTrack> tracks;
    for (auto element : document.get_array()) {
        PlainTrack t;
        for (auto field : element.get_object()) {
            const std::string_view key = field.unescaped_key().value();
            auto value = field.value();
            auto str = [&](std::string& out) { out = std::string(value.get_string().value()); };
            if (key == "id") str(t.id);
            else if (key == "fileURL") str(t.fileURL);
            else if (key == "filename") str(t.filename);
            else if (key == "title") str(t.title);
            else if (key == "duration") t.duration = value.get_double().value();
            else if (key == "securityScopedBookmark") str(t.bookmark);
            else if (key == "artist") str(t.artist);
            else if (key == "album") str(t.album);
            else if (key == "genre") str(t.genre);
            else if (key == "composer") str(t.composer);
            else if (key == "albumArtist") str(t.albumArtist);
            else if (key == "comments") str(t.comments);
            else if (key == "lyrics") str(t.lyrics);
            else if (key == "rating") t.rating = value.get_int64().value();
            else if (key == "bitrate") t.bitrate = value.get_int64().value();
            else if (key == "sampleRate") t.sampleRate = value.get_int64().value();
            else if (key == "year") t.year = value.get_int64().value();
            else if (key == "trackNumber") t.trackNumber = value.get_int64().value();
            else if (key == "discNumber") t.discNumber = value.get_int64().value();
            else if (key == "bpm") t.bpm = value.get_int64().value();
            else if (key == "dateAdded") t.dateAdded = value.get_double().value();
        }
        tracks.push_back(std::move(t));
    }
    return tracks;
}

void BM_BareSimdjsonParse(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        std::vector<PlainTrack> tracks = bareParse(f.tracksPath());
        benchmark::DoNotOptimize(tracks.data());
    }
    state.counters["songs"] = kSongs;
    state.counters["MB"] = double(f.fileSize) / 1e6;
}

void BM_LoadAllTracks(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        std::vector<Track> tracks = f.manager->readTracksFile();
        benchmark::DoNotOptimize(tracks.data());
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
            std::vector<Track> tracks = f.manager->readTracksFile();
            benchmark::DoNotOptimize(tracks.data());
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
BENCHMARK(BM_LoadAllTracks)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_LoadAllTracksPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SaveTracksOneEdited)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_FetchStatistics)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv, true);
}
