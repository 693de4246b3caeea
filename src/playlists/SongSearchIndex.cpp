#include "playlists/SongSearchIndex.h"

namespace varno {

std::shared_ptr<const SongSearchIndex> SongSearchIndex::build(const TrackList& tracks, const std::function<bool()>& abandoned)
{
    std::unique_ptr<SongSearchTable> table = SongSearchTable::build(tracks, abandoned);
    if (!table)
        return nullptr;
    auto index = std::make_shared<SongSearchIndex>();
    index->m_tracks = std::make_shared<const TrackList>(tracks);
    index->m_table = std::move(table);
    return index;
}

SongSearchIndex::Found SongSearchIndex::find(QStringView key) const
{
    const SongSearchView::Hits hits = m_table->view().find(key);
    Found found;
    const auto names = [](const std::vector<std::uint32_t>& positions, const SongSearchTable::Names& all, QStringList& out) {
        out.reserve(static_cast<qsizetype>(positions.size()));
        for (const std::uint32_t i : positions)
            out.append(all.names[static_cast<qsizetype>(i)]);
    };
    names(hits.artists, m_table->artists(), found.artists);
    names(hits.albums, m_table->albums(), found.albums);
    names(hits.genres, m_table->genres(), found.genres);

    if (hits.songs.size() == m_tracks->size()) {
        // Every song: the list itself, shared, with no pointer copied.
        found.songs = *m_tracks;
    } else {
        // Each song found shares the reference count of the whole list
        // searched, which keeps its songs alive. Copying a hundred thousand
        // pointers then writes one count, where the songs' own counts would
        // be a cache miss each, wherever the songs lie in memory; releasing
        // the results later is as cheap.
        QList<SharedTrack> songs;
        songs.reserve(static_cast<qsizetype>(hits.songs.size()));
        for (const std::uint32_t i : hits.songs)
            songs.emplaceBack(m_tracks, &(*m_tracks)[i]);
        found.songs = TrackList(std::move(songs));
    }
    return found;
}

} // namespace varno
