#pragma once

#include <QCoroTask>
#include <QStringList>

#include <cstdio>

namespace varno::cli {

// Output streams of the CLI, so commands can be run and checked in-process.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;

    void line(const QString& text) const;
    void errorLine(const QString& text) const;
};

// `varno-cli probe FILE...`: one JSON object per file with what the media
// layer reads. Returns the exit status: 1 when any file failed.
QCoro::Task<int> probe(QStringList files, Console console);

// Library commands, over the same engines and data folder as the app.
QCoro::Task<int> importPaths(QStringList paths, Console console);
// `list [--json] [--sort FIELD[:desc]]`: the songs in library order, or in
// the order the song list shows when sorted by that column.
QCoro::Task<int> listLibrary(QStringList options, Console console);
// The songs, artists, albums and playlists that match, by section; 1 when
// nothing does.
QCoro::Task<int> searchLibrary(QString text, bool asJson, Console console);
QCoro::Task<int> rescanLibrary(Console console);
QCoro::Task<int> removeSong(QString id, bool deleteFile, Console console);
QCoro::Task<int> restoreBackup(Console console);

// Playlist commands: the tree, one playlist's songs, and every change
// (`arguments` starts with the action: create, folder, smart, rename, add,
// remove, delete). Errors print the engine's text; the status is then 1.
QCoro::Task<int> listPlaylists(bool asJson, Console console);
QCoro::Task<int> showPlaylist(QString id, Console console);
QCoro::Task<int> changePlaylists(QStringList arguments, Console console);
// Plays a playlist from its first song through the queue, like play.
QCoro::Task<int> playPlaylist(QString id, Console console);
// `playlist import FILE [--name NAME] [--folder ID]`: a playlist of an M3U
// or PLS file; prints its id, names each skipped entry on standard error;
// 0 when at least one song was added.
QCoro::Task<int> importPlaylist(QStringList arguments, Console console);
// `playlist export ID FILE`: the playlist's songs as an M3U8 file.
QCoro::Task<int> exportPlaylist(QString id, QString file, Console console);

// A song's cover written to a file, through the app's artwork cache.
QCoro::Task<int> exportArtwork(QString id, QString outPath, Console console);
// The accent colour a song's cover gives: "#RRGGBB r g b".
QCoro::Task<int> printAccent(QString id, Console console);

// `varno-cli play FILE|ID...`: plays through the queue engine with a live
// status line and single-key commands when run on a terminal. 0 at the end
// of the queue (or on q), 1 when nothing could play.
QCoro::Task<int> playSongs(QStringList arguments, Console console);

// `varno-cli waveform FILE|ID [--points N] [--ascii]`: the peaks the player
// bar draws, on one line with three decimals, and with --ascii a line of
// bars. A file the library does not hold is analysed without importing it.
// Errors print the engine's text; the status is then 1.
QCoro::Task<int> drawWaveform(QStringList arguments, Console console);

} // namespace varno::cli
