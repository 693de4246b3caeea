#pragma once

#include "platform/FileIO.h"
#include "storage/SongSearchTable.h"
#include "storage/TrackList.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varno {

// A derived, binary copy of the library file, kept in a cache folder so that
// a start or a command-line call over a large library maps it instead of
// parsing the JSON. The tracks file stays the only truth: a snapshot names
// the version of the tracks file it was made from (device, inode, size and
// modification time) and is used only while that version is the one on
// disk, so a library another process wrote is never hidden by an old copy.
//
// Layout (native byte order, checked by a marker; storage/TrackSnapshotFormat.h):
// a fixed header, a checksum per 64 KiB of the body, then the body: every
// distinct text once (UTF-16, so a QString is made without decoding UTF-8),
// one fixed-size record per song that refers to its texts by number, and the
// songs' search table, so that a search reads neither the records nor the
// texts of the songs it does not find. Each piece of the body is checked
// against its checksum before it is first used; a damaged or truncated copy
// is refused.
namespace snapshot {

inline constexpr std::uint32_t kFormatVersion = 2;

// The snapshot's bytes for `tracks`, read from the tracks file at `madeFrom`.
std::string encode(const TrackList& tracks, const fileio::FileVersion& madeFrom);

// An intact snapshot, mapped. Opening checks the header; the body is checked
// piece by piece as it is read, and a piece that fails makes every later read
// fail too. Not thread-safe: each thread opens its own.
class Mapping {
public:
    enum class NameField { artist, album, genre };

    // Absent for a snapshot of another version of the tracks file, another
    // format, or one whose header is damaged or truncated, or that is no
    // snapshot at all; and when nothing can be read at `path`.
    static std::unique_ptr<Mapping> open(const QString& path, const fileio::FileVersion& tracksFile);
    // The same over bytes the caller keeps alive.
    static std::unique_ptr<Mapping> over(std::string_view bytes, const fileio::FileVersion& tracksFile);
    ~Mapping();

    std::size_t songCount() const;

    // Every song, built in one block, their texts made once each however
    // many songs share them. Absent when any part of the file is damaged.
    std::optional<TrackList> songs();
    // Song `i` alone, reading only its parts of the file.
    std::optional<Track> song(std::size_t i);
    // Song `i` into `into`, its texts left where they lie in the mapping,
    // for a reader that streams the songs out one at a time: `into` must
    // not be used once the mapping is gone. False when damaged.
    bool borrowSong(std::size_t i, Track& into);
    // Checks the whole file now, so that reading every song cannot fail
    // half way for damage.
    bool checkAll();
    // The songs' search table, read in place. Absent when damaged.
    std::optional<SongSearchView> searchView();
    // Name `i` of a field's names, in the search table's order.
    std::optional<QString> name(NameField field, std::uint32_t i);

private:
    class Reader;
    explicit Mapping(std::unique_ptr<Reader> reader);
    std::unique_ptr<Reader> m_reader;
};

// The songs, when `bytes` is an intact snapshot of the tracks file at
// `tracksFile`; absent otherwise.
std::optional<TrackList> decode(std::string_view bytes, const fileio::FileVersion& tracksFile);

// The file forms. Writing is atomic; a failure to write only costs the next
// start a parse, so it is reported as false and never thrown.
bool write(const QString& path, const TrackList& tracks, const fileio::FileVersion& madeFrom);
std::optional<TrackList> read(const QString& path, const fileio::FileVersion& tracksFile);

} // namespace snapshot

} // namespace varno
