#pragma once

#include "storage/TrackList.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace varno {

// One album: the songs that share an artist (the album artist, else the
// artist) and an album title. Songs without an album title are the artist's
// "Unknown Album"; songs without either artist are "Unknown Artist"'s.
struct Album {
    // The texts the songs were grouped by; empty when the songs have none.
    QString artistKey;
    QString titleKey;
    // The smallest year any of its songs gives, if one does.
    std::optional<std::int64_t> year;
    // In disc, track and title order.
    TrackList tracks;
    // The keys in the index's collation, kept so that sorting 8,000 albums
    // and finding one compares bytes, not text.
    QCollatorSortKey artistSortKey;
    QCollatorSortKey titleSortKey;

    // What a tile shows.
    QString artist() const;
    QString title() const;
};

// An artist of the index with what it holds.
struct ArtistSummary {
    QString artistKey;
    int songCount = 0;
    int albumCount = 0;
    // Its albums are the index's albums [firstAlbum, firstAlbum + albumCount).
    std::size_t firstAlbum = 0;

    QString name() const;
};

// How the index's list of albums changed, in steps to apply one after the
// other: the positions of each step are those of the list as the steps
// before it left it.
struct AlbumIndexChange {
    enum class Op { Remove, Insert, Update };
    struct Step {
        Op op;
        std::size_t at;
        friend bool operator==(const Step&, const Step&) = default;
    };
    // A reset says only: read every album again.
    bool reset = false;
    std::vector<Step> steps;
};

// The library's songs grouped into albums, sorted by artist then album title
// (case-insensitively in the user's locale), each album's songs in disc and
// track order. A plain value, not tied to any engine: it is told the
// library's list and each change of it, and says which albums changed.
// Callable on any one thread at a time.
class AlbumIndex {
public:
    static const QString kUnknownAlbum;
    static const QString kUnknownArtist;

    AlbumIndex();

    // Groups the whole list again.
    void reset(const TrackList& tracks);
    // Takes in the library's new list, which differs from the one before by
    // `change`: only the albums of the songs named in it are touched.
    AlbumIndexChange apply(const TrackList& tracks, const TrackListChange& change);

    const std::vector<Album>& albums() const { return m_albums; }
    // The album of these keys, if the index has it.
    std::optional<std::size_t> find(const QString& artistKey, const QString& titleKey) const;
    // Every artist, in the albums' order.
    std::vector<ArtistSummary> artists() const;

    // The order of an album's songs: disc, then track number, missing ones
    // counting as 0, then title. It mirrors the song list's Album order so
    // an album reads the same on both screens.
    static std::weak_ordering compareInAlbum(const Track& a, const Track& b, const QCollator& collator);
    // The keys a song is grouped by: artist, album title.
    static std::pair<QString, QString> keyOf(const Track& track);

private:
    Album makeAlbum(const QString& artistKey, const QString& titleKey) const;
    void finish(Album& album) const;
    bool precedes(const Album& a, const Album& b) const;
    std::size_t lowerBound(const Album& probe) const;

    QCollator m_collator;
    std::vector<Album> m_albums;
    // The list the index was last told; a removal's positions are in it.
    TrackList m_tracks;
};

} // namespace varno
