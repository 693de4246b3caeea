#pragma once

#include "platform/AudioOutput.h"
#include "platform/Error.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace varno {

class AudioPlayer;

// Receives a player's end-of-file notification, on the main thread.
class AudioPlayerObserver {
public:
    virtual ~AudioPlayerObserver() = default;
    // Once per natural end: `successfully` is false when decoding failed
    // part-way through the file.
    virtual void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) = 0;
    // A song set with setFollowing() (the one at `path`) has started: its
    // first sample is being heard. The player now stands for that song (its
    // duration, its position from 0). Players that never join songs never
    // call it.
    virtual void audioPlayerDidStartFollowingSong(AudioPlayer& player, const QString& path);
};

// Which of a file's ReplayGain tags sets the level it plays at. A file
// without the tag asked for uses the other one; without either it plays as
// it is.
enum class LoudnessGain { Off, Track, Album };

// A song to play after the current one in the same output stream, its first
// sample right after the last of the current one.
struct FollowingSong {
    QString path;
    LoudnessGain gain = LoudnessGain::Off;
    // Seconds by which the end of the current song overlaps the start of
    // this one, with equal-power curves; 0 joins them back to back.
    double crossfadeSeconds = 0;
};

// The sound output could not be reached (no sound server, or the server
// refused the stream). The text is the system's reason, for example
// "Connection refused".
class AudioOutputError final : public Error {
public:
    using Error::Error;
};

// Plays one whole file through the sound output. Created and used on the main
// thread only; decoding and the output run on threads of the player's own,
// and nothing here waits for file or decode work longer than opening the file.
class AudioPlayer {
public:
    virtual ~AudioPlayer() = default;

    // Seconds; known from creation on.
    virtual double duration() const = 0;
    // The position being heard, output latency accounted for.
    virtual double currentTime() const = 0;
    // Seeks; clamped into 0…duration.
    virtual void setCurrentTime(double seconds) = 0;
    // 0.0…1.0, applied to samples from the next output period on.
    virtual void setVolume(float volume) = 0;

    // Opens the output stream and starts decoding ahead, so play() sounds at
    // once. False when the file cannot be decoded or the stream not opened.
    virtual bool prepareToPlay() = 0;
    // Starts or resumes sound (preparing first if needed). False on failure.
    virtual bool play() = 0;
    // Holds the position; the output stops consuming samples.
    virtual void pause() = 0;
    // Stops sound and releases the output stream; the position stays where
    // it was until set. A later play() prepares again.
    virtual void stop() = 0;

    // The level of the current song from its ReplayGain tags, applied from
    // the samples decoded next.
    virtual void setLoudnessGain(LoudnessGain gain);
    // The song to follow the current one, or none. Replaces the one set
    // before; once its first samples have been decoded behind the current
    // song's last it stays, unless a seek takes the current song back.
    // Throws MediaReadError when the file cannot be opened. A player that
    // cannot join songs ignores it and ends as usual.
    virtual void setFollowing(const std::optional<FollowingSong>& song);

    // Who hears the end-of-file notification; null for nobody. Not owned.
    virtual void setObserver(AudioPlayerObserver* observer) = 0;

    // When the sound output, not the file, is what stopped this player (the
    // sound server went away) or kept the last prepareToPlay() or play()
    // from succeeding: the system's reason. None otherwise.
    virtual std::optional<QString> outputFailure() const { return std::nullopt; }
};

// Makes players for the process's sound output.
class AudioPlayerFactory {
public:
    virtual ~AudioPlayerFactory() = default;

    // Opens `path` and reads its stream table. Throws AudioOutputError when
    // the sound output cannot be reached, MediaReadError (with the reason)
    // when the file cannot be opened or holds no audio.
    virtual std::unique_ptr<AudioPlayer> makePlayer(const QString& path) = 0;

    // The devices the sound output can play to; empty when it offers no
    // choice. May ask the sound server, briefly.
    virtual std::vector<audio::OutputDevice> devices() { return {}; }
    // The device players made from now on play to; empty for the default.
    virtual void setDevice(const QString& id) { Q_UNUSED(id); }
    // The chosen device, when it was missing as a player last opened its
    // stream and the default one played instead; once.
    virtual std::optional<QString> takeMissingDevice() { return std::nullopt; }
};

// The factory chosen by VARNO_AUDIO_OUTPUT: "auto" (the default) and "pulse"
// use the sound server; "null" consumes samples on a clock, at the speed
// given by VARNO_NULL_OUTPUT_SPEED (default 1); "wav:PATH" records what
// would be heard into PATH as a 32-bit float WAV file, on the same clock.
std::unique_ptr<AudioPlayerFactory> makeDefaultAudioPlayerFactory();

} // namespace varno
