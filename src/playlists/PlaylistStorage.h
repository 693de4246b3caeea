#pragma once

#include "storage/PlaylistRecord.h"

#include <QCoroTask>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

namespace varno {

// The playlist records, kept in one file that every operation reads whole
// and every change replaces whole: the file is the only truth, so another
// process's changes between two operations are picked up.
//
// Main thread only. Each operation suspends while its file work runs on the
// store's own serial worker, so operations apply in the order they were
// asked for. A missing file is an empty store; a file that exists but cannot
// be read or does not decode fails every operation with the reason and is
// never written over.
class PlaylistStorage {
public:
    virtual ~PlaylistStorage() = default;

    // Every record, in file order.
    virtual QCoro::Task<std::vector<PlaylistRecord>> fetchAllRecords() = 0;
    // The records directly inside `folder` (absent: the top level), in file order.
    virtual QCoro::Task<std::vector<PlaylistRecord>> fetchRecords(std::optional<QUuid> folder) = 0;
    // Replaces the first record with the same id in place, else appends.
    virtual QCoro::Task<> saveRecord(PlaylistRecord record) = 0;
    // saveRecord for each, in order, written once.
    virtual QCoro::Task<> saveRecords(std::vector<PlaylistRecord> records) = 0;
    // Removes every record with this id (and rewrites the file even when
    // there was none).
    virtual QCoro::Task<> deleteRecord(QUuid id) = 0;
    // Removes the record and everything below it in the folder hierarchy,
    // however the records are ordered in the file.
    virtual QCoro::Task<> deleteFolderRecursively(QUuid id) = 0;

    // A change of the records as they are when its turn comes. `change` is
    // handed the records the file holds then, read under the state lock,
    // and what it leaves is written before the lock is let go, so no other
    // process's change between the two is lost. Returns the records written.
    // `change` runs on the store's worker: it must own what it uses. When it
    // throws, nothing is written and the operation fails with its error.
    using RecordsChange = std::function<void(std::vector<PlaylistRecord>&)>;
    virtual QCoro::Task<std::vector<PlaylistRecord>> applyChange(RecordsChange change) = 0;

    // Whether the file now on disk is a version this store has neither read
    // nor written: another process changed it.
    virtual QCoro::Task<bool> changedElsewhere() = 0;
};

} // namespace varno
