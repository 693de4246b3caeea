// The library at scale: importing 10,000 small tagged files from a folder end
// to end (walk, bookmarks, metadata, the write of the tracks file) against the
// bare metadata reads of the same files, the longest stall of the main thread
// during that import, a rescan of a 10,000-song library imported by a version
// that did not read the year, numbers, comments and BPM, one edit in a
// 100,000-song library, and the memory the engine and the metadata index hold
// for 100,000 songs.

#include "BenchSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "library/FileWatcher.h"
#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/FileIO.h"
#include "platform/SettingsPreferencesStore.h"
#include "storage/MetadataCache.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/StateCodecs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace varno;

namespace {

constexpr int kFiles = 10000;

struct Fixture {
    QTemporaryDir root;
    QString music;
    QStringList files;

    Fixture()
        : music(root.filePath(QStringLiteral("music")))
    {
        const fixtures::Signal signal {fixtures::Waveform::Sine, 0.5, 44100, 2, {0.5, 0.5}, 440.0, 1};
        const fixtures::Format formats[] = {fixtures::Format::Mp3, fixtures::Format::Flac, fixtures::Format::M4a, fixtures::Format::Ogg};
        for (const fixtures::Format format : formats) {
            const QString source = root.filePath(QStringLiteral("source.") + fixtures::extension(format));
            fixtures::writeAudioFile(source, format, signal, {});
            for (int i = 0; i < kFiles / 4; ++i) {
                const QString folder = music + QStringLiteral("/Artist %1/Album %2").arg(i % 50).arg(i % 200);
                QDir().mkpath(folder);
                fixtures::Tags tags;
                tags.title = QStringLiteral("Song %1").arg(i);
                tags.artist = QStringLiteral("Artist %1").arg(i % 50);
                tags.album = QStringLiteral("Album %1").arg(i % 200);
                tags.genre = QStringLiteral("Genre %1").arg(i % 12);
                const QString path = folder + QStringLiteral("/%1.%2").arg(i).arg(fixtures::extension(format));
                fixtures::copyWithTags(source, path, tags);
                files << path;
            }
        }
    }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

QCoro::Task<> readAll(OstrelMetadataEngine* engine, const QStringList* files)
{
    std::vector<QCoro::Task<ExtractedMetadata>> tasks;
    tasks.reserve(static_cast<std::size_t>(files->size()));
    for (const QString& file : *files)
        tasks.push_back(engine->readMetadata(FileURL::fromLocalFile(file)));
    for (auto& task : tasks)
        co_await task;
}

void BM_BareMetadataReads(benchmark::State& state)
{
    Fixture& f = fixture();
    OstrelMetadataEngine engine;
    for (auto _ : state)
        bench::awaitTask(readAll(&engine, &f.files));
    state.counters["files_per_s"] = benchmark::Counter(double(kFiles) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// What a rescan reads of songs imported before their tag fields were read:
// the tags alone, of the same files.
void BM_TagFieldReads(benchmark::State& state)
{
    Fixture& f = fixture();
    std::vector<FileURL> files;
    for (const QString& file : f.files)
        files.push_back(FileURL::fromLocalFile(file));
    OstrelMetadataEngine engine;
    for (auto _ : state)
        bench::awaitTask(engine.readTagFields(files));
    state.counters["files_per_s"] = benchmark::Counter(double(kFiles) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The longest gap between ticks of a 2 ms timer on the main thread.
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setInterval(2);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMilliseconds() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// Into an empty library, or with `state.range(0)` songs already in it: the
// rate must not fall as the library grows.
void BM_ImportFolder(benchmark::State& state)
{
    Fixture& f = fixture();
    const auto existing = static_cast<std::size_t>(state.range(0));
    std::optional<TrackList> library;
    if (existing > 0)
        library = TrackList(bench::syntheticLibrary(existing));
    SettingsPreferencesStore preferences;
    OstrelMetadataEngine metadataEngine;
    bench::IdleFileWatcher watcher;
    qint64 longestStall = 0;
    std::size_t imported = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString data = f.root.filePath(QStringLiteral("data-%1").arg(round++));
        if (library) {
            QDir().mkpath(data);
            json::writeTracksFile(data + QStringLiteral("/tracks.json"), *library);
        }
        auto database = std::make_unique<OstrelDatabaseManager>(preferences, data);
        auto cache = std::make_unique<MetadataCache>();
        auto engine = std::make_unique<OstrelLibraryEngine>(*database, metadataEngine, *cache, watcher);
        bench::awaitTask(engine->loadLibraryFromDisk());
        state.ResumeTiming();

        StallProbe probe;
        std::vector<FileURL> folders {FileURL::fromLocalFile(f.music)};
        bench::awaitTask(engine->addFolders(std::move(folders)));
        longestStall = std::max(longestStall, probe.longestMilliseconds());
        imported = engine->allTracks().size();

        state.PauseTiming();
        engine.reset();
        cache.reset();
        database.reset();
        QDir(data).removeRecursively();
        state.ResumeTiming();
    }
    if (imported != existing + static_cast<std::size_t>(kFiles))
        state.SkipWithError("not every file was imported");
    state.counters["files_per_s"] = benchmark::Counter(double(kFiles) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["longest_main_thread_stall_ms"] = double(longestStall);
}

// 10,000 songs as a version that did not read the year, numbers, comments
// and BPM left them: hard links to four small tagged files under one watched
// folder, each record with the texts of its tags and a bookmark but none of
// those fields, nor the mark that they were read. Every file is known, so a
// rescan imports nothing.
struct OldLibrary {
    QTemporaryDir root;
    QString music;
    std::string tracksFile;

    OldLibrary()
        : music(root.filePath(QStringLiteral("music")))
    {
        const fixtures::Signal signal {fixtures::Waveform::Sine, 0.5, 44100, 2, {0.5, 0.5}, 440.0, 1};
        const fixtures::Format formats[] = {fixtures::Format::Mp3, fixtures::Format::Flac, fixtures::Format::M4a, fixtures::Format::Ogg};
        QStringList sources;
        for (const fixtures::Format format : formats) {
            sources << root.filePath(QStringLiteral("source.") + fixtures::extension(format));
            fixtures::writeAudioFile(sources.back(), format, signal, fixtures::standardTags());
        }
        std::vector<Track> songs;
        songs.reserve(kFiles);
        for (int i = 0; i < kFiles; ++i) {
            const QString folder = music + QStringLiteral("/Artist %1/Album %2").arg(i % 50).arg(i % 200);
            QDir().mkpath(folder);
            const QString source = sources[i % 4];
            const QString name = QStringLiteral("%1.%2").arg(i).arg(QFileInfo(source).suffix());
            const QString path = folder + QLatin1Char('/') + name;
            if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0)
                qFatal("cannot link %s", qPrintable(path));
            Track song(QUuid::createUuid(), FileURL::fromLocalFile(path), name, QStringLiteral("Tagged Title"), 0.5, Timestamp::now(),
                       QByteArray("bookmark"));
            song.artist = QStringLiteral("Tagged Artist");
            song.album = QStringLiteral("Tagged Album");
            song.genre = QStringLiteral("Tagged Genre");
            song.bitrate = 128;
            song.sampleRate = 44100;
            songs.push_back(std::move(song));
        }
        tracksFile = json::encodeTracks(TrackList(songs));
    }
};

OldLibrary& oldLibrary()
{
    static OldLibrary instance;
    return instance;
}

// A rescan of such a library: with 0 the first one after it was loaded,
// which walks the folder, looks for missing files and starts the fill of
// every song's tag fields in the background; with 1 the next one, once every
// song is marked as read. The rescan is timed until it returns its counts;
// the fill it started is awaited outside the timing and reported on its own
// ("tag_fill_ms": from the rescan's return until the fill has been saved and
// published).
void BM_RescanLibrary(benchmark::State& state)
{
    const bool rescannedBefore = state.range(0) != 0;
    OldLibrary& old = oldLibrary();
    SettingsPreferencesStore preferences;
    OstrelMetadataEngine metadataEngine;
    bench::IdleFileWatcher watcher;
    int round = 0;
    std::size_t songs = 0;
    int filled = 0;
    double fillMilliseconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString data = old.root.filePath(QStringLiteral("data-%1").arg(round++));
        QDir().mkpath(data);
        fileio::writeFileAtomically(data + QStringLiteral("/tracks.json"), old.tracksFile);
        fileio::writeFileAtomically(data + QStringLiteral("/watched_folders.json"), json::encodeValue(QStringList {old.music}));
        auto database = std::make_unique<OstrelDatabaseManager>(preferences, data);
        auto cache = std::make_unique<MetadataCache>();
        auto engine = std::make_unique<OstrelLibraryEngine>(*database, metadataEngine, *cache, watcher);
        bench::awaitTask(engine->loadLibraryFromDisk());
        // The index is built in the background after a load; reads of it
        // wait for that, so the rescan is timed alone.
        bench::awaitTask(cache->track(engine->allTracks()[0].id));
        if (rescannedBefore) {
            bench::awaitTask(engine->rescan());
            bench::awaitTask(engine->waitForTagFill());
        }
        state.ResumeTiming();

        bench::awaitTask(engine->rescan());

        state.PauseTiming();
        QElapsedTimer filling;
        filling.start();
        filled = bench::awaitTask(engine->waitForTagFill());
        fillMilliseconds += filling.nsecsElapsed() / 1e6;
        songs = engine->allTracks().size();
        engine.reset();
        cache.reset();
        database.reset();
        QDir(data).removeRecursively();
        state.ResumeTiming();
    }
    if (songs != static_cast<std::size_t>(kFiles))
        state.SkipWithError("the rescan changed the number of songs");
    if (filled != (rescannedBefore ? 0 : kFiles))
        state.SkipWithError("the tag fill did not fill every song");
    state.counters["tag_fill_ms"] = fillMilliseconds / static_cast<double>(state.iterations());
    state.counters["songs_per_s"] = benchmark::Counter(double(kFiles) * double(state.iterations()), benchmark::Counter::kIsRate);
}

struct BigLibrary {
    QTemporaryDir folder;
    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> database;
    OstrelMetadataEngine metadataEngine;
    bench::IdleFileWatcher watcher;
    std::unique_ptr<MetadataCache> cache;
    std::unique_ptr<OstrelLibraryEngine> engine;
    double engineMegabytes = 0;

    BigLibrary()
    {
        database = std::make_unique<OstrelDatabaseManager>(preferences, folder.path());
        {
            const std::vector<Track> library = bench::syntheticLibrary(100000);
            json::writeTracksFile(folder.filePath(QStringLiteral("tracks.json")), library);
        }
        const std::size_t before = bench::residentBytes();
        cache = std::make_unique<MetadataCache>();
        engine = std::make_unique<OstrelLibraryEngine>(*database, metadataEngine, *cache, watcher);
        bench::awaitTask(engine->loadLibraryFromDisk());
        // What stays resident once the app idles after the load: the reading
        // thread and its parser buffers are gone by then.
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 6000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        engineMegabytes = double(bench::residentBytes() - before) / 1e6;
    }
};

BigLibrary& bigLibrary()
{
    static BigLibrary instance;
    return instance;
}

void BM_UpdateOneSongIn100k(benchmark::State& state)
{
    BigLibrary& big = bigLibrary();
    Track edited = big.engine->allTracks()[50000];
    int round = 0;
    for (auto _ : state) {
        edited.title = QStringLiteral("Edited %1").arg(++round);
        bench::awaitTask(big.engine->updateTrack(edited));
    }
    state.counters["songs"] = double(big.engine->allTracks().size());
    state.counters["engine_and_index_MB"] = big.engineMegabytes;
}

} // namespace

BENCHMARK(BM_BareMetadataReads)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_TagFieldReads)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ImportFolder)->Arg(0)->Arg(90000)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_RescanLibrary)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime();
BENCHMARK(BM_UpdateOneSongIn100k)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv, true);
}
