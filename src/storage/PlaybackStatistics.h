#pragma once

#include "storage/Timestamp.h"

#include <cstdint>
#include <optional>

namespace varno {

// How often a song was played and when last, computed from the history file.
struct PlaybackStatistics {
    std::int64_t playCount = 0;
    std::optional<Timestamp> lastPlayedDate;

    friend bool operator==(const PlaybackStatistics&, const PlaybackStatistics&) = default;
};

} // namespace varno
