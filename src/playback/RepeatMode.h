#pragma once

#include <QString>

#include <optional>

namespace varno {

// Stored in the playback session as its raw text.
enum class RepeatMode { Off, Track, All };

QString rawValue(RepeatMode mode);
// Only the exact stored texts name a mode.
std::optional<RepeatMode> repeatModeFromRawValue(const QString& text);

} // namespace varno
