#include "TrackMetadataBatchEditState.h"

#include "edits/TrackMetadataBatchEditError.h"

#include <QSet>

namespace varno {

void TrackMetadataBatchEditState::checkMatches(const TrackMetadataBatch& batch, const SharedArtworkChange& artworkChange) const
{
    QSet<QUuid> recorded;
    for (const Track& track : tracks)
        recorded.insert(track.id);
    QSet<QUuid> batchIds;
    for (const Track& track : batch.tracks)
        batchIds.insert(track.id);
    // The recorded songs are written back as they stand, so a repeated or
    // missing song would leave part of the batch without its undo.
    if (tracks.size() != batch.tracks.size() || recorded != batchIds)
        throw TrackMetadataBatchEditError::inconsistentArtworkState();
    if (!artworkChange.isUnchanged() && !artwork)
        throw TrackMetadataBatchEditError::inconsistentArtworkState();
    if (artwork)
        artwork->checkValidFor(batch.tracks);
}

} // namespace varno
