// How one song follows another in the same stream: the gain each is
// played at, the song prepared to follow, the crossfade's curves and the
// hand-over at the first sample of the next song. The rest of the player is
// in FFmpegAudioPlayer.cpp.

#include "platform/FFmpegAudioPlayer.h"

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

// --- main thread ---

void FFmpegAudioPlayer::setLoudnessGain(LoudnessGain gain)
{
    m_gainMode = gain;
    const float factor = gainFactor(m_currentTags, gain);
    if (!m_thread.joinable()) {
        m_current.gain = factor;
        return;
    }
    Command command;
    command.regain = true;
    command.gain = factor;
    send(std::move(command));
}

void FFmpegAudioPlayer::setFollowing(const std::optional<FollowingSong>& song)
{
    Song next;
    if (song) {
        next.decoder = std::make_unique<FFmpegStreamDecoder>(song->path);
        next.tags = next.decoder->loudnessTags();
        next.gain = gainFactor(next.tags, song->gain);
        next.crossfadeSeconds = std::isfinite(song->crossfadeSeconds) ? std::max(0.0, song->crossfadeSeconds) : 0.0;
        next.duration = next.decoder->duration();
        next.token = ++m_lastToken;
    }
    if (!m_thread.joinable()) {
        m_following = std::move(next);
        return;
    }
    Command command;
    command.follow = true;
    command.following = std::move(next);
    send(std::move(command));
}

float FFmpegAudioPlayer::gainFactor(const LoudnessTags& tags, LoudnessGain gain)
{
    if (gain == LoudnessGain::Off)
        return 1.0f;
    const bool album = gain == LoudnessGain::Album;
    const std::optional<double> decibels = album ? (tags.albumGain ? tags.albumGain : tags.trackGain)
                                                 : (tags.trackGain ? tags.trackGain : tags.albumGain);
    const std::optional<double> peak = album ? (tags.albumGain ? tags.albumPeak : tags.trackPeak)
                                             : (tags.trackGain ? tags.trackPeak : tags.albumPeak);
    if (!decibels)
        return 1.0f;
    double factor = std::pow(10.0, *decibels / 20.0);
    if (peak && *peak > 0)
        factor = std::min(factor, 1.0 / *peak);
    return static_cast<float>(factor);
}

void FFmpegAudioPlayer::transitionDecoded(const Transition& transition)
{
    if (!m_stream || transition.generation != m_generation.load(std::memory_order_relaxed)
        || transition.token == m_withdrawnToken.load(std::memory_order_acquire))
        return;
    m_transition = transition;
    // The switch is due when the output reaches the ring position the
    // decoder gave, a few hundred milliseconds from now; a short poll finds
    // it without the output's callback having to tell anyone.
    if (!m_transitionWatch) {
        m_transitionWatch = std::make_unique<QTimer>();
        m_transitionWatch->setTimerType(Qt::PreciseTimer);
        m_transitionWatch->setInterval(5);
        QObject::connect(m_transitionWatch.get(), &QTimer::timeout, [this] { checkTransition(); });
    }
    m_transitionWatch->start();
    checkTransition();
}

void FFmpegAudioPlayer::checkTransition(bool now)
{
    const std::uint32_t generation = m_generation.load(std::memory_order_relaxed);
    // A song taken back is never switched to: the output plays the song
    // now following from the same place.
    if (!m_stream || !m_transition || m_transition->generation != generation
        || m_transition->token == m_withdrawnToken.load(std::memory_order_acquire)) {
        m_transition.reset();
        if (m_transitionWatch)
            m_transitionWatch->stop();
        return;
    }
    const std::uint64_t start = m_segmentStart.load(std::memory_order_acquire);
    const std::uint64_t segment = m_segment.load(std::memory_order_acquire);
    if (!sameGeneration(start, generation) || !sameGeneration(segment, generation)) {
        if (!now)
            return;
    }
    // The ring position in the output's count of frames: the generation's
    // first frame went out at `start`, and the ring was read on from
    // `segment` without a break.
    const std::uint64_t boundary = positionOf(start) + (m_transition->ringPosition - positionOf(segment)) / m_channelCount;
    const std::uint64_t heard = m_stream->heardFrames();
    if (!now && heard < boundary)
        return;
    const Transition transition = *m_transition;
    m_transition.reset();
    if (m_transitionWatch)
        m_transitionWatch->stop();
    m_songToken = transition.token;
    m_duration = transition.duration;
    m_currentTags = transition.tags;
    m_songStartFrame = boundary;
    m_segmentTime = 0;
    if (m_observer)
        m_observer->audioPlayerDidStartFollowingSong(*this, transition.path);
}

