#pragma once

#include "platform/Error.h"
#include "storage/FileURL.h"

namespace varno {

// Why the decoder could not open or read a stream. The cases have no texts
// of their own: the description is the payload (the file's path, the codec
// text or the reason), and corruptedStream, which has none, describes
// itself with an empty text.
class AudioDecoderError final : public Error {
public:
    enum class Kind { FileUnreadable, UnsupportedCodec, DecodingFailed, CorruptedStream };

    static AudioDecoderError fileUnreadable(const FileURL& url);
    static AudioDecoderError unsupportedCodec(const QString& text);
    static AudioDecoderError decodingFailed(const QString& reason);
    static AudioDecoderError corruptedStream();

    Kind kind() const { return m_kind; }
    // The unreadable file's URL; empty for the other cases.
    const FileURL& url() const { return m_url; }

private:
    AudioDecoderError(Kind kind, const QString& description, FileURL url = {});

    Kind m_kind;
    FileURL m_url;
};

} // namespace varno
