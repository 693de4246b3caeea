#pragma once

#include "playback/AudioDecoder.h"

#include <QThreadPool>

#include <memory>

namespace varno {

class FFmpegPcmReader;

// Main thread only; files are opened on the decoder's own worker thread and
// each open stream decodes ahead on its reader's thread.
class OstrelAudioDecoder final : public AudioDecoder {
public:
    OstrelAudioDecoder();
    // Cancels reading and waits for the reader's thread and any open in
    // progress on the worker.
    ~OstrelAudioDecoder() override;

    OstrelAudioDecoder(const OstrelAudioDecoder&) = delete;
    OstrelAudioDecoder& operator=(const OstrelAudioDecoder&) = delete;

    QCoro::Task<AudioFormat> openStream(FileURL url) override;
    std::optional<AudioBuffer> decodeNextBuffer(std::int64_t maxFrames) override;
    QCoro::Task<> seek(double seconds) override;
    void closeStream() override;
    QCoro::Task<AudioBuffer> preDecode(FileURL fileURL, double duration) override;

private:
    QCoro::Task<AudioFormat> openFrom(FileURL url, double startSeconds);

    // The open file; kept after a failed open, as the decoder's state
    // machine asks, until the next close or open.
    std::optional<FileURL> m_asset;
    // Present only once reading has started; it owns the track output.
    std::shared_ptr<FFmpegPcmReader> m_reader;
    // One thread is enough: opens are rare and the decoding itself runs on
    // each reader's own thread. Declared last so that it is destroyed first,
    // waiting for an open still running on it.
    QThreadPool m_pool;
};

} // namespace varno
