#pragma once

#include "playback/ReplayGainMode.h"
#include "storage/Track.h"

#include <QObject>

#include <exception>
#include <optional>
#include <vector>

namespace varno {

enum class PlaybackState { Stopped, Buffering, Playing, Paused, Failed };

class AudioEngine;

// Hears what the audio engine does. Every notification has an empty default,
// so a delegate implements only what it needs. Delivered on the main thread.
// The overloads keep the labels of the notifications as parameter names.
class AudioEngineDelegate {
public:
    virtual ~AudioEngineDelegate() = default;

    virtual void audioEngine(AudioEngine& engine, PlaybackState didChangePlaybackState);
    virtual void audioEngine(AudioEngine& engine, const std::optional<Track>& didChangeTrack);
    virtual void audioEngine(AudioEngine& engine, double didUpdateCurrentTime);
    virtual void audioEngineDidFinishPlayback(AudioEngine& engine);
    virtual void audioEngine(AudioEngine& engine, std::exception_ptr didFailWith);
    // The song set with setFollowingTrack() took over from the one that
    // ended, without a stop in between: it is the current track now and
    // its first sample is being heard.
    virtual void audioEngineDidStartFollowingTrack(AudioEngine& engine);
};

// Plays one song file at a time and publishes the state, song, position and
// volume the player bar shows. Its own song list (`queue`) only steps next and
// previous; shuffle, repeat and history belong to the queue engine. Main
// thread only.
class AudioEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Held weakly: a delegate that is a QObject is forgotten when destroyed.
    virtual AudioEngineDelegate* delegate() const = 0;
    virtual void setDelegate(AudioEngineDelegate* delegate) = 0;

    virtual PlaybackState playbackState() const = 0;
    virtual const std::optional<Track>& currentTrack() const = 0;
    virtual const std::vector<Track>& queue() const = 0;
    // Seconds.
    virtual double currentTime() const = 0;
    // The player's duration, else the current song's, else 0.
    virtual double duration() const = 0;
    // currentTime ÷ duration in 0…1; 0 without a positive duration.
    virtual double progress() const = 0;
    bool isPlaying() const { return playbackState() == PlaybackState::Playing; }
    // 0.0…1.0.
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;

    virtual void setQueue(const std::vector<Track>& tracks, int startAt) = 0;
    virtual void appendToQueue(const Track& track) = 0;
    virtual void clearQueue() = 0;
    // Loads and starts the song. Throws AudioPlaybackError, or the access
    // error of the song's file unchanged; the song playing before keeps
    // playing then.
    virtual void play(const Track& track) = 0;
    virtual void resume() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void togglePlayback() = 0;
    virtual void nextTrack() = 0;
    virtual void previousTrack() = 0;
    virtual void seek(double to) = 0;

    // The song the queue plays after the current one, or none. While
    // gapless playback or a crossfade is on it is decoded ahead and joined
    // to the current song in one stream; its start is announced through
    // audioEngineDidStartFollowingTrack instead of an end and a play.
    virtual void setFollowingTrack(const std::optional<Track>& track) = 0;

    // Playback settings, applied at once. Songs of one album that follow
    // each other are always joined without a gap, never crossfaded.
    virtual bool isGaplessEnabled() const = 0;
    virtual void setGaplessEnabled(bool enabled) = 0;
    // Seconds, 0…kMaxCrossfade; 0 is off.
    virtual double crossfadeDuration() const = 0;
    virtual void setCrossfadeDuration(double seconds) = 0;
    // Whether the mode is other than Off; enabling picks Track.
    virtual bool isReplayGainEnabled() const = 0;
    virtual void setReplayGainEnabled(bool enabled) = 0;
    virtual ReplayGainMode replayGainMode() const = 0;
    virtual void setReplayGainMode(ReplayGainMode mode) = 0;

    static constexpr double kMaxCrossfade = 12.0;

    // Moves the volume to `targetVolume` over `duration` seconds.
    virtual void fade(double duration, float targetVolume) = 0;

    // The sound devices songs can play to, as the sound output names them;
    // empty when the output has no choice to offer (the null output).
    struct OutputDevice {
        QString id;
        QString name;
        friend bool operator==(const OutputDevice&, const OutputDevice&) = default;
    };
    virtual std::vector<OutputDevice> outputDevices() const = 0;
    // The chosen device's id; empty for the system's default.
    virtual QString outputDevice() const = 0;
    // Plays to the device from the next song on (empty: the default); while
    // it is missing the default one plays. Throws
    // AudioPlaybackError::outputDeviceRoutingUnavailable when the output
    // offers no choice of device.
    virtual void setOutputDevice(const QString& id) = 0;

signals:
    void queueChanged();
    void playbackStateChanged();
    void currentTrackChanged();
    void currentTimeChanged();
    void volumeChanged();
    // Any of the playback settings changed, the output device included.
    void playbackSettingsChanged();
    void outputDevicesChanged();
    // The chosen device was missing when a song started; the default one
    // plays. Once per choice of device. Carries an
    // AudioPlaybackError::outputDeviceMissing.
    void outputDeviceMissing(std::exception_ptr notice);
};

} // namespace varno
