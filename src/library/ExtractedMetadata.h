#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace varno {

// What one read of an audio file yields for the library.
struct ExtractedMetadata {
    double duration = 0;
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> genre;
    std::optional<std::int64_t> year;
    std::optional<std::int64_t> trackNumber;
    std::optional<std::int64_t> discNumber;
    std::optional<QString> composer;
    std::optional<QString> albumArtist;
    std::optional<QString> comments;
    std::optional<std::int64_t> bpm;
    std::optional<std::int64_t> bitrate;    // kilobits per second
    std::optional<std::int64_t> sampleRate; // hertz

    friend bool operator==(const ExtractedMetadata&, const ExtractedMetadata&) = default;
};

} // namespace varno
