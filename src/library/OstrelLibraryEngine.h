#pragma once

#include "library/FileWatcher.h"
#include "library/LibraryEngine.h"
#include "library/TrackImportProcessor.h"
#include "storage/DatabaseManager.h"
#include "storage/MetadataCache.h"

#include <QThreadPool>

#include <memory>

namespace varno {

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
// workers.
class OstrelLibraryEngine final : public LibraryEngine {
    Q_OBJECT

public:
    OstrelLibraryEngine(DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache, FileWatcher& fileWatcher);
    ~OstrelLibraryEngine() override;

    const std::vector<Track>& allTracks() const override { return m_tracks; }

    QCoro::Task<> addFolders(std::vector<FileURL> folders) override;
    QCoro::Task<> importFiles(std::vector<FileURL> urls) override;
    QCoro::Task<> rescanLibrary() override;
    QCoro::Task<> loadLibraryFromDisk() override;

    std::vector<Track> search(const QString& query) const override;
    std::vector<Track> getRecentlyAdded(int limit) const override;
    std::vector<Track> getMostPlayed(int limit) const override;
    std::vector<Track> getFavorites() const override;

    QCoro::Task<> updateTrack(Track track) override;
    QCoro::Task<> updateTracks(std::vector<Track> tracks) override;

    // Defined in OstrelLibraryEngineRemoval.cpp.
    QCoro::Task<> removeTrack(Track track, RemovalKind kind) override;
    QCoro::Task<> restoreTrack(Track track) override;

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

private:
    void setTracks(std::vector<Track> tracks);
    QCoro::Task<> reconnect(std::vector<FileURL> urls);
    struct ImportOutcome {
        int added = 0;
        QStringList failures;
    };
    QCoro::Task<ImportOutcome> importNew(std::vector<FileURL> urls);
    QCoro::Task<> importFound(std::vector<QString> paths, ImportOutcome* outcome);
    static void throwIfFailed(const ImportOutcome& outcome);
    static QString failureMessage(const QStringList& failures);
    void rememberWatchedFolders(const std::vector<FileURL>& folders);
    QCoro::Task<> load();

    DatabaseManager& m_database;
    MetadataCache& m_metadataCache;
    FileWatcher& m_fileWatcher;
    TrackImportProcessor m_importProcessor;
    std::vector<Track> m_tracks;
    // A load asked for while one runs joins it instead of reading the file
    // again: the engine loads once at construction and the boot asks again.
    std::shared_ptr<QCoro::Task<>> m_loadInFlight;
    QThreadPool m_enumerationPool;
};

} // namespace varno
