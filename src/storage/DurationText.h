#pragma once

#include <QString>

namespace varno {

// A length of time as a clock reads it: "m:ss" below an hour, "h:mm:ss"
// from an hour on, rounded to the nearest second (halves away from zero).
// Anything that is not a finite positive number reads "0:00", and lengths
// beyond any song's are capped rather than overflowing, since a damaged or
// hand-edited library may hold any number. The song editors, the player bar
// and varno-cli all print durations through this. Pure, any thread.
QString clockText(double seconds);

} // namespace varno
