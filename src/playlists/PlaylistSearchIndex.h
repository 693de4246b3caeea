#pragma once

#include "storage/SearchColumn.h"
#include "storage/Playlist.h"

#include <QList>

namespace varno {

// The playlists' names in search form, prepared once per playlist list.
class PlaylistSearchIndex {
public:
    PlaylistSearchIndex() = default;
    explicit PlaylistSearchIndex(const QList<Playlist>& playlists);

    // Playlists, in list order, whose name contains `key`, a non-empty text
    // in search form (searchKey()).
    QList<Playlist> find(QStringView key) const;

private:
    QList<Playlist> m_playlists;
    SearchColumn m_names;
};

} // namespace varno
