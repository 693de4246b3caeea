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
    SharedTrack currentTrack;
    TrackList upcoming;
    TrackList history;
    TrackList originalUpcomingOrder;
    TrackList playbackOrder;
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
    const TrackList& upcoming() const override { return m_upcoming; }
    const TrackList& history() const override { return m_history; }
    RepeatMode repeatMode() const override { return m_repeatMode; }
    void setRepeatMode(RepeatMode mode) override;
    ShuffleMode shuffleMode() const override { return m_shuffleMode; }
    void setShuffleMode(ShuffleMode mode) override;

    void playNow(const TrackList& tracks, int startingAt = 0) override;
    void playNext(const TrackList& tracks) override;
    void playLast(const TrackList& tracks) override;
    void skipTo(int at) override;
    void remove(int at) override;
    void move(int from, int to) override;
    void clearUpcoming() override;
    void removeTrackFromPlayback(const QUuid& trackID) override;
    std::optional<Track> advanceToNext() override;
    std::optional<Track> returnToPrevious() override;
    std::optional<Track> playPreviousSong() override;

    std::exception_ptr lastPlaybackError() const override { return m_lastPlaybackError; }
    std::exception_ptr lastPersistenceError() const override { return m_lastPersistenceError; }
    void clearReportedErrors() override;
    void reportPlaybackError(std::exception_ptr error);

    // Not owned and held weakly; also makes this engine the audio engine's
    // delegate.
    void setAudioEngine(AudioEngine* engine);
    AudioEngine* audioEngine() const { return m_audioEngine.data(); }

    // Puts back the session saved at the last run, without saving and
    // without touching the audio engine.
    void restorePlaybackSession(const SharedTrack& currentTrack, const TrackList& upcoming, const TrackList& history,
                                RepeatMode repeatMode, ShuffleMode shuffleMode,
                                const std::optional<TrackList>& playbackOrder = std::nullopt);

    void savePlaybackState(bool synchronously) override;
    // While set, nothing this engine does writes the saved session. The
    // composition root sets it when the library could not be read: the
    // session belongs to that library, and an empty queue saved over it
    // would lose the user's place for good.
    void setKeepsSavedSession(bool keep) { m_keepsSavedSession = keep; }
    bool keepsSavedSession() const { return m_keepsSavedSession; }

    // The whole list the user started playing, restarted under repeat all.
    const TrackList& playbackOrder() const { return m_playbackOrder; }
    // Every list as it stands now; copying them copies no song.
    QueueSnapshot snapshot() const;
    const TrackList& originalUpcomingOrder() const { return m_originalUpcomingOrder; }

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
    void audioEngineDidStartFollowingTrack(AudioEngine& engine) override;

    // The song a natural end of the current one would start, as advance()
    // would pick it; none when there is none. Under repeat all with shuffle
    // the next round is dealt now, and kept to when the round starts over.
    std::optional<Track> followingTrack();

private:
    // Tells the audio engine which song comes next, once the current change
    // of the lists is complete.
    void scheduleFollowingUpdate();
    bool startPlayback(const Track& track);
    void rebuildPlaybackOrder();
    void shuffle(TrackList& tracks, std::size_t from);
    // Orders `upcoming` for the shuffle mode: dealt at random under
    // standard, otherwise in the order of `original` (songs missing from
    // it drop out).
    void dealUpcoming(TrackList& upcoming, const TrackList& original);
    void applyShuffleMode();
    std::optional<Track> takeNextFromUpcoming();
    // The queue that starting the play order over would make, its first
    // song current; none when there is nothing to start over. Dealt once per
    // play order: asked again, it answers the same deal.
    std::optional<QueueSnapshot> restartedQueue();
    void insertUpcoming(const TrackList& tracks, bool atFront);
    std::optional<Track> advance(bool automatic);
    // Starts the first song of `candidates` from `from` on that starts; the
    // error of the last one passed over is left in `passedOver`. None when
    // none starts (the last error is then published).
    std::optional<std::size_t> startFirstPlayable(const TrackList& candidates, std::size_t from, std::exception_ptr& passedOver);
    // Drops the first `count` upcoming songs, which could not start.
    void passOverUpcoming(std::size_t count);
    // The song playing failed: the queue goes on to the next song that
    // starts, keeping the failure in view.
    void moveOnAfterFailure(std::exception_ptr failure);
    std::optional<Track> goBack(bool restartRule);
    void save() { savePlaybackState(false); }
    // The session as it stands, with the lists' identifiers taken later, on
    // the session store's worker: a queue of 100,000 songs is not walked on
    // the main thread at every step.
    std::function<PlaybackStateSnapshot()> makeSnapshot() const;

    void setCurrentTrack(SharedTrack track);
    void setUpcoming(TrackList tracks);
    void setHistory(TrackList tracks);
    void setLastPlaybackError(std::exception_ptr error);
    void setLastPersistenceError(std::exception_ptr error);

    std::unique_ptr<PlaybackSessionStore> m_sessionStore;
    // Empty until the first save caused by a time update.
    std::optional<std::chrono::steady_clock::time_point> m_lastPeriodicSave;
    bool m_keepsSavedSession = false;
    bool m_isRestoringSession = false;
    // While a song is being started: a failure the audio engine reports
    // then is the start's own, handled where the start was asked for.
    bool m_isStarting = false;
    // What was reported while a song was being started.
    std::exception_ptr m_noticeWhileStarting;
    // The song the audio engine already moved on to by itself: starting it
    // means taking it as started.
    std::optional<QUuid> m_alreadyStarted;
    bool m_followingUpdatePending = false;
    // The next round of the play order, dealt ahead so that its first song
    // can be prepared while the last one of this round plays, and the
    // order it was dealt from: a different order is dealt again.
    struct NextRound {
        TrackList dealtFrom;
        QueueSnapshot queue;
    };
    std::optional<NextRound> m_nextRound;
    // The current song as the lists hold it, and the copy published.
    SharedTrack m_current;
    std::optional<Track> m_currentTrack;
    TrackList m_upcoming;
    TrackList m_history;
    RepeatMode m_repeatMode = RepeatMode::Off;
    ShuffleMode m_shuffleMode = ShuffleMode::Off;
    TrackList m_originalUpcomingOrder;
    TrackList m_playbackOrder;
    std::exception_ptr m_lastPlaybackError;
    std::exception_ptr m_lastPersistenceError;
    QPointer<AudioEngine> m_audioEngine;

    std::mt19937_64 m_random {std::random_device {}()};
};

} // namespace varno
