// Reading what the library needs from audio files: the metadata engine over
// 2,000 small tagged files (mixed mp3/flac/m4a/ogg) on two worker threads,
// against a bare TagLib loop over the same files on two threads, and the
// extraction of a 1 MB embedded cover.

#include "BenchSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "library/OstrelMetadataEngine.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <atomic>
#include <thread>

using namespace varno;

namespace {

constexpr int kFilesPerFormat = 500;

struct Fixture {
    QTemporaryDir folder;
    QStringList files;
    QString bigCover;
    qint64 bigCoverBytes = 0;

    Fixture()
    {
        const fixtures::Picture cover {fixtures::makeJpegCover(300, 300, Qt::darkCyan), QStringLiteral("image/jpeg")};
        const fixtures::Signal signal {fixtures::Waveform::Sine, 0.5, 44100, 2, {0.5, 0.5}, 440.0, 1};
        for (const fixtures::Format format : {fixtures::Format::Mp3, fixtures::Format::Flac, fixtures::Format::M4a, fixtures::Format::Ogg}) {
            const QString source = folder.filePath(QStringLiteral("source.") + fixtures::extension(format));
            fixtures::Tags tags;
            tags.title = QStringLiteral("Source");
            fixtures::writeAudioFile(source, format, signal, tags, {cover});
            for (int i = 0; i < kFilesPerFormat; ++i) {
                const QString path = folder.filePath(QStringLiteral("song-%1.%2").arg(i).arg(fixtures::extension(format)));
                tags.title = QStringLiteral("Song %1").arg(i);
                tags.artist = QStringLiteral("Artist %1").arg(i % 40);
                tags.album = QStringLiteral("Album %1").arg(i % 90);
                tags.genre = QStringLiteral("Genre");
                fixtures::copyWithTags(source, path, tags);
                files << path;
            }
        }
        bigCover = folder.filePath(QStringLiteral("big-cover.mp3"));
        const QByteArray picture = fixtures::makeNoisePngCover(580, 580);
        bigCoverBytes = picture.size();
        fixtures::writeAudioFile(bigCover, fixtures::Format::Mp3, signal, {}, {{picture, QStringLiteral("image/png")}});
    }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

QCoro::Task<> readAll(OstrelMetadataEngine* engine, const QStringList* files, std::atomic<int>* read)
{
    std::vector<QCoro::Task<ExtractedMetadata>> tasks;
    tasks.reserve(static_cast<std::size_t>(files->size()));
    for (const QString& file : *files)
        tasks.push_back(engine->readMetadata(FileURL::fromLocalFile(file)));
    for (auto& task : tasks) {
        const ExtractedMetadata metadata = co_await task;
        if (metadata.sampleRate)
            ++*read;
    }
}

void BM_ReadMetadata(benchmark::State& state)
{
    Fixture& f = fixture();
    OstrelMetadataEngine engine;
    for (auto _ : state) {
        std::atomic<int> read = 0;
        bench::awaitTask(readAll(&engine, &f.files, &read));
        if (read != f.files.size())
            state.SkipWithError("some files were not read");
    }
    state.counters["files"] = f.files.size();
    state.counters["files_per_s"] = benchmark::Counter(double(f.files.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

QByteArray firstPicture(TagLib::File* file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        if (TagLib::ID3v2::Tag* tag = mpeg->ID3v2Tag()) {
            for (TagLib::ID3v2::Frame* frame : tag->frameListMap()["APIC"]) {
                if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
                    return QByteArray(picture->picture().data(), picture->picture().size());
            }
        }
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        if (!flac->pictureList().isEmpty())
            return QByteArray(flac->pictureList().front()->data().data(), flac->pictureList().front()->data().size());
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (mp4->tag() && mp4->tag()->contains("covr")) {
            const auto covers = mp4->tag()->item("covr").toCoverArtList();
            if (!covers.isEmpty())
                return QByteArray(covers.front().data().data(), covers.front().data().size());
        }
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        if (vorbis->tag() && !vorbis->tag()->pictureList().isEmpty())
            return QByteArray(vorbis->tag()->pictureList().front()->data().data(), vorbis->tag()->pictureList().front()->data().size());
    }
    return {};
}

// The reference: TagLib alone, FileRef + audio properties + first picture,
// on exactly two threads taking files from one shared counter. (A blocking
// QtConcurrent map would lend the calling thread as a third worker.)
void BM_BareTagLibLoop(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        std::atomic<int> read = 0;
        std::atomic<qsizetype> next = 0;
        auto worker = [&] {
            for (qsizetype i = next++; i < f.files.size(); i = next++) {
                TagLib::FileRef file(QFile::encodeName(f.files[i]).constData(), true, TagLib::AudioProperties::Average);
                if (file.isNull() || !file.audioProperties())
                    continue;
                benchmark::DoNotOptimize(file.audioProperties()->lengthInMilliseconds());
                benchmark::DoNotOptimize(file.tag()->title().size());
                benchmark::DoNotOptimize(firstPicture(file.file()).size());
                ++read;
            }
        };
        std::thread first(worker), second(worker);
        first.join();
        second.join();
        if (read != f.files.size())
            state.SkipWithError("some files were not read");
    }
    state.counters["files_per_s"] = benchmark::Counter(double(f.files.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ExtractArtworkOf1MBCover(benchmark::State& state)
{
    Fixture& f = fixture();
    OstrelMetadataEngine engine;
    const FileURL url = FileURL::fromLocalFile(f.bigCover);
    for (auto _ : state) {
        const std::optional<QByteArray> artwork = bench::awaitTask(engine.extractArtwork(url));
        if (!artwork || artwork->size() != f.bigCoverBytes)
            state.SkipWithError("the cover did not come back whole");
    }
    state.counters["cover_MB"] = double(f.bigCoverBytes) / 1e6;
}

} // namespace

BENCHMARK(BM_ReadMetadata)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_BareTagLibLoop)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_ExtractArtworkOf1MBCover)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();

int main(int argc, char** argv)
{
    return varno::bench::runBenchmarks(argc, argv);
}
