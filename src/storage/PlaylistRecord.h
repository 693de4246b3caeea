#pragma once

#include "storage/Playlist.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace varno {

// One stored row of "playlist_records.json": a playlist, smart playlist or
// folder, with its place in the folder hierarchy kept as a parent reference.
struct PlaylistRecord {
    QUuid id;
    QString name;
    std::optional<QUuid> parentFolderID;
    bool isFolder = false;
    bool isSmart = false;
    std::optional<QString> smartCriteria;
    // The rules of a smart playlist as data, beside the criteria text that
    // stays the readable form; absent in records written before rules were
    // kept, whose criteria text is read back instead.
    std::optional<SmartRuleSet> smartRules;
    bool isFavorite = false;
    std::optional<QString> description;
    QStringList tags;
    QList<QUuid> trackIDs;
    // Written by the playlist engine and kept, but the tree is ordered by
    // name, never by this.
    std::int64_t displayOrderIndex = 0;

    friend bool operator==(const PlaylistRecord&, const PlaylistRecord&) = default;

    // A folder flag wins over a smart one; a smart record without criteria
    // is a smart playlist with empty criteria. A smart record without rules
    // takes the rules its criteria text reads as, if any. Children are left
    // empty for the tree builder.
    Playlist toPlaylist() const;
    // The parent and the position are the caller's to give: each operation
    // decides what it writes there.
    static PlaylistRecord from(const Playlist& playlist, const std::optional<QUuid>& parentFolderID, std::int64_t displayOrderIndex);
};

} // namespace varno
