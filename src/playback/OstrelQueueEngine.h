#pragma once

#include "playback/AudioEngine.h"
#include "playback/PlaybackSessionStore.h"
#include "playback/QueueEngine.h"

#include <QPointer>

#include <chrono>
#include <exception>
#include <memory>
#include <random>

namespace varno {

// The queue's lists at one moment, all five together.
struct QueueSnapshot {
    std::optional<Track> currentTrack;
    std::vector<Track> upcoming;
    std::vector<Track> history;
    std::vector<Track> originalUpcomingOrder;
    std::vector<Track> playbackOrder;
};

// The play queue over an audio engine that it never owns. Every change is
// saved as the playback session when a database is given; saves run on the
// session store's worker, and time updates cause at most one a second.
// Main thread only.
class OstrelQueueEngine final : public QueueEngine, public AudioEngineDelegate {
    Q_OBJECT

public:
    explicit OstrelQueueEngine(DatabaseManager* database = nullptr);
    ~OstrelQueueEngine() override;

    const std::optional<Track>& currentTrack() const override { return m_currentTrack; }
    const std::vector<Track>& upcoming() const override { return m_upcoming; }
    const std::vector<Track>& history() const override { return m_history; }
    RepeatMode repeatMode() const override { return m_repeatMode; }
    void setRepeatMode(RepeatMode mode) override;
    ShuffleMode shuffleMode() const override { return m_shuffleMode; }
    void setShuffleMode(ShuffleMode mode) override;

    void playNow(const std::vector<Track>& tracks, int startingAt = 0) override;
    void playNext(const std::vector<Track>& tracks) override;
    void playLast(const std::vector<Track>& tracks) override;
    void remove(int at) override;
    void move(int from, int to) override;
    void clearUpcoming() override;
    void removeTrackFromPlayback(const QUuid& trackID) override;
    std::optional<Track> advanceToNext() override;
    std::optional<Track> returnToPrevious() override;
    std::optional<Track> playPreviousSong() override;

    // Null when none. Published through lastPlaybackErrorChanged().
    std::exception_ptr lastPlaybackError() const { return m_lastPlaybackError; }
    // The last session save's failure; null after a successful save.
    std::exception_ptr lastPersistenceError() const { return m_lastPersistenceError; }
    void clearReportedErrors();
    void reportPlaybackError(std::exception_ptr error);

    // Not owned and held weakly; also makes this engine the audio engine's
    // delegate.
    void setAudioEngine(AudioEngine* engine);
    AudioEngine* audioEngine() const { return m_audioEngine.data(); }

    // Puts back the session saved at the last run, without saving and
    // without touching the audio engine.
    void restorePlaybackSession(const std::optional<Track>& currentTrack, const std::vector<Track>& upcoming,
                                const std::vector<Track>& history, RepeatMode repeatMode, ShuffleMode shuffleMode,
                                const std::optional<std::vector<Track>>& playbackOrder = std::nullopt);

    // Writes the session; with `synchronously` it blocks until the file is
    // written (for deactivation and quitting).
    void savePlaybackState(bool synchronously);

    // The whole list the user started playing, restarted under repeat all.
    const std::vector<Track>& playbackOrder() const { return m_playbackOrder; }
    // Copies of every list as they stand now.
    QueueSnapshot snapshot() const;
    const std::vector<Track>& originalUpcomingOrder() const { return m_originalUpcomingOrder; }

    // Time updates closer together than this cause no save.
    static constexpr double kPeriodicSaveInterval = 1.0;
    // Past this many seconds, "previous" restarts the song.
    static constexpr double kRestartThreshold = 3.0;

    // AudioEngineDelegate
    void audioEngine(AudioEngine& engine, PlaybackState didChangePlaybackState) override;
    void audioEngine(AudioEngine& engine, const std::optional<Track>& didChangeTrack) override;
    void audioEngine(AudioEngine& engine, double didUpdateCurrentTime) override;
    void audioEngineDidFinishPlayback(AudioEngine& engine) override;
    void audioEngine(AudioEngine& engine, std::exception_ptr didFailWith) override;

private:
    bool startPlayback(const Track& track);
    void rebuildPlaybackOrder();
    void shuffle(std::vector<Track>& tracks, std::size_t from);
    // Orders `upcoming` for the shuffle mode: dealt at random under
    // standard, otherwise in the order of `original` (songs missing from
    // it drop out).
    void dealUpcoming(std::vector<Track>& upcoming, const std::vector<Track>& original);
    void applyShuffleMode();
    std::optional<Track> takeNextFromUpcoming();
    // The queue that starting the play order over would make, its first
    // song current; none when there is nothing to start over.
    std::optional<QueueSnapshot> restartedQueue();
    void insertUpcoming(const std::vector<Track>& tracks, bool atFront);
    std::optional<Track> advance(bool automatic);
    std::optional<Track> goBack(bool restartRule);
    void save() { savePlaybackState(false); }
    PlaybackStateSnapshot makeSnapshot() const;

    void setCurrentTrack(const std::optional<Track>& track);
    void setUpcoming(std::vector<Track> tracks);
    void setHistory(std::vector<Track> tracks);
    void setLastPlaybackError(std::exception_ptr error);
    void setLastPersistenceError(std::exception_ptr error);

    std::unique_ptr<PlaybackSessionStore> m_sessionStore;
    // Empty until the first save caused by a time update.
    std::optional<std::chrono::steady_clock::time_point> m_lastPeriodicSave;
    bool m_isRestoringSession = false;
    std::optional<Track> m_currentTrack;
    std::vector<Track> m_upcoming;
    std::vector<Track> m_history;
    RepeatMode m_repeatMode = RepeatMode::Off;
    ShuffleMode m_shuffleMode = ShuffleMode::Off;
    std::vector<Track> m_originalUpcomingOrder;
    std::vector<Track> m_playbackOrder;
    std::exception_ptr m_lastPlaybackError;
    std::exception_ptr m_lastPersistenceError;
    QPointer<AudioEngine> m_audioEngine;

    std::mt19937_64 m_random {std::random_device {}()};
};

} // namespace varno
