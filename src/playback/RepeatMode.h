#pragma once

#include <QString>

namespace varno {

// Stored in the playback session as its raw text.
enum class RepeatMode { Off, Track, All };

QString rawValue(RepeatMode mode);
// Text that names no mode gives Off, so an old or hand-edited session loads.
RepeatMode repeatModeFromRawValue(const QString& text);

} // namespace varno
