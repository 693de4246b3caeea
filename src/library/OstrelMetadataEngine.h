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
    QCoro::Task<std::vector<std::optional<TagFields>>> readTagFields(std::vector<FileURL> urls) override;

    // The rules that turn what the media layer read into the library's
    // fields. `fileSize` is absent when the file's size could not be read.
    static ExtractedMetadata extract(const MediaAsset& asset, const QString& path, std::optional<std::int64_t> fileSize);
    // The rules for the year ("2004-05-01" gives 2004), the track and disc
    // numbers ("3/12" gives 3), the BPM and the comments; a number that is
    // zero, negative or unreadable and an empty comment stay absent.
    static TagFields tagFields(const std::vector<MediaItem>& items);

    // Blocks until no metadata read is running; for quitting, so a read's
    // answer can still be delivered before the engines go.
    void waitForIdle() { m_pool.waitForDone(); }

private:
    // Fewer files than this to one worker cost more in hops than they gain
    // in spreading.
    static constexpr std::size_t kTagFieldsPerRunAtLeast = 64;

    std::shared_ptr<const MediaReader> m_reader;
    QThreadPool m_pool;
};

} // namespace varno
