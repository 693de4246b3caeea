#pragma once

#include "platform/AudioOutput.h"
#include "platform/FFmpegAudioDecodeSession.h"

#include <QString>

#include <optional>
#include <span>

namespace varno {

// The player's view of a decode session: interleaved 32-bit float samples
// at the stream's own rate, mono kept mono and anything wider mixed down to
// stereo, decoded on one codec thread (playing needs a few hundred times
// less than one core decodes; more threads would only add frames of delay
// and their buffers). What counts as damaged input is the session's rule.
//
// Used by one thread at a time; handing it between threads needs the usual
// happens-before (the player starts and joins its thread around it).
class FFmpegStreamDecoder final {
public:
    enum class Result { Samples, End, Failed };

    // Opens `path` and reads its stream table; decodes nothing. Throws
    // MediaReadError when the file cannot be opened, holds no audio or does
    // not state its audio format.
    explicit FFmpegStreamDecoder(const QString& path);

    FFmpegStreamDecoder(const FFmpegStreamDecoder&) = delete;
    FFmpegStreamDecoder& operator=(const FFmpegStreamDecoder&) = delete;

    const QString& path() const { return m_session.path(); }

    // Seconds: the container's figure, or the stream's when the container
    // states none; 0 when neither is known. Needs no decoding.
    double duration() const { return m_session.durationSeconds(); }

    // Opens the codec, converting to `format` when given (a song that joins
    // another in one output stream takes that stream's format). Returns the
    // reason when the stream cannot be decoded; calling it again after
    // success does nothing.
    std::optional<QString> open(const std::optional<audio::StreamFormat>& format = std::nullopt);
    bool isOpen() const { return m_session.isOpen(); }
    // Valid once open.
    int sampleRate() const { return m_session.sampleRate(); }
    int channelCount() const { return m_session.channelCount(); }

    FFmpegAudioDecodeSession::LoudnessTags loudnessTags() const { return m_session.loudnessTags(); }

    // The next block starts at `seconds` from the beginning of the stream.
    void seek(double seconds) { m_session.seek(seconds); }
    // Whether the decoder stands at the beginning, never read or sought.
    bool atStart() const { return m_session.atStart(); }

    // Points `samples` at the next block (never empty), which stays valid
    // until the next call of next() or seek(): the block lives in buffers
    // the session reuses, so after the first few blocks decoding allocates
    // nothing. At the end of the stream returns End; when the file cannot be
    // read on, Failed with the reason in `failure`.
    Result next(std::span<const float>& samples, QString& failure);

private:
    FFmpegAudioDecodeSession m_session;
};

} // namespace varno
