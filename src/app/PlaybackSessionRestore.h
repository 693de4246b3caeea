#pragma once

#include "playback/RepeatMode.h"
#include "playback/ShuffleMode.h"
#include "storage/PlaybackStateSnapshot.h"
#include "storage/TrackList.h"

#include <optional>
#include <vector>

namespace varno {

// A saved session resolved against the songs that still exist: what the
// queue engine and the audio engine are handed at start.
struct RestoredPlaybackSession {
    SharedTrack currentTrack;
    TrackList upcoming;
    TrackList history;
    std::optional<TrackList> playbackOrder;
    RepeatMode repeatMode = RepeatMode::Off;
    ShuffleMode shuffleMode = ShuffleMode::Off;
    float volume = 1.0f;
    double currentTime = 0;
};

inline const QString kLastTrackUnavailableMessage =
    QStringLiteral("The last track is no longer available. Your library was left unchanged.");

// Resolves the snapshot's identifiers through `songs`. Absent when none of the
// current and upcoming songs exists any more. A missing current song is
// replaced by the first upcoming song that exists; unknown identifiers are
// dropped everywhere; the volume is clamped to 0...1 (1 when absent).
std::optional<RestoredPlaybackSession> resolvePlaybackSession(const PlaybackStateSnapshot& snapshot,
                                                             const TrackList& songs);

} // namespace varno
