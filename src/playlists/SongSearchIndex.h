#pragma once

#include "playlists/SearchColumn.h"
#include "storage/TrackList.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace varno {

// What a query needs of a song list, prepared once per list so that a query
// costs one pass over the titles rather than folding and sorting the whole
// library again: every title in search form, and the distinct artist, album
// and genre names, sorted, each in search form, with every song pointing at
// its three names.
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
    // The distinct values of one field. Slot 0 stands for "absent"; value i
    // of `names` has slot i + 1.
    struct Names {
        QStringList names;
        SearchColumn keys;

        // Appends the matching names to `out` and marks their slots in
        // `matched` (sized names.size() + 1); whether any matched.
        bool find(QStringView key, QStringList& out, std::vector<std::uint8_t>& matched) const;
    };
    struct NameSlots {
        std::uint32_t artist = 0;
        std::uint32_t album = 0;
        std::uint32_t genre = 0;
    };

    class NamesBuilder;

    std::shared_ptr<const TrackList> m_tracks;
    SearchColumn m_titles;
    Names m_artists;
    Names m_albums;
    Names m_genres;
    std::vector<NameSlots> m_slots;
};

} // namespace varno
