#pragma once

#include "playback/AudioEngine.h"
#include "playback/AudioPlaybackError.h"

#include <QSet>

namespace varno::test {

// An audio engine that only records what the queue asked of it. Songs whose
// id is in `failing` cannot start.
class FakeAudioEngine final : public AudioEngine {
public:
    QSet<QUuid> failing;
    std::vector<QString> played; // titles, in order
    std::vector<double> seeks;
    int clears = 0;
    double time = 0;
    PlaybackState state = PlaybackState::Stopped;
    float vol = 1.0f;
    std::optional<Track> track;

    AudioEngineDelegate* delegate() const override { return m_delegate; }
    void setDelegate(AudioEngineDelegate* delegate) override { m_delegate = delegate; }
    PlaybackState playbackState() const override { return state; }
    const std::optional<Track>& currentTrack() const override { return track; }
    const std::vector<Track>& queue() const override { return m_queue; }
    double currentTime() const override { return time; }
    double duration() const override { return track ? track->duration : 0; }
    double progress() const override { return 0; }
    float volume() const override { return vol; }
    void setVolume(float volume) override { vol = volume; }
    void setQueue(const std::vector<Track>&, int) override { }
    void appendToQueue(const Track&) override { }
    void clearQueue() override
    {
        ++clears;
        track.reset();
        state = PlaybackState::Stopped;
    }
    void play(const Track& song) override
    {
        if (failing.contains(song.id))
            throw AudioPlaybackError::missingFile(song.fileURL);
        played.push_back(song.title);
        track = song;
        time = 0;
        state = PlaybackState::Playing;
    }
    void resume() override { }
    void pause() override { }
    void stop() override { }
    void togglePlayback() override { }
    void nextTrack() override { }
    void previousTrack() override { }
    void seek(double to) override
    {
        seeks.push_back(to);
        time = to;
    }
    bool isGaplessEnabled() const override { return true; }
    void setGaplessEnabled(bool) override { }
    double crossfadeDuration() const override { return 0; }
    void setCrossfadeDuration(double) override { }
    bool isReplayGainEnabled() const override { return true; }
    void setReplayGainEnabled(bool) override { }
    void fade(double, float) override { }
    void setOutputDevice(const QString&) override { throw AudioPlaybackError::outputDeviceRoutingUnavailable(); }

    // The song ended by itself.
    void finish()
    {
        state = PlaybackState::Stopped;
        if (m_delegate)
            m_delegate->audioEngineDidFinishPlayback(*this);
    }

private:
    AudioEngineDelegate* m_delegate = nullptr;
    std::vector<Track> m_queue;
};

} // namespace varno::test
