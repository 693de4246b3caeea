#pragma once

#include "library/ImportProgress.h"
#include "library/ImportSummary.h"
#include "storage/FileURL.h"
#include "storage/Track.h"
#include "storage/TrackList.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <vector>

namespace varno {

// How song lists may be sorted; the song list applies it, no engine operation
// takes it.
enum class SortOption { Title, DateAdded, PlayCount, Artist, Album, Rating };

// Whether taking a song out of the library also deletes its audio file.
enum class RemovalKind { KeepFile, DeleteFile };

// The library: the in-memory list of songs every view shows, in library order
// (the order of the tracks file; edits keep positions, new songs go last).
// Main thread only; operations suspend while files are read and written.
//
// The list is published as one shared TrackList. Readers keep a copy for as
// long as they like: it never changes under them. Only the engine makes new
// lists, and each new list shares every song it did not change with the one
// before; tracksChanged() says which positions changed.
class LibraryEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The whole list; tracksChanged() follows every assignment.
    virtual const TrackList& allTracks() const = 0;

    // Adds every supported audio file under the folders, watching them.
    virtual QCoro::Task<> addFolders(std::vector<FileURL> folders) = 0;
    // Adds the given files. Throws DatabaseError::writeFailed listing the
    // files that failed; the others stay imported.
    virtual QCoro::Task<> importFiles(std::vector<FileURL> urls) = 0;
    // Adds the files and every supported audio file under the folders
    // (watched from then on) in one import, and says what it did: how many
    // songs it added and every file it passed over, with the reason. Throws
    // only when nothing could be tried (the folders or the songs could not
    // be stored).
    virtual QCoro::Task<ImportSummary> importPaths(std::vector<FileURL> folders, std::vector<FileURL> files) = 0;
    virtual QCoro::Task<> rescanLibrary() = 0;
    // Replaces the list with the tracks file's content. Never throws.
    virtual QCoro::Task<> loadLibraryFromDisk() = 0;

    // Songs whose title contains `query`, ignoring case; empty matches none.
    virtual TrackList search(const QString& query) const = 0;
    // The first `limit` songs in library order.
    virtual TrackList getRecentlyAdded(int limit) const = 0;
    virtual TrackList getMostPlayed(int limit) const = 0;
    // The favourites (isFavorite in Track.h), in library order.
    virtual TrackList getFavorites() const = 0;

    // Stores edited records. Every check runs before anything is written.
    // A song another process removed from the tracks file is never put back
    // by an edit: the update fails with DatabaseError::noLongerInLibrary
    // and the list becomes the file's.
    virtual QCoro::Task<> updateTrack(Track track) = 0;
    virtual QCoro::Task<> updateTracks(std::vector<Track> tracks) = 0;

    // Takes the song with `track`'s id out of the tracks file, the metadata
    // index and the list. With RemovalKind::DeleteFile its own audio file is
    // deleted from disk as well, and the entry is written back when that
    // fails. Throws DatabaseError (entityNotFound for an unknown song),
    // SecurityScopedAccessError or LibraryTrackRemovalError.
    virtual QCoro::Task<> removeTrack(Track track, RemovalKind kind) = 0;
    // Puts a removed song back: in place when its id is listed, else last.
    // Throws LibraryTrackRemovalError::restorationFileMissing when its file
    // is gone, SecurityScopedAccessError or the database's error.
    virtual QCoro::Task<> restoreTrack(Track track) = 0;

    // Imports, folder additions and rescans publish how far they have got,
    // at most about twenty times a second besides the first and last update.
    virtual ImportProgress importProgress() const = 0;
    // Stops the running imports: files not read yet are skipped, songs
    // imported so far stay. The cancelled operation reports only the files
    // that failed before it was cancelled.
    virtual void cancelImport() = 0;

    // Songs whose file disappeared from a watched folder while the library
    // was open. They stay in the library (a drive that was unplugged loses
    // nothing) and leave the set when the file comes back.
    virtual QSet<QUuid> unavailableTrackIDs() const = 0;

signals:
    // The list now published differs from the one before by `change`.
    void tracksChanged(const varno::TrackListChange& change);
    void importProgressChanged();
    void unavailableTracksChanged();
};

// Five records for previews of the library grid; never part of the library.
std::vector<Track> sampleTracks();

} // namespace varno
