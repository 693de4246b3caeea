#include "WavFileAudioOutput.h"

#include "platform/AudioPlayer.h"
#include "platform/NullAudioOutput.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace varno::audio {

namespace {

// RIFF, fmt (18 bytes, IEEE float), fact, then the data chunk's header.
constexpr std::size_t kHeaderSize = 58;

void put16(unsigned char*& at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at += 2;
}

void put32(unsigned char*& at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    at += 4;
}

void putTag(unsigned char*& at, const char* tag)
{
    std::memcpy(at, tag, 4);
    at += 4;
}

bool writeAll(int fd, const void* data, std::size_t size, off_t offset)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = ::pwrite(fd, bytes, size, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

} // namespace

WavFileAudioOutput::WavFileAudioOutput(const QString& path, double speed)
    : m_path(path)
    , m_speed(speed > 0 && std::isfinite(speed) ? speed : 1.0)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
        throw AudioOutputError(QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    m_thread = std::thread([this] {
        pthread_setname_np(pthread_self(), "WavFileOut");
        run();
    });
}

WavFileAudioOutput::~WavFileAudioOutput()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
    // A file nobody played into still gets a header, so it reads as an
    // empty recording rather than as a broken one.
    if (!m_format)
        m_format = StreamFormat {44100, 2};
    writeHeader();
    ::close(m_fd);
}

std::optional<StreamFormat> WavFileAudioOutput::fixedFormat() const
{
    std::lock_guard lock(m_mutex);
    return m_format;
}

std::unique_ptr<AudioOutputStream> WavFileAudioOutput::openStream(const StreamFormat& format, AudioSource& source)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_format) {
            m_format = format;
            writeHeader();
        } else if (m_format->sampleRate != format.sampleRate || m_format->channelCount != format.channelCount) {
            throw AudioOutputError(QStringLiteral("the recording is %1 Hz with %2 channels, not %3 Hz with %4")
                                       .arg(m_format->sampleRate)
                                       .arg(m_format->channelCount)
                                       .arg(format.sampleRate)
                                       .arg(format.channelCount));
        }
    }
    return std::make_unique<WavFileStream>(*this, source);
}

void WavFileAudioOutput::attach(WavFileStream* stream)
{
    std::lock_guard lock(m_mutex);
    m_streams.push_back(stream);
}

void WavFileAudioOutput::detach(WavFileStream* stream)
{
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_streams, stream);
    }
    m_changed.notify_all();
}

void WavFileAudioOutput::changed()
{
    m_changed.notify_all();
}

bool WavFileAudioOutput::anyRunning() const
{
    return std::any_of(m_streams.begin(), m_streams.end(), [](const WavFileStream* stream) { return stream->m_running; });
}

void WavFileAudioOutput::writeHeader()
{
    const StreamFormat format = *m_format;
    const auto channels = static_cast<std::uint32_t>(format.channelCount);
    const std::uint64_t frames = m_written.load(std::memory_order_relaxed);
    const auto dataBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames * channels * 4, 0xFFFFFFFFu - kHeaderSize));
    unsigned char header[kHeaderSize];
    unsigned char* at = header;
    putTag(at, "RIFF");
    put32(at, static_cast<std::uint32_t>(kHeaderSize - 8) + dataBytes);
    putTag(at, "WAVE");
    putTag(at, "fmt ");
    put32(at, 18);
    put16(at, 3); // IEEE float
    put16(at, static_cast<std::uint16_t>(channels));
    put32(at, static_cast<std::uint32_t>(format.sampleRate));
    put32(at, static_cast<std::uint32_t>(format.sampleRate) * channels * 4);
    put16(at, static_cast<std::uint16_t>(channels * 4));
    put16(at, 32);
    put16(at, 0);
    putTag(at, "fact");
    put32(at, 4);
    put32(at, static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, 0xFFFFFFFFu)));
    putTag(at, "data");
    put32(at, dataBytes);
    writeAll(m_fd, header, kHeaderSize, 0);
}

void WavFileAudioOutput::run()
{
    using Clock = std::chrono::steady_clock;
    // The null output's clock, so the two record and play at one pace.
    const std::chrono::nanoseconds period = clockPeriodFor(m_speed);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || anyRunning(); });
        if (m_quit)
            return;
        const double framesPerSecond = m_format->sampleRate * m_speed;
        const auto framesPerPeriod = static_cast<std::uint64_t>(std::ceil(framesPerSecond * std::chrono::duration<double>(period).count()));
        m_mix.resize(static_cast<std::size_t>(framesPerPeriod) * static_cast<std::size_t>(m_format->channelCount));
        m_scratch.resize(m_mix.size());
        // Each run keeps its own clock, as the null output does: the time
        // spent with nothing running is not owed.
        const Clock::time_point started = Clock::now();
        Clock::time_point wake = started;
        std::uint64_t taken = 0;
        while (!m_quit && anyRunning()) {
            const Clock::time_point now = Clock::now();
            const double elapsed = std::chrono::duration<double>(now - started).count();
            const auto due = static_cast<std::uint64_t>(elapsed * framesPerSecond) + framesPerPeriod;
            if (due > taken) {
                mix(due - taken);
                taken = due;
            }
            wake = std::max(wake + period, now);
            m_changed.wait_until(lock, wake, [this] { return m_quit || !anyRunning(); });
        }
    }
}

void WavFileAudioOutput::mix(std::uint64_t frames)
{
    const auto channels = static_cast<std::size_t>(m_format->channelCount);
    const std::size_t chunkFrames = m_mix.size() / channels;
    while (frames > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(frames, chunkFrames));
        frames -= chunk;
        std::fill_n(m_mix.begin(), chunk * channels, 0.0f);
        bool heard = false;
        for (WavFileStream* stream : m_streams) {
            if (!stream->m_running)
                continue;
            const std::size_t got = stream->m_source.render(m_scratch.data(), chunk);
            stream->m_consumed.fetch_add(got, std::memory_order_release);
            stream->m_sounding = stream->m_sounding || got > 0;
            heard = heard || stream->m_sounding;
            for (std::size_t i = 0; i < got * channels; ++i)
                m_mix[i] += m_scratch[i];
        }
        if (!heard)
            continue;
        const std::uint64_t written = m_written.load(std::memory_order_relaxed);
        const auto offset = static_cast<off_t>(kHeaderSize + written * channels * sizeof(float));
        if (!writeAll(m_fd, m_mix.data(), chunk * channels * sizeof(float), offset))
            continue;
        m_written.store(written + chunk, std::memory_order_release);
        writeHeader();
    }
}

WavFileStream::WavFileStream(WavFileAudioOutput& output, AudioSource& source)
    : m_output(output)
    , m_source(source)
{
    m_output.attach(this);
}

WavFileStream::~WavFileStream()
{
    m_output.detach(this);
}

void WavFileStream::start()
{
    {
        std::lock_guard lock(m_output.m_mutex);
        m_running = true;
    }
    m_output.changed();
}

void WavFileStream::pause()
{
    {
        std::lock_guard lock(m_output.m_mutex);
        m_running = false;
        m_sounding = false;
    }
    m_output.changed();
}

void WavFileStream::flush()
{
    std::lock_guard lock(m_output.m_mutex);
    m_sounding = false;
}

} // namespace varno::audio
