#pragma once

#include "storage/Track.h"

#include <optional>

namespace varno {

// The outcome of importing one file: a new song, or why it failed ("name: reason").
struct TrackImportResult {
    std::optional<Track> track;
    std::optional<QString> failureDescription;
};

} // namespace varno
