#pragma once

#include "media/Waveform.h"
#include "storage/Json.h"

#include <string>
#include <string_view>

namespace varno::json {

// The cache file's form: {"peaks":[…],"trackID":"UPPER-CASE-UUID"}, compact,
// "peaks" first. Throws EncodingError for a peak that is not a finite number.
std::string encodeWaveform(const Waveform& waveform);

// Reads that form as any encoder may have written it: keys in either order,
// unknown keys ignored, numbers in any JSON notation. Both keys are
// required, and every peak must be a number in 0...1. Throws DecodingError.
Waveform decodeWaveform(const fileio::FileBytes& bytes, std::string_view fileName);

} // namespace varno::json
