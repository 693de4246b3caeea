// Playlist operations at scale: 500 playlists of 1,000 songs each (a 19 MB
// store) over a 100,000-song library. Each operation reports what it cost the
// main thread ("gui_ms": its CPU time there) apart from its whole time,
// which includes reading and writing the store on the store's worker. Smart
// playlists' songs are worked out again after a library change, for rules
// of each kind.

#include "BenchSupport.h"

#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/SettingsPreferencesStore.h"
#include "playback/OstrelQueueEngine.h"
#include "playlists/OstrelPlaylistEngine.h"
#include "playlists/OstrelPlaylistStorage.h"
#include "storage/MetadataCache.h"
#include "storage/OstrelDatabaseManager.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

using namespace varno;

namespace {

constexpr int kPlaylists = 500;
constexpr int kSongsPerPlaylist = 1000;
constexpr std::size_t kLibrarySongs = 100000;

struct World {
    QTemporaryDir folder;
    SettingsPreferencesStore preferences;
    OstrelDatabaseManager database {preferences, folder.path()};
    bench::IdleFileWatcher watcher;
    OstrelMetadataEngine metadataEngine;
    MetadataCache metadataCache;
    // Made once the songs are stored: a library engine starts reading the
    // file as it is made.
    std::unique_ptr<OstrelLibraryEngine> libraryEngine;
    OstrelLibraryEngine& library;
    OstrelQueueEngine queue;
    OstrelPlaylistStorage storage {folder.path()};
    std::unique_ptr<OstrelPlaylistEngine> engine;
    QUuid folderID;

    World()
        : library(storeSongsThenOpen())
    {
        bench::awaitTask(library.loadLibraryFromDisk());
        const TrackList& songs = library.allTracks();
        std::vector<PlaylistRecord> records;
        for (int p = 0; p < kPlaylists; ++p) {
            PlaylistRecord record;
            record.id = QUuid::createUuid();
            record.name = QStringLiteral("Playlist %1").arg((p * 7919) % kPlaylists);
            record.displayOrderIndex = p;
            for (int s = 0; s < kSongsPerPlaylist; ++s)
                record.trackIDs.push_back(songs[std::size_t(p * 131 + s * 97) % songs.size()].id);
            records.push_back(std::move(record));
        }
        PlaylistRecord folderRecord;
        folderRecord.id = folderID = QUuid::createUuid();
        folderRecord.name = QStringLiteral("Folder");
        folderRecord.isFolder = true;
        records.push_back(folderRecord);
        bench::awaitTask(storage.saveRecords(std::move(records)));
        engine = std::make_unique<OstrelPlaylistEngine>(storage, library, queue, &database);
        bench::awaitTask(engine->loadPlaylists());
    }

    OstrelLibraryEngine& storeSongsThenOpen()
    {
        bench::awaitTask(database.saveTracks(TrackList(bench::syntheticLibrary(kLibrarySongs))));
        libraryEngine = std::make_unique<OstrelLibraryEngine>(database, metadataEngine, metadataCache, watcher);
        return *libraryEngine;
    }

