#include "FFmpegStreamDecoder.h"

namespace varno {

FFmpegStreamDecoder::FFmpegStreamDecoder(const QString& path)
    : m_session(path)
{
    if (std::optional<MediaReadError> problem = m_session.streamProblem())
        throw std::move(*problem);
}

std::optional<QString> FFmpegStreamDecoder::open(const std::optional<audio::StreamFormat>& format)
{
    using Session = FFmpegAudioDecodeSession;
    Session::OutputFormat output {Session::Layout::Interleaved, 2, 1};
    if (format) {
        output.channels = format->channelCount;
        output.sampleRate = format->sampleRate;
    }
    if (m_session.open(output) == Session::OpenResult::Opened)
        return std::nullopt;
    return m_session.failure()->reason();
}

FFmpegStreamDecoder::Result FFmpegStreamDecoder::next(std::span<const float>& samples, QString& failure)
{
    samples = {};
    switch (m_session.next()) {
    case FFmpegAudioDecodeSession::Step::Samples: {
        const FFmpegAudioDecodeSession::Samples& decoded = m_session.samples();
        samples = {decoded.planes[0], static_cast<std::size_t>(decoded.frameCount * decoded.channelCount)};
        return Result::Samples;
    }
    case FFmpegAudioDecodeSession::Step::End:
        return Result::End;
    case FFmpegAudioDecodeSession::Step::Failed:
        failure = m_session.failure()->reason();
        return Result::Failed;
    }
    Q_UNREACHABLE();
}

} // namespace varno
