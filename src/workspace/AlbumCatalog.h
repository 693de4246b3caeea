#pragma once

#include "workspace/AlbumIndex.h"

#include <QCoroTask>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace varno {

class LibraryEngine;

// The library's albums, kept for the window from the moment the library is
// published, so that the Albums and Artists screens open on an index that is
// already there. The whole library is grouped on a worker (at start and
// after each reset of the list); every other change is taken in on the main
// thread, album by album, as the library publishes it. Changes published
// while a grouping runs are applied to its result, in order, before it is
// shown. Main thread only.
class AlbumCatalog final : public QObject {
    Q_OBJECT

public:
    // A library smaller than this is grouped at once on the main thread: a
    // hop to a worker would cost more than the grouping.
    static constexpr std::size_t kGroupAtOnceBelow = 2'000;

    explicit AlbumCatalog(LibraryEngine& library, std::size_t groupAtOnceBelow = kGroupAtOnceBelow, QObject* parent = nullptr);
    ~AlbumCatalog() override;

    // The albums as far as they are known: empty until the first grouping
    // lands, then always the library last published but for a grouping
    // running after a reset.
    const AlbumIndex& index() const { return m_index; }
    // Whether the index holds the library as last published.
    bool isCurrent() const { return !m_grouping; }

signals:
    // After the index changed: a reset when a grouping landed, else the
    // steps of one change of the library.
    void changed(const varno::AlbumIndexChange& change);

private:
    void follow(const TrackListChange& change);
    void regroup();
    QCoro::Task<> groupOnWorker(std::uint64_t generation);

    LibraryEngine& m_library;
    std::size_t m_groupAtOnceBelow;
    AlbumIndex m_index;
    bool m_grouping = false;
    // Counts the resets of the library, so a grouping of a list that has
    // been replaced since is dropped.
    std::uint64_t m_generation = 0;
    // Changes published while a grouping runs, each with the list it made.
    std::vector<std::pair<TrackList, TrackListChange>> m_pending;
};

} // namespace varno
