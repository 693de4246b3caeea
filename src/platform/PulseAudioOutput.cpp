#include "PulseAudioOutput.h"

#include "platform/ApplicationIdentity.h"
#include "platform/AudioPlayer.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <algorithm>
#include <utility>

namespace varno::audio {

namespace {

// Total latency asked of the server: short enough that pause and seek feel
// immediate, long enough that a busy machine does not make it skip.
constexpr pa_usec_t kTargetLatency = 150 * PA_USEC_PER_MSEC;

class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* mainloop)
        : m_mainloop(mainloop)
    {
        pa_threaded_mainloop_lock(m_mainloop);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(m_mainloop); }

    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* m_mainloop;
};

// How long a connection or a new stream may wait for the server's answer.
constexpr pa_usec_t kServerTimeout = 5 * PA_USEC_PER_SEC;

// A bound on waiting for the server: a wedged sound server must not freeze
// the window that asked it for something. Made and destroyed with the
// mainloop locked; wakes the waiting thread when it passes.
class ServerDeadline {
public:
    ServerDeadline(pa_context* context, pa_threaded_mainloop* mainloop)
        : m_mainloop(mainloop)
        , m_api(pa_threaded_mainloop_get_api(mainloop))
        , m_event(pa_context_rttime_new(context, pa_rtclock_now() + kServerTimeout, &ServerDeadline::onPassed, this))
    {
    }
    ~ServerDeadline()
    {
        if (m_event)
            m_api->time_free(m_event);
    }
    ServerDeadline(const ServerDeadline&) = delete;
    ServerDeadline& operator=(const ServerDeadline&) = delete;

    bool passed() const { return m_passed; }

    static QString reason() { return QStringLiteral("the sound server did not answer"); }

private:
    static void onPassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
    {
        auto* deadline = static_cast<ServerDeadline*>(self);
        deadline->m_passed = true;
        pa_threaded_mainloop_signal(deadline->m_mainloop, 0);
    }

    pa_threaded_mainloop* m_mainloop;
    pa_mainloop_api* m_api;
    pa_time_event* m_event;
    bool m_passed = false;
};

QString reasonOf(pa_context* context)
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(context)));
}

// Operations whose completion nobody waits for.
void release(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}

class PulseAudioStream final : public AudioOutputStream {
public:
    PulseAudioStream(std::shared_ptr<PulseAudioOutput> output, const StreamFormat& format, AudioSource& source);
    ~PulseAudioStream() override;

    PulseAudioStream(const PulseAudioStream&) = delete;
    PulseAudioStream& operator=(const PulseAudioStream&) = delete;

    void start() override;
    void pause() override;
    void flush() override;
    void samplesAvailable() override;
    std::uint64_t heardFrames() const override;
    bool drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected) override;

private:
    // Connects the stream to `device` (empty: the default) and waits until
    // it is ready; the server's reason when it is not, the stream closed.
    QString connectTo(const QByteArray& device, const pa_buffer_attr& attributes, pa_stream_flags_t flags);
    int m_connectError = 0;

public:
    void interruptDrain() override;

