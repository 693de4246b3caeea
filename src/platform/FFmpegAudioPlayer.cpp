#include "FFmpegAudioPlayer.h"

#include "platform/AudioRingBuffer.h"
#include "platform/GenerationWord.h"
#include "platform/Diagnostics.h"
#include "platform/FFmpegStreamDecoder.h"
#include "platform/NullAudioOutput.h"
#include "platform/PulseAudioOutput.h"
#include "platform/WavFileAudioOutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>
#include <system_error>

#include <pthread.h>

namespace varno {

using namespace generation_word;

void AudioPlayerObserver::audioPlayerDidStartFollowingSong(AudioPlayer&, const QString&) { }
void AudioPlayer::setLoudnessGain(LoudnessGain) { }
void AudioPlayer::setFollowing(const std::optional<FollowingSong>&) { }

namespace {

// Between half a second and a second of audio, in samples, a power of two.
std::size_t ringCapacityFor(int sampleRate, std::size_t channels)
{
    return std::bit_ceil(static_cast<std::size_t>(sampleRate) * channels / 2);
}

std::int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

FFmpegAudioPlayer::FFmpegAudioPlayer(const QString& path, std::shared_ptr<audio::AudioOutput> output,
                                     std::shared_ptr<AudioOutputConnection> connection)
    : m_path(path)
    , m_output(std::move(output))
    , m_connection(std::move(connection))
{
    m_current.decoder = std::make_unique<FFmpegStreamDecoder>(path);
    m_current.duration = m_current.decoder->duration();
    m_current.tags = m_current.decoder->loudnessTags();
    m_currentTags = m_current.tags;
    m_duration = m_current.duration;
    m_liveness = std::make_shared<Liveness>(Liveness {this});
    m_livenessForThreads = m_liveness;
}

FFmpegAudioPlayer::~FFmpegAudioPlayer()
{
    shutDown();
}

// --- main thread ---

bool FFmpegAudioPlayer::prepareToPlay()
{
    if (m_stream)
        return true;
    // A recording takes one format only; the sound server takes each file's.
    const std::optional<audio::StreamFormat> required = m_output && m_output->isUsable() ? m_output->fixedFormat() : std::nullopt;
    if (const std::optional<QString> failure = m_current.decoder->open(required)) {
        printDiagnostic(QStringLiteral("Cannot play %1: %2").arg(QFileInfo(m_path).fileName(), *failure));
        return false;
    }
    if (m_atEnd) {
        m_atEnd = false;
        m_position = 0;
    }

    m_sampleRate = m_current.decoder->sampleRate();
    m_channelCount = static_cast<std::size_t>(m_current.decoder->channelCount());
    if (!m_ring || m_ring->capacity() != std::bit_ceil(ringCapacityFor(m_sampleRate, m_channelCount)))
        m_ring = std::make_unique<AudioRingBuffer>(ringCapacityFor(m_sampleRate, m_channelCount));
    else
        m_ring->reset();
    m_transition.reset();
    m_songStartFrame.reset();

    // The new generation has no samples in the ring yet: the marks carry the
    // previous one, so the callback plays nothing until the decoder starts.
    const std::uint32_t generation = m_generation.load(std::memory_order_relaxed) + 1;
    m_segment.store(tagged(generation - 1, 0), std::memory_order_relaxed);
    m_segmentStart.store(tagged(generation - 1, 0), std::memory_order_relaxed);
    m_renderedGeneration = generation - 1;
    m_rendered = 0;
    m_roomWanted.store(0, std::memory_order_relaxed);
    m_cutState.store(kNoCut, std::memory_order_relaxed);
    m_cutLead = static_cast<std::uint64_t>(m_sampleRate / 10) * m_channelCount;
    m_outputBroken.store(false, std::memory_order_relaxed);
    m_markFirstSamples.store(false, std::memory_order_relaxed);
    m_generation.store(generation, std::memory_order_release);
    m_segmentTime = m_position;

    if (!ensureUsableOutput())
        return false;
    try {
        m_stream = m_output->openStream({m_sampleRate, static_cast<int>(m_channelCount)}, *this);
    } catch (const AudioOutputError& error) {
        printDiagnostic(QStringLiteral("Cannot open the sound output: %1").arg(error.description()));
        m_outputFailure = error.description();
        return false;
    }
    m_outputFailure.reset();

    {
        std::lock_guard lock(m_commandMutex);
        m_command = Command {};
        m_command.seek = true;
        m_command.seconds = m_position;
        m_command.generation = generation;
        m_command.songToken = m_songToken;
    }
    m_commandPending.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] {
            pthread_setname_np(pthread_self(), "AudioDecoder");
            decodeLoop();
        });
    } catch (const std::system_error& error) {
        printDiagnostic(QStringLiteral("Cannot start decoding: %1").arg(QString::fromLocal8Bit(error.what())));
        m_stream.reset();
        return false;
    }
    m_state = State::Paused;
    return true;
}

