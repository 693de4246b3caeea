#pragma once


#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace varno {

class FFmpegAudioDecodeSession;

// Room for a fixed number of frames of 32-bit float samples, one plane per
// channel. Made once and filled again by every read, so scanning a song of
// any length takes no more sample memory than one block.
class FloatPcmBuffer final {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    FloatPcmBuffer(int channelCount, std::int64_t frameCapacity);

    int channelCount() const { return m_channelCount; }
    std::int64_t frameCapacity() const { return m_frameCapacity; }
    // How many frames the last read left in the buffer.
    std::int64_t frameLength() const { return m_frameLength; }
    void setFrameLength(std::int64_t frames) { m_frameLength = frames; }

    const float* channel(int index) const { return m_samples.get() + index * m_frameCapacity; }
    float* channel(int index) { return m_samples.get() + index * m_frameCapacity; }

private:
    int m_channelCount;
    std::int64_t m_frameCapacity;
    std::int64_t m_frameLength = 0;
    std::unique_ptr<float[]> m_samples;
};

// Reads an audio file from start to end as 32-bit float samples, one plane
// per channel, at the file's own rate and channel count, through a decode
// session (whose rules say what damaged input costs). Unlike
// FFmpegPcmReader it has no thread of its own to decode ahead: it decodes
// when asked, straight into the caller's buffer (a codec may still spread
// its work over threads of its own), which suits scanning a whole file once
// rather than keeping ahead of playback.
//
// Blocking; belongs on a worker thread. One thread at a time.
class FFmpegAudioFileReader final {
public:
    // Opens the file and the decoder of its first audio track. Throws
    // MediaReadError: the file cannot be opened as media, holds no audio, or
    // its codec cannot be decoded.
    explicit FFmpegAudioFileReader(const QString& path);
    ~FFmpegAudioFileReader();

    FFmpegAudioFileReader(const FFmpegAudioFileReader&) = delete;
    FFmpegAudioFileReader& operator=(const FFmpegAudioFileReader&) = delete;

    // The format every read delivers: the stream's own.
    int sampleRate() const { return m_sampleRate; }
    int channelCount() const { return m_channelCount; }
    // The track's length in frames as the file states it, known before any
    // decoding; 0 when it states none. It is the container's figure: lossy
    // formats may decode to a few thousand frames more or fewer.
    std::int64_t lengthInFrames() const { return m_lengthInFrames; }

    // Replaces the buffer's content with the next `frames` frames of the
    // track (at most the buffer's capacity); fewer only at the end. Returns
    // how many, 0 once the track has ended. A stream the session gives up
    // on throws its MediaReadError.
    std::int64_t read(FloatPcmBuffer& buffer, std::int64_t frames);

private:
    std::unique_ptr<FFmpegAudioDecodeSession> m_session;
    int m_sampleRate = 0;
    int m_channelCount = 0;
    std::int64_t m_lengthInFrames = 0;

    // What reads take from: the session's latest samples, valid until its
    // next step.
    const float* const* m_source = nullptr;
    std::int64_t m_sourceFrames = 0;
    std::int64_t m_sourceOffset = 0;
    bool m_ended = false;
};

} // namespace varno