    QUuid middle() const { return engine->rootPlaylists()[kPlaylists / 2].id; }
};

World& world()
{
    static World instance;
    return instance;
}

// Runs one operation per iteration and reports its main-thread CPU time.
void measure(benchmark::State& state, const std::function<QCoro::Task<>(World&)>& operation)
{
    World& w = world();
    double gui = 0;
    for (auto _ : state) {
        const double before = bench::threadCpuMilliseconds();
        bench::awaitTask(operation(w));
        gui += bench::threadCpuMilliseconds() - before;
    }
    state.counters["gui_ms"] = gui / double(state.iterations());
}

void BM_LoadTree(benchmark::State& state)
{
    measure(state, [](World& w) { return w.engine->loadPlaylists(); });
}

void BM_ToggleFavorite(benchmark::State& state)
{
    measure(state, [](World& w) { return w.engine->toggleFavorite(w.middle()); });
}

void BM_AddTenSongs(benchmark::State& state)
{
    measure(state, [](World& w) {
        const TrackList& songs = w.library.allTracks();
        return w.engine->addTracks(songs.mid(std::size_t(QRandomGenerator::global()->bounded(int(songs.size()) - 10)), 10), w.middle());
    });
}

void BM_RemoveTenSongs(benchmark::State& state)
{
    measure(state, [](World& w) { return w.engine->removeTracks({0, 50, 100, 150, 200, 250, 300, 350, 400, 450}, w.middle()); });
}

void BM_UpdateDetails(benchmark::State& state)
{
    measure(state, [](World& w) { return w.engine->updateMetadata(w.middle(), QStringLiteral("notes"), {QStringLiteral("tag")}); });
}

void BM_Rename(benchmark::State& state)
{
    measure(state, [](World& w) {
        static int n = 0;
        return w.engine->rename(w.middle(), QStringLiteral("Renamed %1").arg(++n));
    });
}

void BM_DuplicateThenDelete(benchmark::State& state)
{
    measure(state, [](World& w) -> QCoro::Task<> {
        auto duplicating = w.engine->duplicate(w.middle());
        const Playlist copy = co_await duplicating;
        auto deleting = w.engine->deletePlaylist(copy.id);
        co_await deleting;
    });
}

void BM_CreateThenDelete(benchmark::State& state)
{
    measure(state, [](World& w) -> QCoro::Task<> {
        auto creating = w.engine->createPlaylist(QStringLiteral("New"));
        const Playlist created = co_await creating;
        auto deleting = w.engine->deletePlaylist(created.id);
        co_await deleting;
    });
}

void BM_MoveIntoFolderAndBack(benchmark::State& state)
{
    measure(state, [](World& w) -> QCoro::Task<> {
        const QUuid moved = w.middle();
        auto moving = w.engine->move(moved, w.folderID, 0);
        co_await moving;
        // Back to the top level through the store, as only top-level
        // playlists can be moved.
        auto fetching = w.storage.fetchAllRecords();
        std::vector<PlaylistRecord> records = co_await fetching;
        for (PlaylistRecord& record : records) {
            if (record.id == moved)
                record.parentFolderID.reset();
        }
        auto saving = w.storage.saveRecords(std::move(records));
        co_await saving;
        auto loading = w.engine->loadPlaylists();
        co_await loading;
    });
}

void BM_QueuePlaylist(benchmark::State& state)
{
    measure(state, [](World& w) { return w.engine->queuePlaylist(w.middle()); });
}

void BM_GetTracks(benchmark::State& state)
{
    World& w = world();
    // The first call after a library change indexes the library.
    emit w.library.tracksChanged(TrackListChange::reset());
    for (auto _ : state)
        benchmark::DoNotOptimize(w.engine->getTracks(w.middle()));
}

// The first resolve after the library changed indexes the 100,000 songs.
void BM_GetTracksAfterLibraryChange(benchmark::State& state)
{
    World& w = world();
    for (auto _ : state) {
        emit w.library.tracksChanged(TrackListChange::reset());
        benchmark::DoNotOptimize(w.engine->getTracks(w.middle()));
    }
}

SmartRule rule(SmartRuleProperty property, SmartRuleCondition condition, const char* value)
{
    SmartRule made;
    made.property = property;
    made.condition = condition;
    made.value = QString::fromUtf8(value);
    return made;
}

// A smart playlist is made once per rule set; each iteration publishes the
// library again, as an edit or an import does, and asks for the songs.
void BM_SmartPlaylistSongs(benchmark::State& state, SmartRuleSet rules)
{
    World& w = world();
    const Playlist smart = bench::awaitTask(w.engine->createSmartPlaylist(QStringLiteral("Smart"), rules));
    std::size_t songs = 0;
    for (auto _ : state) {
        emit w.library.tracksChanged(TrackListChange::reset());
        songs = w.engine->getTracks(smart.id).size();
    }
    state.counters["songs"] = double(songs);
    bench::awaitTask(w.engine->deletePlaylist(smart.id));
}

} // namespace

BENCHMARK_CAPTURE(BM_SmartPlaylistSongs, genre_is, SmartRuleSet {true, {rule(SmartRuleProperty::Genre, SmartRuleCondition::IsExactly, "jazz")}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmartPlaylistSongs, artist_contains_and_rating,
                  SmartRuleSet {true, {rule(SmartRuleProperty::Artist, SmartRuleCondition::Contains, "12"),
                                       rule(SmartRuleProperty::Rating, SmartRuleCondition::IsGreaterThan, "3")}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmartPlaylistSongs, year_or_play_count,
                  SmartRuleSet {false, {rule(SmartRuleProperty::Year, SmartRuleCondition::IsGreaterThan, "2015"),
                                        rule(SmartRuleProperty::PlayCount, SmartRuleCondition::IsGreaterThan, "5")}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmartPlaylistSongs, date_added_starts_with,
                  SmartRuleSet {true, {rule(SmartRuleProperty::DateAdded, SmartRuleCondition::BeginsWith, "20")}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmartPlaylistSongs, album_starts_with_any_of_three,
                  SmartRuleSet {false, {rule(SmartRuleProperty::Album, SmartRuleCondition::BeginsWith, "album 1"),
                                        rule(SmartRuleProperty::Genre, SmartRuleCondition::Contains, "o"),
                                        rule(SmartRuleProperty::Artist, SmartRuleCondition::IsLessThan, "artist 2")}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ToggleFavorite)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AddTenSongs)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RemoveTenSongs)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_UpdateDetails)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Rename)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DuplicateThenDelete)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CreateThenDelete)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MoveIntoFolderAndBack)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QueuePlaylist)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_GetTracks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetTracksAfterLibraryChange)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, true);
}
