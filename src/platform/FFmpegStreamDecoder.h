#pragma once

#include "platform/FFmpegInput.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace varno {

// Decodes one audio stream of an opened file into blocks of interleaved
// 32-bit float samples at the stream's own rate, mono kept mono and
// anything wider mixed down to stereo, for the player's decoding thread.
//
// Used by one thread at a time; handing it between threads needs the usual
// happens-before (the player starts and joins its thread around it).
class FFmpegStreamDecoder {
public:
    enum class Result { Samples, End, Failed };

    // `format` holds the stream table already read (ffmpeg::open).
    FFmpegStreamDecoder(ffmpeg::FormatContext format, int streamIndex);
    ~FFmpegStreamDecoder();

    FFmpegStreamDecoder(const FFmpegStreamDecoder&) = delete;
    FFmpegStreamDecoder& operator=(const FFmpegStreamDecoder&) = delete;

    // Seconds: the container's figure, or the stream's when the container
    // states none; 0 when neither is known. Needs no decoding.
    double duration() const;

    // Opens the codec and the converter. Returns the reason when the stream
    // cannot be decoded; calling it again after success does nothing.
    std::optional<QString> open();
    bool isOpen() const { return m_codec != nullptr; }
    // Valid once open.
    int sampleRate() const;
    int channelCount() const;

    // The next block starts at `seconds` from the beginning of the stream.
    void seek(double seconds);
    // Whether the decoder stands at the beginning, never read or sought.
    bool atStart() const { return m_atStart; }

    // Replaces `out` with the next samples (never an empty block). At the
    // end of the stream returns End; when the file cannot be read on, or
    // the decoder gives up on the data, Failed with the reason in `failure`.
    // A damaged packet costs only its own samples, unless many in a row are.
    Result next(std::vector<float>& out, QString& failure);

private:
    struct Codec;

    // Converts the frame just received into `out`; false on failure.
    bool convert(std::vector<float>& out, QString& failure);

    ffmpeg::FormatContext m_format;
    int m_streamIndex;
    std::unique_ptr<Codec> m_codec;
    bool m_atStart = true;
    bool m_inputEnded = false;
    int m_rejectedInARow = 0;
    // After a seek: frames before the target are dropped, once the first
    // decoded frame says where it starts.
    double m_skipTo = 0;
    bool m_skipPending = false;
    std::int64_t m_framesToSkip = 0;
};

} // namespace varno
