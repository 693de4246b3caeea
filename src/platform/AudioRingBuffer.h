#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace varno {

// Samples between one producer thread (the decoder) and one consumer (the
// sound output's callback), without locks: each side owns one index and
// only reads the other's. Positions count samples written or read since the
// buffer was made and never wrap, so "how far" is a plain subtraction and a
// position can name a point in the stream (see skipTo).
//
// Neither side ever waits here; telling the other side that something
// changed is the owner's business.
class AudioRingBuffer {
public:
    // `capacity` is rounded up to a power of two.
    explicit AudioRingBuffer(std::size_t capacity)
        : m_capacity(std::bit_ceil(std::max<std::size_t>(capacity, 2)))
        , m_mask(m_capacity - 1)
        , m_samples(std::make_unique<float[]>(m_capacity))
    {
    }

    AudioRingBuffer(const AudioRingBuffer&) = delete;
    AudioRingBuffer& operator=(const AudioRingBuffer&) = delete;

    std::size_t capacity() const { return m_capacity; }

    // Only while neither side is running.
    void reset()
    {
        m_write.store(0, std::memory_order_relaxed);
        m_read.store(0, std::memory_order_relaxed);
    }

    // --- producer side ---

    std::uint64_t writePosition() const { return m_write.load(std::memory_order_relaxed); }

    std::size_t writable() const
    {
        return m_capacity - static_cast<std::size_t>(m_write.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire));
    }

    // Copies as many of `count` samples as fit; returns how many.
    std::size_t write(const float* samples, std::size_t count)
    {
        const std::uint64_t write = m_write.load(std::memory_order_relaxed);
        const std::size_t n = std::min(count, m_capacity - static_cast<std::size_t>(write - m_read.load(std::memory_order_acquire)));
        copyIn(static_cast<std::size_t>(write & m_mask), samples, n);
        m_write.store(write + n, std::memory_order_release);
        return n;
    }

    // Takes back everything written from `position` on. Only while the
    // consumer is known to stand at or before `position` and to read no
    // further than it (see read's `until`) until the producer says so.
    void rewindTo(std::uint64_t position)
    {
        if (position < m_write.load(std::memory_order_relaxed))
            m_write.store(position, std::memory_order_release);
    }

    // --- consumer side ---

    std::uint64_t readPosition() const { return m_read.load(std::memory_order_relaxed); }

    std::size_t readable() const
    {
        return static_cast<std::size_t>(m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed));
    }

    // Copies up to `count` samples out, none from `until` on; returns how
    // many.
    std::size_t read(float* out, std::size_t count, std::uint64_t until = UINT64_MAX)
    {
        const std::uint64_t read = m_read.load(std::memory_order_relaxed);
        const std::uint64_t end = std::min(m_write.load(std::memory_order_acquire), std::max(until, read));
        const std::size_t n = std::min(count, static_cast<std::size_t>(end - read));
        copyOut(static_cast<std::size_t>(read & m_mask), out, n);
        m_read.store(read + n, std::memory_order_release);
        return n;
    }

    // Drops everything before `position`, which the producer has already
    // reached: how a seek discards what was decoded for the old place
    // without the producer touching the consumer's index.
    void skipTo(std::uint64_t position)
    {
        if (position > m_read.load(std::memory_order_relaxed))
            m_read.store(position, std::memory_order_release);
    }

private:
    void copyIn(std::size_t at, const float* from, std::size_t n)
    {
        const std::size_t first = std::min(n, m_capacity - at);
        std::memcpy(m_samples.get() + at, from, first * sizeof(float));
        std::memcpy(m_samples.get(), from + first, (n - first) * sizeof(float));
    }

    void copyOut(std::size_t at, float* to, std::size_t n) const
    {
        const std::size_t first = std::min(n, m_capacity - at);
        std::memcpy(to, m_samples.get() + at, first * sizeof(float));
        std::memcpy(to + first, m_samples.get(), (n - first) * sizeof(float));
    }

    const std::size_t m_capacity;
    const std::size_t m_mask;
    std::unique_ptr<float[]> m_samples;
    // Apart, so the two threads do not fight over one cache line.
    alignas(64) std::atomic<std::uint64_t> m_write {0};
    alignas(64) std::atomic<std::uint64_t> m_read {0};
};

} // namespace varno
