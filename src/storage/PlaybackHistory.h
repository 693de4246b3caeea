#pragma once

#include "storage/Timestamp.h"

#include <QUuid>

namespace varno {

// One play event of the history file.
struct PlaybackHistory {
    QUuid trackID;
    Timestamp timestamp;

    friend bool operator==(const PlaybackHistory&, const PlaybackHistory&) = default;
};

} // namespace varno
