#pragma once

#include "storage/TrackList.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace varno {

// Playlist files other programs write and read: M3U (".m3u", ".m3u8",
// with or without "#EXTM3U" and "#EXTINF" lines) and PLS (".pls", an INI
// file of FileN, TitleN and LengthN). Plain functions on bytes; reading and
// writing the files is the caller's.

enum class PlaylistFileFormat { M3U, PLS };

// The format a file's name says (its extension, in any case); absent for
// other names.
std::optional<PlaylistFileFormat> playlistFileFormat(const QString& fileName);

// One song the file lists, in file order.
struct PlaylistFileEntry {
    // As written: a path (absolute or relative to the file's folder) or a URL.
    QString location;
    // The title "#EXTINF" or "TitleN" gives, as written ("Artist - Title"
    // by convention); absent when the file gives none.
    std::optional<QString> title;

    friend bool operator==(const PlaylistFileEntry&, const PlaylistFileEntry&) = default;
};

// The entries of a playlist file. The text is UTF-8 when it decodes as
// such (a byte-order mark is skipped), else Latin-1, which older M3U files
// were written in. Lines may end in "\n" or "\r\n"; comments, blank lines
// and other directives are passed over.
std::vector<PlaylistFileEntry> parsePlaylistFile(const QByteArray& bytes, PlaylistFileFormat format);

// Where an entry points: a local path made absolute against `folder` (the
// playlist file's), or, for a URL of another scheme than "file", absent:
// a stream, which the library cannot hold.
std::optional<QString> localPathOf(const QString& location, const QString& folder);

// "Artist - Title" split at its first " - "; a title alone has no artist.
struct ArtistAndTitle {
    std::optional<QString> artist;
    QString title;
};
ArtistAndTitle splitArtistAndTitle(const QString& text);

// An M3U8 file of `songs`: "#EXTM3U", then for each song
// "#EXTINF:<seconds>,<Artist> - <Title>" (the title alone without an
// artist; -1 seconds when the length is unknown) and its file's absolute
// path, in UTF-8 with "\n" line ends.
std::string m3u8Text(const TrackList& songs);

} // namespace varno
