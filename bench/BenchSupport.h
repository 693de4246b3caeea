#pragma once

#include "storage/Track.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace varno::bench {

// A library of `count` songs with the fields a real collection has: tags on
// most songs, a bookmark on every one, a few long comments.
std::vector<Track> syntheticLibrary(std::size_t count);

// Peak resident memory since the last reset, and the current one, in bytes.
std::size_t peakResidentBytes();
std::size_t residentBytes();
void resetPeakResident();

} // namespace varno::bench
