#include "FilteredLibraryTrackSource.h"

#include "library/LibraryEngine.h"

#include <algorithm>

namespace varno {

FilteredLibraryTrackSource::FilteredLibraryTrackSource(LibraryEngine& library, Filter filter, QObject* parent)
    : TrackListSource(parent)
    , m_library(library)
    , m_filter(std::move(filter))
    , m_tracks(m_filter(m_library.allTracks()))
{
    connect(&m_library, &LibraryEngine::tracksChanged, this, &FilteredLibraryTrackSource::refresh);
}

void FilteredLibraryTrackSource::refresh()
{
    publishReplacement(m_tracks, m_filter(m_library.allTracks()));
}

TrackList recentlyAddedTracks(const TrackList& library)
{
    QList<SharedTrack> dated;
    for (const SharedTrack& song : library.sharedSongs()) {
        if (song->dateAdded)
            dated.append(song);
    }
    std::stable_sort(dated.begin(), dated.end(), [](const SharedTrack& a, const SharedTrack& b) { return *a->dateAdded > *b->dateAdded; });
    return TrackList(std::move(dated));
}

TrackList topRatedTracks(const TrackList& library)
{
    QList<SharedTrack> rated;
    for (const SharedTrack& song : library.sharedSongs()) {
        if (song->rating > 0)
            rated.append(song);
    }
    std::stable_sort(rated.begin(), rated.end(), [](const SharedTrack& a, const SharedTrack& b) { return a->rating > b->rating; });
    return TrackList(std::move(rated));
}

TrackList favoriteTracks(const TrackList& library)
{
    QList<SharedTrack> favorites;
    for (const SharedTrack& song : library.sharedSongs()) {
        if (isFavorite(song->rating))
            favorites.append(song);
    }
    return TrackList(std::move(favorites));
}

} // namespace varno
