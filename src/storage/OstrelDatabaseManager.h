#pragma once

#include "platform/PreferencesStore.h"
#include "platform/Worker.h"
#include "storage/DatabaseManager.h"

#include <QString>

namespace varno {

// Main thread only (see DatabaseManager); file work of the coroutine
// operations runs on the "Database" serial worker, which is what keeps each
// read-modify-write of the tracks file whole.
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
    QCoro::Task<> saveTracks(std::vector<Track> tracks) override;
    QCoro::Task<std::vector<Track>> loadAllTracks() override;
    QCoro::Task<std::optional<Track>> fetchTrack(QUuid id) override;
    QCoro::Task<> deleteTracks(std::vector<Track> tracks) override;

    void savePlaylists(const std::vector<Playlist>& playlists) override;
    std::vector<Playlist> loadAllPlaylists() override;
    void deletePlaylist(const QUuid& id) override;

    void recordPlayback(const QUuid& trackID, Timestamp timestamp) override;
    PlaybackStatistics fetchStatistics(const QUuid& trackID) override;

    void savePlaybackState(const PlaybackStateSnapshot& snapshot) override;
    std::optional<PlaybackStateSnapshot> loadPlaybackState() override;

    // Blocking forms of the tracks-file operations, for the serial worker and
    // for tools that have no event loop.
    std::vector<Track> readTracksFile() const;
    void upsertTracksFile(const std::vector<Track>& tracks) const;
    void deleteFromTracksFile(const std::vector<Track>& tracks) const;
    void eraseAllFiles() const;

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
    void createMissingStateFiles() const;
    void keepTracksBackup() const;

    PreferencesStore& m_preferences;
    QString m_folder;
    QString m_databasePath;
    QString m_tracksPath;
    QString m_playlistsPath;
    QString m_historyPath;
    QString m_statePath;
    // Reading a large library leaves the thread's JSON parser holding buffers
    // as large as the file; letting the idle thread end gives them back.
    SerialWorker m_worker {QStringLiteral("Database"), std::chrono::seconds(5)};
};

} // namespace varno
