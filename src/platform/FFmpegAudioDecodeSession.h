#pragma once

#include "platform/FFmpegInput.h"
#include "platform/MediaReader.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace varno {

// One audio file opened for decoding: libavformat demuxes its first audio
// stream, libavcodec decodes it and libswresample converts the samples to
// 32-bit float in the layout the caller asked for. The player's decoder,
// the PCM reader and the whole-file reader all decode through it, so they
// share one set of rules for damaged input:
//
// - A packet the demuxer or the decoder rejects, whatever the reason given
//   ("invalid data", "not implemented", …), costs only its own samples.
//   Only a lack of memory ends decoding at once.
// - Forty rejected packets in a row, with no audio between them, end the
//   stream as failed: "the audio data is damaged". So does a stream that
//   ends having rejected packets and produced no audio at all.
// - A file that is cut off ends where its data ends, as if it ended there:
//   what was decoded stands and the end of the stream is reached normally.
// - Any other failure to read the file ends the stream with the reason.
//
// Blocking. One thread at a time; handing it between threads needs the
// usual happens-before (a thread started or joined around it).
class FFmpegAudioDecodeSession final {
public:
    enum class Layout {
        // One plane per channel.
        Planar,
        // Channels interleaved frame by frame in plane 0.
        Interleaved,
    };

    struct OutputFormat {
        Layout layout = Layout::Planar;
        // At most this many channels: wider streams are mixed down to the
        // default layout of this count. 0 keeps the stream's own channels.
        int maxChannels = 0;
        // Decoding threads the codec may use; 0 lets it take as many as it
        // likes (FLAC decodes frames in parallel, the others ignore it).
        int decoderThreads = 0;
        // Exactly this many channels, mixing down or up; 0 leaves the count
        // to maxChannels.
        int channels = 0;
        // Resampled to this rate; 0 keeps the stream's own.
        int sampleRate = 0;
    };

    // Loudness the file's tags state, in dB and as linear peaks: the
    // REPLAYGAIN_* fields of Vorbis comments, ID3v2 TXXX frames, APE tags
    // and MP4 freeform atoms, and Opus's R128_*_GAIN (brought to the same
    // reference level). Absent fields are absent.
    struct LoudnessTags {
        std::optional<double> trackGain;
        std::optional<double> trackPeak;
        std::optional<double> albumGain;
        std::optional<double> albumPeak;
    };

    enum class OpenResult { Opened, OutOfMemory, Undecodable };
    enum class Step { Samples, End, Failed };

    // The rate and channel count the file states for its audio stream.
    struct StatedFormat {
        int sampleRate = 0;
        int channelCount = 0;
    };

    // What the latest Samples step produced, in the output format. The
    // planes point into the session (or into the decoded frame itself, when
    // it already has the output format) and stay valid until the next call
    // of next(), seek() or the destructor.
    struct Samples {
        int channelCount = 0;
        std::int64_t frameCount = 0;
        // One pointer per channel when planar; only the first when
        // interleaved.
        const float* const* planes = nullptr;
    };

    // Opens `path` and reads its stream table; decodes nothing. Throws
    // MediaReadError as ffmpeg::open does. A file without audio is not an
    // error yet: hasAudio() says so and open() fails.
    explicit FFmpegAudioDecodeSession(const QString& path);
    ~FFmpegAudioDecodeSession();

    FFmpegAudioDecodeSession(const FFmpegAudioDecodeSession&) = delete;
    FFmpegAudioDecodeSession& operator=(const FFmpegAudioDecodeSession&) = delete;

    const QString& path() const { return m_path; }
    bool hasAudio() const { return m_streamIndex >= 0; }
    // Absent without audio or when the file leaves the rate or the channel
    // count unstated.
    std::optional<StatedFormat> statedFormat() const;
    LoudnessTags loudnessTags() const;
    // Why the stream cannot be decoded, known without opening a decoder:
    // "it holds no audio", "its audio format is not stated".
    std::optional<MediaReadError> streamProblem() const;

    // Seconds: the container's figure, or the stream's when the container
    // states none; 0 when neither is known.
    double durationSeconds() const;
    // Frames at the stated rate: the stream's own figure first (in its time
    // base, which for PCM, FLAC and Vorbis counts frames exactly), then the
    // container's, rounded to microseconds; 0 when neither is known. Lossy
    // formats may decode to a few thousand frames more or fewer.
    std::int64_t lengthInFrames() const;

    // Opens the decoder for `format`. On failure the reason is in failure()
    // and the session stays closed; calling it again after success does
    // nothing.
    OpenResult open(const OutputFormat& format);
    bool isOpen() const { return m_codec != nullptr; }
    // The output format; valid once open.
    int sampleRate() const;
    int channelCount() const;

    // The next samples start at `seconds` from the beginning of the stream.
    // Streams that cannot seek (raw ADTS) are read again from the top, and
    // whatever comes before the target is dropped.
    void seek(double seconds);
    // Whether the session stands at the beginning, never read or sought.
    bool atStart() const { return m_atStart; }

    // Decodes on to the next samples (never an empty block). End and Failed
    // are repeated by later calls until a seek.
    Step next();
    const Samples& samples() const { return m_samples; }
    // Why opening or decoding failed, naming the file.
    const std::optional<MediaReadError>& failure() const { return m_failure; }

private:
    struct Codec;

    // A packet the demuxer or the decoder turned down; false when that ends
    // the stream.
    bool rejected(int code);
    Step fail(const QString& reason);
    Step finishStream();
    // Makes the frame just decoded the current samples; false on failure.
    bool takeFrame();
    bool ensureConverter();
    // The scratch planes with room for `frames` frames each (one plane when
    // interleaved), as libswresample takes them.
    std::uint8_t** scratchPlanes(int frames);
    // Makes `frames` frames of `planes`, less the first `skip`, the current
    // samples.
    void publish(const std::uint8_t* const* planes, std::int64_t frames, std::int64_t skip);

    QString m_path;
    ffmpeg::FormatContext m_format;
    int m_streamIndex = -1;
    std::unique_ptr<Codec> m_codec;
    std::optional<MediaReadError> m_failure;
    Samples m_samples;

    bool m_atStart = true;
    bool m_inputEnded = false;
    std::optional<Step> m_over;
    int m_rejectedInARow = 0;
    bool m_rejectedAny = false;
    bool m_decodedAny = false;
    // After a seek: frames before the target are dropped, once the first
    // decoded frame says where it starts.
    double m_skipTo = 0;
    bool m_skipPending = false;
    std::int64_t m_framesToSkip = 0;
    // Where the stream's stated length ends, in its time base, when the
    // container states it exactly; samples from there on are dropped.
    std::int64_t m_endTimestamp = INT64_MIN;
};

} // namespace varno