bool FFmpegAudioPlayer::play()
{
    if (!prepareToPlay())
        return false;
    if (m_state == State::Playing)
        return true;
    m_firstSamplesAt.store(0, std::memory_order_relaxed);
    m_markFirstSamples.store(true, std::memory_order_release);
    m_stream->start();
    m_state = State::Playing;
    watchOutputProgress();
    return true;
}

void FFmpegAudioPlayer::pause()
{
    if (m_state != State::Playing)
        return;
    m_stream->pause();
    m_state = State::Paused;
    if (m_stallWatch)
        m_stallWatch->stop();
}

void FFmpegAudioPlayer::stop()
{
    if (!m_stream)
        return;
    m_position = currentTime();
    shutDown();
}

double FFmpegAudioPlayer::currentTime() const
{
    if (!m_stream)
        return m_atEnd ? m_duration : m_position;
    const std::uint32_t generation = m_generation.load(std::memory_order_relaxed);
    const std::uint64_t start = m_segmentStart.load(std::memory_order_acquire);
    // Nothing of this generation has gone out yet: the position is where it
    // starts, whatever of the old place is still draining.
    if (!sameGeneration(start, generation))
        return m_segmentTime;
    const std::uint64_t heard = m_stream->heardFrames();
    const std::uint64_t first = m_songStartFrame ? *m_songStartFrame : positionOf(start);
    const double played = heard > first ? double(heard - first) / m_sampleRate : 0.0;
    // Decoders can yield a little more than the container announced.
    const double position = m_segmentTime + played;
    return m_duration > 0 ? std::min(position, m_duration) : position;
}

void FFmpegAudioPlayer::setCurrentTime(double seconds)
{
    const double upper = m_duration > 0 ? m_duration : std::numeric_limits<double>::max();
    const double target = std::isfinite(seconds) ? std::clamp(seconds, 0.0, upper) : 0.0;
    m_atEnd = false;
    if (!m_stream) {
        m_position = target;
        return;
    }
    const std::uint32_t generation = m_generation.fetch_add(1, std::memory_order_acq_rel) + 1;
    m_segmentTime = target;
    m_transition.reset();
    m_songStartFrame.reset();
    if (m_transitionWatch)
        m_transitionWatch->stop();
    Command seek;
    seek.seek = true;
    seek.seconds = target;
    seek.generation = generation;
    seek.songToken = m_songToken;
    send(std::move(seek));
    // Drop what the server holds of the old place, and let a decoder waiting
    // for the end of the old place go.
    m_stream->flush();
    m_stream->interruptDrain();
    if (m_state == State::Playing) {
        m_firstSamplesAt.store(0, std::memory_order_relaxed);
        m_markFirstSamples.store(true, std::memory_order_release);
    }
}

void FFmpegAudioPlayer::setVolume(float volume)
{
    m_volume.store(std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f, std::memory_order_relaxed);
}

std::optional<std::chrono::steady_clock::time_point> FFmpegAudioPlayer::firstSamplesHandedAt() const
{
    const std::int64_t at = m_firstSamplesAt.load(std::memory_order_acquire);
    if (at == 0)
        return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(at));
}

void FFmpegAudioPlayer::send(Command command)
{
    {
        std::lock_guard lock(m_commandMutex);
        if (command.quit)
            m_command.quit = true;
        if (command.seek) {
            m_command.seek = true;
            m_command.seconds = command.seconds;
            m_command.generation = command.generation;
            m_command.songToken = command.songToken;
        }
        if (command.follow) {
            m_command.follow = true;
            m_command.following = std::move(command.following);
        }
        if (command.regain) {
            m_command.regain = true;
            m_command.gain = command.gain;
        }
    }
    m_commandPending.store(true, std::memory_order_release);
    m_wake.fetch_add(1, std::memory_order_release);
    m_wake.notify_one();
}

