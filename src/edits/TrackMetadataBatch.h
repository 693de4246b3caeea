#pragma once

#include "storage/Track.h"

#include <QUuid>

#include <vector>

namespace varno {

// The songs selected for one opening of the shared metadata editor. Every
// opening gets a new identifier, so a save can tell whether the editor it
// was started from is still the one shown.
struct TrackMetadataBatch {
    QUuid id;
    std::vector<Track> tracks;

    friend bool operator==(const TrackMetadataBatch&, const TrackMetadataBatch&) = default;
};

} // namespace varno
