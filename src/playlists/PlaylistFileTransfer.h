#pragma once

#include "platform/Error.h"
#include "storage/Playlist.h"

#include <QCoroTask>
#include <QString>
#include <QUuid>

#include <cstddef>
#include <optional>
#include <vector>

namespace varno {

class LibraryEngine;
class PlaylistEngine;

// Why a playlist file was refused as a whole.
class PlaylistFileError final : public Error {
public:
    enum class Kind { NotAPlaylistFile, FileMissing };

    static PlaylistFileError notAPlaylistFile(const QString& fileName)
    {
        return {Kind::NotAPlaylistFile,
                QStringLiteral("\u201C%1\u201D is not a playlist file: M3U (.m3u, .m3u8) or PLS (.pls).").arg(fileName)};
    }
    static PlaylistFileError fileMissing(const QString& path)
    {
        return {Kind::FileMissing, QStringLiteral("There is no file at %1.").arg(path)};
    }

    Kind kind() const { return m_kind; }

private:
    PlaylistFileError(Kind kind, const QString& description)
        : Error(description)
        , m_kind(kind)
    {
    }

    Kind m_kind;
};

// An entry of a playlist file that no song came of.
struct SkippedPlaylistEntry {
    enum class Reason {
        // A URL of another scheme than "file": a stream the library cannot
        // hold.
        Stream,
        Missing,
        // A folder, or a file of a type the library does not take.
        NotAudio,
        // The library could not read it as a song.
        NotImported,
    };

    // As the file writes it.
    QString location;
    Reason reason = Reason::Missing;

    // "http://radio.example/live (a stream, not a file)"
    QString description() const;

    friend bool operator==(const SkippedPlaylistEntry&, const SkippedPlaylistEntry&) = default;
};

struct PlaylistFileImport {
    // Absent when no entry gave a song: no playlist is made then.
    std::optional<Playlist> playlist;
    std::size_t songsAdded = 0;
    std::vector<SkippedPlaylistEntry> skipped;

    // One message for the whole file: its name and how many entries were
    // skipped, then each on its own line. Empty when none was.
    QString skippedMessage(const QString& fileName) const;
};

// Makes a playlist of an M3U or PLS file: its entries in file order, paths
// relative to the file's folder, files not yet in the library imported
// first (a file already there is never imported twice, so importing a file
// this app exported adds no song to the library). An "#EXTINF" or "TitleN"
// title ("Artist - Title") names a song just imported that has no tags of
// its own; songs with tags keep theirs. Streams, missing files and files the
// library cannot take are skipped and listed. The playlist is named `name`,
// or after the file, and put inside `folder` when one is given.
//
// Throws PlaylistFileError for a file that is not a playlist file or is not
// there, FileError when it cannot be read, and the engines' errors.
// Main thread; the file is read and looked into on a worker.
QCoro::Task<PlaylistFileImport> importPlaylistFile(LibraryEngine& library, PlaylistEngine& playlists, QString path,
                                                   std::optional<QString> name = std::nullopt,
                                                   std::optional<QUuid> folder = std::nullopt);

// Writes a playlist's songs (a smart playlist's: those that match now) as an
// M3U8 file (m3u8Text) to `path`, replacing it whole; returns how many songs
// it lists. A folder fails with PlaylistError::cannotExportFolder, an
// unknown playlist with playlistNotFound, the write with FileError.
// Main thread; the file is written on a worker.
QCoro::Task<std::size_t> exportPlaylistFile(PlaylistEngine& playlists, QUuid playlistID, QString path);

} // namespace varno
