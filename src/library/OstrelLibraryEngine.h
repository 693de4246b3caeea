#pragma once

#include "library/FileWatcher.h"
#include "library/ImportSummary.h"
#include "library/LibraryEngine.h"
#include "library/LibraryImporter.h"
#include "library/LibraryTracks.h"
#include "library/RescanSummary.h"
#include "library/WatchedFolders.h"
#include "storage/DatabaseManager.h"
#include "storage/MetadataCache.h"

#include <QThreadPool>

#include <memory>

namespace varno {

// Main thread only. The engine keeps the song list: it loads it, takes in
// what other processes wrote, stores edits and removes and restores songs.
// Imports go through its LibraryImporter (folder walks on a worker, a
// bounded number of files read at a time on the metadata engine's workers)
// and the watched folders through its WatchedFolders, which import new files
// quietly and mark songs whose file is gone as unavailable; both hand their
// changes of the list back to the engine, which alone publishes it.
class OstrelLibraryEngine final : public LibraryEngine, private LibraryTracks {
    Q_OBJECT

public:
    OstrelLibraryEngine(DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache, FileWatcher& fileWatcher);
    ~OstrelLibraryEngine() override;

    const TrackList& allTracks() const override { return m_tracks; }

    QCoro::Task<> addFolders(std::vector<FileURL> folders) override;
    QCoro::Task<> importFiles(std::vector<FileURL> urls) override;
    QCoro::Task<ImportSummary> importPaths(std::vector<FileURL> folders, std::vector<FileURL> files) override;
    QCoro::Task<> rescanLibrary() override;
    QCoro::Task<> loadLibraryFromDisk() override;

    TrackList search(const QString& query) const override;
    TrackList getRecentlyAdded(int limit) const override;
    TrackList getMostPlayed(int limit) const override;
    TrackList getFavorites() const override;

    QCoro::Task<> updateTrack(Track track) override;
    QCoro::Task<> updateTracks(std::vector<Track> tracks) override;

    // Defined in OstrelLibraryEngineRemoval.cpp.
    QCoro::Task<> removeTrack(Track track, RemovalKind kind) override;
    QCoro::Task<> restoreTrack(Track track) override;

    ImportProgress importProgress() const override { return m_importer.progress(); }
    void cancelImport() override { m_importer.cancel(); }
    QSet<QUuid> unavailableTrackIDs() const override { return m_watchedFolders.unavailableTrackIDs(); }

    // Reloads the library when another process replaced the tracks file
    // since this engine's manager last read or wrote it; the composition
    // root calls it when the application folder changes. Songs stay in the
    // queue and selections as they are: identity is the song's id.
    QCoro::Task<> refreshIfChangedElsewhere();

    // Why the last load of the tracks file failed; absent after a good one.
    const std::optional<QString>& loadError() const { return m_loadError; }

    // Walks every watched folder again: imports supported files not yet in
    // the library, gives songs without a bookmark a fresh one and counts the
    // songs whose file is missing. Import failures are reported in the
    // summary, not thrown. Songs imported before their year, track and disc
    // numbers, comments and BPM were taken from the tags get those they
    // lack from a tag fill that goes on in the background once the rescan
    // has returned (LibraryImporter::rescan).
    QCoro::Task<RescanSummary> rescan();
    // Waits for the tag fill a rescan started, if it still runs; the number
    // of songs it filled in.
    QCoro::Task<int> waitForTagFill() { return m_importer.waitForTagFill(); }

    // The folders added to the library, kept across restarts in the
    // watched folders file and watched again at start; known once the first
    // load is done.
    QStringList watchedFolders() const { return m_watchedFolders.folders(); }

    // The first song of each of `urls` the library holds. The library is
    // scanned once against the few URLs asked about, never hashed whole.
    QHash<FileURL, SharedTrack> songsAt(const QSet<FileURL>& urls) const;

    // Blocks until no folder walk or look at changed files is running; for
    // quitting, so their answers can still be delivered before the engine
    // goes.
    void waitForIdle() { m_walkPool.waitForDone(); }

private:
    // The list as the importer and the watched folders reach it.
    const TrackList& tracks() const override { return m_tracks; }
    void setTracks(TrackList tracks, const TrackListChange& change) override;
    QCoro::Task<> adoptLibrary(TrackList library) override;
    QCoro::Task<TracksFileUpdate> saveEdits(TrackList tracks) override;

    QCoro::Task<> load();
    // Never throws: a failure is kept in loadError().
    QCoro::Task<> readLibrary();

    DatabaseManager& m_database;
    MetadataCache& m_metadataCache;
    TrackList m_tracks;
    std::optional<QString> m_loadError;
    // A load asked for while one runs joins it instead of reading the file
    // again: the engine loads once at construction and the boot asks again.
    std::shared_ptr<QCoro::Task<>> m_loadInFlight;

    // One thread, shared by the folder walks and the looks at changed files,
    // which run one at a time in the order asked. Declared before the
    // helpers that use it, so it outlives them.
    QThreadPool m_walkPool;
    LibraryImporter m_importer;
    // Declared after the importer, which it imports through, so that it is
    // destroyed first.
    WatchedFolders m_watchedFolders;
};

} // namespace varno
