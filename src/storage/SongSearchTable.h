#pragma once

#include "storage/SearchColumn.h"
#include "storage/TrackList.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace varno {

// Which names a song has, by position in the sorted names of each field:
// 0 stands for "absent"; name i has slot i + 1.
struct SongSearchSlots {
    std::uint32_t artist = 0;
    std::uint32_t album = 0;
    std::uint32_t genre = 0;
};

// What a query reads of a song list, wherever it lies: in a table built in
// memory, or in the library's snapshot mapped from disk. Every title in
// search form, one per song in list order; the distinct artist, album and
// genre names, each in search form, in code-point order of the names; and
// every song's slots in them.
struct SongSearchView {
    struct Hits {
        // Positions of the songs whose title, artist, album or genre
        // contains the key, ascending.
        std::vector<std::uint32_t> songs;
        // Positions of the matching names, ascending (so in name order).
        std::vector<std::uint32_t> artists;
        std::vector<std::uint32_t> albums;
        std::vector<std::uint32_t> genres;
    };

    SearchColumnView titles;
    SearchColumnView artists;
    SearchColumnView albums;
    SearchColumnView genres;
    std::span<const SongSearchSlots> songSlots;

    // `key` is a non-empty text in search form (searchKey()).
    Hits find(QStringView key) const;
};

// The search form of a song list, prepared once so that a query costs one
// pass over the titles rather than folding and sorting the whole library
// again. Immutable once built; may be read on any thread.
class SongSearchTable {
public:
    struct Names {
        // Code-point order.
        QStringList names;
        SearchColumn keys;
    };

    // Null when `abandoned`, asked now and then, says yes.
    static std::unique_ptr<SongSearchTable> build(const TrackList& tracks, const std::function<bool()>& abandoned = {});

    SongSearchView view() const { return {m_titles.view(), m_artists.keys.view(), m_albums.keys.view(), m_genres.keys.view(), m_slots}; }

    const SearchColumn& titles() const { return m_titles; }
    const Names& artists() const { return m_artists; }
    const Names& albums() const { return m_albums; }
    const Names& genres() const { return m_genres; }
    const std::vector<SongSearchSlots>& songSlots() const { return m_slots; }

private:
    SearchColumn m_titles;
    Names m_artists;
    Names m_albums;
    Names m_genres;
    std::vector<SongSearchSlots> m_slots;
};

} // namespace varno
