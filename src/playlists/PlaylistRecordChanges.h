#pragma once

#include "storage/PlaylistRecord.h"

#include <QList>
#include <QUuid>

#include <optional>
#include <vector>

namespace varno {

// Changes of the stored records, made to the records as they are on disk
// when the change's turn comes (under the state lock), not to a copy read
// earlier. Plain functions on plain values: the store runs them on its
// worker.

// The first record with this id. Throws PlaylistError::playlistNotFound
// when there is none: another process may have deleted it.
PlaylistRecord& recordWithID(std::vector<PlaylistRecord>& records, const QUuid& id);

// Replaces the first record with the same id in place, else appends.
void upsertRecord(std::vector<PlaylistRecord>& records, const PlaylistRecord& record);

// Removes the record and everything below it in the folder hierarchy,
// however the records are ordered.
void removeWithDescendants(std::vector<PlaylistRecord>& records, const QUuid& id);

// Puts the record into `toFolder` (the top level when absent) as the
// `atIndex`-th of the records there, in stored order (the order a folder
// lists its children in); past the last one it goes last. `atIndex` is also
// written as its display order index. A folder cannot go into itself or
// anything inside it: that throws PlaylistError::invalidOperation and
// changes nothing.
void moveRecord(std::vector<PlaylistRecord>& records, const QUuid& id, const std::optional<QUuid>& toFolder, qsizetype atIndex);

// Removes from `songs` (a playlist's song ids as stored now) the songs that
// were at `positions` of `shown` (the same playlist as the caller saw it).
// When the list did not change meanwhile, that is exactly the songs at those
// positions. Otherwise each song shown goes from where it is now: from the
// same position when it is still there, else its occurrence nearest to that
// position (the earlier one of two as near, since songs going before it are
// what moves a song; adding only appends). A song no longer in the list
// removes nothing, so a removal never takes a song the caller did not see
// there. Positions outside `shown`, and a position given twice, count once
// or not at all.
void removeShownSongs(QList<QUuid>& songs, const QList<QUuid>& shown, QList<qsizetype> positions);

// Moves the songs that were at `positions` of `shown`, keeping their order,
// to just before the song shown at `before` (the end when `before` is past
// the last one, or when every song from there on moves too). The songs are
// found in `songs` as removeShownSongs finds them, and so is the song they
// go before; when that one is gone they go to the end. Songs no longer in
// the list move nothing.
void moveShownSongs(QList<QUuid>& songs, const QList<QUuid>& shown, QList<qsizetype> positions, qsizetype before);

// Puts `ids[i]` back at `positions[i]`, in ascending order of position, each
// position counted in the list as it is once the ones before it are back:
// what undoes a removal when nothing changed meanwhile. A position past the
// end appends.
void insertSongsAt(QList<QUuid>& songs, const QList<QUuid>& ids, const QList<qsizetype>& positions);

} // namespace varno
