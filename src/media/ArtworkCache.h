#pragma once

#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>

#include <optional>

namespace varno {

// Cover art of the library's songs, kept as raw image bytes in memory and on
// disk and keyed by each song's identifier; nothing here decodes a picture.
//
// Main thread only; file work runs in background tasks that are awaited.
//
// Only the operations that shared metadata editing relies on are declared so
// far. The published cache version, thumbnails, eviction and clearing join
// this interface together with the concrete cache.
class ArtworkCache {
public:
    virtual ~ArtworkCache() = default;

    // The song's cover: from memory, then from the disk folder, then
    // extracted from the audio file. Nothing when the song has none; never
    // throws, because a cover that cannot be read is treated as missing.
    virtual QCoro::Task<std::optional<QByteArray>> retrieveArtwork(Track track) = 0;

    // Makes `data` the song's cover in memory and on disk. Throws when the
    // disk write fails, and then nothing has changed.
    virtual QCoro::Task<> storeArtwork(QByteArray data, Track track) = 0;

    // Forgets everything cached for the song, memory and disk. Throws the
    // first failed deletion on disk; the memory entries are gone by then.
    virtual QCoro::Task<> removeArtwork(Track track) = 0;
};

} // namespace varno