private:
    static void onState(pa_stream* stream, void* self);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void onDrained(pa_stream* stream, int success, void* self);
    static void onTimingUpdated(pa_stream* stream, int success, void* self);

    // Tells the server to run or hold the stream, from what the player asked
    // and whether the stream's buffer is full. Mainloop lock held.
    void updateCork();
    // Hands the server up to `bytes` from the source. Mainloop lock held.
    void fill(std::size_t bytes);
    // Mainloop lock held.
    void close();

    std::shared_ptr<PulseAudioOutput> m_output;
    pa_threaded_mainloop* m_mainloop;
    AudioSource& m_source;
    const int m_sampleRate;
    const std::size_t m_frameBytes;
    pa_stream* m_stream = nullptr;

    // Under the mainloop lock.
    bool m_running = false;
    // The stream runs only once its buffer has been filled since it opened
    // or was flushed: started empty, the server plays on while the first
    // samples arrive, and the first tenth of a second is lost.
    bool m_primed = false;
    bool m_corked = true;
    std::uint64_t m_handed = 0;
    mutable std::uint64_t m_heard = 0;
    bool m_drainDone = false;
    bool m_drainSucceeded = false;
    // A flush leaves libpulse's idea of the write index wrong until the
    // server reports it again, and a report asked for before the samples
    // written since would still leave them out: reports are ignored from the
    // flush until one asked for after the first write is in.
    bool m_timingStale = false;
    pa_operation* m_timingRequest = nullptr;

    // Set while the source came up short and the server still wants more:
    // the server asks only once, so the decoder's next samples must be
    // pushed (samplesAvailable) rather than waited for.
    std::atomic<bool> m_starved {false};
    std::atomic<bool> m_broken {false};
};

PulseAudioStream::PulseAudioStream(std::shared_ptr<PulseAudioOutput> output, const StreamFormat& format, AudioSource& source)
    : m_output(std::move(output))
    , m_mainloop(m_output->mainloop())
    , m_source(source)
    , m_sampleRate(format.sampleRate)
    , m_frameBytes(sizeof(float) * static_cast<std::size_t>(format.channelCount))
{
    pa_context* context = m_output->context();
    const pa_sample_spec sampleFormat {PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(format.sampleRate), static_cast<std::uint8_t>(format.channelCount)};
    pa_channel_map map;
    pa_channel_map_init_auto(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);

    MainloopLock lock(m_mainloop);
    pa_proplist* properties = pa_proplist_new();
    // Lets the server apply its policy for music (ducking, routing).
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    m_stream = pa_stream_new_with_proplist(context, "Playback", &sampleFormat, &map, properties);
    pa_proplist_free(properties);
    if (!m_stream)
        throw AudioOutputError(reasonOf(context));

    pa_stream_set_state_callback(m_stream, &PulseAudioStream::onState, this);
    pa_stream_set_write_callback(m_stream, &PulseAudioStream::onWritable, this);

    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatency, &sampleFormat));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    // Corked until play(): the server fills its buffer meanwhile, so play()
    // sounds at once. Positions are worked out from the server's timing
    // reports (heardFrames) rather than libpulse's interpolated clock, which
    // runs on while a sink holds a new stream back (a null sink does for up
    // to two seconds).
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    const QByteArray device = m_output->device();
    const QString refused = connectTo(device, attributes, flags);
    if (refused.isEmpty())
        return;
    // The chosen sink is gone (unplugged headphones): the default one plays,
    // and whoever opened the stream hears of it once.
    if (!device.isEmpty() && m_connectError == PA_ERR_NOENTITY) {
        m_output->noteMissingDevice();
        m_stream = pa_stream_new_with_proplist(context, "Playback", &sampleFormat, &map, nullptr);
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, &PulseAudioStream::onState, this);
            pa_stream_set_write_callback(m_stream, &PulseAudioStream::onWritable, this);
            const QString again = connectTo(QByteArray(), attributes, flags);
            if (again.isEmpty())
                return;
            throw AudioOutputError(again);
        }
    }
    throw AudioOutputError(refused);
}

