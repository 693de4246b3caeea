#pragma once

namespace varno {

// How songs are levelled from their ReplayGain tags: not at all, each by its
// own gain, or by its album's gain when the songs beside it in the queue are
// of the same album (a song alone plays at its own gain).
enum class ReplayGainMode { Off, Track, Album };

} // namespace varno
