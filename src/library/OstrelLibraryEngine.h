#pragma once

#include "library/FileWatcher.h"
#include "library/LibraryEngine.h"
#include "library/TrackImportProcessor.h"
#include "storage/DatabaseManager.h"
#include "storage/MetadataCache.h"

#include <QElapsedTimer>
#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace varno {

// What one import of files and folders did, for callers that report it
// themselves rather than take the combined failure message.
struct ImportSummary {
    // Songs this import added; songs other processes added meanwhile are
    // not counted.
    int added = 0;
    // "name: reason" for every file that was tried and failed, and for every
    // item of a folder that could not even be looked at (a name that is not
    // valid UTF-8, a path longer than the system allows, a pipe or a device
    // named like audio).
    QStringList failures;
    // Paths of audio files of types the library does not take: those given
    // directly, and those found in folders (".opus", ".ape", ...).
    QStringList unsupported;
};

// What a rescan of the watched folders found.
struct RescanSummary {
    int added = 0;
    // Songs whose file is not where the library says.
    int missing = 0;
    // The combined import failure text, empty when every file imported.
    QString failures;
};

// Main thread only. Folder enumeration runs on a worker; per-file imports run
// a bounded number at a time, their metadata read on the metadata engine's
// workers. Changes the file watcher reports are collected until the folders
// have been quiet for a moment, then new files are imported and songs whose
// file is gone are marked unavailable; nothing is ever removed because of a
// change.
class OstrelLibraryEngine final : public LibraryEngine {
    Q_OBJECT

public:
    OstrelLibraryEngine(DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache, FileWatcher& fileWatcher);
    ~OstrelLibraryEngine() override;

    const TrackList& allTracks() const override { return m_tracks; }

    QCoro::Task<> addFolders(std::vector<FileURL> folders) override;
    QCoro::Task<> importFiles(std::vector<FileURL> urls) override;
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

    ImportProgress importProgress() const override { return m_importProgress; }
    void cancelImport() override;
    QSet<QUuid> unavailableTrackIDs() const override { return m_unavailableTrackIDs; }

    // Imports folders (watching them) and files, and reports what happened
    // instead of throwing for files that failed.
    QCoro::Task<ImportSummary> importPaths(std::vector<FileURL> folders, std::vector<FileURL> files);

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
    // summary, not thrown.
    QCoro::Task<RescanSummary> rescan();

    // The folders added to the library, kept across restarts under the
    // preference "library.watchedFolders" and watched again at start.
    QStringList watchedFolders() const;

    // At most this many files are being imported at once: enough to keep the
    // metadata workers busy, few enough that a huge import never holds
    // thousands of files open or floods the main thread.
    static constexpr int kImportWindow = 32;

    // The least time between two progress updates, apart from the first and
    // the last of an import.
    static constexpr int kProgressIntervalMs = 50;

    // How long the watched folders must be quiet before the changes reported
    // so far are acted on: a copy of many files arrives as one batch.
    static constexpr int kChangeQuietPeriodMs = 200;

    // The first song of each of `urls` the library holds. The library is
    // scanned once against the few URLs asked about, never hashed whole.
    QHash<FileURL, SharedTrack> songsAt(const QSet<FileURL>& urls) const;

private:
    class ProgressScope;

    void setTracks(TrackList tracks, const TrackListChange& change);
    // Takes in the library a write found changed by another process: the
    // list becomes the file's at once, and the index follows.
    QCoro::Task<> adoptLibrary(TrackList library);
    // Stores the songs; when the write found the file changed by another
    // process, takes in its library and says so.
    QCoro::Task<bool> saveAndAdopt(TrackList tracks);
    QCoro::Task<> reconnect(std::vector<FileURL> urls);
    struct ImportOutcome {
        int added = 0;
        QStringList failures;
        QStringList unsupported;
    };
    // Without a progress scope the import is quiet: it publishes no progress
    // and cannot be cancelled.
    QCoro::Task<ImportOutcome> importNew(std::vector<FileURL> urls, const ProgressScope* progress);
    QCoro::Task<> importFound(std::vector<FileURL> urls, ImportOutcome* outcome, const ProgressScope* progress);
    QCoro::Task<ImportOutcome> importGivenFiles(std::vector<FileURL> urls, const ProgressScope* progress);
    QCoro::Task<ImportOutcome> importFolders(std::vector<FileURL> folders, const ProgressScope* progress);
    void addProgressTotal(int files, const QString& firstFile);
    void advanceProgress(const QString& currentFile);
    void publishProgress(bool force);

    void noteChange(const FileSystemChange& change);
    void processPendingChanges();
    QCoro::Task<> processChangeBatches();
    QCoro::Task<> processChangeBatch(QStringList paths);
    void setUnavailable(QSet<QUuid> ids);
    static void throwIfFailed(const ImportOutcome& outcome);
    static QString failureMessage(const QStringList& failures);
    void rememberWatchedFolders(const std::vector<FileURL>& folders);
    QCoro::Task<> load();
    // Never throws: a failure is kept in loadError().
    QCoro::Task<> readLibrary();
    void watchRememberedFolders();

    DatabaseManager& m_database;
    MetadataCache& m_metadataCache;
    FileWatcher& m_fileWatcher;
    TrackImportProcessor m_importProcessor;
    TrackList m_tracks;
    std::optional<QString> m_loadError;
    // A load asked for while one runs joins it instead of reading the file
    // again: the engine loads once at construction and the boot asks again.
    std::shared_ptr<QCoro::Task<>> m_loadInFlight;
    bool m_watchingRemembered = false;
    // Files some import is reading now, so that a change reported for one of
    // them does not import it a second time.
    QSet<FileURL> m_importing;

    ImportProgress m_importProgress;
    // The progress as counted; published from here at most every
    // kProgressIntervalMs, the rest by m_progressFlush.
    ImportProgress m_countedProgress;
    int m_progressScopes = 0;
    quint64 m_cancelGeneration = 0;
    QElapsedTimer m_sinceProgressPublished;
    QTimer m_progressFlush;

    QSet<QString> m_pendingChangePaths;
    QTimer m_changeQuietTimer;
    bool m_processingChanges = false;
    QSet<QUuid> m_unavailableTrackIDs;

    QThreadPool m_enumerationPool;
};

} // namespace varno