QString PulseAudioStream::connectTo(const QByteArray& device, const pa_buffer_attr& attributes, pa_stream_flags_t flags)
{
    pa_context* context = m_output->context();
    if (pa_stream_connect_playback(m_stream, device.isEmpty() ? nullptr : device.constData(), &attributes, flags, nullptr, nullptr) < 0) {
        m_connectError = pa_context_errno(context);
        const QString reason = reasonOf(context);
        close();
        return reason;
    }
    const ServerDeadline deadline(context, m_mainloop);
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        if (state == PA_STREAM_READY)
            return {};
        if (!PA_STREAM_IS_GOOD(state) || deadline.passed()) {
            m_connectError = deadline.passed() ? PA_ERR_TIMEOUT : pa_context_errno(context);
            const QString reason = deadline.passed() ? ServerDeadline::reason() : reasonOf(context);
            close();
            return reason;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
}

PulseAudioStream::~PulseAudioStream()
{
    MainloopLock lock(m_mainloop);
    close();
}

void PulseAudioStream::close()
{
    if (!m_stream)
        return;
    if (m_timingRequest) {
        pa_operation_cancel(m_timingRequest);
        pa_operation_unref(m_timingRequest);
        m_timingRequest = nullptr;
    }
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseAudioStream::onState(pa_stream* stream, void* self)
{
    auto* me = static_cast<PulseAudioStream*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && !me->m_broken.exchange(true))
        me->m_source.outputFailed();
    pa_threaded_mainloop_signal(me->m_mainloop, 0);
}

void PulseAudioStream::onWritable(pa_stream*, std::size_t bytes, void* self)
{
    static_cast<PulseAudioStream*>(self)->fill(bytes);
}

void PulseAudioStream::fill(std::size_t bytes)
{
    // Starved until proven otherwise, and said so before looking at the
    // source: a decoder adding samples right after we found none then sees
    // the flag (see samplesAvailable).
    m_starved.store(true, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    while (bytes >= m_frameBytes) {
        void* data = nullptr;
        std::size_t size = bytes;
        // Writing into the server's own buffer saves a copy.
        if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
            return;
        const std::size_t frames = std::min(size, bytes) / m_frameBytes;
        const std::size_t got = frames > 0 ? m_source.render(static_cast<float*>(data), frames) : 0;
        if (got == 0) {
            pa_stream_cancel_write(m_stream);
            return;
        }
        pa_stream_write(m_stream, data, got * m_frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        m_handed += got;
        if (m_timingStale && !m_timingRequest)
            m_timingRequest = pa_stream_update_timing_info(m_stream, &PulseAudioStream::onTimingUpdated, this);
        bytes -= got * m_frameBytes;
        if (got < frames)
            return;
    }
    m_starved.store(false, std::memory_order_relaxed);
    if (!m_primed) {
        m_primed = true;
        updateCork();
    }
}

void PulseAudioStream::samplesAvailable()
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!m_starved.load(std::memory_order_relaxed))
        return;
    MainloopLock lock(m_mainloop);
    if (!m_stream || m_broken.load(std::memory_order_relaxed) || !m_starved.load(std::memory_order_relaxed))
        return;
    const std::size_t writable = pa_stream_writable_size(m_stream);
    if (writable != static_cast<std::size_t>(-1))
        fill(writable);
}

void PulseAudioStream::start()
{
    MainloopLock lock(m_mainloop);
    m_running = true;
    updateCork();
}

void PulseAudioStream::pause()
{
    MainloopLock lock(m_mainloop);
    m_running = false;
    updateCork();
}

void PulseAudioStream::updateCork()
{
    const bool corked = !(m_running && m_primed);
    if (corked == m_corked || m_broken.load(std::memory_order_relaxed))
        return;
    release(pa_stream_cork(m_stream, corked ? 1 : 0, nullptr, nullptr));
    m_corked = corked;
}

void PulseAudioStream::flush()
{
    MainloopLock lock(m_mainloop);
    if (m_broken.load(std::memory_order_relaxed))
        return;
    m_primed = false;
    updateCork();
    release(pa_stream_flush(m_stream, nullptr, nullptr));
    m_timingStale = true;
    if (m_timingRequest) {
        pa_operation_cancel(m_timingRequest);
        pa_operation_unref(m_timingRequest);
        m_timingRequest = nullptr;
    }
}

void PulseAudioStream::onTimingUpdated(pa_stream*, int success, void* self)
{
    auto* me = static_cast<PulseAudioStream*>(self);
    if (success)
        me->m_timingStale = false;
    pa_operation_unref(me->m_timingRequest);
    me->m_timingRequest = nullptr;
}

std::uint64_t PulseAudioStream::heardFrames() const
{
    MainloopLock lock(m_mainloop);
    // Unknown until the first timing report, and again for a moment after a
    // flush; what was heard then is what was heard last.
    const pa_timing_info* info = m_broken.load(std::memory_order_relaxed) ? nullptr : pa_stream_get_timing_info(m_stream);
    if (!info || m_timingStale || info->write_index_corrupt || info->read_index_corrupt || info->write_index < 0)
        return m_heard;
    const auto bytesIn = [this](pa_usec_t usec) {
        return static_cast<std::int64_t>(usec * static_cast<std::uint64_t>(m_sampleRate) / PA_USEC_PER_SEC) * static_cast<std::int64_t>(m_frameBytes);
    };
    // Where playback stood when the server reported: what the sink had taken
    // from the stream, less what it still held. Since then it has played on
    // at the sample rate, unless held.
    std::int64_t heard = info->read_index - bytesIn(info->sink_usec);
    if (info->playing && !m_corked)
        heard += bytesIn(info->transport_usec + pa_timeval_age(&info->timestamp));
    // Nothing can have been heard that was not written.
    heard = std::clamp<std::int64_t>(heard, 0, info->write_index);
    const auto unheard = static_cast<std::uint64_t>(info->write_index - heard) / m_frameBytes;
    // Reports come every second or so and each corrects the guess made from
    // the one before; a position that steps back would show.
    m_heard = std::max(m_heard, m_handed > unheard ? m_handed - unheard : 0);
    return m_heard;
}

bool PulseAudioStream::drain(const std::atomic<std::uint32_t>& generation, std::uint32_t expected)
{
    MainloopLock lock(m_mainloop);
    const auto current = [&] { return generation.load(std::memory_order_acquire) == expected && !m_broken.load(std::memory_order_relaxed); };
    if (!current())
        return false;
    // A file shorter than the buffer never fills it: nothing more is coming.
    if (!m_primed) {
        m_primed = true;
        updateCork();
    }
    m_drainDone = false;
    m_drainSucceeded = false;
    // The server answers once everything written has been played, and plays
    // a tail shorter than its prebuffer instead of waiting for more.
    pa_operation* operation = pa_stream_drain(m_stream, &PulseAudioStream::onDrained, this);
    if (!operation)
        return false;
    while (!m_drainDone && current())
        pa_threaded_mainloop_wait(m_mainloop);
    if (!m_drainDone)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return m_drainDone && m_drainSucceeded && current();
}

void PulseAudioStream::onDrained(pa_stream*, int success, void* self)
{
    auto* me = static_cast<PulseAudioStream*>(self);
    me->m_drainDone = true;
    me->m_drainSucceeded = success != 0;
    pa_threaded_mainloop_signal(me->m_mainloop, 0);
}

void PulseAudioStream::interruptDrain()
{
    MainloopLock lock(m_mainloop);
    pa_threaded_mainloop_signal(m_mainloop, 0);
}

} // namespace

