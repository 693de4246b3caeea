#pragma once

#include "library/FileWatcher.h"
#include "library/LibraryImporter.h"
#include "library/LibraryTracks.h"
#include "storage/DatabaseManager.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <vector>

namespace varno {

// The folders added to the library, on behalf of the library engine, which
// owns it: remembers them across restarts in the database manager's watched
// folders file, has the file watcher watch them, and acts on what
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

    // The remembered folders, in the order added, as last read or written.
    const QStringList& folders() const { return m_folders; }
    // Reads the remembered folders again, for an operation that works on
    // all of them or after another process wrote: folders it added are
    // taken in, and watched once the remembered ones are.
    QCoro::Task<QStringList> current();
    // Watches the folders and adds those not remembered yet to the list on
    // disk, keeping what other processes added meanwhile. Throws what the
    // watcher throws; a list that cannot be written is only reported as a
    // diagnostic line.
    QCoro::Task<> add(std::vector<FileURL> folders);
    // Reads the remembered folders and has them watched without holding the
    // main thread: setting up the watch walks every folder of the
    // collection. Only the first call does anything.
    QCoro::Task<> watchRemembered();

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
    // Reads the list through the database manager. Never throws: a list that
    // cannot be read is reported as a diagnostic line and reads as the one
    // known.
    QCoro::Task<QStringList> readFolders();
    // Adds `folders` to the known list and, once the remembered folders are
    // being watched, has every known folder not watched yet watched.
    void takeIn(const QStringList& folders);

    LibraryTracks& m_library;
    LibraryImporter& m_importer;
    DatabaseManager& m_database;
    FileWatcher& m_fileWatcher;
    QThreadPool& m_examinePool;
    // Nothing ever takes a folder out of the list, so the known list only
    // grows: what another process read before this one added a folder
    // cannot make it forget the folder.
    QStringList m_folders;
    // The folders the watcher was asked to watch.
    QSet<QString> m_watched;
    bool m_rememberedAskedFor = false;
    bool m_watchingRemembered = false;

    QSet<QString> m_pendingChangePaths;
    QTimer m_changeQuietTimer;
    bool m_processingChanges = false;
    QSet<QUuid> m_unavailableTrackIDs;
};

} // namespace varno
