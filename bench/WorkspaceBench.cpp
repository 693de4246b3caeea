// Sorting and selecting in a song list of 100,000 songs. Sorting is timed
// for every column in both directions through sortedTracks() (collation keys
// built once per sort, songs that tie on the column ordered by the later
// keys: album artist, disc, track and title for the album), beside the reference a plain implementation would
// be: std::stable_sort with QCollator::compare on every comparison for the
// text columns, and a plain comparison for the numeric ones, on the same
// songs in the same run. Selection: a Shift-click range over all rows, and
// pruning selections of several sizes against the whole library.

#include "BenchSupport.h"

#include "workspace/TrackSelectionState.h"
#include "workspace/TrackSorting.h"

#include <QCollator>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <span>
#include <random>

using namespace varno;

namespace {

constexpr std::size_t kSongs = 100'000;

// The synthetic library plus what it lacks for sorting: years, track and
// disc numbers (some missing), a few formats, and titles that start with
// accented or non-Latin words now and then.
const TrackList& library()
{
    static const TrackList songs = [] {
        static const char* const leads[] = {"Été ", "Ça ", "Über ", "Ødegaard ", "Любовь ", "東京 ", "", "", "", ""};
        static const char* const extensions[] = {".flac", ".mp3", ".m4a", ".ogg", ".wav"};
        std::mt19937_64 random(5);
        std::vector<Track> tracks = bench::syntheticLibrary(kSongs);
        QList<SharedTrack> shared;
        shared.reserve(static_cast<qsizetype>(tracks.size()));
        for (Track& t : tracks) {
            t.title = QString::fromUtf8(leads[random() % std::size(leads)]) + t.title;
            if (random() % 10)
                t.year = 1950 + static_cast<std::int64_t>(random() % 75);
            if (random() % 8)
                t.trackNumber = 1 + static_cast<std::int64_t>(random() % 20);
            if (random() % 4 == 0)
                t.discNumber = 1 + static_cast<std::int64_t>(random() % 2);
            const QString path = t.fileURL.toLocalFile();
            t.fileURL = FileURL::fromLocalFile(path.left(path.lastIndexOf(QLatin1Char('.'))) + QString::fromLatin1(extensions[random() % 5]));
            shared.append(std::make_shared<const Track>(std::move(t)));
        }
        return TrackList(std::move(shared));
    }();
    return songs;
}

const QCollator& collator()
{
    static const QCollator c = trackCollator();
    return c;
}

void BM_SortByColumn(benchmark::State& state, TrackSortField field, bool ascending)
{
    const TrackList& songs = library();
    for (auto _ : state) {
        TrackList sorted = sortedTracks(songs, {field, ascending}, collator());
        benchmark::DoNotOptimize(sorted);
    }
}

// The reference: the list of pointers sorted with the collator called at
// every comparison.
void BM_BareCollatorStableSort(benchmark::State& state, TrackSortField field)
{
    const TrackList& songs = library();
    const auto text = [field](const Track& t) -> QString {
        switch (field) {
        case TrackSortField::Title: return t.title;
        case TrackSortField::Artist: return t.artist.value_or(QString());
        case TrackSortField::Album: return t.album.value_or(QString());
        case TrackSortField::Genre: return t.genre.value_or(QString());
        default: return {};
        }
    };
    for (auto _ : state) {
        QList<SharedTrack> sorted = songs.sharedSongs();
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](const SharedTrack& a, const SharedTrack& b) { return collator().compare(text(*a), text(*b)) < 0; });
        benchmark::DoNotOptimize(sorted);
    }
}

// The numeric reference: a plain comparison of the field through the song
// pointers.
void BM_BareNumericStableSort(benchmark::State& state, TrackSortField field)
{
    const TrackList& songs = library();
    for (auto _ : state) {
        QList<SharedTrack> sorted = songs.sharedSongs();
        std::stable_sort(sorted.begin(), sorted.end(), [&](const SharedTrack& a, const SharedTrack& b) {
            switch (field) {
            case TrackSortField::Year: return a->year.value_or(0) < b->year.value_or(0);
            case TrackSortField::Duration: return a->duration < b->duration;
            default: return a->dateAdded->secondsSinceReferenceDate < b->dateAdded->secondsSinceReferenceDate;
            }
        });
        benchmark::DoNotOptimize(sorted);
    }
}

// The library as the song list shows it at first: sorted by title.
const ShownTracks& shownByTitle()
{
    static const ShownTracks shown = sortForDisplay(library(), {}, collator());
    return shown;
}

// Click on the first row, then Shift-click row `range(0)`: that many rows
// selected.
void BM_ShiftClickRange(benchmark::State& state)
{
    const std::vector<QUuid>& rows = shownByTitle().ids;
    TrackSelectionState anchored;
    anchored.selectTrack(rows.front(), rows, {});
    const std::size_t last = static_cast<std::size_t>(state.range(0)) - 1;
    for (auto _ : state) {
        TrackSelectionState selection = anchored;
        selection.selectTrack(rows[last], rows, SelectionClick::Range);
        benchmark::DoNotOptimize(selection);
    }
    state.counters["selected"] = double(last + 1);
}