PulseAudioOutput::PulseAudioOutput(Key)
{
}

std::shared_ptr<PulseAudioOutput> PulseAudioOutput::connect()
{
    auto output = std::make_shared<PulseAudioOutput>(Key {});
    output->m_mainloop = pa_threaded_mainloop_new();
    if (!output->m_mainloop)
        throw AudioOutputError(QString::fromUtf8(pa_strerror(PA_ERR_INTERNAL)));
    pa_threaded_mainloop_set_name(output->m_mainloop, "PulseAudio");

    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, kApplicationDisplayName.toUtf8().constData());
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, kApplicationName.toUtf8().constData());
    output->m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(output->m_mainloop),
                                                     kApplicationDisplayName.toUtf8().constData(), properties);
    pa_proplist_free(properties);
    if (!output->m_context)
        throw AudioOutputError(QString::fromUtf8(pa_strerror(PA_ERR_INTERNAL)));
    pa_context_set_state_callback(output->m_context, &PulseAudioOutput::onContextState, output.get());

    // Never start a server: a player has no business spawning daemons, and
    // tests must see "no server" as it is.
    if (pa_context_connect(output->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        throw AudioOutputError(reasonOf(output->m_context));
    if (pa_threaded_mainloop_start(output->m_mainloop) < 0)
        throw AudioOutputError(QString::fromUtf8(pa_strerror(PA_ERR_INTERNAL)));

    MainloopLock lock(output->m_mainloop);
    const ServerDeadline deadline(output->m_context, output->m_mainloop);
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(output->m_context);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state))
            throw AudioOutputError(reasonOf(output->m_context));
        if (deadline.passed())
            throw AudioOutputError(ServerDeadline::reason());
        pa_threaded_mainloop_wait(output->m_mainloop);
    }
    return output;
}

