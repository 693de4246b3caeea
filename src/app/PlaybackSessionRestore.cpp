#include "PlaybackSessionRestore.h"

#include <QHash>

#include <algorithm>

namespace varno {

std::optional<RestoredPlaybackSession> resolvePlaybackSession(const PlaybackStateSnapshot& snapshot,
                                                             const TrackList& songs)
{
    QHash<QUuid, const SharedTrack*> byID;
    byID.reserve(static_cast<qsizetype>(songs.size()));
    // The first song with an id wins, as a search in library order would.
    for (const SharedTrack& song : songs.sharedSongs())
        if (!byID.contains(song->id))
            byID.insert(song->id, &song);

    auto resolve = [&](const std::vector<QUuid>& ids, const QUuid* without) {
        TrackList resolved;
        resolved.reserve(ids.size());
        for (const QUuid& id : ids) {
            if (without && id == *without)
                continue;
            if (const SharedTrack* song = byID.value(id))
                resolved.append(*song);
        }
        return resolved;
    };

    std::vector<QUuid> candidates;
    if (snapshot.currentTrackID)
        candidates.push_back(*snapshot.currentTrackID);
    candidates.insert(candidates.end(), snapshot.upcomingTrackIDs.begin(), snapshot.upcomingTrackIDs.end());
    const auto first = std::find_if(candidates.begin(), candidates.end(), [&](const QUuid& id) { return byID.contains(id); });
    if (first == candidates.end())
        return std::nullopt;

    RestoredPlaybackSession session;
    session.currentTrack = *byID.value(*first);
    const QUuid currentID = session.currentTrack->id;
    session.upcoming = resolve(snapshot.upcomingTrackIDs, &currentID);
    session.history = resolve(snapshot.historyTrackIDs, &currentID);
    if (snapshot.playbackOrderTrackIDs)
        session.playbackOrder = resolve(*snapshot.playbackOrderTrackIDs, nullptr);
    session.repeatMode = repeatModeFromRawValue(snapshot.repeatMode).value_or(RepeatMode::Off);
    session.shuffleMode = shuffleModeFromRawValue(snapshot.shuffleMode).value_or(ShuffleMode::Off);
    session.volume = std::clamp(snapshot.volume.value_or(1.0f), 0.0f, 1.0f);
    session.currentTime = snapshot.currentTime;
    return session;
}

} // namespace varno
