#pragma once

#include <QUuid>

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
