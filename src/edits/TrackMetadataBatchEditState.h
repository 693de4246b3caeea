#pragma once

#include "edits/ArtworkBatchSnapshot.h"
#include "edits/SharedArtworkChange.h"
#include "edits/TrackMetadataBatch.h"
#include "storage/Track.h"

#include <optional>
#include <vector>

namespace varno {

// What a shared metadata edit needs to undo itself: the songs as they were
// before the edit and, when the covers are replaced, the covers they had.
struct TrackMetadataBatchEditState {
    std::vector<Track> tracks;
    std::optional<ArtworkBatchSnapshot> artwork;

    // Throws TrackMetadataBatchEditError::inconsistentArtworkState unless the
    // recorded songs are exactly the batch's songs and a cover snapshot is
    // present whenever `artworkChange` replaces the covers; a snapshot of
    // other songs throws ArtworkBatchTransactionError::invalidSnapshot.
    void checkMatches(const TrackMetadataBatch& batch, const SharedArtworkChange& artworkChange) const;

    friend bool operator==(const TrackMetadataBatchEditState&, const TrackMetadataBatchEditState&) = default;
};

} // namespace varno