void FFmpegAudioPlayer::shutDown()
{
    if (!m_stream)
        return;
    // A new generation first: a drain in progress gives up, a finish already
    // queued is ignored, and the callback plays nothing more.
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    Command quit;
    quit.quit = true;
    send(std::move(quit));
    m_stream->interruptDrain();
    if (m_thread.joinable())
        m_thread.join();
    m_stream.reset();
    {
        std::lock_guard lock(m_commandMutex);
        // A following song still on its way to the thread stays the one to
        // follow.
        if (m_command.follow)
            m_following = std::move(m_command.following);
        if (m_command.regain)
            m_current.gain = m_command.gain;
        m_command = Command {};
    }
    settleSongsAfterStop();
    m_transition.reset();
    m_songStartFrame.reset();
    if (m_transitionWatch)
        m_transitionWatch->stop();
    m_commandPending.store(false, std::memory_order_relaxed);
    m_draining.store(false, std::memory_order_relaxed);
    m_state = State::Stopped;
    if (m_stallWatch)
        m_stallWatch->stop();
}

void FFmpegAudioPlayer::watchOutputProgress()
{
    if (!m_stallWatch) {
        m_stallWatch = std::make_unique<QTimer>();
        m_stallWatch->setInterval(500);
        QObject::connect(m_stallWatch.get(), &QTimer::timeout, [this] { checkOutputProgress(); });
    }
    m_lastHeard = m_stream->heardFrames();
    m_lastProgress = std::chrono::steady_clock::now();
    m_stallWatch->start();
}

void FFmpegAudioPlayer::checkOutputProgress()
{
    if (m_state != State::Playing || !m_stream)
        return;
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t heard = m_stream->heardFrames();
    // Nothing waiting means the decoder is behind (a slow disk), not the
    // output: that is not the output's fault.
    const bool waiting = m_ring->writable() < m_ring->capacity() || m_draining.load(std::memory_order_acquire);
    if (heard != m_lastHeard || !waiting) {
        m_lastHeard = heard;
        m_lastProgress = now;
        return;
    }
    if (now - m_lastProgress < kStallLimit)
        return;
    m_stallWatch->stop();
    // Not from inside the timer's own signal: the observer may destroy the
    // player, and the timer with it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [liveness = m_livenessForThreads] {
            if (const std::shared_ptr<Liveness> alive = liveness.lock())
                alive->player->outputStalled();
        },
        Qt::QueuedConnection);
}

void FFmpegAudioPlayer::outputStalled()
{
    if (m_state != State::Playing || !m_stream)
        return;
    m_outputFailure = QStringLiteral("the sound server has taken no sound for %1 seconds; it may have stopped responding")
                          .arg(std::chrono::duration_cast<std::chrono::seconds>(kStallLimit).count());
    printDiagnostic(QStringLiteral("The sound output stopped taking sound"));
    m_position = currentTime();
    shutDown();
    // Last: the observer may well destroy this player.
    if (m_observer)
        m_observer->audioPlayerDidFinishPlaying(*this, false);
}

bool FFmpegAudioPlayer::ensureUsableOutput()
{
    if (m_output && m_output->isUsable())
        return true;
    if (!m_connection) {
        const QString reason = m_output ? m_output->failureReason() : QString();
        m_outputFailure = reason.isEmpty() ? QStringLiteral("the sound output is not available") : reason;
        return false;
    }
    try {
        m_output = m_connection->usableOutput();
        return true;
    } catch (const AudioOutputError& error) {
        printDiagnostic(QStringLiteral("Cannot connect to the sound output: %1").arg(error.description()));
        m_outputFailure = error.description();
        return false;
    }
}

void FFmpegAudioPlayer::finished(std::uint32_t generation, bool successfully)
{
    if (!m_stream || generation != m_generation.load(std::memory_order_relaxed))
        return;
    // A song shorter than the poll: it was heard all the same.
    if (m_transition && m_transition->generation == generation)
        checkTransition(true);
    if (!successfully && m_outputBroken.load(std::memory_order_acquire)) {
        // Not the end of the file: the sound stopped where it was heard, and
        // a later play() picks up there once the output is back.
        const QString reason = m_output->failureReason();
        m_outputFailure = reason.isEmpty() ? QStringLiteral("the connection to the sound server was lost")
                                           : QStringLiteral("the connection to the sound server was lost (%1)").arg(reason);
        m_position = currentTime();
        shutDown();
        if (m_observer)
            m_observer->audioPlayerDidFinishPlaying(*this, false);
        return;
    }
    m_position = m_duration > 0 ? m_duration : currentTime();
    shutDown();
    m_atEnd = true;
    // Last: the observer may well destroy this player.
    if (m_observer)
        m_observer->audioPlayerDidFinishPlaying(*this, successfully);
}

