#include "NullAudioOutput.h"

#include <algorithm>
#include <cmath>

#include <pthread.h>

namespace varno::audio {

std::chrono::nanoseconds clockPeriodFor(double speed)
{
    constexpr std::chrono::nanoseconds atSpeed1 = std::chrono::milliseconds(10);
    constexpr std::chrono::nanoseconds shortest = std::chrono::milliseconds(1);
    const auto scaled = std::chrono::nanoseconds(static_cast<std::int64_t>(double(atSpeed1.count()) / speed));
    return std::clamp(scaled, shortest, atSpeed1);
}

NullAudioOutput::NullAudioOutput(double speed)
    : m_speed(speed > 0 && std::isfinite(speed) ? speed : 1.0)
{
}

std::unique_ptr<AudioOutputStream> NullAudioOutput::openStream(const StreamFormat& format, AudioSource& source)
{
    return std::make_unique<NullAudioStream>(format, source, m_speed, m_consumed);
}

NullAudioStream::NullAudioStream(const StreamFormat& format, AudioSource& source, double speed,
                                 std::shared_ptr<std::atomic<std::uint64_t>> total)
    : m_format(format)
    , m_source(source)
    , m_framesPerSecond(format.sampleRate * speed)
    , m_period(clockPeriodFor(speed))
    , m_framesPerPeriod(static_cast<std::uint64_t>(std::ceil(m_framesPerSecond * std::chrono::duration<double>(m_period).count())))
    , m_scratch(static_cast<std::size_t>(m_framesPerPeriod) * static_cast<std::size_t>(format.channelCount))
    , m_total(std::move(total))
{
    m_thread = std::thread([this] {
        pthread_setname_np(pthread_self(), "NullAudioOut");
        run();
    });
}

NullAudioStream::~NullAudioStream()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void NullAudioStream::start()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
    }
    m_changed.notify_all();
}

void NullAudioStream::pause()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
    }
    m_changed.notify_all();
}

bool NullAudioStream::drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected)
{
    // What was taken was heard when it was taken.
    return generation.load(std::memory_order_acquire) == expected;
}

void NullAudioStream::run()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_running; });
        if (m_quit)
            return;
        // Each run keeps its own clock: the time spent paused is not owed.
        // A period is taken at its start, as a device takes a buffer before
        // playing it, so the first one goes at once.
        const Clock::time_point started = Clock::now();
        Clock::time_point wake = started;
        std::uint64_t taken = 0;
        while (m_running && !m_quit) {
            const Clock::time_point now = Clock::now();
            const double elapsed = std::chrono::duration<double>(now - started).count();
            const auto due = static_cast<std::uint64_t>(elapsed * m_framesPerSecond) + m_framesPerPeriod;
            if (due > taken) {
                consume(due - taken);
                taken = due;
            }
            // A late wake-up was caught up above from the clock; don't try to
            // make up the missed wake-ups as well.
            wake = std::max(wake + m_period, now);
            m_changed.wait_until(lock, wake, [this] { return m_quit || !m_running; });
        }
    }
}

void NullAudioStream::consume(std::uint64_t frames)
{
    const std::size_t channels = static_cast<std::size_t>(m_format.channelCount);
    const std::size_t chunkFrames = m_scratch.size() / channels;
    float peak = m_peak.load(std::memory_order_relaxed);
    while (frames > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(frames, chunkFrames));
        const std::size_t got = m_source.render(m_scratch.data(), chunk);
        for (std::size_t i = 0; i < got * channels; ++i)
            peak = std::max(peak, std::fabs(m_scratch[i]));
        m_consumed.fetch_add(got, std::memory_order_release);
        if (m_total)
            m_total->fetch_add(got, std::memory_order_release);
        // What the source could not fill is silence that took its time.
        frames -= chunk;
    }
    m_peak.store(peak, std::memory_order_release);
}

} // namespace varno::audio
