// File watching over a library of 5,000 folders: how long watching the whole
// tree takes to set up, and how long 1,000 new files take to be reported with
// the watcher's real one-second latency.

#include "BenchSupport.h"
#include "library/OstrelFileWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace varno;

namespace {

constexpr int kArtists = 50;
constexpr int kAlbumsPerArtist = 99;
constexpr int kFolders = kArtists * (1 + kAlbumsPerArtist);
constexpr int kNewFiles = 1000;

// Artist folders each holding album folders, as a music collection is laid
// out; 5,000 folders in all below the root.
struct Tree {
    QTemporaryDir root;
    QStringList albums;

    Tree()
    {
        for (int artist = 0; artist < kArtists; ++artist) {
            for (int album = 0; album < kAlbumsPerArtist; ++album) {
                const QString path = QStringLiteral("%1/Artist %2/Album %3").arg(root.path()).arg(artist).arg(album);
                QDir().mkpath(path);
                albums.append(path);
            }
        }
    }
};

Tree& tree()
{
    static Tree instance;
    return instance;
}

void touch(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("ID3") != 3)
        qFatal("cannot write %s", qPrintable(path));
}

void BM_StartWatchingTree(benchmark::State& state)
{
    const FileURL folder = FileURL::fromLocalFile(tree().root.path());
    for (auto _ : state) {
        OstrelFileWatcher watcher;
        QElapsedTimer clock;
        clock.start();
        watcher.startWatching(folder);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    state.counters["folders"] = kFolders;
}

// From the first file written until the last of them is reported as added.
void BM_ReportNewFiles(benchmark::State& state)
{
    const FileURL folder = FileURL::fromLocalFile(tree().root.path());
    int round = 0;
    double writing = 0;
    for (auto _ : state) {
        ++round;
        QSemaphore added;
        OstrelFileWatcher watcher;
        QObject::connect(&watcher, &FileWatcher::changeOccurred, &watcher, [&](const FileSystemChange& change) {
            if (change.kind() == FileSystemChange::Kind::Added)
                added.release();
        }, Qt::DirectConnection);
        watcher.startWatching(folder);

        QStringList files;
        for (int i = 0; i < kNewFiles; ++i)
            files.append(QStringLiteral("%1/round %2 track %3.mp3").arg(tree().albums[(i * 37) % tree().albums.size()]).arg(round).arg(i));

        QElapsedTimer clock;
        clock.start();
        for (const QString& file : files)
            touch(file);
        writing += double(clock.nsecsElapsed()) / 1e6;
        if (!added.tryAcquire(kNewFiles, 10000))
            state.SkipWithError("not every new file was reported within 10 s");
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);

        watcher.stopWatching(folder);
        for (const QString& file : files)
            QFile::remove(file);
    }
    state.counters["files"] = kNewFiles;
    state.counters["writing_ms"] = writing / double(state.iterations());
}

} // namespace

BENCHMARK(BM_StartWatchingTree)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_ReportNewFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv);
}
