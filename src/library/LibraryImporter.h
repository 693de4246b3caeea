#pragma once

#include "library/ImportProgress.h"
#include "library/ImportSummary.h"
#include "library/LibraryTracks.h"
#include "library/RescanSummary.h"
#include "library/TrackImportProcessor.h"
#include "storage/DatabaseManager.h"
#include "storage/MetadataCache.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <vector>

namespace varno {

// Brings files and folders into the library on behalf of the library engine,
// which owns it: walks folders, reads a bounded number of files at a time
// through the track import processor, writes the new songs and hands them to
// the engine's list. Imports someone asked for publish their progress and
// can be cancelled; quiet ones (new files in a watched folder) do neither.
// Files already in the library are never imported again: a known file
// without a bookmark is given a fresh one instead.
//
// Main thread only. Folder walks run on the walk pool the engine lends it;
// metadata is read on the metadata engine's workers.
class LibraryImporter final : public QObject {
    Q_OBJECT

public:
    LibraryImporter(LibraryTracks& library, DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache,
                    QThreadPool& walkPool);

    // Adds the given files of supported types, once each, in path order.
    // Throws ImportError listing the files that failed (the others stay
    // imported), or the error of a bookmark or of the write.
    QCoro::Task<> importFiles(std::vector<FileURL> urls);
    // Adds every supported audio file under the folders, in the order
    // found. Throws as importFiles does; items of the folders that cannot
    // even be looked at count as failed files.
    QCoro::Task<> importFolders(std::vector<FileURL> folders);
    // The folders, then the files, as one operation whose failures are
    // reported in the summary instead of thrown.
    QCoro::Task<ImportSummary> importPaths(std::vector<FileURL> folders, std::vector<FileURL> files);
    // Walks the folders again: imports supported files not yet in the
    // library, gives songs without a bookmark a fresh one and counts the
    // songs whose file is missing. Import failures are reported in the
    // summary, not thrown. Then, unless a fill is running already, it starts
    // the tag fill: songs of the whole library imported before their tag
    // fields were read get what their files' tags give for the fields they
    // lack. The fill goes on after the rescan has returned: the tags are
    // read on the metadata workers a batch at a time, with the progress
    // published like an import's (cancelled the same way, keeping what was
    // read), and written at most about once a second and at the end.
    QCoro::Task<RescanSummary> rescan(std::vector<QString> folders);
    // Waits for the tag fill the last rescan started or left running, if it
    // still runs; the number of songs it filled in (0 when there was none).
    QCoro::Task<int> waitForTagFill();
    // Imports new files nobody asked for, in the given order: no progress,
    // no cancel. The caller has left out files already in the library and
    // those isImporting() names. Unawaited callers are fine: the import ends
    // quietly when the importer goes.
    QCoro::Task<ImportSummary> importQuietly(std::vector<FileURL> urls);

    // Whether some import is reading `url` now: its song is not in the list
    // yet, but importing it again would add it twice.
    bool isImporting(const FileURL& url) const { return m_importing.contains(url); }

    // How far the running imports have got; progressChanged() follows every
    // change, at most every kProgressIntervalMs besides the first and last.
    ImportProgress progress() const { return m_progress; }
    // Stops the running imports: files not read yet are skipped, songs
    // imported so far stay. Imports started afterwards are not affected.
    void cancel();

    // At most this many files are being imported at once: enough to keep the
    // metadata workers busy, few enough that a huge import never holds
    // thousands of files open or floods the main thread.
    static constexpr int kImportWindow = 32;

    // The least time between two progress updates, apart from the first and
    // the last of an import.
    static constexpr int kProgressIntervalMs = 50;

    // Files whose tags a fill reads in one hop to the metadata workers, and
    // the least time between two writes of what it read.
    static constexpr std::size_t kTagFillBatch = 256;
    static constexpr qint64 kTagFillSaveIntervalMs = 1000;

signals:
    void progressChanged();

private:
    class ProgressScope;

    // Without a progress scope an import is quiet: it publishes no progress
    // and cannot be cancelled.
    QCoro::Task<ImportSummary> importGiven(std::vector<FileURL> urls, const ProgressScope* progress);
    QCoro::Task<ImportSummary> importUnder(std::vector<FileURL> folders, const ProgressScope* progress);
    QCoro::Task<> importFound(std::vector<FileURL> urls, ImportSummary* summary, const ProgressScope* progress);
    QCoro::Task<ImportSummary> importNew(std::vector<FileURL> urls, const ProgressScope* progress);
    QCoro::Task<> reconnect(std::vector<FileURL> urls);
    // Starts the tag fill of the songs not marked as read, unless one runs;
    // the number of songs it will look at.
    int startTagFill();
    // Reads the tags of `files` (of the songs `ids`) in batches and writes
    // them with `fills`; the number of songs filled in.
    QCoro::Task<int> fillFromTags(std::vector<QUuid> ids, std::vector<FileURL> files, std::vector<TagFieldsFill> fills);
    // Writes the fills and publishes the songs they changed; their number.
    QCoro::Task<int> fillTagFields(std::vector<TagFieldsFill> fills);

    void addProgressTotal(int files, const QString& firstFile);
    void advanceProgress(const QString& currentFile);
    void advanceProgressBy(int files, const QString& currentFile);
    void publishProgress(bool force);

    LibraryTracks& m_library;
    DatabaseManager& m_database;
    MetadataCache& m_metadataCache;
    QThreadPool& m_walkPool;
    MetadataEngine& m_metadataEngine;
    TrackImportProcessor m_importProcessor;
    // Files some import is reading now, so that a change reported for one of
    // them does not import it a second time.
    QSet<FileURL> m_importing;

    ImportProgress m_progress;
    // The progress as counted; published from here at most every
    // kProgressIntervalMs, the rest by m_progressFlush.
    ImportProgress m_countedProgress;
    int m_progressScopes = 0;
    // Of those, the ones that import files; the others only read tags.
    int m_importScopes = 0;
    quint64 m_cancelGeneration = 0;
    QElapsedTimer m_sinceProgressPublished;
    QTimer m_progressFlush;
    // The tag fill a rescan started; kept so that it can be awaited.
    std::shared_ptr<QCoro::Task<int>> m_tagFill;
};

} // namespace varno
