#pragma once

#include "platform/FileIO.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// What the JSON layer refuses before it parses. The parser indexes every
// bracket, quote and comma of a document before it looks at any, and
// allocates by the document's size and depth: a damaged file of nothing but
// "[[[[" would cost several times its size in memory before it could be
// called broken. Both checks below cost one pass over the bytes at most and
// allocate nothing.
namespace varno::json {

// How deeply arrays and objects may nest in a document the JSON layer
// reads. No state file or stored value nests deeper than four levels; the
// rest is room for keys other writers add.
inline constexpr int kMaximumNesting = 8;

// Whether arrays and objects in `text` nest at most `limit` levels deep.
// Brackets inside strings do not count, and `text` need not be valid JSON.
bool nestsWithin(const char* text, std::size_t size, int limit);
// The same answer without the wide-vector kernel nestsWithin picks on
// processors that have it, so tests can hold the two against each other.
bool nestsWithinPortably(const char* text, std::size_t size, int limit);

// The largest state file other than the library that is read at all. A
// session, the history and the playlists stay far below it: 64 MB is about
// 850,000 plays of history.
inline constexpr std::size_t kMaximumStateFileBytes = std::size_t(64) << 20;

// Throws DecodingError ("playback_state.json is too large to be a state file
// (100 MB)") when `bytes` are larger than kMaximumStateFileBytes. The
// library is not held to it: its size grows with the songs.
void refuseOversizedStateFile(const fileio::FileBytes& bytes, std::string_view fileName);

} // namespace varno::json
