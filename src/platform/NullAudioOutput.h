#pragma once

#include "platform/AudioOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varno::audio {

// How much time a clocked output takes per wake-up at `speed`: 10 ms of
// audio at speed 1, short enough that positions move smoothly and long
// enough that the clock costs nothing measurable; faster clocks take more
// audio per wake-up (down to 1 ms) rather than waking more often.
std::chrono::nanoseconds clockPeriodFor(double speed);

// An output that plays to nowhere, on a clock: each stream has a thread that
// takes samples from its source in real time, multiplied by `speed`, a
// period (10 ms of audio at speed 1) per wake-up, and sleeps in between. It
// counts what it took, so positions in tests are exact.
class NullAudioOutput final : public AudioOutput {
public:
    explicit NullAudioOutput(double speed = 1.0);

    double speed() const { return m_speed; }
    // For tests: the frames taken by every stream this output opened, those
    // closed since included.
    std::uint64_t framesConsumed() const { return m_consumed->load(std::memory_order_acquire); }

    bool isUsable() const override { return true; }
    std::unique_ptr<AudioOutputStream> openStream(const StreamFormat& format, AudioSource& source) override;

private:
    double m_speed;
    std::shared_ptr<std::atomic<std::uint64_t>> m_consumed = std::make_shared<std::atomic<std::uint64_t>>(0);
};

class NullAudioStream final : public AudioOutputStream {
public:
    // `total`, when given, counts the frames taken as well.
    NullAudioStream(const StreamFormat& format, AudioSource& source, double speed,
                    std::shared_ptr<std::atomic<std::uint64_t>> total = nullptr);
    ~NullAudioStream() override;

    NullAudioStream(const NullAudioStream&) = delete;
    NullAudioStream& operator=(const NullAudioStream&) = delete;

    void start() override;
    void pause() override;
    void flush() override {}
    void samplesAvailable() override {}
    std::uint64_t heardFrames() const override { return framesConsumed(); }
    bool drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected) override;
    void interruptDrain() override {}

    // For tests and benchmarks: the frames taken from the source since the
    // stream opened, and the largest sample magnitude among them.
    std::uint64_t framesConsumed() const { return m_consumed.load(std::memory_order_acquire); }
    float peakLevel() const { return m_peak.load(std::memory_order_acquire); }

private:
    void run();
    // Takes `frames` frames' worth of time from the source.
    void consume(std::uint64_t frames);

    const StreamFormat m_format;
    AudioSource& m_source;
    const double m_framesPerSecond;
    const std::chrono::nanoseconds m_period;
    const std::uint64_t m_framesPerPeriod;
    // Sized once for a period, so the clock thread never allocates.
    std::vector<float> m_scratch;

    std::atomic<std::uint64_t> m_consumed {0};
    std::shared_ptr<std::atomic<std::uint64_t>> m_total;
    std::atomic<float> m_peak {0.0f};

    // Held by the clock thread while it takes samples, so once pause()
    // returns nothing more is taken.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_running = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace varno::audio
