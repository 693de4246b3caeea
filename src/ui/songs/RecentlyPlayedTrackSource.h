#pragma once

#include "storage/Track.h"
#include "ui/songs/TrackListSource.h"

#include <optional>

namespace varno {

class LibraryEngine;
class QueueEngine;

// The songs played lately, most recent first, each once: the song playing
// now, then the queue's history from its newest end. Songs are shown as the
// library has them now, and a song that left the library is left out. The
// queue's changes of one step (current song, history) are taken in once, on
// the next turn of the event loop.
class RecentlyPlayedTrackSource final : public TrackListSource {
    Q_OBJECT

public:
    RecentlyPlayedTrackSource(QueueEngine& queue, LibraryEngine& library, QObject* parent = nullptr);

    const TrackList& tracks() const override { return m_tracks; }

private:
    void scheduleRefresh();
    void refresh();

    QueueEngine& m_queue;
    LibraryEngine& m_library;
    TrackList m_tracks;
    bool m_refreshScheduled = false;
};

// The song now current, then `history` newest first, each song once, as
// `library` has them; songs not in `library` are left out. One pass over the
// library.
TrackList recentlyPlayedTracks(const std::optional<Track>& current, const TrackList& history, const TrackList& library);

} // namespace varno
