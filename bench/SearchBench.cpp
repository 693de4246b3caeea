// Library search at scale: 100,000 songs (about 5,000 artists, 10,000 albums,
// 30 genres, titles of a few words, some of them not ASCII) and 500
// playlists. Each query kind is timed through the engine, from text to
// published results, beside two references run on the same songs: a bare
// loop of QString::contains(…, Qt::CaseInsensitive) over title, artist,
// album and genre, and the same loop over texts folded beforehand. Also
// timed: building the index, at the size built on the main thread and at
// full size, and the refresh after new songs arrive while a query is active.

#include "BenchSupport.h"

#include "playlists/OstrelSearchEngine.h"
#include "playlists/SongSearchIndex.h"

#include <QCoreApplication>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace varno;

namespace {

constexpr std::size_t kSongs = 100'000;
constexpr int kArtists = 5'000;
constexpr int kAlbums = 10'000;
constexpr int kPlaylists = 500;

// Common words first: a song's words are drawn mostly from the front.
const char* const kWords[] = {
    "Love", "the", "Night", "of", "You", "Me", "in", "Heart", "Time", "Dream", "Light", "Day", "a", "Fire", "Rain",
    "Home", "Blue", "Song", "Girl", "World", "Summer", "Moon", "Away", "Life", "Sun", "Baby", "Dance", "Road",
    "River", "Stars", "Gold", "Little", "Sweet", "Wild", "Tonight", "Forever", "Angel", "Lonely", "Running", "Free",
    "Été", "Café", "Mañana", "Über", "Señorita", "Naïve", "Déjà", "Vu", "Ça", "Plaisir", "Noël", "Fräulein",
    "Smörgåsbord", "Любовь", "Ночь", "夜空", "東京", "Ámor", "Coração", "Saudade", "Walking", "Shadow", "Storm",
    "Ocean", "Silver", "Highway", "Broken", "Memory", "Paradise", "Echo", "Garden", "Mountain", "Winter", "Spring",
    "Autumn", "Morning", "Evening", "Window", "Letter", "Promise", "Whisper", "Thunder", "Crystal", "Velvet",
    "Electric", "Midnight", "Sugar", "Honey", "Diamond", "Mirror", "Island", "Desert", "Valley", "Harbor",
    "Lantern", "Compass", "Horizon", "Meadow", "Cathedral", "Labyrinth", "Origami", "Kaleidoscope", "Quasar",
};
const char* const kFirstNames[] = {
    "John", "Anna", "Marie", "Léa", "Björn", "Zoë", "Søren", "José", "Chloé", "Mikko", "Ines", "Omar", "Yuki",
    "Aleksandr", "Priya", "Liam", "Nadia", "Hugo", "Elena", "Tomás", "Freya", "Kofi", "Maya", "Raúl", "Ada",
    "Lars", "Noémie", "Pavel", "Ayumi", "Dmitri", "Greta", "Malik", "Sofía", "Ivo", "Lena", "Amir", "Clara",
    "Felix", "Hana", "Jonas", "Mila", "Nico", "Olga", "Pierre", "Rosa", "Sven", "Tara", "Umberto", "Vera", "Wim",
};
const char* const kLastNames[] = {
    "Smith", "Müller", "García", "Dubois", "Rossi", "Novák", "Kowalski", "Andersson", "Tanaka", "Ivanov",
};
const char* const kGenres[] = {
    "Rock", "Pop", "Jazz", "Electronic", "Classical", "Hip-Hop", "Folk", "Ambient", "Soul", "Blues", "Country",
    "Metal", "Punk", "Reggae", "R&B", "Funk", "Disco", "House", "Techno", "Trance", "Indie", "Alternative",
    "Chanson", "Bossa Nova", "Música Popular", "Soundtrack", "World", "Latin", "Gospel", "K-Pop",
};

// One artist, album and genre text for all their songs, as the tracks file's
// decoder hands them out.
QStringList names(int count, const std::function<QString(int)>& name)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out.append(name(i));
    return out;
}

struct Library {
    TrackList tracks;
    QList<Playlist> playlists;
    // The same songs' fields folded beforehand, for the second reference.
    std::vector<std::array<QString, 4>> folded;
};

