#include "FFmpegPcmReader.h"

#include "platform/FFmpegAudioDecodeSession.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

#include <pthread.h>

namespace varno {

FFmpegPcmReader::FFmpegPcmReader(const QString& path)
    : m_session(std::make_unique<FFmpegAudioDecodeSession>(path))
{
}

FFmpegPcmReader::~FFmpegPcmReader()
{
    cancelReading();
    if (m_thread.joinable())
        m_thread.join();
}

bool FFmpegPcmReader::hasAudioTrack() const
{
    return m_session->hasAudio();
}

std::optional<PcmStreamDescription> FFmpegPcmReader::streamDescription() const
{
    const std::optional<FFmpegAudioDecodeSession::StatedFormat> stated = m_session->statedFormat();
    if (!stated)
        return std::nullopt;
    return PcmStreamDescription {static_cast<double>(stated->sampleRate), stated->channelCount};
}

FFmpegPcmReader::OutputResult FFmpegPcmReader::addOutput()
{
    Q_ASSERT(m_session->hasAudio() && !m_session->isOpen());
    // Let the decoder use every core it likes (FLAC gains most); the
    // decoding thread is ours only for the demuxing and the conversion.
    const FFmpegAudioDecodeSession::OpenResult opened = m_session->open({FFmpegAudioDecodeSession::Layout::Planar, 0, 0});
    if (opened != FFmpegAudioDecodeSession::OpenResult::Opened) {
        std::lock_guard lock(m_mutex);
        m_error = m_session->failure()->reason();
    }
    switch (opened) {
    case FFmpegAudioDecodeSession::OpenResult::Opened:
        return OutputResult::Added;
    case FFmpegAudioDecodeSession::OpenResult::OutOfMemory:
        return OutputResult::ReaderUnavailable;
    case FFmpegAudioDecodeSession::OpenResult::Undecodable:
        return OutputResult::CodecUnsupported;
    }
    Q_UNREACHABLE();
}

void FFmpegPcmReader::setTimeRangeStart(double startSeconds)
{
    m_startSeconds = std::max(0.0, startSeconds);
}

bool FFmpegPcmReader::startReading()
{
    Q_ASSERT(m_session->isOpen() && !m_thread.joinable());
    if (m_startSeconds > 0)
        m_session->seek(m_startSeconds);
    {
        std::lock_guard lock(m_mutex);
        m_status = Status::Reading;
    }
    try {
        m_thread = std::thread([this] {
            pthread_setname_np(pthread_self(), "PcmReader");
            decodeLoop();
        });
    } catch (const std::system_error& e) {
        std::lock_guard lock(m_mutex);
        m_status = Status::Failed;
        m_error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

FFmpegPcmReader::Status FFmpegPcmReader::status() const
{
    std::lock_guard lock(m_mutex);
    return m_status;
}

std::optional<QString> FFmpegPcmReader::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::optional<PcmBlock> FFmpegPcmReader::copyNextBlock()
{
    std::unique_lock lock(m_mutex);
    if (m_status != Status::Reading)
        return std::nullopt;
    m_changed.wait(lock, [this] { return !m_blocks.empty() || m_producerDone || m_stopRequested; });
    if (m_status != Status::Reading)
        return std::nullopt;
    if (!m_blocks.empty()) {
        PcmBlock block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_changed.notify_all();
        return block;
    }
    // The status changes only when the consumer reaches the end, so blocks
    // decoded before a failure are still handed out first.
    m_status = m_error ? Status::Failed : Status::Completed;
    return std::nullopt;
}

void FFmpegPcmReader::cancelReading()
{
    std::lock_guard lock(m_mutex);
    m_stopRequested = true;
    if (m_status == Status::Reading)
        m_status = Status::Cancelled;
    m_blocks.clear();
    m_changed.notify_all();
}

void FFmpegPcmReader::push(PcmBlock block)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_blocks.size() < kBlocksAhead || m_stopRequested; });
    if (m_stopRequested)
        return;
    m_blocks.push_back(std::move(block));
    m_changed.notify_all();
}

void FFmpegPcmReader::finish(std::optional<QString> failure)
{
    std::lock_guard lock(m_mutex);
    m_producerDone = true;
    if (failure && !m_stopRequested)
        m_error = std::move(failure);
    m_changed.notify_all();
}

void FFmpegPcmReader::decodeLoop()
{
    FFmpegAudioDecodeSession& session = *m_session;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopRequested)
                break;
        }
        switch (session.next()) {
        case FFmpegAudioDecodeSession::Step::Samples:
            break;
        case FFmpegAudioDecodeSession::Step::End:
            finish(std::nullopt);
            return;
        case FFmpegAudioDecodeSession::Step::Failed:
            finish(session.failure()->reason());
            return;
        }
        // Each block is a buffer of its own, handed to the consumer whole;
        // the session's buffers are reused by the next step.
        const FFmpegAudioDecodeSession::Samples& samples = session.samples();
        PcmBlock block;
        block.channelCount = samples.channelCount;
        block.frameCount = samples.frameCount;
        const auto planeBytes = static_cast<std::size_t>(samples.frameCount) * sizeof(float);
        block.data.resize(static_cast<qsizetype>(planeBytes * static_cast<std::size_t>(samples.channelCount)));
        for (int c = 0; c < samples.channelCount; ++c)
            std::memcpy(block.data.data() + c * planeBytes, samples.planes[c], planeBytes);
        push(std::move(block));
    }
    finish(std::nullopt);
}

} // namespace varno
