#pragma once

#include "storage/DatabaseError.h"
#include "storage/OstrelDatabaseManager.h"

#include <QHash>

#include <functional>
#include <optional>

namespace varno::test {

// The real database, with hooks that run right after an entry was deleted
// (to change the disk between the engine's checks and its deletion) and
// right after tag fields were written (to change the library before the
// engine publishes them), and a switch that makes every save fail.
class InterceptingDatabase final : public DatabaseManager {
public:
    explicit InterceptingDatabase(OstrelDatabaseManager& real)
        : m_real(real)
    {
    }

    std::function<void()> afterDelete;
    // Awaited before the fill's result goes back to the engine.
    std::function<QCoro::Task<>()> afterFill;
    std::optional<QString> saveFailure;

    QUrl databaseURL() const override { return m_real.databaseURL(); }
    QCoro::Task<> eraseAllData() override { return m_real.eraseAllData(); }
    QCoro::Task<TracksFileUpdate> saveTracks(TrackList tracks) override
    {
        if (saveFailure)
            throw DatabaseError::writeFailed(*saveFailure);
        auto saving = m_real.saveTracks(std::move(tracks));
        co_return co_await saving;
    }
    QCoro::Task<TracksFileUpdate> updateTracks(TrackList tracks) override { return m_real.updateTracks(std::move(tracks)); }
    QCoro::Task<TracksFileUpdate> appendNewTracks(TrackList tracks) override { return m_real.appendNewTracks(std::move(tracks)); }
    QCoro::Task<TracksFileUpdate> fillTagFields(std::vector<TagFieldsFill> fills) override
    {
        auto filling = m_real.fillTagFields(std::move(fills));
        TracksFileUpdate update = co_await filling;
        if (afterFill) {
            auto hook = afterFill();
            co_await hook;
        }
        co_return update;
    }
    QCoro::Task<bool> tracksFileChangedElsewhere() override { return m_real.tracksFileChangedElsewhere(); }
    QCoro::Task<TrackList> loadAllTracks() override { return m_real.loadAllTracks(); }
    QCoro::Task<std::optional<Track>> fetchTrack(QUuid id) override { return m_real.fetchTrack(id); }
    QCoro::Task<TracksFileUpdate> deleteTracks(TrackList tracks) override
    {
        auto deleting = m_real.deleteTracks(std::move(tracks));
        TracksFileUpdate update = co_await deleting;
        if (afterDelete)
            afterDelete();
        co_return update;
    }
    QCoro::Task<QStringList> loadWatchedFolders() override { return m_real.loadWatchedFolders(); }
    QCoro::Task<QStringList> addWatchedFolders(QStringList folders) override { return m_real.addWatchedFolders(std::move(folders)); }
    void savePlaylists(const std::vector<Playlist>& playlists) override { m_real.savePlaylists(playlists); }
    std::vector<Playlist> loadAllPlaylists() override { return m_real.loadAllPlaylists(); }
    void deletePlaylist(const QUuid& id) override { m_real.deletePlaylist(id); }
    void recordPlayback(const QUuid& trackID, Timestamp timestamp) override { m_real.recordPlayback(trackID, timestamp); }
    PlaybackStatistics fetchStatistics(const QUuid& trackID) override { return m_real.fetchStatistics(trackID); }
    QCoro::Task<QHash<QUuid, std::int64_t>> fetchPlayCounts() override { return m_real.fetchPlayCounts(); }
    void savePlaybackState(const PlaybackStateSnapshot& snapshot) override { m_real.savePlaybackState(snapshot); }
    std::optional<PlaybackStateSnapshot> loadPlaybackState() override { return m_real.loadPlaybackState(); }

protected:
    void setPreferenceData(const QByteArray& data, const QString& key) override { m_preferences.insert(key, data); }
    std::optional<QByteArray> preferenceData(const QString& key) const override
    {
        if (!m_preferences.contains(key))
            return std::nullopt;
        return m_preferences.value(key);
    }

private:
    OstrelDatabaseManager& m_real;
    QHash<QString, QByteArray> m_preferences;
};

} // namespace varno::test
