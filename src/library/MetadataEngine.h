#pragma once

#include "library/ExtractedMetadata.h"
#include "storage/FileURL.h"
#include "storage/TagFields.h"
#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>

#include <optional>
#include <vector>

namespace varno {

// Reads what the library needs to know about an audio file and its embedded
// cover; refuses every tag write. Main thread only: each operation suspends
// while the file is read on a worker thread and resumes on the main thread.
class MetadataEngine {
public:
    virtual ~MetadataEngine() = default;

    // Throws the media layer's error (MediaReadError) when the file cannot
    // be read as audio.
    virtual QCoro::Task<ExtractedMetadata> readMetadata(FileURL url) = 0;
    // Always throws MetadataError: tagWriteFailed when the file exists,
    // fileNotFound otherwise. The file is never opened for writing.
    virtual QCoro::Task<> writeMetadata(Track track, std::optional<QByteArray> newArtwork) = 0;
    // The first embedded picture exactly as stored, or absent.
    virtual QCoro::Task<std::optional<QByteArray>> extractArtwork(FileURL url) = 0;
    // For songs already in the library: the tag fields of each file, by the
    // same rules as readMetadata, in the order given; absent for a file that
    // cannot be read (gone, or no longer audio). Only the tags are read, many
    // files to one hop to a worker, so thousands of songs cost little more
    // than opening their files. Never throws.
    virtual QCoro::Task<std::vector<std::optional<TagFields>>> readTagFields(std::vector<FileURL> urls) = 0;
};

} // namespace varno
