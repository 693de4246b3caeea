#pragma once

#include "library/FileWatcher.h"
#include "library/LibraryImporter.h"
#include "library/LibraryTracks.h"
#include "storage/DatabaseManager.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <vector>

namespace varno {

// The folders added to the library, on behalf of the library engine, which
// owns it: remembers them across restarts under the preference
// "library.watchedFolders", has the file watcher watch them, and acts on what
// the watcher reports. Changes are collected until the folders have been
// quiet for kChangeQuietPeriodMs, then new files are imported quietly and
// songs whose file is gone are marked unavailable; nothing is ever removed
// from the library because of a change.
//
// Main thread only. The watcher reports on its own thread and reaches this
// object through a queued connection; the disk is examined on the pool the
// engine lends it.
class WatchedFolders final : public QObject {
    Q_OBJECT

public:
    WatchedFolders(LibraryTracks& library, LibraryImporter& importer, DatabaseManager& database, FileWatcher& fileWatcher,
                   QThreadPool& examinePool);

    // The remembered folders, in the order added.
    QStringList folders() const;
    // Watches the folders and remembers those not remembered yet. Throws
    // what the watcher throws; a preference that cannot be written is only
    // reported as a diagnostic line.
    void add(const std::vector<FileURL>& folders);
    // Has the remembered folders watched without holding the main thread:
    // setting up the watch walks every folder of the collection. Only the
    // first call does anything.
    void watchRemembered();

    // Songs whose file disappeared from a watched folder while the library
    // was open, until the file comes back.
    QSet<QUuid> unavailableTrackIDs() const { return m_unavailableTrackIDs; }
    // The engine took in a whole new library: songs it no longer holds leave
    // the unavailable set.
    void keepOnly(const QSet<QUuid>& ids);

    // How long the watched folders must be quiet before the changes reported
    // so far are acted on: a copy of many files arrives as one batch.
    static constexpr int kChangeQuietPeriodMs = 200;

signals:
    void unavailableTracksChanged();

private:
    void noteChange(const FileSystemChange& change);
    void processPendingChanges();
    QCoro::Task<> processChangeBatches();
    QCoro::Task<> processChangeBatch(QStringList paths);
    void setUnavailable(QSet<QUuid> ids);

    LibraryTracks& m_library;
    LibraryImporter& m_importer;
    DatabaseManager& m_database;
    FileWatcher& m_fileWatcher;
    QThreadPool& m_examinePool;
    bool m_watchingRemembered = false;

    QSet<QString> m_pendingChangePaths;
    QTimer m_changeQuietTimer;
    bool m_processingChanges = false;
    QSet<QUuid> m_unavailableTrackIDs;
};

} // namespace varno
