#pragma once

#include <QVariant>

#include <optional>

namespace varno {

// Reading back what the preference store holds. Its INI file keeps no
// types: a boolean or a number it wrote reads back as text, and so does one
// typed in by hand, so each reader accepts the value's own type and the text
// that spells it exactly, and nothing else.

// "true" or "false".
std::optional<bool> storedBool(const QVariant& value);
// A finite number, or text that reads entirely as one.
std::optional<double> storedNumber(const QVariant& value);

} // namespace varno
