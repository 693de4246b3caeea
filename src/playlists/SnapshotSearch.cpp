#include "playlists/SnapshotSearch.h"

#include "playlists/PlaylistSearchIndex.h"

namespace varno {

std::optional<SearchResults> searchSnapshot(snapshot::Mapping& mapping, const QString& query, const QList<Playlist>& playlists)
{
    SearchResults results;
    results.query = query;
    const QString key = searchKey(query);
    // Accents alone: there is no letter to look for.
    if (key.isEmpty())
        return results;
    const std::optional<SongSearchView> view = mapping.searchView();
    if (!view)
        return std::nullopt;
    const SongSearchView::Hits hits = view->find(key);

    using Field = snapshot::Mapping::NameField;
    for (const auto& [field, positions, names] : {std::tuple {Field::artist, &hits.artists, &results.artists},
                                                  std::tuple {Field::album, &hits.albums, &results.albums},
                                                  std::tuple {Field::genre, &hits.genres, &results.genres}}) {
        names->reserve(static_cast<qsizetype>(positions->size()));
        for (const std::uint32_t i : *positions) {
            std::optional<QString> name = mapping.name(field, i);
            if (!name)
                return std::nullopt;
            names->append(std::move(*name));
        }
    }

    // A query that finds much of the library is cheaper built all at once,
    // texts shared, than song by song.
    if (hits.songs.size() > mapping.songCount() / 8) {
        const std::optional<TrackList> all = mapping.songs();
        if (!all)
            return std::nullopt;
        QList<SharedTrack> found;
        found.reserve(static_cast<qsizetype>(hits.songs.size()));
        for (const std::uint32_t i : hits.songs)
            found.append(all->shared(i));
        results.songs = TrackList(std::move(found));
    } else {
        auto block = std::make_shared<std::vector<Track>>(hits.songs.size());
        QList<SharedTrack> found;
        found.reserve(static_cast<qsizetype>(hits.songs.size()));
        for (std::size_t n = 0; n < hits.songs.size(); ++n) {
            std::optional<Track> song = mapping.song(hits.songs[n]);
            if (!song)
                return std::nullopt;
            (*block)[n] = std::move(*song);
            found.append(SharedTrack(block, &(*block)[n]));
        }
        results.songs = TrackList(std::move(found));
    }
    results.playlists = PlaylistSearchIndex(playlists).find(key);
    return results;
}

} // namespace varno
