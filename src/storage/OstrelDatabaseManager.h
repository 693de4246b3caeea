#pragma once

#include "platform/FileIO.h"
#include "platform/FileLock.h"
#include "platform/PreferencesStore.h"
#include "platform/Worker.h"
#include "storage/DatabaseManager.h"
#include "storage/TrackSnapshot.h"

#include <QString>
#include <QThreadPool>
#include <QStringList>

#include <condition_variable>
#include <mutex>

namespace varno {

// Main thread only (see DatabaseManager); file work of the coroutine
// operations runs on the "Database" serial worker. Each read-modify-write
// holds ".state.lock" in the folder, shared with every other process that
// keeps its state there, so a concurrent writer's songs are never dropped.
// A damaged file that a write is allowed to replace (the history, the
// playlist list, the session) is first kept beside it as
// "<name>.damaged-<time>", with one diagnostic line saying so.
class OstrelDatabaseManager final : public DatabaseManager {
public:
    // Uses `storageDirectory`, or the application folder when none is given,
    // creating it when nothing exists there. Throws FileError when the folder
    // cannot be located or created.
    explicit OstrelDatabaseManager(PreferencesStore& preferences, const std::optional<QString>& storageDirectory = std::nullopt);
    ~OstrelDatabaseManager() override;

    QUrl databaseURL() const override { return QUrl::fromLocalFile(m_databasePath); }
    QUrl tracksFileURL() const { return QUrl::fromLocalFile(m_tracksPath); }
    QUrl playlistsFileURL() const { return QUrl::fromLocalFile(m_playlistsPath); }
    QUrl playbackHistoryFileURL() const { return QUrl::fromLocalFile(m_historyPath); }
    QUrl playbackStateFileURL() const { return QUrl::fromLocalFile(m_statePath); }
    const QString& storageDirectory() const { return m_folder; }

    QCoro::Task<> eraseAllData() override;
    QCoro::Task<TracksFileUpdate> saveTracks(TrackList tracks) override;
    QCoro::Task<TracksFileUpdate> updateTracks(TrackList tracks) override;
    QCoro::Task<TracksFileUpdate> appendNewTracks(TrackList tracks) override;
    // Defined in OstrelDatabaseManagerTagFields.cpp, with its blocking form.
    QCoro::Task<TracksFileUpdate> fillTagFields(std::vector<TagFieldsFill> fills) override;
    void prepareToAppend() override;
    QCoro::Task<TrackList> loadAllTracks() override;
    QCoro::Task<std::optional<Track>> fetchTrack(QUuid id) override;
    QCoro::Task<TracksFileUpdate> deleteTracks(TrackList tracks) override;
    QCoro::Task<bool> tracksFileChangedElsewhere() override;

    QCoro::Task<QStringList> loadWatchedFolders() override;
    QCoro::Task<QStringList> addWatchedFolders(QStringList folders) override;

    void savePlaylists(const std::vector<Playlist>& playlists) override;
    std::vector<Playlist> loadAllPlaylists() override;
    void deletePlaylist(const QUuid& id) override;

    void recordPlayback(const QUuid& trackID, Timestamp timestamp) override;
    PlaybackStatistics fetchStatistics(const QUuid& trackID) override;
    QCoro::Task<QHash<QUuid, std::int64_t>> fetchPlayCounts() override;

    void savePlaybackState(const PlaybackStateSnapshot& snapshot) override;
    std::optional<PlaybackStateSnapshot> loadPlaybackState() override;

    // Blocking forms of the tracks-file operations, for the serial worker and
    // for tools that have no event loop.
    TrackList readTracksFile() const;
    TracksFileUpdate upsertTracksFile(const TrackList& tracks) const;
    TracksFileUpdate updateTracksFile(const TrackList& tracks) const;
    TracksFileUpdate appendToTracksFile(const TrackList& tracks) const;
    TracksFileUpdate fillTagFieldsInTracksFile(const std::vector<TagFieldsFill>& fills) const;
    // Copies the library file as this manager knows it into the next
    // version, less its closing bracket, for the next append to complete.
    // Does nothing when the file is not that version.
    void prepareTracksAppend() const;
    TracksFileUpdate deleteFromTracksFile(const TrackList& tracks) const;
    void eraseAllFiles() const;

    // "watched_folders.json", the folders added to the library. While it does
    // not exist, `legacy` (the list the preferences kept before there was a
    // file) is written as its first version.
    const QString& watchedFoldersPath() const { return m_watchedFoldersPath; }
    QStringList readWatchedFolders(const QStringList& legacy) const;
    QStringList addToWatchedFolders(const QStringList& folders, const QStringList& legacy) const;

    // ".state.lock": taken by every change of a state file, in any process.
    // Hidden, so the folder still shows just the state files.
    QString stateLockPath() const { return join(QStringLiteral(".state.lock")); }

    // The binary copy of the library file that spares a start the parse
    // (storage/TrackSnapshot.h): "LibraryCache/tracks.snapshot", a cache
    // folder beside the state files.
    QString snapshotPath() const { return m_snapshotPath; }
    // The snapshot mapped, when it is one of the library file as it is on
    // disk now; null otherwise. For a reader of a few songs, such as a
    // search from the command line, that need not load the library.
    std::unique_ptr<snapshot::Mapping> mapSnapshot() const;
    // Writes the snapshot of the last version read or written now, rather
    // than once saves have paused, and waits until it is on disk (or given
    // up); for tests and tools that exit right after a save.
    void waitForSnapshot() const;
    // How long saves must pause before the snapshot of the last is written:
    // a snapshot is a whole-library write, and a burst of edits would
    // otherwise write one per save.
    static constexpr std::chrono::seconds kSnapshotIdle {3};

