#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace varno {

// How the song editors show and read numbers typed as text. Pure functions,
// any thread.

// The duration as every other place shows it (clockText).
QString formatDurationText(double seconds);

// The longest duration the editor takes: a day.
inline constexpr double kLongestDuration = 24 * 3600;

// Seconds from the editor's duration field, or nothing when the text is not
// a duration. Blank text is 0. With colons: minutes and seconds ("3:07") or
// hours, minutes and seconds ("1:02:03"), whole numbers, the ones after the
// first from 0 to 59 ("1:75" and "99:99" are not durations). Without: a
// decimal number of seconds ("215.5"). Nothing negative and nothing beyond
// kLongestDuration.
std::optional<double> parseDurationText(const QString& text);
// Why the text is not a duration, to show beside the field; nothing when it
// is one.
std::optional<QString> durationTextProblem(const QString& text);

// A whole decimal number with an optional sign, trimmed, within 64 bits.
// Nothing for blank text or anything else (see isWholeNumberText).
std::optional<std::int64_t> parseWholeNumber(const QString& text);
// Blank, or a whole number as parseWholeNumber reads it.
bool isBlankOrWholeNumber(const QString& text);
// What a field that takes a whole number says about anything else.
inline const QString kWholeNumberProblem = QStringLiteral("Must be a whole number, or blank.");

} // namespace varno
