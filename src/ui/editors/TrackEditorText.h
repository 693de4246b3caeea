#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace varno {

// How the song editors show and read numbers typed as text. Pure functions,
// any thread.

// The duration as every other place shows it (clockText).
QString formatDurationText(double seconds);

// Seconds from the editor's duration field, or nothing when the text is not
// a duration. Blank text is 0. With colons: two or three whole numbers
// ("3:07", "1:02:03"), signs allowed and the pieces not range-checked, so
// "1:75" is 135 seconds and "-1:00" is -60 (which the library then refuses).
// Without: a decimal number of seconds that is not negative ("215.5"). A
// total beyond what 64 bits hold is not a duration.
std::optional<double> parseDurationText(const QString& text);

// A whole decimal number with an optional sign, trimmed, within 64 bits.
// Nothing for blank text or anything else (see isWholeNumberText).
std::optional<std::int64_t> parseWholeNumber(const QString& text);
// Blank, or a whole number as parseWholeNumber reads it.
bool isBlankOrWholeNumber(const QString& text);

} // namespace varno
