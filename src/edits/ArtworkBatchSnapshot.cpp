#include "ArtworkBatchSnapshot.h"

#include "edits/ArtworkBatchTransactionError.h"

#include <QSet>

#include <exception>

namespace varno {

namespace {

QSet<QUuid> identifiers(const std::vector<Track>& tracks)
{
    QSet<QUuid> ids;
    for (const Track& track : tracks)
        ids.insert(track.id);
    return ids;
}

} // namespace

ArtworkBatchSnapshot::ArtworkBatchSnapshot(std::vector<Entry> entries)
    : m_entries(std::move(entries))
{
}

QCoro::Task<ArtworkBatchSnapshot> ArtworkBatchSnapshot::capture(ArtworkCache& cache, std::vector<Track> tracks)
{
    std::vector<Entry> entries;
    entries.reserve(tracks.size());
    std::int64_t total = 0;
    for (const Track& track : tracks) {
        auto reading = cache.coverState(track);
        ArtworkCache::CoverState cover = co_await std::move(reading);
        total += cover.stored ? cover.stored->size() : 0;
        if (total > kUndoLimitBytes)
            throw ArtworkBatchTransactionError::undoLimitExceeded(kUndoLimitMegabytes);
        entries.push_back({track, std::move(cover)});
    }
    co_return ArtworkBatchSnapshot(std::move(entries));
}

std::int64_t ArtworkBatchSnapshot::byteCount() const
{
    std::int64_t total = 0;
    for (const Entry& entry : m_entries)
        total += entry.cover.stored ? entry.cover.stored->size() : 0;
    return total;
}

bool ArtworkBatchSnapshot::isValidFor(const std::vector<Track>& tracks) const
{
    QSet<QUuid> recorded;
    for (const Entry& entry : m_entries)
        recorded.insert(entry.track.id);
    return recorded == identifiers(tracks);
}

void ArtworkBatchSnapshot::checkValidFor(const std::vector<Track>& tracks) const
{
    if (!isValidFor(tracks))
        throw ArtworkBatchTransactionError::invalidSnapshot();
}

ArtworkBatchSnapshot ArtworkBatchSnapshot::restrictedTo(const std::vector<Track>& tracks) const
{
    const QSet<QUuid> kept = identifiers(tracks);
    std::vector<Entry> entries;
    for (const Entry& entry : m_entries) {
        if (kept.contains(entry.track.id))
            entries.push_back(entry);
    }
    return ArtworkBatchSnapshot(std::move(entries));
}

QCoro::Task<> ArtworkBatchSnapshot::restore(ArtworkCache& cache, std::vector<Track> tracks) const
{
    checkValidFor(tracks);
    std::exception_ptr firstFailure;
    for (const Entry& entry : m_entries) {
        try {
            auto restoring = cache.restoreCoverState(entry.track, entry.cover);
            co_await std::move(restoring);
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    }
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

} // namespace varno