// --- decoding thread ---

void FFmpegAudioPlayer::decodeLoop()
{
    enum class Phase { Decoding, Ending, Idle };
    Phase phase = Phase::Idle;
    std::uint32_t generation = 0;
    bool succeeded = true;
    QString failure;
    // Samples due to the ring, kept while it has no room for all of them.
    // They live in the decoder's or this player's reused buffers until the
    // next block is made.
    std::span<const float> pending;
    const std::size_t capacity = m_ring->capacity();
    // A different song to follow came after the decoder had moved on to
    // the one set before.
    bool takeBack = false;

    for (;;) {
        // Read before looking at anything, so news arriving from here on
        // makes the wait below return at once.
        const std::uint32_t seen = m_wake.load(std::memory_order_acquire);

        if (m_commandPending.exchange(false, std::memory_order_acq_rel)) {
            Command command;
            {
                std::lock_guard lock(m_commandMutex);
                command = std::move(m_command);
                m_command = Command {};
            }
            if (command.quit)
                return;
            if (command.follow) {
                m_following = std::move(command.following);
                sizeHoldback();
                takeBack = m_followStart.has_value();
            }
            if (command.regain)
                m_current.gain = command.gain;
            if (command.seek) {
                generation = command.generation;
                // A seek into the song whose end was decoded but not heard
                // takes it back; the song that followed it follows again.
                if (m_previous.decoder && command.songToken == m_previous.token) {
                    m_following = std::move(m_current);
                    m_current = std::move(m_previous);
                }
                m_previous = Song {};
                if (command.seconds > 0 || !m_current.decoder->atStart())
                    m_current.decoder->seek(command.seconds);
                pending = {};
                m_holdback = nullptr;
                m_fadingTail = nullptr;
                m_fadeLength = m_fadeDone = 0;
                sizeHoldback();
                succeeded = true;
                // Whatever the output was asked to hold back for belongs
                // to the old place; before the new one is marked.
                takeBack = false;
                m_followStart.reset();
                m_cutState.store(kNoCut, std::memory_order_release);
                // The new place starts here; the callback drops what lies
                // before it.
                m_segment.store(tagged(generation, m_ring->writePosition()), std::memory_order_release);
                phase = Phase::Decoding;
            }
        }

        if (phase != Phase::Idle && m_outputBroken.load(std::memory_order_acquire)) {
            printDiagnostic(QStringLiteral("The sound output stopped playing"));
            postFinished(generation, false);
            phase = Phase::Idle;
            continue;
        }
        if (phase == Phase::Idle) {
            m_wake.wait(seen, std::memory_order_acquire);
            continue;
        }

        // Nothing more goes into the ring until the output has answered:
        // what would go there depends on the answer.
        if (takeBack) {
            const TakeBack outcome = takeBackFollowed(generation, seen, pending);
            if (outcome == TakeBack::Waiting)
                continue;
            takeBack = false;
            if (outcome == TakeBack::Done) {
                phase = Phase::Decoding;
                succeeded = true;
            }
            continue;
        }

        if (!pending.empty()) {
            const std::size_t written = m_ring->write(pending.data(), pending.size());
            pending = pending.subspan(written);
            m_stream->samplesAvailable();
            // Half a ring at a time: a few wake-ups a second.
            if (!pending.empty())
                waitForRoom(capacity / 2, seen);
            continue;
        }

        if (phase == Phase::Decoding) {
            std::span<const float> block;
            const FFmpegStreamDecoder::Result result = m_current.decoder->next(block, failure);
            if (result == FFmpegStreamDecoder::Result::Samples) {
                pending = shape(block);
                continue;
            }
            succeeded = result == FFmpegStreamDecoder::Result::End;
            if (!succeeded)
                printDiagnostic(QStringLiteral("Playback of %1 stopped: %2").arg(QFileInfo(m_path).fileName(), failure));
            else if (moveToFollowing(generation))
                continue;
            // What was held back for a crossfade that is not coming still
            // belongs to the end of the song.
            pending = releaseTails();
            phase = Phase::Ending;
            continue;
        }

        // Ending: everything decoded must reach the output before it can
        // play out.
        if (m_ring->writable() < capacity) {
            m_stream->samplesAvailable();
            waitForRoom(capacity, seen);
            continue;
        }
        m_draining.store(true, std::memory_order_release);
        if (!m_stream->drain(m_generation, generation)) {
            m_draining.store(false, std::memory_order_release);
            continue;
        }
        m_draining.store(false, std::memory_order_release);
        postFinished(generation, succeeded);
        phase = Phase::Idle;
    }
}

