#include "FFmpegAudioFileReader.h"

#include "platform/FFmpegAudioDecodeSession.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace varno {

FloatPcmBuffer::FloatPcmBuffer(int channelCount, std::int64_t frameCapacity)
    : m_channelCount(channelCount)
    , m_frameCapacity(frameCapacity)
    , m_samples(std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(channelCount) * static_cast<std::size_t>(frameCapacity)))
{
    Q_ASSERT(channelCount > 0 && frameCapacity > 0);
}

FFmpegAudioFileReader::FFmpegAudioFileReader(const QString& path)
    : m_session(std::make_unique<FFmpegAudioDecodeSession>(path))
{
    // As many decoding threads as the codec likes: a whole-file scan is
    // throughput work.
    if (m_session->open({FFmpegAudioDecodeSession::Layout::Planar, 0, 0}) != FFmpegAudioDecodeSession::OpenResult::Opened)
        throw *m_session->failure();
    m_sampleRate = m_session->sampleRate();
    m_channelCount = m_session->channelCount();
    m_lengthInFrames = m_session->lengthInFrames();
}

FFmpegAudioFileReader::~FFmpegAudioFileReader() = default;

std::int64_t FFmpegAudioFileReader::read(FloatPcmBuffer& buffer, std::int64_t frames)
{
    Q_ASSERT(buffer.channelCount() == m_channelCount);
    const std::int64_t wanted = std::clamp<std::int64_t>(frames, 0, buffer.frameCapacity());
    std::int64_t filled = 0;
    while (filled < wanted) {
        if (m_sourceOffset == m_sourceFrames) {
            if (m_ended)
                break;
            const FFmpegAudioDecodeSession::Step step = m_session->next();
            if (step == FFmpegAudioDecodeSession::Step::Failed)
                throw *m_session->failure();
            if (step == FFmpegAudioDecodeSession::Step::End) {
                m_ended = true;
                break;
            }
            m_source = m_session->samples().planes;
            m_sourceFrames = m_session->samples().frameCount;
            m_sourceOffset = 0;
        }
        const std::int64_t taken = std::min(wanted - filled, m_sourceFrames - m_sourceOffset);
        for (int c = 0; c < m_channelCount; ++c)
            std::memcpy(buffer.channel(c) + filled, m_source[c] + m_sourceOffset, static_cast<std::size_t>(taken) * sizeof(float));
        filled += taken;
        m_sourceOffset += taken;
    }
    buffer.setFrameLength(filled);
    return filled;
}

} // namespace varno
