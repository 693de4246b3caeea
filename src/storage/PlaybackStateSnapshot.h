#pragma once

#include "storage/Timestamp.h"

#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace varno {

// The saved playback session: the queue's lists, its modes as their stored
// texts, the position and the volume.
struct PlaybackStateSnapshot {
    std::optional<QUuid> currentTrackID;
    std::vector<QUuid> upcomingTrackIDs;
    std::vector<QUuid> historyTrackIDs;
    std::optional<std::vector<QUuid>> playbackOrderTrackIDs;
    QString repeatMode;
    QString shuffleMode;
    double currentTime = 0;
    bool isPlaying = false;
    std::optional<float> volume;
    std::optional<Timestamp> savedAt;

    friend bool operator==(const PlaybackStateSnapshot&, const PlaybackStateSnapshot&) = default;
};

} // namespace varno
