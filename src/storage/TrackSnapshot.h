#pragma once

#include "platform/FileIO.h"
#include "storage/TrackList.h"

#include <QString>

#include <optional>
#include <string>

namespace varno {

// A derived, binary copy of the library file, kept in a cache folder so that
// a start or a command-line call over a large library maps it instead of
// parsing the JSON. The tracks file stays the only truth: a snapshot names
// the version of the tracks file it was made from (device, inode, size and
// modification time) and is used only while that version is the one on
// disk, so a library another process wrote is never hidden by an old copy.
//
// Layout (native byte order, checked by a marker): a fixed header, every
// distinct text once (UTF-16, so a QString is made without decoding UTF-8),
// then one fixed-size record per song that refers to its texts by number.
// A checksum over the whole file refuses a damaged or truncated copy.
namespace snapshot {

inline constexpr std::uint32_t kFormatVersion = 1;

// The snapshot's bytes for `tracks`, read from the tracks file at `madeFrom`.
std::string encode(const TrackList& tracks, const fileio::FileVersion& madeFrom);

// The songs, when `bytes` is an intact snapshot of the tracks file at
// `tracksFile`; absent for a snapshot of another version, another format,
// or one that is damaged, truncated or not a snapshot at all. Songs are
// built in one block, their texts made once each however many songs share
// them.
std::optional<TrackList> decode(std::string_view bytes, const fileio::FileVersion& tracksFile);

// The file forms. Writing is atomic; a failure to write only costs the next
// start a parse, so it is reported as false and never thrown.
bool write(const QString& path, const TrackList& tracks, const fileio::FileVersion& madeFrom);
std::optional<TrackList> read(const QString& path, const fileio::FileVersion& tracksFile);

} // namespace snapshot

} // namespace varno
