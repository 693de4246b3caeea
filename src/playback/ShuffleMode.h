#pragma once

#include <QString>

namespace varno {

// Stored in the playback session as its raw text.
enum class ShuffleMode { Off, Standard, Smart };

QString rawValue(ShuffleMode mode);
// Text that names no mode gives Off.
ShuffleMode shuffleModeFromRawValue(const QString& text);

} // namespace varno
