#pragma once

#include "playback/AudioBuffer.h"
#include "playback/AudioFormat.h"
#include "storage/FileURL.h"

#include <QCoroTask>

#include <cstdint>
#include <optional>

namespace varno {

// A streaming reader of a song file's first audio track. Main thread only;
// the asynchronous operations suspend while the file is opened on a worker
// thread and resume on the main thread. Errors are AudioDecoderError, except
// a file the media layer cannot open at all, whose MediaReadError is passed
// on unchanged.
class AudioDecoder {
public:
    virtual ~AudioDecoder() = default;

    // Closes any open stream, then opens `url` for reading from the start.
    // The format is the file's own: its rate and channel count, 32-bit
    // float, one plane per channel.
    virtual QCoro::Task<AudioFormat> openStream(FileURL url) = 0;
    // Steps to the next block of the open stream. The buffer carries no
    // samples: its format is always 44,100 Hz stereo 32-bit non-interleaved
    // and its frameCount is `maxFrames`, whatever the file holds. Absent
    // with no open stream, at the end and after closeStream().
    virtual std::optional<AudioBuffer> decodeNextBuffer(std::int64_t maxFrames) = 0;
    // Re-opens the open stream so that reading runs from `seconds` (to the
    // nearest 1/600 s) to the end. Does nothing when no file is open.
    virtual QCoro::Task<> seek(double seconds) = 0;
    virtual void closeStream() = 0;
    // Reads nothing: a buffer of duration × 44,100 frames (whole part), with
    // no samples. `duration` × 44,100 must be finite and fit 64 bits.
    virtual QCoro::Task<AudioBuffer> preDecode(FileURL fileURL, double duration) = 0;
};

} // namespace varno
