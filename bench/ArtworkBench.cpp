// Covers at the speed of a scrolling list: retrieving a 500 KB cover from
// memory and from disk, a 40 px thumbnail and the accent colour of a
// 3000 × 3000 JPEG (against decoding that JPEG whole), and 10,000 rows
// scrolled past, each asking for its thumbnail and cancelling it when it
// leaves the screen, within a memory budget.

#include "BenchSupport.h"

#include "media/OstrelArtworkCache.h"
#include "media/OstrelThemeEngine.h"
#include "media/OstrelThumbnailGenerator.h"
#include "platform/FileIO.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <deque>
#include <stop_token>

using namespace varno;

namespace {

// A photograph-like picture: gradients and noise, so the JPEG is as large
// as real covers are.
QByteArray jpeg(int edge, int quality)
{
    QImage image(edge, edge, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, edge, edge);
    gradient.setColorAt(0, QColor(30, 60, 120));
    gradient.setColorAt(1, QColor(220, 140, 40));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    QRandomGenerator random(7);
    for (int y = 0; y < edge; y += 3)
        for (int x = 0; x < edge; x += 3)
            image.setPixel(x, y, random.generate());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

const QByteArray& bigCover()
{
    static const QByteArray bytes = jpeg(3000, 90);
    return bytes;
}

const QByteArray& halfMegabyteCover()
{
    static const QByteArray bytes = [] {
        QByteArray b = jpeg(700, 95);
        b.resize(500 * 1024);
        return b;
    }();
    return bytes;
}

void BM_RetrieveFromMemory(benchmark::State& state)
{
    QTemporaryDir folder;
    OstrelArtworkCache cache(CacheMetrics {}, folder.path());
    const Track song = bench::syntheticLibrary(1).front();
    bench::awaitTask(cache.storeArtwork(halfMegabyteCover(), song));
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::awaitTask(cache.retrieveArtwork(song)));
}

void BM_RetrieveFromDisk(benchmark::State& state)
{
    QTemporaryDir folder;
    // A budget smaller than the cover: every retrieval reads the file.
    OstrelArtworkCache cache(CacheMetrics {1024, 2147483648}, folder.path());
    const Track song = bench::syntheticLibrary(1).front();
    bench::awaitTask(cache.storeArtwork(halfMegabyteCover(), song));
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::awaitTask(cache.retrieveArtwork(song)));
}

void BM_DecodeWhole3000Jpeg(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QImage::fromData(bigCover()));
    state.counters["jpeg_kb"] = double(bigCover().size()) / 1024;
}

void BM_Thumbnail40From3000Jpeg(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(OstrelThumbnailGenerator::scale(bigCover(), QSize(40, 40), std::chrono::seconds(10)));
}

void BM_AccentOf3000Jpeg(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(OstrelThemeEngine::accentColor(bigCover()));
}

// 10,000 rows pass by, twenty on screen at a time; each row asks for its
// thumbnail as it appears and cancels it as it leaves.
void BM_ScrollTenThousandRows(benchmark::State& state)
{
    constexpr int kRows = 10000;
    constexpr int kVisible = 20;
    constexpr std::int64_t kBudget = 32 << 20;
    QTemporaryDir folder;
    const std::vector<Track> songs = bench::syntheticLibrary(kRows);
    const QByteArray cover = jpeg(300, 85);
    for (const Track& song : songs) {
        QFile file(folder.filePath(OstrelArtworkCache::originalKey(song.id) + QStringLiteral(".raw")));
        file.open(QIODevice::WriteOnly);
        file.write(cover);
    }
    std::int64_t largest = 0;
    int made = 0;
    for (auto _ : state) {
        OstrelArtworkCache cache(CacheMetrics {kBudget, 2147483648}, folder.path());
        OstrelThumbnailGenerator thumbnails(cache);
        std::deque<std::stop_source> onScreen;
        std::vector<QCoro::Task<std::optional<QByteArray>>> requests;
        requests.reserve(kRows);
        for (const Track& song : songs) {
            onScreen.emplace_back();
            requests.push_back(thumbnails.thumbnail(song, QSize(40, 40), onScreen.back().get_token()));
            if (onScreen.size() > kVisible) {
                onScreen.front().request_stop();
                onScreen.pop_front();
            }
        }
        made = 0;
        for (auto& request : requests) {
            if (bench::awaitTask(std::move(request)))
                ++made;
            largest = std::max(largest, cache.memoryBytes());
        }
        state.PauseTiming();
        for (const QString& name : QDir(folder.path()).entryList({QStringLiteral("thumb_*")}, QDir::Files))
            QFile::remove(folder.filePath(name));
        state.ResumeTiming();
    }
    state.counters["thumbnails_made"] = made;
    state.counters["memory_peak_mb"] = double(largest) / (1 << 20);
    state.counters["budget_mb"] = double(kBudget) / (1 << 20);
}

} // namespace

BENCHMARK(BM_RetrieveFromMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RetrieveFromDisk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeWhole3000Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail40From3000Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccentOf3000Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollTenThousandRows)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, true);
}
