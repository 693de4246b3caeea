#pragma once

#include "library/SecurityScopedResource.h"
#include "playback/AudioEngine.h"
#include "platform/AudioPlayer.h"

#include <QPointer>
#include <QTimer>

#include <memory>

namespace varno {

// Plays songs through platform players, one at a time. The file's access
// stays open for as long as the song is loaded. The song the queue names as
// next is handed to the player to follow the current one in the same stream
// (gapless, or crossfaded between albums), with its file's access held from
// then until it has played. Main thread only.
class OstrelAudioEngine final : public AudioEngine, private AudioPlayerObserver {
    Q_OBJECT

public:
    // `players` makes a player for each song loaded: the composition root
    // hands in the sound output VARNO_AUDIO_OUTPUT selects.
    explicit OstrelAudioEngine(std::unique_ptr<AudioPlayerFactory> players);
    // Stops both timers and the player and ends the file access.
    ~OstrelAudioEngine() override;

    AudioEngineDelegate* delegate() const override;
    void setDelegate(AudioEngineDelegate* delegate) override;

    PlaybackState playbackState() const override { return m_playbackState; }
    const std::optional<Track>& currentTrack() const override { return m_currentTrack; }
    const std::vector<Track>& queue() const override { return m_queue; }
    double currentTime() const override { return m_currentTime; }
    double duration() const override;
    double progress() const override;
    float volume() const override { return m_outputVolume; }
    void setVolume(float volume) override;

    void setQueue(const std::vector<Track>& tracks, int startAt) override;
    void appendToQueue(const Track& track) override;
    void clearQueue() override;
    void play(const Track& track) override;
    void resume() override;
    void pause() override;
    void stop() override;
    void togglePlayback() override;
    void nextTrack() override;
    void previousTrack() override;
    void seek(double to) override;

    void setFollowingTrack(const std::optional<Track>& track) override;

    bool isGaplessEnabled() const override { return m_isGaplessEnabled; }
    void setGaplessEnabled(bool enabled) override;
    double crossfadeDuration() const override { return m_crossfadeDuration; }
    void setCrossfadeDuration(double seconds) override;
    bool isReplayGainEnabled() const override { return m_replayGainMode != ReplayGainMode::Off; }
    void setReplayGainEnabled(bool enabled) override;
    ReplayGainMode replayGainMode() const override { return m_replayGainMode; }
    void setReplayGainMode(ReplayGainMode mode) override;

    void fade(double duration, float targetVolume) override;
    std::vector<OutputDevice> outputDevices() const override;
    QString outputDevice() const override { return m_outputDevice; }
    void setOutputDevice(const QString& id) override;

    // Loads the song paused at `at` seconds (clamped into the song), for the
    // session restored at start. Throws like play().
    void restore(const Track& track, double at);

    // The position timer's interval; it runs only while playing.
    static constexpr int kProgressIntervalMs = 50;
    // A fade moves in steps of about this length.
    static constexpr double kFadeStepSeconds = 0.02;
    // Resuming closer than this to the end starts the song over.
    static constexpr double kEndTolerance = 0.05;

    // For tests: whether the position timer is running.
    bool isProgressTimerActive() const { return m_progressTimer != nullptr; }

private:
    struct OpenedPlayer {
        std::unique_ptr<AudioPlayer> player;
        std::unique_ptr<SecurityScopedResource> access;
    };

    // The song handed to the player to follow the current one.
    struct Following {
        Track track;
        std::unique_ptr<SecurityScopedResource> access;
        double crossfadeSeconds = 0;
        LoudnessGain gain = LoudnessGain::Off;
    };

    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) override;
    void audioPlayerDidStartFollowingSong(AudioPlayer& player, const QString& path) override;

    // Hands the player the song the queue named (or takes it back) as the
    // settings now say.
    void applyFollowing();
    void dropFollowing();
    void retireFollowing();
    // The gain a song plays at next to `neighbour`.
    LoudnessGain loudnessFor(const Track& track, const std::optional<Track>& neighbour) const;

    void setState(PlaybackState state);
    void setCurrentTrack(const std::optional<Track>& track);
    void setCurrentTime(double seconds);
    void fail(std::exception_ptr error);
    void startProgressTimer();
    void stopProgressTimer();
    void syncPosition();
    void applyVolume(float volume);

    OpenedPlayer openPlayer(const Track& track);
    void load(const Track& track, bool autoplay, double startTime);
    void playAt(int index);

    void notifyTime(double seconds);

    AudioEngineDelegate* m_delegate = nullptr;
    // Set when the delegate is a QObject, so a destroyed one is never called.
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;

    std::vector<Track> m_queue;
    PlaybackState m_playbackState = PlaybackState::Stopped;
    std::optional<Track> m_currentTrack;
    double m_currentTime = 0;
    int m_currentIndex = 0;
    std::unique_ptr<AudioPlayer> m_audioPlayer;
    std::unique_ptr<SecurityScopedResource> m_activeSecurityAccess;
    // Owned by the engine as children, so they die with it.
    QTimer* m_progressTimer = nullptr;
    QTimer* m_fadeTimer = nullptr;
    float m_outputVolume = 1.0f;
    bool m_isGaplessEnabled = true;
    double m_crossfadeDuration = 0;
    ReplayGainMode m_replayGainMode = ReplayGainMode::Track;
    // What the queue asked to follow, and what the player was handed.
    std::optional<Track> m_wantedFollowing;
    std::optional<Following> m_following;
    // Songs handed to the player and then replaced: the player may have
    // decoded one of them already, and then plays it. Cleared when a song is
    // loaded anew.
    std::vector<Following> m_replacedFollowing;
    // The song played before the current one, for album gain.
    std::optional<Track> m_previousTrack;

    QString m_outputDevice;

    std::unique_ptr<AudioPlayerFactory> m_players;
};

} // namespace varno
