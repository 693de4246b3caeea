#include "PlaylistRecordChanges.h"

#include "playlists/PlaylistError.h"

#include <QSet>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace varno {

PlaylistRecord& recordWithID(std::vector<PlaylistRecord>& records, const QUuid& id)
{
    const auto found = std::find_if(records.begin(), records.end(), [&](const PlaylistRecord& r) { return r.id == id; });
    if (found == records.end())
        throw PlaylistError::playlistNotFound();
    return *found;
}

void upsertRecord(std::vector<PlaylistRecord>& records, const PlaylistRecord& record)
{
    const auto found = std::find_if(records.begin(), records.end(), [&](const PlaylistRecord& r) { return r.id == record.id; });
    if (found != records.end())
        *found = record;
    else
        records.push_back(record);
}

void removeWithDescendants(std::vector<PlaylistRecord>& records, const QUuid& id)
{
    // Passes over the whole list until one adds nothing, so a child stored
    // before its parent is found too; a cycle of parents ends because the
    // set only grows.
    QSet<QUuid> doomed {id};
    bool grew = true;
    while (grew) {
        grew = false;
        for (const PlaylistRecord& record : records) {
            if (record.parentFolderID && doomed.contains(*record.parentFolderID) && !doomed.contains(record.id)) {
                doomed.insert(record.id);
                grew = true;
            }
        }
    }
    std::erase_if(records, [&](const PlaylistRecord& record) { return doomed.contains(record.id); });
}

void moveRecord(std::vector<PlaylistRecord>& records, const QUuid& id, const std::optional<QUuid>& toFolder, qsizetype atIndex)
{
    const auto found = std::find_if(records.begin(), records.end(), [&](const PlaylistRecord& r) { return r.id == id; });
    if (found == records.end())
        throw PlaylistError::playlistNotFound();
    // Following the target's parents up must not meet the record moved; the
    // set of folders passed ends a loop a hand-edited file may hold.
    QSet<QUuid> passed;
    for (std::optional<QUuid> at = toFolder; at && !passed.contains(*at);) {
        if (*at == id)
            throw PlaylistError::invalidOperation();
        passed.insert(*at);
        const auto parent = std::find_if(records.begin(), records.end(), [&](const PlaylistRecord& r) { return r.id == *at; });
        at = parent == records.end() ? std::nullopt : parent->parentFolderID;
    }

    PlaylistRecord moved = std::move(*found);
    records.erase(found);
    moved.parentFolderID = toFolder;
    moved.displayOrderIndex = atIndex;
    qsizetype siblings = 0;
    auto place = records.end();
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (it->parentFolderID != toFolder)
            continue;
        if (siblings++ == atIndex) {
            place = it;
            break;
        }
    }
    records.insert(place, std::move(moved));
}

namespace {

// Which stored songs the songs at `positions` of `shown` are now, by the
// rules removeShownSongs states.
std::vector<bool> findShownSongs(const QList<QUuid>& songs, const QList<QUuid>& shown, QList<qsizetype> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    std::vector<bool> found(static_cast<std::size_t>(songs.size()), false);
    std::vector<std::pair<qsizetype, QUuid>> moved;
    // Songs still where they were shown are placed first, so that looking
    // for another song's nearest occurrence cannot take one of them.
    for (const qsizetype at : positions) {
        if (at < 0 || at >= shown.size())
            continue;
        if (at < songs.size() && songs[at] == shown[at])
            found[static_cast<std::size_t>(at)] = true;
        else
            moved.emplace_back(at, shown[at]);
    }
    for (const auto& [at, id] : moved) {
        qsizetype nearest = -1;
        for (qsizetype i = 0; i < songs.size(); ++i) {
            // Strictly nearer only, so of two as near the earlier one wins.
            if (songs[i] == id && !found[static_cast<std::size_t>(i)] && (nearest < 0 || std::abs(i - at) < std::abs(nearest - at)))
                nearest = i;
        }
        if (nearest >= 0)
            found[static_cast<std::size_t>(nearest)] = true;
    }
    return found;
}

} // namespace

void removeShownSongs(QList<QUuid>& songs, const QList<QUuid>& shown, QList<qsizetype> positions)
{
    const std::vector<bool> doomed = findShownSongs(songs, shown, std::move(positions));
    // Highest first, so each removal leaves the ones still to come where
    // they are.
    for (qsizetype i = songs.size() - 1; i >= 0; --i) {
        if (doomed[static_cast<std::size_t>(i)])
            songs.removeAt(i);
    }
}

void moveShownSongs(QList<QUuid>& songs, const QList<QUuid>& shown, QList<qsizetype> positions, qsizetype before)
{
    const QSet<qsizetype> moving(positions.cbegin(), positions.cend());
    // The song the moved ones go before is the first shown from `before` on
    // that does not move itself.
    qsizetype anchor = std::max<qsizetype>(before, 0);
    while (anchor < shown.size() && moving.contains(anchor))
        ++anchor;
    const std::vector<bool> moved = findShownSongs(songs, shown, std::move(positions));
    qsizetype anchorAt = songs.size();
    if (anchor < shown.size()) {
        if (anchor < songs.size() && songs[anchor] == shown[anchor] && !moved[static_cast<std::size_t>(anchor)]) {
            anchorAt = anchor;
        } else {
            qsizetype nearest = -1;
            for (qsizetype i = 0; i < songs.size(); ++i) {
                if (songs[i] == shown[anchor] && !moved[static_cast<std::size_t>(i)] && (nearest < 0 || std::abs(i - anchor) < std::abs(nearest - anchor)))
                    nearest = i;
            }
            if (nearest >= 0)
                anchorAt = nearest;
        }
    }
    QList<QUuid> going;
    QList<QUuid> staying;
    qsizetype insertAt = -1;
    for (qsizetype i = 0; i < songs.size(); ++i) {
        if (i == anchorAt)
            insertAt = staying.size();
        (moved[static_cast<std::size_t>(i)] ? going : staying).push_back(songs[i]);
    }
    if (insertAt < 0)
        insertAt = staying.size();
    for (qsizetype i = 0; i < going.size(); ++i)
        staying.insert(insertAt + i, going[i]);
    songs = std::move(staying);
}

void insertSongsAt(QList<QUuid>& songs, const QList<QUuid>& ids, const QList<qsizetype>& positions)
{
    Q_ASSERT(ids.size() == positions.size());
    std::vector<std::pair<qsizetype, QUuid>> putBack;
    for (qsizetype i = 0; i < ids.size() && i < positions.size(); ++i)
        putBack.emplace_back(positions[i], ids[i]);
    std::stable_sort(putBack.begin(), putBack.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [at, id] : putBack)
        songs.insert(std::clamp<qsizetype>(at, 0, songs.size()), id);
}

} // namespace varno
