#pragma once


#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace varno {

class FFmpegAudioDecodeSession;

// One decoded block of the audio track: 32-bit float samples, one plane per
// channel, planes stored one after the other in `data`.
struct PcmBlock {
    int channelCount = 0;
    std::int64_t frameCount = 0;
    QByteArray data;

    const float* plane(int channel) const
    {
        return reinterpret_cast<const float*>(data.constData()) + channel * frameCount;
    }
};

// Sample rate and channel count of the first audio track as the file states them.
struct PcmStreamDescription {
    double sampleRate = 0;
    int channelCount = 0;
};

// Reads the first audio track of a file as 32-bit float non-interleaved PCM
// at the file's own rate and channel count, through a decode session (whose
// rules say what damaged input costs).
//
// Construction and the set-up calls block on file work and belong on a
// worker thread. Once reading has started, a thread of the reader's own
// decodes a few blocks ahead, so copyNextBlock() on the consumer's thread
// normally finds one ready instead of decoding. One consumer thread at a
// time; the reader may be handed between threads while nothing else uses it.
class FFmpegPcmReader final {
public:
    enum class Status { Unknown, Reading, Completed, Failed, Cancelled };
    enum class OutputResult { Added, ReaderUnavailable, CodecUnsupported };

    // Opens the container and reads its stream table. Throws MediaReadError
    // with the library's reason when the file cannot be opened as media.
    explicit FFmpegPcmReader(const QString& path);
    // Cancels reading and waits for the decoding thread.
    ~FFmpegPcmReader();

    FFmpegPcmReader(const FFmpegPcmReader&) = delete;
    FFmpegPcmReader& operator=(const FFmpegPcmReader&) = delete;

    bool hasAudioTrack() const;
    // Absent when the file does not state a sample rate or channel count.
    std::optional<PcmStreamDescription> streamDescription() const;

    // Prepares the decoder and the float planar converter for the first audio
    // track. Call once, before startReading(). When it fails, error() says
    // why.
    OutputResult addOutput();
    // Reading covers the track from `startSeconds` to its end; samples
    // before the start are dropped, so the first block begins at it.
    void setTimeRangeStart(double startSeconds);
    // False when reading could not start; error() then says why, if known.
    bool startReading();

    Status status() const;
    std::optional<QString> error() const;

    // The next block in track order, waiting for it if it is not decoded
    // yet. Absent at the end of the track, after a failure (status() turns
    // Completed or Failed) and after cancelReading().
    std::optional<PcmBlock> copyNextBlock();
    void cancelReading();

private:
    void decodeLoop();
    void push(PcmBlock block);
    void finish(std::optional<QString> failure);

    // Used by the decoding thread once reading has started; before that, by
    // whoever sets the reader up.
    std::unique_ptr<FFmpegAudioDecodeSession> m_session;
    double m_startSeconds = 0;

    static constexpr std::size_t kBlocksAhead = 16;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<PcmBlock> m_blocks;
    Status m_status = Status::Unknown;
    bool m_producerDone = false;
    bool m_stopRequested = false;
    std::optional<QString> m_error;
    std::thread m_thread;
};

} // namespace varno
