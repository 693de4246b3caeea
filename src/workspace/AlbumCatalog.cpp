#include "AlbumCatalog.h"

#include "library/LibraryEngine.h"
#include "platform/Worker.h"

#include <QPointer>
#include <QThreadPool>

namespace varno {

AlbumCatalog::AlbumCatalog(LibraryEngine& library, std::size_t groupAtOnceBelow, QObject* parent)
    : QObject(parent)
    , m_library(library)
    , m_groupAtOnceBelow(groupAtOnceBelow)
{
    connect(&library, &LibraryEngine::tracksChanged, this, &AlbumCatalog::follow);
    if (!library.allTracks().empty())
        regroup();
}

AlbumCatalog::~AlbumCatalog() = default;

void AlbumCatalog::follow(const TrackListChange& change)
{
    if (change.kind == TrackListChange::Kind::Reset) {
        regroup();
        return;
    }
    if (m_grouping) {
        m_pending.emplace_back(m_library.allTracks(), change);
        return;
    }
    const AlbumIndexChange steps = m_index.apply(m_library.allTracks(), change);
    emit changed(steps);
}

void AlbumCatalog::regroup()
{
    ++m_generation;
    m_pending.clear();
    if (m_library.allTracks().size() < m_groupAtOnceBelow) {
        m_grouping = false;
        m_index.reset(m_library.allTracks());
        emit changed({true, {}});
        return;
    }
    m_grouping = true;
    // Runs on by itself; a later reset makes what it brings back stale, and
    // a catalog gone meanwhile is noticed when it lands.
    auto grouping = groupOnWorker(m_generation);
}

QCoro::Task<> AlbumCatalog::groupOnWorker(std::uint64_t generation)
{
    const QPointer<AlbumCatalog> self(this);
    auto grouping = runOn(QThreadPool::globalInstance(), [songs = m_library.allTracks()] {
        AlbumIndex index;
        index.reset(songs);
        return index;
    });
    AlbumIndex index = co_await std::move(grouping);
    if (!self || generation != m_generation)
        co_return;
    for (const auto& [songs, change] : m_pending)
        index.apply(songs, change);
    m_pending.clear();
    m_index = std::move(index);
    m_grouping = false;
    emit changed({true, {}});
}

} // namespace varno