Library makeLibrary()
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    constexpr int wordCount = static_cast<int>(std::size(kWords));
    // Skewed towards the front of the word list.
    const auto word = [&] { return QString::fromUtf8(kWords[static_cast<int>(wordCount * std::pow(unit(random), 2.5))]); };

    const QStringList artists = names(kArtists, [](int i) {
        return QStringLiteral("%1 %2%3")
            .arg(QString::fromUtf8(kFirstNames[i % 50]), QString::fromUtf8(kLastNames[i / 50 % 10]))
            .arg(i / 500 == 0 ? QString() : QStringLiteral(" %1").arg(i / 500));
    });
    const QStringList albums = names(kAlbums, [&](int i) { return word() + QLatin1Char(' ') + word() + QStringLiteral(" %1").arg(i); });
    const QStringList genres = names(30, [](int i) { return QString::fromUtf8(kGenres[i]); });

    Library library;
    QList<SharedTrack> songs;
    songs.reserve(kSongs);
    for (std::size_t i = 0; i < kSongs; ++i) {
        auto song = std::make_shared<Track>();
        song->id = QUuid::createUuid();
        const int words = 1 + static_cast<int>(random() % 4);
        QString title = word();
        for (int w = 1; w < words; ++w)
            title += QLatin1Char(' ') + word();
        // A rare word, in about thirty titles.
        if (random() % 3000 == 0)
            title += QStringLiteral(" Zephyrine");
        song->title = title;
        if (random() % 50 != 0)
            song->artist = artists[static_cast<qsizetype>(random() % kArtists)];
        song->album = albums[static_cast<qsizetype>(random() % kAlbums)];
        if (random() % 20 != 0)
            song->genre = genres[static_cast<qsizetype>(30 * std::pow(unit(random), 2.0))];
        library.folded.push_back({song->title.toCaseFolded(), song->artist.value_or(QString()).toCaseFolded(),
                                  song->album.value_or(QString()).toCaseFolded(), song->genre.value_or(QString()).toCaseFolded()});
        songs.append(std::move(song));
    }
    library.tracks = TrackList(std::move(songs));
    for (int i = 0; i < kPlaylists; ++i) {
        Playlist playlist;
        playlist.id = QUuid::createUuid();
        playlist.name = word() + QLatin1Char(' ') + word() + QStringLiteral(" Mix %1").arg(i);
        library.playlists.append(playlist);
    }
    return library;
}

Library& library()
{
    static Library instance = makeLibrary();
    return instance;
}

OstrelSearchEngine& engine()
{
    static OstrelSearchEngine* instance = [] {
        auto* e = new OstrelSearchEngine();
        e->updateTracks(library().tracks);
        e->updatePlaylists(library().playlists);
        return e;
    }();
    return *instance;
}

void reportHits(benchmark::State& state, const SearchResults& results)
{
    state.counters["songs"] = double(results.songs.size());
    state.counters["artists"] = double(results.artists.size());
    state.counters["albums"] = double(results.albums.size());
    state.counters["genres"] = double(results.genres.size());
    state.counters["playlists"] = double(results.playlists.size());
}

void BM_EngineSearch(benchmark::State& state, const char* query)
{
    OstrelSearchEngine& e = engine();
    const QString text = QString::fromUtf8(query);
    // The first search after the update builds the index; not this timing.
    SearchResults results = e.searchImmediately(text);
    for (auto _ : state)
        results = e.searchImmediately(text);
    reportHits(state, results);
}

void BM_BareContainsLoop(benchmark::State& state, const char* query)
{
    const TrackList& tracks = library().tracks;
    const QString text = QString::fromUtf8(query);
    const auto matches = [&](const std::optional<QString>& field) { return field && field->contains(text, Qt::CaseInsensitive); };
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const Track& track : tracks)
            hits += track.title.contains(text, Qt::CaseInsensitive) || matches(track.artist) || matches(track.album)
                 || matches(track.genre);
        benchmark::DoNotOptimize(hits);
    }
    state.counters["songs"] = double(hits);
}

void BM_PrefoldedContainsLoop(benchmark::State& state, const char* query)
{
    const std::vector<std::array<QString, 4>>& folded = library().folded;
    const QString text = QString::fromUtf8(query).toCaseFolded();
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const auto& fields : folded)
            hits += fields[0].contains(text) || fields[1].contains(text) || fields[2].contains(text) || fields[3].contains(text);
        benchmark::DoNotOptimize(hits);
    }
    state.counters["songs"] = double(hits);
}

void BM_IndexBuild(benchmark::State& state)
{
    const TrackList tracks = library().tracks.mid(0, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto index = SongSearchIndex::build(tracks);
        benchmark::DoNotOptimize(index.get());
    }
}

// New songs while a query is active: the index is built on the worker and
// the results come back to the main thread.
void BM_UpdateTracksRepublished(benchmark::State& state)
{
    OstrelSearchEngine e;
    e.updatePlaylists(library().playlists);
    e.updateQuery(QStringLiteral("love"));
    int published = 0;
    QObject::connect(&e, &SearchEngine::resultsPublished, [&] { ++published; });
    for (auto _ : state) {
        const int before = published;
        e.updateTracks(library().tracks);
        while (published == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    reportHits(state, e.results());
}

} // namespace

#define SEARCH_QUERIES(bm)                                                                                          \
    BENCHMARK_CAPTURE(bm, common_letter, "e")->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();           \
    BENCHMARK_CAPTURE(bm, common_word, "love")->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();          \
    BENCHMARK_CAPTURE(bm, rare_word, "zephyrine")->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();       \
    BENCHMARK_CAPTURE(bm, no_hit, "xylophone quartet")->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();  \
    BENCHMARK_CAPTURE(bm, accented, "ÉTÉ")->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();             \
    BENCHMARK_CAPTURE(bm, unaccented, "bjorn")->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime()

SEARCH_QUERIES(BM_EngineSearch);
SEARCH_QUERIES(BM_BareContainsLoop);
SEARCH_QUERIES(BM_PrefoldedContainsLoop);
BENCHMARK(BM_IndexBuild)->Arg(OstrelSearchEngine::kInlineIndexLimit)->Arg(kSongs)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();
BENCHMARK(BM_UpdateTracksRepublished)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv);
}
