#pragma once

#include <QString>

namespace varno::cli {

// `text` from a tag or a file name, made safe to print on a terminal: every
// control character (C0, DEL, C1), bidirectional override and line or
// paragraph separator is written as a visible escape ("\e", "\r", "\n",
// "\t", "\x7f", "\u202e"), so a tag can neither drive the terminal nor
// forge a line of output. Everything else is kept as it is. JSON output
// escapes on its own and does not go through this.
QString terminalSafe(const QString& text);

} // namespace varno::cli
