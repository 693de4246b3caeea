#pragma once

#include "storage/Playlist.h"
#include "storage/PlaylistRecord.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <vector>

class QCollator;

namespace varno {

// The playlists of the stored records as the sidebar shows them: the top
// level ordered by name, each folder knowing its children in stored order.
//
// A hand-edited file may hold what a tree cannot: several records with one
// id (the first one is used), a record whose folder is gone (kept in the
// file, not shown) or folders inside each other (kept, not shown). Each is
// described in `problems`, so nobody wonders where a playlist went.
struct PlaylistTree {
    QList<Playlist> roots;
    // Every playlist of the file by id, shown or not.
    QHash<QUuid, Playlist> byID;
    QStringList problems;

    // Top-level entries sorted with `collator`, stably: equal names keep
    // their stored order. Without one they stay in stored order, for a
    // caller that puts them in an order of its own (comparing names in the
    // user's language is most of what building costs).
    static PlaylistTree build(const std::vector<PlaylistRecord>& records, const QCollator* collator);
};

// Visits `roots` and everything inside them depth first, in tree order, with
// each entry's depth (0 for the top level). Each playlist is visited once,
// so a tree that still holds a loop cannot make the walk endless.
void walkPlaylistTree(const QList<Playlist>& roots, const QHash<QUuid, Playlist>& byID,
                      const std::function<void(const Playlist&, int depth)>& visit);

} // namespace varno
