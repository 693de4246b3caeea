#pragma once

#include "playlists/SearchResults.h"
#include "storage/TrackSnapshot.h"

#include <optional>

namespace varno {

// What OstrelSearchEngine would find for `query` in the library the
// snapshot holds and in `playlists` (in tree order), read where the snapshot
// lies: only the songs found are built. For a caller that searches once and
// has not loaded the library, such as the command line. Absent when a part
// of the snapshot the search reads turns out damaged.
std::optional<SearchResults> searchSnapshot(snapshot::Mapping& mapping, const QString& query, const QList<Playlist>& playlists);

} // namespace varno
