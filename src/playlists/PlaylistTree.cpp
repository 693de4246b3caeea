#include "PlaylistTree.h"

#include <QCollator>
#include <QSet>

#include <algorithm>

namespace varno {

namespace {

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

// Where following a playlist's parents ends.
enum class Ending { Unknown, TopLevel, MissingFolder, Loop };

} // namespace

PlaylistTree PlaylistTree::build(const std::vector<PlaylistRecord>& records, const QCollator* collator)
{
    PlaylistTree tree;
    std::vector<const PlaylistRecord*> used;
    used.reserve(records.size());
    QHash<QUuid, int> copies;
    copies.reserve(qsizetype(records.size()));
    tree.byID.reserve(qsizetype(records.size()));
    for (const PlaylistRecord& record : records) {
        if (++copies[record.id] > 1)
            continue;
        used.push_back(&record);
        tree.byID.insert(record.id, record.toPlaylist());
    }
    for (auto it = copies.cbegin(); it != copies.cend(); ++it) {
        if (it.value() > 1)
            tree.problems << QStringLiteral("playlist_records.json holds %1 records with the id %2 (%3); only the first one is used.")
                                 .arg(it.value())
                                 .arg(it.key().toString(QUuid::WithoutBraces).toUpper(), quoted(tree.byID.value(it.key()).name));
    }

    for (const PlaylistRecord* record : used) {
        if (record->parentFolderID) {
            const auto parent = tree.byID.find(*record->parentFolderID);
            if (parent != tree.byID.end())
                parent->childrenIDs.push_back(record->id);
        }
    }

    QHash<QUuid, const PlaylistRecord*> recordOf;
    recordOf.reserve(qsizetype(used.size()));
    for (const PlaylistRecord* record : used)
        recordOf.insert(record->id, record);

    // Follows each playlist's parents up to the top level. What one walk
    // learns is kept for every playlist it passed, so the pass is linear and
    // each hidden group is described once.
    QHash<QUuid, Ending> endings;
    endings.reserve(qsizetype(used.size()));
    for (const PlaylistRecord* record : used) {
        // Most playlists sit at the top level: nothing to follow.
        if (!record->parentFolderID) {
            endings.insert(record->id, Ending::TopLevel);
            continue;
        }
        QList<QUuid> path;
        QSet<QUuid> onPath;
        const PlaylistRecord* at = record;
        Ending ending = Ending::Unknown;
        while (ending == Ending::Unknown) {
            if (const auto known = endings.constFind(at->id); known != endings.cend()) {
                ending = *known;
                break;
            }
            if (onPath.contains(at->id)) {
                ending = Ending::Loop;
                QStringList names;
                for (qsizetype i = path.indexOf(at->id); i < path.size(); ++i)
                    names << quoted(recordOf.value(path[i])->name);
                tree.problems << QStringLiteral("The folders %1 are inside each other, so they and what they hold are not shown; "
                                                "playlist_records.json still has them.")
                                     .arg(names.join(QStringLiteral(", ")));
                break;
            }
            path.push_back(at->id);
            onPath.insert(at->id);
            if (!at->parentFolderID) {
                ending = Ending::TopLevel;
            } else if (const PlaylistRecord* parent = recordOf.value(*at->parentFolderID)) {
                at = parent;
            } else {
                ending = Ending::MissingFolder;
                tree.problems << QStringLiteral("%1 is inside a folder that is no longer stored, so it and what it holds are not shown; "
                                                "playlist_records.json still has it.")
                                     .arg(quoted(at->name));
            }
        }
        for (const QUuid& passed : path)
            endings.insert(passed, ending);
    }

    for (const PlaylistRecord* record : used) {
        if (!record->parentFolderID)
            tree.roots.push_back(tree.byID.value(record->id));
    }
    if (collator)
        std::stable_sort(tree.roots.begin(), tree.roots.end(),
                         [&](const Playlist& a, const Playlist& b) { return collator->compare(a.name, b.name) < 0; });
    return tree;
}

void walkPlaylistTree(const QList<Playlist>& roots, const QHash<QUuid, Playlist>& byID,
                      const std::function<void(const Playlist&, int depth)>& visit)
{
    QSet<QUuid> seen;
    const std::function<void(const Playlist&, int)> walk = [&](const Playlist& playlist, int depth) {
        if (seen.contains(playlist.id))
            return;
        seen.insert(playlist.id);
        visit(playlist, depth);
        for (const QUuid& child : playlist.childrenIDs) {
            if (const auto found = byID.constFind(child); found != byID.cend())
                walk(*found, depth + 1);
        }
    };
    for (const Playlist& root : roots)
        walk(root, 0);
}

} // namespace varno
