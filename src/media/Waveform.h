#pragma once

#include "storage/Json.h"

#include <QUuid>

#include <string>
#include <string_view>
#include <vector>

namespace varno {

// The peaks of one song at one resolution, as the player bar draws them:
// one value per point, each the loudest sample of its share of the song
// relative to the loudest of all, so every value is in 0...1. A plain value;
// its identity is the song's, but equality and hashing cover both fields.
struct Waveform {
    std::vector<float> peaks;
    QUuid trackID;

    const QUuid& id() const { return trackID; }

    friend bool operator==(const Waveform&, const Waveform&) = default;
};

size_t qHash(const Waveform& waveform, size_t seed = 0) noexcept;

} // namespace varno

namespace varno::json {

// The cache file's form: {"peaks":[…],"trackID":"UPPER-CASE-UUID"}, compact,
// "peaks" first. Throws EncodingError for a peak that is not a finite number.
std::string encodeWaveform(const Waveform& waveform);

// Reads that form as any encoder may have written it: keys in either order,
// unknown keys ignored, numbers in any JSON notation. Both keys are
// required, and every peak must be a number in 0...1. Throws DecodingError.
Waveform decodeWaveform(const fileio::FileBytes& bytes, std::string_view fileName);

} // namespace varno::json
