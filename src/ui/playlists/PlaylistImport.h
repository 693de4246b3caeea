#pragma once

#include "storage/FileURL.h"
#include "storage/TrackList.h"

#include <QCoroTask>
#include <QUuid>

#include <vector>

namespace varno {

class LibraryEngine;
class PlaylistEngine;

// The files among `urls` the library can take: folders and files of other
// types are left out, the rest keep their order. Looks at the disk, so it
// runs on a worker.
QCoro::Task<std::vector<FileURL>> importableAudioFiles(std::vector<FileURL> urls);

// The library's songs whose file is one of `urls`, in the order of the URLs
// (songs sharing a file in library order); each URL counts once.
TrackList librarySongsAt(const TrackList& library, const std::vector<FileURL>& urls);

// Brings files into a playlist: the importable ones are imported into the
// library (songs already there are not added twice), then the library's songs
// at those files are added to the playlist, which skips songs it already
// holds. False when no file was importable, in which case nothing was asked of
// either engine. The first failure stops the steps and is thrown; songs
// imported before it stay in the library.
//
// Main thread; suspends while the engines work. The engines must outlive it.
QCoro::Task<bool> importIntoPlaylist(LibraryEngine& library, PlaylistEngine& playlists, QUuid playlistID, std::vector<FileURL> urls);

} // namespace varno
