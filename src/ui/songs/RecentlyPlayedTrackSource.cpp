#include "RecentlyPlayedTrackSource.h"

#include "library/LibraryEngine.h"
#include "playback/QueueEngine.h"

#include <QHash>
#include <QSet>
#include <QTimer>

namespace varno {

RecentlyPlayedTrackSource::RecentlyPlayedTrackSource(QueueEngine& queue, LibraryEngine& library, QObject* parent)
    : TrackListSource(parent)
    , m_queue(queue)
    , m_library(library)
    , m_tracks(recentlyPlayedTracks(queue.currentTrack(), queue.history(), library.allTracks()))
{
    connect(&m_queue, &QueueEngine::currentTrackChanged, this, &RecentlyPlayedTrackSource::scheduleRefresh);
    connect(&m_queue, &QueueEngine::historyChanged, this, &RecentlyPlayedTrackSource::scheduleRefresh);
    // At once: an edited song's row follows the library as every list does.
    connect(&m_library, &LibraryEngine::tracksChanged, this, &RecentlyPlayedTrackSource::refresh);
}

void RecentlyPlayedTrackSource::scheduleRefresh()
{
    if (m_refreshScheduled)
        return;
    m_refreshScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshScheduled = false;
        refresh();
    });
}

void RecentlyPlayedTrackSource::refresh()
{
    publishReplacement(m_tracks, recentlyPlayedTracks(m_queue.currentTrack(), m_queue.history(), m_library.allTracks()));
}

TrackList recentlyPlayedTracks(const std::optional<Track>& current, const TrackList& history, const TrackList& library)
{
    QList<QUuid> order;
    QSet<QUuid> listed;
    const auto take = [&](const QUuid& id) {
        if (!listed.contains(id)) {
            listed.insert(id);
            order.append(id);
        }
    };
    if (current)
        take(current->id);
    for (auto song = history.sharedSongs().crbegin(); song != history.sharedSongs().crend(); ++song)
        take((*song)->id);
    if (order.isEmpty())
        return {};

    QHash<QUuid, SharedTrack> inLibrary;
    inLibrary.reserve(order.size());
    for (const SharedTrack& song : library.sharedSongs()) {
        if (listed.contains(song->id))
            inLibrary.insert(song->id, song);
    }
    TrackList played;
    played.reserve(std::size_t(order.size()));
    for (const QUuid& id : std::as_const(order)) {
        if (const SharedTrack song = inLibrary.value(id))
            played.append(song);
    }
    return played;
}

} // namespace varno