void FFmpegAudioPlayer::waitForRoom(std::size_t samples, std::uint32_t seen)
{
    m_roomWanted.store(samples, std::memory_order_relaxed);
    // Pairs with the fence in render(): either the callback sees the wish,
    // or this sees the room it made.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (m_ring->writable() < samples && !m_commandPending.load(std::memory_order_acquire)
        && !m_outputBroken.load(std::memory_order_acquire))
        m_wake.wait(seen, std::memory_order_acquire);
    m_roomWanted.store(0, std::memory_order_relaxed);
}

void FFmpegAudioPlayer::postFinished(std::uint32_t generation, bool successfully)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [liveness = m_livenessForThreads, generation, successfully] {
            // Held for the call: the observer may destroy the player.
            if (const std::shared_ptr<Liveness> alive = liveness.lock())
                alive->player->finished(generation, successfully);
        },
        Qt::QueuedConnection);
}

// --- output thread ---

std::size_t FFmpegAudioPlayer::render(float* out, std::size_t frames) noexcept
{
    const std::uint32_t generation = m_generation.load(std::memory_order_acquire);
    const std::uint64_t segment = m_segment.load(std::memory_order_acquire);
    // A seek the decoder has not reached yet: play nothing rather than the
    // old place.
    if (!sameGeneration(segment, generation))
        return 0;
    if (m_renderedGeneration != generation) {
        m_ring->skipTo(positionOf(segment));
        m_renderedGeneration = generation;
        m_segmentStart.store(tagged(generation, m_rendered), std::memory_order_release);
    }

    // The decoder may want the song it moved on to back: answered once,
    // yes while that song's start is far enough ahead for the decoder to
    // put something else there before the output gets to it (else the
    // output would come up short: a gap); then nothing of that song is
    // read until the decoder has taken it out.
    std::uint64_t until = UINT64_MAX;
    if (std::uint32_t cut = m_cutState.load(std::memory_order_acquire); cut != kNoCut) {
        const std::uint64_t at = m_cutAt.load(std::memory_order_relaxed);
        if (cut == kCutAsked) {
            const std::uint64_t lead = std::max<std::uint64_t>(m_cutLead, 2 * frames * m_channelCount);
            const bool inTime = sameGeneration(at, generation) && m_ring->readPosition() + lead <= positionOf(at);
            const std::uint32_t answer = inTime ? kCutHolding : kCutRefused;
            if (m_cutState.compare_exchange_strong(cut, answer, std::memory_order_acq_rel)) {
                cut = answer;
                m_wake.fetch_add(1, std::memory_order_release);
                m_wake.notify_one();
            }
        }
        if (cut == kCutHolding && sameGeneration(at, generation))
            until = positionOf(at);
    }

    const std::size_t got = m_ring->read(out, frames * m_channelCount, until) / m_channelCount;
    const float volume = m_volume.load(std::memory_order_relaxed);
    if (volume != 1.0f) {
        for (std::size_t i = 0; i < got * m_channelCount; ++i)
            out[i] *= volume;
    }
    m_rendered += got;
    if (got > 0 && m_markFirstSamples.load(std::memory_order_relaxed) && m_markFirstSamples.exchange(false, std::memory_order_acq_rel))
        m_firstSamplesAt.store(steadyNanoseconds(), std::memory_order_release);

    // Pairs with the fence in waitForRoom().
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::size_t wanted = m_roomWanted.load(std::memory_order_relaxed);
    if (wanted != 0 && m_ring->writable() >= wanted && m_roomWanted.compare_exchange_strong(wanted, 0)) {
        m_wake.fetch_add(1, std::memory_order_release);
        m_wake.notify_one();
    }
    return got;
}

void FFmpegAudioPlayer::outputFailed() noexcept
{
    m_outputBroken.store(true, std::memory_order_release);
    m_wake.fetch_add(1, std::memory_order_release);
    m_wake.notify_one();
}

} // namespace varno