void FFmpegAudioPlayer::settleSongsAfterStop()
{
    // The decoder may have moved on to the following song before the
    // listener got there; the song still heard is the current one.
    if (m_previous.decoder && m_previous.token == m_songToken) {
        m_following = std::move(m_current);
        m_current = std::move(m_previous);
    }
    m_previous = Song {};
}


// --- decoding thread ---

std::size_t FFmpegAudioPlayer::holdbackTarget() const
{
    if (!m_following.decoder || !(m_following.crossfadeSeconds > 0))
        return 0;
    return static_cast<std::size_t>(std::llround(m_following.crossfadeSeconds * m_sampleRate)) * m_channelCount;
}

void FFmpegAudioPlayer::sizeHoldback()
{
    const std::size_t target = holdbackTarget();
    if (target == 0 || (m_holdback && m_holdback->capacity() >= target))
        return;
    // Grown rather than made anew, keeping what is held already; the
    // decoding thread may allocate, the output's callback never.
    auto grown = std::make_unique<AudioRingBuffer>(target);
    if (m_holdback) {
        m_tailWork.resize(m_holdback->readable());
        m_holdback->read(m_tailWork.data(), m_tailWork.size());
        grown->write(m_tailWork.data(), m_tailWork.size());
    }
    m_holdback = std::move(grown);
}

std::span<const float> FFmpegAudioPlayer::shape(std::span<const float> block)
{
    std::span<const float> samples = block;
    const auto own = [&] {
        if (samples.data() != m_work.data()) {
            m_work.assign(samples.begin(), samples.end());
            samples = m_work;
        }
    };
    if (m_current.gain != 1.0f) {
        own();
        for (float& sample : m_work)
            sample *= m_current.gain;
    }

    // The song before fades out under the start of this one: equal power,
    // cos² + sin² = 1 at every frame of the overlap.
    if (m_fadingTail && m_fadingTail->readable() > 0) {
        own();
        const std::size_t overlap = std::min(m_fadingTail->readable(), m_work.size());
        m_tailWork.resize(overlap);
        m_fadingTail->read(m_tailWork.data(), overlap);
        for (std::size_t i = 0; i < overlap; ++i) {
            const std::size_t frame = m_fadeDone + i / m_channelCount;
            const double angle = std::numbers::pi / 2 * (double(frame) + 0.5) / double(m_fadeLength);
            m_work[i] = float(m_work[i] * std::sin(angle) + m_tailWork[i] * std::cos(angle));
        }
        m_fadeDone += overlap / m_channelCount;
    }

    // This song's own end is held back while a crossfade into the next one
    // may want it; only what lies further from the end than the crossfade
    // goes on.
    const std::size_t target = holdbackTarget();
    if (target == 0 && (!m_holdback || m_holdback->readable() == 0))
        return samples;
    const std::size_t held = m_holdback ? m_holdback->readable() : 0;
    const std::size_t total = held + samples.size();
    const std::size_t overflow = total > target ? total - target : 0;
    const std::size_t fromHeld = std::min(overflow, held);
    m_out.resize(overflow);
    if (fromHeld > 0)
        m_holdback->read(m_out.data(), fromHeld);
    const std::size_t fromBlock = overflow - fromHeld;
    std::copy_n(samples.begin(), fromBlock, m_out.begin() + std::ptrdiff_t(fromHeld));
    if (samples.size() > fromBlock)
        m_holdback->write(samples.data() + fromBlock, samples.size() - fromBlock);
    return m_out;
}

std::span<const float> FFmpegAudioPlayer::releaseTails()
{
    m_out.clear();
    if (m_fadingTail && m_fadingTail->readable() > 0) {
        // A song shorter than the crossfade into it: the rest of the song
        // before fades out alone.
        const std::size_t rest = m_fadingTail->readable();
        m_out.resize(rest);
        m_fadingTail->read(m_out.data(), rest);
        for (std::size_t i = 0; i < rest; ++i) {
            const std::size_t frame = m_fadeDone + i / m_channelCount;
            m_out[i] *= float(std::cos(std::numbers::pi / 2 * (double(frame) + 0.5) / double(m_fadeLength)));
        }
        m_fadeDone += rest / m_channelCount;
    }
    if (m_holdback && m_holdback->readable() > 0) {
        const std::size_t at = m_out.size();
        m_out.resize(at + m_holdback->readable());
        m_holdback->read(m_out.data() + at, m_out.size() - at);
    }
    return m_out;
}


