#pragma once

#include "storage/SongSearchTable.h"
#include "storage/TrackList.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace varno {

// A song list with its search table (storage/SongSearchTable.h), so that
// what a query finds comes back as the list's own songs.
//
// Immutable once built; shared between the thread that builds it and the
// main thread, which searches it.
class SongSearchIndex {
public:
    struct Found {
        TrackList songs;
        QStringList artists;
        QStringList albums;
        QStringList genres;
    };

    // Builds the index of `tracks`. `abandoned` is asked now and then; when
    // it says yes the build stops and the result is null.
    static std::shared_ptr<const SongSearchIndex> build(const TrackList& tracks,
                                                        const std::function<bool()>& abandoned = {});

    const TrackList& tracks() const { return *m_tracks; }

    // Songs in list order whose title, artist, album or genre contains
    // `key`, a non-empty text in search form (searchKey()), and the names
    // that contain it. The songs found share one reference count, the
    // searched list's: whoever holds one of them keeps that list's songs
    // alive, which are the library's own records anyway.
    Found find(QStringView key) const;

private:
    std::shared_ptr<const TrackList> m_tracks;
    std::unique_ptr<const SongSearchTable> m_table;
};

} // namespace varno
