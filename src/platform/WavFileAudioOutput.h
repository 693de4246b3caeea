#pragma once

#include "platform/AudioOutput.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace varno::audio {

class WavFileStream;

// An output that records what would be heard into a 32-bit float WAV file,
// on the null output's clock (real time times `speed`). One clock thread
// mixes every running stream, as a sound server mixes its clients, so the
// file holds exactly the sum a listener would hear, volume and all.
//
// The file takes the format of the first stream opened; later streams are
// asked for the same one (fixedFormat), so a player converts to it. The
// header is brought up to date after every period written, so the file is
// whole however the process ends; the destructor writes it a last time.
//
// Time only runs while a stream has started sounding: before a stream's
// first samples arrive (and again after a flush) the output waits for it,
// as a sound server waits for a new stream's first buffer; a stream that
// has sounded and then comes up short is heard as silence.
class WavFileAudioOutput final : public AudioOutput {
public:
    // Creates (or truncates) `path`. Throws AudioOutputError with the reason
    // when it cannot be written.
    WavFileAudioOutput(const QString& path, double speed = 1.0);
    ~WavFileAudioOutput() override;

    WavFileAudioOutput(const WavFileAudioOutput&) = delete;
    WavFileAudioOutput& operator=(const WavFileAudioOutput&) = delete;

    bool isUsable() const override { return true; }
    std::optional<StreamFormat> fixedFormat() const override;
    std::unique_ptr<AudioOutputStream> openStream(const StreamFormat& format, AudioSource& source) override;

    // For tests: frames written to the file so far.
    std::uint64_t framesWritten() const { return m_written.load(std::memory_order_acquire); }

private:
    friend class WavFileStream;

    void run();
    // Mixes `frames` frames of every running stream into the file. Called
    // with m_mutex held.
    void mix(std::uint64_t frames);
    bool anyRunning() const;
    void writeHeader();
    void attach(WavFileStream* stream);
    void detach(WavFileStream* stream);
    void changed();

    const QString m_path;
    const double m_speed;
    int m_fd = -1;

    // Everything below is guarded by m_mutex; the clock thread holds it
    // while it renders, so once a stream's pause() or destructor returns
    // its source is not called again.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<StreamFormat> m_format;
    std::vector<WavFileStream*> m_streams;
    std::vector<float> m_mix;
    std::vector<float> m_scratch;
    bool m_quit = false;
    std::atomic<std::uint64_t> m_written {0};
    std::thread m_thread;
};

class WavFileStream final : public AudioOutputStream {
public:
    WavFileStream(WavFileAudioOutput& output, AudioSource& source);
    ~WavFileStream() override;

    WavFileStream(const WavFileStream&) = delete;
    WavFileStream& operator=(const WavFileStream&) = delete;

    void start() override;
    void pause() override;
    void flush() override;
    void samplesAvailable() override {}
    std::uint64_t heardFrames() const override { return m_consumed.load(std::memory_order_acquire); }
    // What was taken was heard when it was taken.
    bool drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected) override
    {
        return generation.load(std::memory_order_acquire) == expected;
    }
    void interruptDrain() override {}

private:
    friend class WavFileAudioOutput;

    WavFileAudioOutput& m_output;
    AudioSource& m_source;
    // Guarded by the output's mutex.
    bool m_running = false;
    bool m_sounding = false;
    std::atomic<std::uint64_t> m_consumed {0};
};

} // namespace varno::audio