void FFmpegAudioPlayer::postTransition(const Transition& transition)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [liveness = m_livenessForThreads, transition] {
            if (const std::shared_ptr<Liveness> alive = liveness.lock())
                alive->player->transitionDecoded(transition);
        },
        Qt::QueuedConnection);
}

// --- decoding thread: moving on to the song prepared to follow ---

bool FFmpegAudioPlayer::moveToFollowing(std::uint32_t generation)
{
    if (!m_following.decoder)
        return false;
    const audio::StreamFormat format {m_sampleRate, static_cast<int>(m_channelCount)};
    if (const std::optional<QString> failure = m_following.decoder->open(format)) {
        // It ends the usual way; the next song's own start reports why.
        printDiagnostic(QStringLiteral("Cannot play %1 next: %2").arg(m_following.decoder->path(), *failure));
        m_following = Song {};
        return false;
    }
    if (!m_following.decoder->atStart())
        m_following.decoder->seek(0);
    // The end held back is kept aside too, to be put back should the song
    // that follows be taken back. Whatever of an earlier fade is left is
    // dropped: that song was shorter than both crossfades together.
    m_fadedTail.clear();
    if (m_holdback && m_holdback->readable() > 0) {
        m_fadedTail.resize(m_holdback->readable());
        m_holdback->read(m_fadedTail.data(), m_fadedTail.size());
        m_holdback->write(m_fadedTail.data(), m_fadedTail.size());
    }
    m_fadingTail = std::move(m_holdback);
    m_fadeLength = m_fadingTail ? m_fadingTail->readable() / m_channelCount : 0;
    m_fadeDone = 0;
    Transition transition;
    transition.generation = generation;
    transition.token = m_following.token;
    // Everything of the song before is in the ring but its held-back end,
    // which now mixes into the first samples of this one: the new song's
    // first sample goes where the ring stands.
    transition.ringPosition = m_ring->writePosition();
    transition.duration = m_following.duration;
    transition.tags = m_following.tags;
    transition.path = m_following.decoder->path();
    m_previous = std::move(m_current);
    m_current = std::move(m_following);
    m_following = Song {};
    m_followStart = transition.ringPosition;
    postTransition(transition);
    return true;
}

FFmpegAudioPlayer::TakeBack FFmpegAudioPlayer::takeBackFollowed(std::uint32_t generation, std::uint32_t seen, std::span<const float>& pending)
{
    const std::uint64_t start = m_followStart.value_or(0);
    std::uint32_t state = m_cutState.load(std::memory_order_acquire);
    if (state == kNoCut) {
        // Long heard, most likely: nothing to ask.
        if (!m_followStart || !m_previous.decoder || m_ring->readPosition() > start) {
            m_followStart.reset();
            return TakeBack::Refused;
        }
        m_cutAt.store(tagged(generation, start), std::memory_order_relaxed);
        // Pairs with the acquire in render().
        m_cutState.store(kCutAsked, std::memory_order_release);
        state = kCutAsked;
    }
    if (state == kCutAsked) {
        // The callback answers at its next period and wakes this thread; a
        // command or a broken output is seen to first.
        if (!m_commandPending.load(std::memory_order_acquire) && !m_outputBroken.load(std::memory_order_acquire))
            m_wake.wait(seen, std::memory_order_acquire);
        return TakeBack::Waiting;
    }
    m_followStart.reset();
    if (state == kCutRefused) {
        m_cutState.store(kNoCut, std::memory_order_release);
        return TakeBack::Refused;
    }

    // The output stands at or before `start` and reads no further: the
    // song that began there leaves the ring, and the song before is the
    // current one again, at its end.
    m_ring->rewindTo(start);
    m_withdrawnToken.store(m_current.token, std::memory_order_release);
    m_current = std::move(m_previous);
    m_previous = Song {};
    m_fadingTail = nullptr;
    m_fadeLength = m_fadeDone = 0;
    m_holdback = nullptr;
    if (!m_fadedTail.empty()) {
        m_holdback = std::make_unique<AudioRingBuffer>(m_fadedTail.size());
        m_holdback->write(m_fadedTail.data(), m_fadedTail.size());
    }
    sizeHoldback();
    // Of the end held back, what the crossfade into the song now following
    // does not take is played as it is.
    m_out.clear();
    const std::size_t target = holdbackTarget();
    if (m_holdback && m_holdback->readable() > target) {
        m_out.resize(m_holdback->readable() - target);
        m_holdback->read(m_out.data(), m_out.size());
    }
    pending = m_out;
    // Last: from here the callback reads on, into what is written next.
    m_cutState.store(kNoCut, std::memory_order_release);
    return TakeBack::Done;
}

} // namespace varno
