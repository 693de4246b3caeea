#include "LibraryTracks.h"

namespace varno {

QHash<FileURL, SharedTrack> songsAt(const TrackList& tracks, const QSet<FileURL>& urls)
{
    QHash<FileURL, SharedTrack> found;
    if (urls.isEmpty())
        return found;
    for (const SharedTrack& song : tracks.sharedSongs()) {
        if (urls.contains(song->fileURL) && !found.contains(song->fileURL))
            found.insert(song->fileURL, song);
    }
    return found;
}

} // namespace varno