    // "tracks.json.bak": the version of the library before the last write
    // that replaced a valid one.
    QString tracksBackupPath() const { return m_tracksPath + QStringLiteral(".bak"); }
    // Puts the backup back as the library, after checking that it reads.
    // Throws DatabaseError when there is none, or its decoding error.
    void restoreTracksBackup() const;

protected:
    void setPreferenceData(const QByteArray& data, const QString& key) override;
    std::optional<QByteArray> preferenceData(const QString& key) const override;

private:
    enum class Merge { Upsert, Update, AppendNew };

    QString join(const QString& name) const { return m_folder + QLatin1Char('/') + name; }
    void createMissingStateFiles() const;
    fileio::FileLock lockState() const;
    // The library in the file now, under the lock: what this manager last
    // read or wrote when the file is still that version, otherwise read
    // again. `changedElsewhere` says which.
    TrackList storedTracks(fileio::FileVersion& version, bool& changedElsewhere) const;
    TracksFileUpdate mergeIntoTracksFile(const TrackList& tracks, Merge merge) const;
    // Writes the merged list over `replaced`; the update carries the list
    // back when it is not what the caller can work out for itself.
    TracksFileUpdate writeTracks(TrackList stored, const fileio::FileVersion& replaced, bool changedElsewhere) const;
    // Completes a prepared append of `appended` to `stored`; false when no
    // prepared write fits the file at `version`.
    bool completePreparedAppend(const TrackList& stored, const TrackList& appended, const fileio::FileVersion& version) const;
    // Links the file about to be replaced as the backup, unless it is empty.
    void keepTracksBackup(const fileio::FileVersion& replaced) const;
    // Keeps `tracks` as the file's songs at `version` and, unless they came
    // from the snapshot, queues a new snapshot of them.
    void rememberTracks(const fileio::FileVersion& version, const TrackList& tracks, bool fromSnapshot = false) const;
    // Writes the snapshot last queued once saves have paused (or at once
    // when asked to), unless the file has been replaced since (it would
    // never be used); runs on the snapshot thread until nothing is queued.
    void writeSnapshotsWhenIdle() const;
    void removeStaleSnapshotTemporaries() const;
    void forgetTracks() const;
    // Whether `read` is the version this manager last read or wrote.
    bool isKnownTracksVersion(const fileio::FileVersion& read) const;
    // The watched folders before the preferences' list was moved to a file.
    QStringList legacyWatchedFolders() const;
    // Once the file exists the preference is never read again; removing it
    // keeps a stale copy from coming back should the file ever be erased.
    void forgetLegacyWatchedFolders(const QStringList& legacy);
    // The watched folders file under the lock: what it holds, or `legacy`
    // written as its first version when there is none.
    QStringList storedWatchedFolders(const QStringList& legacy) const;
    // Keeps a damaged file aside before a write that may replace it.
    void setAsideIfDamaged(const QString& path, const std::function<void(const fileio::FileBytes&)>& decode,
                           const fileio::FileVersion& lastWritten) const;

    PreferencesStore& m_preferences;
    QString m_folder;
    QString m_databasePath;
    QString m_tracksPath;
    QString m_playlistsPath;
    QString m_historyPath;
    QString m_statePath;
    QString m_watchedFoldersPath;
    QString m_snapshotPath;
    std::chrono::milliseconds m_lockWait;
    // The version of "tracks.json" this manager last read or wrote, to tell
    // its own writes from other processes'. Guarded: reads of the blocking
    // forms may run on any thread.
    mutable std::mutex m_versionMutex;
    mutable std::optional<fileio::FileVersion> m_tracksVersion;
    // The songs of that version, shared with the library that holds them.
    mutable TrackList m_knownTracks;
    // The songs and version the next snapshot is made of, if one is queued;
    // guarded too.
    mutable std::optional<std::pair<fileio::FileVersion, TrackList>> m_pendingSnapshot;
    // When it was queued, whether it is wanted now, and whether the
    // snapshot thread is running; guarded too.
    mutable std::chrono::steady_clock::time_point m_snapshotQueuedAt;
    mutable bool m_snapshotWantedNow = false;
    mutable bool m_snapshotWriterRunning = false;
    mutable std::condition_variable m_snapshotWake;
    // The append begun by prepareTracksAppend, if any; guarded too.
    mutable std::optional<fileio::PreparedArrayAppend> m_preparedAppend;
    // The versions this manager wrote last, known to decode; guarded too.
    mutable fileio::FileVersion m_playlistsVersion;
    mutable fileio::FileVersion m_stateVersion;
    mutable fileio::FileVersion m_watchedFoldersVersion;
    // Writes snapshots, off the serial worker so that waiting for saves to
    // pause holds up nothing. Before the worker: destroyed after it, so a
    // save finishing as the manager goes can still queue its snapshot.
    mutable QThreadPool m_snapshotThread;
    // Reading a large library leaves the thread's JSON parser holding buffers
    // as large as the file; letting the idle thread end gives them back.
    mutable SerialWorker m_worker {QStringLiteral("Database"), std::chrono::seconds(5)};
};

} // namespace varno
