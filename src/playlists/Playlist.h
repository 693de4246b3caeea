#pragma once

#include "playlists/PlaylistType.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <vector>

namespace varno {

// The in-memory playlist model. Songs and child playlists are referred to by
// identifier; the same song may appear more than once.
struct Playlist {
    QUuid id;
    QString name;
    std::optional<QString> description;
    QStringList tags;
    bool isFavorite = false;
    PlaylistType type = PlaylistType::standard();
    std::vector<QUuid> trackIDs;
    std::vector<QUuid> childrenIDs;

    friend bool operator==(const Playlist&, const Playlist&) = default;
};

} // namespace varno
