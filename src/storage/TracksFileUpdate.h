#pragma once

#include "storage/TrackList.h"

#include <cstddef>
#include <optional>

namespace varno {

// What one write of the tracks file found and left. Other processes (the
// command-line tool, a second window) may write the same file; every write
// holds the state lock from its read to its rename, so these facts are
// exact at the moment of the write.
struct TracksFileUpdate {
    // The songs the file holds after the write.
    std::size_t storedCount = 0;
    // The whole library as written, when it is not simply what this manager
    // last read or wrote with the given change applied: another process
    // changed the file meanwhile, songs were left out as already known, or
    // an update found songs no longer stored (then it is the file as it
    // stands, unchanged). The caller takes it as its new list. Absent
    // otherwise.
    std::optional<TrackList> library;
    // Of an update of edited songs, those the file no longer holds: another
    // process removed them. An update that finds any writes nothing, so a
    // removed song is never brought back by an edit.
    TrackList notStored;
    // Of a fill of tag fields, the records it changed, as written.
    TrackList filled;
};

} // namespace varno
