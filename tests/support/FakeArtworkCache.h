#pragma once

#include "media/ArtworkCache.h"

#include <QHash>
#include <QSet>

#include <functional>
#include <vector>

namespace varno::test {

// Covers by song id, in memory. `failStore` and `failRemove` may throw to
// make a write fail. Every call is counted, so tests can tell what was
// touched: `writes` counts stores and removals (an eviction only forgets),
// `stores`, `removals` and `evictions` each their own kind. Main thread only.
class FakeArtworkCache final : public ArtworkCache {
public:
    QHash<QUuid, QByteArray> covers;
    // Songs whose cover the user removed.
    QSet<QUuid> hidden;
    // The songs whose cover was asked for, in order.
    std::vector<QUuid> retrieved;
    int writes = 0;
    int stores = 0;
    int removals = 0;
    int evictions = 0;
    std::function<void(const Track&, const QByteArray&)> failStore;
    std::function<void(const Track&)> failRemove;

    QCoro::Task<std::optional<QByteArray>> retrieveArtwork(Track track) override
    {
        retrieved.push_back(track.id);
        co_return covers.contains(track.id) ? std::optional(covers.value(track.id)) : std::nullopt;
    }
    QCoro::Task<> storeArtwork(QByteArray data, Track track) override
    {
        ++writes;
        ++stores;
        if (failStore)
            failStore(track, data);
        covers.insert(track.id, data);
        hidden.remove(track.id);
        co_return;
    }
    QCoro::Task<> removeArtwork(Track track) override
    {
        ++writes;
        ++removals;
        if (failRemove)
            failRemove(track);
        covers.remove(track.id);
        hidden.insert(track.id);
        co_return;
    }
    QCoro::Task<CoverState> coverState(Track track) override
    {
        retrieved.push_back(track.id);
        co_return CoverState {covers.contains(track.id) ? std::optional(covers.value(track.id)) : std::nullopt, hidden.contains(track.id)};
    }
    // A state with a cover counts as a store, one without as a removal.
    QCoro::Task<> restoreCoverState(Track track, CoverState state) override
    {
        if (state.stored) {
            auto storing = storeArtwork(*state.stored, track);
            co_await storing;
            co_return;
        }
        ++writes;
        ++removals;
        if (failRemove)
            failRemove(track);
        covers.remove(track.id);
        if (state.hidden)
            hidden.insert(track.id);
        else
            hidden.remove(track.id);
    }
    void evictArtwork(const Track& track) override
    {
        ++evictions;
        covers.remove(track.id);
    }
    QUuid cacheVersion() const override { return {}; }
    QCoro::Task<std::optional<QByteArray>> retrieveThumbnail(Track, QSizeF) override { co_return std::nullopt; }
    QCoro::Task<> storeThumbnail(QByteArray, Track, QSizeF) override { co_return; }
    QCoro::Task<> clearCache() override
    {
        covers.clear();
        co_return;
    }
};

} // namespace varno::test
