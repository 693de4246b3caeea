#include "AudioDecoderError.h"

namespace varno {

AudioDecoderError::AudioDecoderError(Kind kind, const QString& description, FileURL url)
    : Error(description)
    , m_kind(kind)
    , m_url(std::move(url))
{
}

AudioDecoderError AudioDecoderError::fileUnreadable(const FileURL& url)
{
    return {Kind::FileUnreadable, url.isLocalFile() ? url.toLocalFile() : QString::fromUtf8(url.encoded()), url};
}

AudioDecoderError AudioDecoderError::unsupportedCodec(const QString& text)
{
    return {Kind::UnsupportedCodec, text};
}

AudioDecoderError AudioDecoderError::decodingFailed(const QString& reason)
{
    return {Kind::DecodingFailed, reason};
}

AudioDecoderError AudioDecoderError::corruptedStream()
{
    // The only case without a payload to carry its text; an empty message
    // would leave the user with nothing to read.
    return {Kind::CorruptedStream, QStringLiteral("The audio stream is damaged.")};
}

} // namespace varno
