#pragma once

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The seam between the players and the system's sound output: a player
// opens one stream per prepared file and the stream pulls samples from it.
// Three outputs exist: the sound server (PulseAudioOutput), a clocked null
// output for tests and machines without sound (NullAudioOutput) and a
// recording into a WAV file on the same clock (WavFileAudioOutput).
namespace varno::audio {

// Interleaved 32-bit float samples; one or two channels.
struct StreamFormat {
    int sampleRate = 0;
    int channelCount = 0;
};

// A device of the sound output: its id (the sound server's sink name) and
// the name to show.
struct OutputDevice {
    QString id;
    QString description;
};

// What a stream plays. Called on the output's own thread.
class AudioSource {
public:
    // Fills up to `frames` frames; returns how many it filled. Fewer (even
    // none) means nothing more is ready yet: the output plays nothing for
    // the rest and asks again later. Must not block, allocate, lock or log.
    virtual std::size_t render(float* out, std::size_t frames) noexcept = 0;
    // The stream broke (the sound server went away); no render follows.
    virtual void outputFailed() noexcept = 0;

protected:
    ~AudioSource() = default;
};

// One open stream. Created paused. Destroying it closes it; once the
// destructor returns, the source is never called again.
//
// start, pause, flush and heardFrames are for the player's (main) thread;
// samplesAvailable, drain and interruptDrain may come from its decoding
// thread as well.
class AudioOutputStream {
public:
    virtual ~AudioOutputStream() = default;

    virtual void start() = 0;
    // Stops consuming; what was taken stays queued and plays on start().
    virtual void pause() = 0;
    // Drops what was taken but not heard yet, so a seek is heard at once.
    virtual void flush() = 0;
    // The source has samples again after it came up short; an output that
    // waits to be told rather than asking on a clock asks now.
    virtual void samplesAvailable() = 0;

    // Frames the source has handed over since the stream opened, less those
    // not heard yet. Frames dropped by flush() count as heard: a position
    // measured from a count taken at the seek stays right.
    virtual std::uint64_t heardFrames() const = 0;

    // Blocks until everything handed over has been heard. Gives up, returning
    // false, when `generation` no longer equals `expected` (the caller then
    // calls interruptDrain() so the wait notices) or the stream broke.
    virtual bool drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected) = 0;
    virtual void interruptDrain() = 0;
};

// The process's sound output.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // False once the output can no longer open streams (the sound server
    // went away); the factory then connects again.
    virtual bool isUsable() const = 0;
    // Why streams broke or can no longer be opened, in the system's words
    // ("Connection terminated"); empty when the output gives none.
    virtual QString failureReason() const { return {}; }
    // The one format this output takes, when it takes only one (a recording
    // has a single format); players convert to it. None when any will do.
    virtual std::optional<StreamFormat> fixedFormat() const { return std::nullopt; }
    // Throws AudioOutputError with the system's reason.
    virtual std::unique_ptr<AudioOutputStream> openStream(const StreamFormat& format, AudioSource& source) = 0;

    // The devices streams can be sent to; empty when the output offers no
    // choice. May wait for the sound server, within its time limit.
    virtual std::vector<OutputDevice> devices() { return {}; }
    // The device streams opened from now on go to; empty for the default.
    // One that is not there is stood in for by the default.
    virtual void setDevice(const QString& id) { Q_UNUSED(id); }
    // The device that was asked for but missing when a stream last opened;
    // taking it clears it. Telling the user only once per choice is the
    // caller's (AudioOutputConnection).
    virtual std::optional<QString> takeMissingDevice() { return std::nullopt; }
};

} // namespace varno::audio
