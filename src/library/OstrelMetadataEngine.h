#pragma once

#include "library/MetadataEngine.h"
#include "platform/MediaReader.h"

#include <QThreadPool>

#include <memory>

namespace varno {

// Main thread only; files are read on the engine's own pool of worker
// threads (one per core), so many imports read in parallel.
class OstrelMetadataEngine final : public MetadataEngine {
public:
    // Reads through TagLib with FFmpeg as the fallback.
    OstrelMetadataEngine();
    explicit OstrelMetadataEngine(std::shared_ptr<const MediaReader> reader);
    ~OstrelMetadataEngine() override;

    QCoro::Task<ExtractedMetadata> readMetadata(FileURL url) override;
    QCoro::Task<> writeMetadata(Track track, std::optional<QByteArray> newArtwork) override;
    QCoro::Task<std::optional<QByteArray>> extractArtwork(FileURL url) override;

    // The rules that turn what the media layer read into the library's
    // fields. `fileSize` is absent when the file's size could not be read.
    static ExtractedMetadata extract(const MediaAsset& asset, const QString& path, std::optional<std::int64_t> fileSize);

    // Blocks until no metadata read is running; for quitting, so a read's
    // answer can still be delivered before the engines go.
    void waitForIdle() { m_pool.waitForDone(); }

private:
    std::shared_ptr<const MediaReader> m_reader;
    QThreadPool m_pool;
};

} // namespace varno
