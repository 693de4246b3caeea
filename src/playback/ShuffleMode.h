#pragma once

#include <QString>

#include <optional>

namespace varno {

// Stored in the playback session as its raw text.
enum class ShuffleMode { Off, Standard, Smart };

QString rawValue(ShuffleMode mode);
// Only the exact stored texts name a mode.
std::optional<ShuffleMode> shuffleModeFromRawValue(const QString& text);

} // namespace varno