PulseAudioOutput::~PulseAudioOutput()
{
    if (m_context) {
        // Locking works whether or not the mainloop thread ever started.
        MainloopLock lock(m_mainloop);
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_mainloop) {
        // Stopping a mainloop that never started is harmless.
        pa_threaded_mainloop_stop(m_mainloop);
        pa_threaded_mainloop_free(m_mainloop);
    }
}

void PulseAudioOutput::onContextState(pa_context* context, void* self)
{
    auto* me = static_cast<PulseAudioOutput*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        me->m_lost.store(true, std::memory_order_release);
    pa_threaded_mainloop_signal(me->m_mainloop, 0);
}

bool PulseAudioOutput::isUsable() const
{
    return !m_lost.load(std::memory_order_acquire);
}

QString PulseAudioOutput::failureReason() const
{
    MainloopLock lock(m_mainloop);
    return reasonOf(m_context);
}

std::vector<OutputDevice> PulseAudioOutput::devices()
{
    struct Listing {
        pa_threaded_mainloop* mainloop;
        std::vector<OutputDevice> devices;
        bool done = false;
    } listing {m_mainloop, {}, false};
    if (!isUsable())
        return {};
    MainloopLock lock(m_mainloop);
    pa_operation* operation = pa_context_get_sink_info_list(
        m_context,
        [](pa_context*, const pa_sink_info* sink, int last, void* data) {
            auto* listing = static_cast<Listing*>(data);
            if (last != 0 || !sink) {
                listing->done = true;
                pa_threaded_mainloop_signal(listing->mainloop, 0);
                return;
            }
            listing->devices.push_back({QString::fromUtf8(sink->name), QString::fromUtf8(sink->description ? sink->description : sink->name)});
        },
        &listing);
    if (!operation)
        return {};
    const ServerDeadline deadline(m_context, m_mainloop);
    while (!listing.done && !deadline.passed() && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(m_mainloop);
    // An answer that came too late must not write into this frame.
    if (!listing.done)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return listing.done ? listing.devices : std::vector<OutputDevice> {};
}

void PulseAudioOutput::setDevice(const QString& id)
{
    MainloopLock lock(m_mainloop);
    m_device = id.toUtf8();
    m_missingDevice.reset();
}

std::optional<QString> PulseAudioOutput::takeMissingDevice()
{
    MainloopLock lock(m_mainloop);
    return std::exchange(m_missingDevice, std::nullopt);
}

std::unique_ptr<AudioOutputStream> PulseAudioOutput::openStream(const StreamFormat& format, AudioSource& source)
{
    if (!isUsable()) {
        MainloopLock lock(m_mainloop);
        throw AudioOutputError(reasonOf(m_context));
    }
    return std::make_unique<PulseAudioStream>(shared_from_this(), format, source);
}

} // namespace varno::audio
