#pragma once

#include "playback/AudioEngine.h"
#include "playback/AudioPlaybackError.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

#include <optional>
#include <vector>

namespace varno::test {

// An audio engine that plays nothing. It records what it is asked, and
// reports what the test sets: the state (setPlaybackState), the song
// (setCurrentTrack or `track`), the time (moveTo announces it) and the
// volume. A play request for a song whose id is in `failing` throws as a
// missing file would; any other makes that song current and playing, as
// the real engine does. Resume, pause, stop and toggle are only recorded,
// so the state stays the test's. Main thread only, like the engine it
// stands in for.
class FakeAudioEngine final : public AudioEngine {
public:
    // Every request, in order: "play", "resume", "pause", "stop", "toggle".
    QStringList requests;
    // Titles of the songs that started, in order.
    std::vector<QString> played;
    QSet<QUuid> failing;
    std::vector<double> seeks;
    int clears = 0;
    double time = 0;
    float vol = 1.0f;
    std::optional<Track> track;

    void setPlaybackState(PlaybackState state)
    {
        m_state = state;
        emit playbackStateChanged();
    }
    void setCurrentTrack(std::optional<Track> song)
    {
        track = std::move(song);
        emit currentTrackChanged();
    }
    // The position moved on, as the real engine's clock reports it.
    void moveTo(double seconds)
    {
        time = seconds;
        emit currentTimeChanged();
    }

    // The song playing failed, as a damaged file does halfway.
    void failWhilePlaying(const QString& reason)
    {
        m_state = PlaybackState::Failed;
        if (m_delegate)
            m_delegate->audioEngine(*this, std::make_exception_ptr(AudioPlaybackError::unreadableFile(track ? track->fileURL : FileURL(), reason)));
    }

    // The song ended by itself.
    void finish()
    {
        m_state = PlaybackState::Stopped;
        if (m_delegate)
            m_delegate->audioEngineDidFinishPlayback(*this);
    }

    AudioEngineDelegate* delegate() const override { return m_delegate; }
    void setDelegate(AudioEngineDelegate* delegate) override { m_delegate = delegate; }
    PlaybackState playbackState() const override { return m_state; }
    const std::optional<Track>& currentTrack() const override { return track; }
    const std::vector<Track>& queue() const override { return m_queue; }
    double currentTime() const override { return time; }
    double duration() const override { return track ? track->duration : 0; }
    double progress() const override { return duration() > 0 ? std::clamp(time / duration(), 0.0, 1.0) : 0; }
    float volume() const override { return vol; }
    void setVolume(float volume) override { vol = volume; }
    void setQueue(const std::vector<Track>&, int) override { }
    void appendToQueue(const Track&) override { }
    void clearQueue() override
    {
        ++clears;
        track.reset();
        m_state = PlaybackState::Stopped;
    }
    void play(const Track& song) override
    {
        requests << QStringLiteral("play");
        if (failing.contains(song.id))
            throw AudioPlaybackError::missingFile(song.fileURL);
        played.push_back(song.title);
        time = 0;
        setCurrentTrack(song);
        setPlaybackState(PlaybackState::Playing);
    }
    void resume() override { requests << QStringLiteral("resume"); }
    void pause() override { requests << QStringLiteral("pause"); }
    void stop() override { requests << QStringLiteral("stop"); }
    void togglePlayback() override { requests << QStringLiteral("toggle"); }
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
    ReplayGainMode replayGainMode() const override { return ReplayGainMode::Track; }
    void setReplayGainMode(ReplayGainMode) override { }
    // The songs the queue announced as next, in order (none as nullopt).
    std::vector<std::optional<QUuid>> followingRequests;
    void setFollowingTrack(const std::optional<Track>& next) override
    {
        followingRequests.push_back(next ? std::optional<QUuid>(next->id) : std::nullopt);
    }
    void fade(double, float) override { }
    std::vector<OutputDevice> outputDevices() const override { return {}; }
    QString outputDevice() const override { return {}; }
    void setOutputDevice(const QString&) override { throw AudioPlaybackError::outputDeviceRoutingUnavailable(); }

private:
    AudioEngineDelegate* m_delegate = nullptr;
    PlaybackState m_state = PlaybackState::Stopped;
    std::vector<Track> m_queue;
};

} // namespace varno::test
