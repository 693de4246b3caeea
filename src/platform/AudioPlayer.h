#pragma once

#include "platform/Error.h"

#include <QString>

#include <memory>
#include <optional>

namespace varno {

class AudioPlayer;

// Receives a player's end-of-file notification, on the main thread.
class AudioPlayerObserver {
public:
    virtual ~AudioPlayerObserver() = default;
    // Once per natural end: `successfully` is false when decoding failed
    // part-way through the file.
    virtual void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) = 0;
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
};

// The factory chosen by VARNO_AUDIO_OUTPUT: "auto" (the default) and "pulse"
// use the sound server; "null" consumes samples on a clock, at the speed
// given by VARNO_NULL_OUTPUT_SPEED (default 1).
std::unique_ptr<AudioPlayerFactory> makeDefaultAudioPlayerFactory();

} // namespace varno
