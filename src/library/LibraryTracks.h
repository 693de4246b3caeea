#pragma once

#include "storage/FileURL.h"
#include "storage/TrackList.h"
#include "storage/TracksFileUpdate.h"

#include <QCoroTask>
#include <QHash>
#include <QSet>

namespace varno {

// The library's song list as the engine's helpers (the importer and the
// watched folders) see it: they read the list as it is now and hand their
// changes back, and the engine alone keeps and publishes the list. The
// library engine implements it; main thread only.
class LibraryTracks {
public:
    virtual ~LibraryTracks() = default;

    // The list as it is now. Any suspension may change it, so a helper reads
    // it again after each one rather than keeping a copy across it.
    virtual const TrackList& tracks() const = 0;
    // Publishes `tracks`, which differs from the list now by `change`.
    virtual void setTracks(TrackList tracks, const TrackListChange& change) = 0;
    // Takes in the library a write found changed by another process: the
    // list becomes the file's at once, and the index follows.
    virtual QCoro::Task<> adoptLibrary(TrackList library) = 0;
    // Writes edited songs over the file's records of them; when the write
    // found the file changed by another process, or found some of the songs
    // removed by one, takes in the file's library. Songs the file no longer
    // holds are never added back: they come back in `notStored`, with
    // nothing written.
    virtual QCoro::Task<TracksFileUpdate> saveEdits(TrackList tracks) = 0;
};

// The first song of each of `urls` that `tracks` holds. The list is scanned
// once against the few URLs asked about, never hashed whole.
QHash<FileURL, SharedTrack> songsAt(const TrackList& tracks, const QSet<FileURL>& urls);

} // namespace varno
