#pragma once

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

    // Kept for the settings sheet; playback does not act on them yet.
    virtual bool isGaplessEnabled() const = 0;
    virtual void setGaplessEnabled(bool enabled) = 0;
    virtual double crossfadeDuration() const = 0;
    virtual void setCrossfadeDuration(double seconds) = 0;
    virtual bool isReplayGainEnabled() const = 0;
    virtual void setReplayGainEnabled(bool enabled) = 0;

    // Moves the volume to `targetVolume` over `duration` seconds.
    virtual void fade(double duration, float targetVolume) = 0;
    // Always throws AudioPlaybackError::outputDeviceRoutingUnavailable.
    virtual void setOutputDevice(const QString& id) = 0;

signals:
    void queueChanged();
    void playbackStateChanged();
    void currentTrackChanged();
    void currentTimeChanged();
    void volumeChanged();
};

} // namespace varno
