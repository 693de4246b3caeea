#pragma once

#include "storage/PlaylistType.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

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
    // Implicitly shared: copying a playlist of thousands of songs, or the list
    // of all playlists, copies no identifiers until one copy changes.
    QList<QUuid> trackIDs;
    QList<QUuid> childrenIDs;

    friend bool operator==(const Playlist&, const Playlist&) = default;
};

} // namespace varno
