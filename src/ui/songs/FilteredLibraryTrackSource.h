#pragma once

#include "ui/songs/TrackListSource.h"

#include <functional>

namespace varno {

class LibraryEngine;

// The library through a filter: a function from the library's songs to the
// songs to show, which may also order them. Run again on every change of the
// library; the difference to the list before is published as row changes.
class FilteredLibraryTrackSource final : public TrackListSource {
    Q_OBJECT

public:
    using Filter = std::function<TrackList(const TrackList& library)>;

    FilteredLibraryTrackSource(LibraryEngine& library, Filter filter, QObject* parent = nullptr);

    const TrackList& tracks() const override { return m_tracks; }

private:
    void refresh();

    LibraryEngine& m_library;
    Filter m_filter;
    TrackList m_tracks;
};

// Songs with a date added, newest first; equal dates keep their library
// order. A record without one was never "recently" added.
TrackList recentlyAddedTracks(const TrackList& library);
// Songs rated above 0, best first; equal ratings keep their library order.
TrackList topRatedTracks(const TrackList& library);
// Songs rated 4 or more, in library order.
TrackList favoriteTracks(const TrackList& library);

} // namespace varno