// A Shift-click that replaces a selection of every row by half of them.
void BM_ShiftClickRangeOverFullSelection(benchmark::State& state)
{
    const std::vector<QUuid>& rows = shownByTitle().ids;
    TrackSelectionState all;
    all.selectTrack(rows.front(), rows, {});
    all.selectTrack(rows.back(), rows, SelectionClick::Range);
    for (auto _ : state) {
        TrackSelectionState selection = all;
        selection.selectTrack(rows[rows.size() / 2], rows, SelectionClick::Range);
        benchmark::DoNotOptimize(selection);
    }
}

// The same range with the sorted songs handed over as records rather than
// ids: each id read is a song record somewhere in the heap.
void BM_ShiftClickRangeReadingRecords(benchmark::State& state)
{
    const TrackList& rows = shownByTitle().tracks;
    TrackSelectionState anchored;
    anchored.selectTrack(rows.front().id, rows, {});
    for (auto _ : state) {
        TrackSelectionState selection = anchored;
        selection.selectTrack(rows.back().id, rows, SelectionClick::Range);
        benchmark::DoNotOptimize(selection);
    }
}

// A selection of `range(0)` songs spread over the library, pruned against
// the whole library as the sorted list shows it (nothing leaves) and against
// the list less its first tenth (some leave, the anchor among them).
void BM_PruneSelection(benchmark::State& state, bool filtered)
{
    const std::vector<QUuid>& shown = shownByTitle().ids;
    const std::size_t selected = static_cast<std::size_t>(state.range(0));
    TrackSelectionState selection;
    for (std::size_t i = 0; i < selected; ++i)
        selection.selectedIDs.insert(shown[i * shown.size() / selected]);
    selection.anchorID = shown.front();
    const std::span<const QUuid> visible = filtered ? std::span<const QUuid>(shown).subspan(shown.size() / 10) : std::span<const QUuid>(shown);
    for (auto _ : state) {
        TrackSelectionState pruned = selection;
        pruned.pruneSelection(visible);
        benchmark::DoNotOptimize(pruned);
    }
    TrackSelectionState pruned = selection;
    pruned.pruneSelection(visible);
    state.counters["kept"] = double(pruned.selectedIDs.size());
}

// The whole library in its own order, handed over as records.
void BM_PruneSelectionReadingRecords(benchmark::State& state)
{
    const TrackList& songs = library();
    TrackSelectionState selection;
    for (std::size_t i = 0; i < 1000; ++i)
        selection.selectedIDs.insert(songs[i * 100].id);
    for (auto _ : state) {
        TrackSelectionState pruned = selection;
        pruned.pruneSelection(songs);
        benchmark::DoNotOptimize(pruned);
    }
}

void BM_SortForDisplay(benchmark::State& state)
{
    for (auto _ : state) {
        ShownTracks shown = sortForDisplay(library(), {TrackSortField::Artist, true}, collator());
        benchmark::DoNotOptimize(shown);
    }
}

} // namespace

#define SORT_COLUMN(name, field)                                                                                        \
    BENCHMARK_CAPTURE(BM_SortByColumn, name##_ascending, field, true)->Unit(benchmark::kMillisecond)->UseRealTime();    \
    BENCHMARK_CAPTURE(BM_SortByColumn, name##_descending, field, false)->Unit(benchmark::kMillisecond)->UseRealTime()

SORT_COLUMN(title, TrackSortField::Title);
SORT_COLUMN(artist, TrackSortField::Artist);
SORT_COLUMN(album, TrackSortField::Album);
SORT_COLUMN(albumArtist, TrackSortField::AlbumArtist);
SORT_COLUMN(genre, TrackSortField::Genre);
SORT_COLUMN(year, TrackSortField::Year);
SORT_COLUMN(trackNumber, TrackSortField::TrackNumber);
SORT_COLUMN(duration, TrackSortField::Duration);
SORT_COLUMN(bitrate, TrackSortField::Bitrate);
SORT_COLUMN(sampleRate, TrackSortField::SampleRate);
SORT_COLUMN(format, TrackSortField::Format);
SORT_COLUMN(dateAdded, TrackSortField::DateAdded);
BENCHMARK_CAPTURE(BM_BareCollatorStableSort, title, TrackSortField::Title)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCollatorStableSort, artist, TrackSortField::Artist)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCollatorStableSort, album, TrackSortField::Album)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCollatorStableSort, genre, TrackSortField::Genre)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareNumericStableSort, year, TrackSortField::Year)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareNumericStableSort, duration, TrackSortField::Duration)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareNumericStableSort, dateAdded, TrackSortField::DateAdded)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShiftClickRange)->Arg(1'000)->Arg(kSongs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShiftClickRangeOverFullSelection)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShiftClickRangeReadingRecords)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PruneSelectionReadingRecords)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SortForDisplay)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PruneSelection, whole_library, false)->Arg(100)->Arg(10'000)->Arg(kSongs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PruneSelection, tenth_filtered_out, true)->Arg(100)->Arg(10'000)->Arg(kSongs)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv);
}
