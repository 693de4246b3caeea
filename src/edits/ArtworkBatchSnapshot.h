#pragma once

#include "media/ArtworkCache.h"
#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>

#include <cstdint>
#include <optional>
#include <vector>

namespace varno {

// The covers a batch of songs had before a shared cover replaced them, kept
// so that a failed replacement can be undone. What is kept is the artwork
// cache's own state of each song's cover (the bytes stored for it, the mark
// of a removed cover), not the cover shown: a cover in the file or beside it
// is shown again by storing nothing. The stored bytes are held in memory,
// hence the limit on their total size.
class ArtworkBatchSnapshot {
public:
    struct Entry {
        Track track;
        ArtworkCache::CoverState cover;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // The most cover bytes a snapshot holds; exactly this much is allowed.
    static constexpr int kUndoLimitMegabytes = 256;
    static constexpr std::int64_t kUndoLimitBytes = std::int64_t(kUndoLimitMegabytes) * 1024 * 1024;

    ArtworkBatchSnapshot() = default;
    explicit ArtworkBatchSnapshot(std::vector<Entry> entries);

    // Asks the cache for each song's cover state, one song at a time in the
    // given order. Throws ArtworkBatchTransactionError::undoLimitExceeded as
    // soon as the covers recorded so far exceed the limit; the cache is only
    // read, and no cover is extracted from a file.
    static QCoro::Task<ArtworkBatchSnapshot> capture(ArtworkCache& cache, std::vector<Track> tracks);

    const std::vector<Entry>& entries() const { return m_entries; }
    // The total size of the recorded stored covers.
    std::int64_t byteCount() const;

    // True when the snapshot covers exactly the given songs, compared by
    // identifier and regardless of order.
    bool isValidFor(const std::vector<Track>& tracks) const;
    // Throws ArtworkBatchTransactionError::invalidSnapshot unless isValidFor().
    void checkValidFor(const std::vector<Track>& tracks) const;
    // The entries of those of `tracks` it records, for an edit that reaches
    // only the songs still in the library.
    ArtworkBatchSnapshot restrictedTo(const std::vector<Track>& tracks) const;

    // Gives every song back the cover state recorded: its stored cover, or
    // none stored (its own cover in the file or beside it shows again, and a
    // song that had none has none) with its removed-cover mark as it was.
    // Checks first that the snapshot still covers `tracks`.
    // Every entry is attempted even after a failure, so as much as possible
    // is recovered; the first failure is then thrown.
    QCoro::Task<> restore(ArtworkCache& cache, std::vector<Track> tracks) const;

    friend bool operator==(const ArtworkBatchSnapshot&, const ArtworkBatchSnapshot&) = default;

private:
    std::vector<Entry> m_entries;
};

} // namespace varno
