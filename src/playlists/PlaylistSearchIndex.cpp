#include "playlists/PlaylistSearchIndex.h"

namespace varno {

PlaylistSearchIndex::PlaylistSearchIndex(const QList<Playlist>& playlists)
    : m_playlists(playlists)
{
    std::size_t codeUnits = 0;
    for (const Playlist& playlist : playlists)
        codeUnits += static_cast<std::size_t>(playlist.name.size());
    m_names.reserve(static_cast<std::size_t>(playlists.size()), codeUnits);
    for (const Playlist& playlist : playlists)
        m_names.append(playlist.name);
}

QList<Playlist> PlaylistSearchIndex::find(QStringView key) const
{
    std::vector<std::uint32_t> found;
    m_names.findContaining(key, found);
    if (found.size() == static_cast<std::size_t>(m_playlists.size()))
        return m_playlists;
    QList<Playlist> playlists;
    playlists.reserve(static_cast<qsizetype>(found.size()));
    for (const std::uint32_t i : found)
        playlists.append(m_playlists[static_cast<qsizetype>(i)]);
    return playlists;
}

} // namespace varno
