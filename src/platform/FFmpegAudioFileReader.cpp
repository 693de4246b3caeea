#include "FFmpegAudioFileReader.h"

#include "platform/MediaReader.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace varno {

namespace {

// Packets the decoder may reject one after another, with no audio between
// them, before the stream counts as broken rather than scratched: about a
// second of MP3 or AAC, the same allowance the player makes. A zeroed or
// garbled stretch gets there; a few bad frames do not.
constexpr int kMaxRejectedInARow = 40;

// Whether a decoder's complaint is about the data it was given. Garbage
// makes decoders say all sorts of things (the AAC decoder claims a feature
// is not implemented), so everything but a lack of memory counts as a
// damaged packet.
bool isDataError(int code)
{
    return code != AVERROR(ENOMEM);
}

QString damaged()
{
    return QStringLiteral("the audio data is damaged");
}

QString failureReason(int code)
{
    return code == AVERROR_INVALIDDATA ? damaged() : ffmpeg::reason(code);
}

} // namespace

FloatPcmBuffer::FloatPcmBuffer(int channelCount, std::int64_t frameCapacity)
    : m_channelCount(channelCount)
    , m_frameCapacity(frameCapacity)
    , m_samples(std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(channelCount) * static_cast<std::size_t>(frameCapacity)))
{
    Q_ASSERT(channelCount > 0 && frameCapacity > 0);
}

// Everything that exists once the decoder is open.
struct FFmpegAudioFileReader::Codec : ffmpeg::Decoder {
    // The layout reads deliver: the stream's own, as it was opened.
    AVChannelLayout outLayout {};
    // Built on the first frame that is not already float planar in the
    // output format, and again whenever the stream changes format part-way
    // (rate switches in MP3, a late discovery of SBR in HE-AAC).
    SwrContext* converter = nullptr;
    AVChannelLayout inLayout {};
    int inFormat = -1;
    int inRate = 0;
    // Converted samples of one frame, one plane per channel, kept from
    // frame to frame so that only the first few frames allocate.
    std::vector<float> scratch;
    std::int64_t scratchFrames = 0;
    std::vector<std::uint8_t*> planes;

    ~Codec()
    {
        swr_free(&converter);
        av_channel_layout_uninit(&outLayout);
        av_channel_layout_uninit(&inLayout);
    }
};

FFmpegAudioFileReader::FFmpegAudioFileReader(const QString& path)
    : m_path(path)
{
    m_format = ffmpeg::open(path);
    m_streamIndex = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (m_streamIndex < 0)
        fail(QStringLiteral("it holds no audio"));
    // Packets of other streams (a cover stored as a video stream, a second
    // language) are skipped by the demuxer instead of being read and dropped.
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (static_cast<int>(i) != m_streamIndex)
            m_format->streams[i]->discard = AVDISCARD_ALL;
    }

    auto codec = std::make_unique<Codec>();
    const AVStream& stream = *m_format->streams[m_streamIndex];
    // As many decoding threads as the codec likes: FLAC decodes frames in
    // parallel, the others ignore it. A whole-file scan is throughput work.
    const int opened = ffmpeg::openDecoder(stream, 0, *codec);
    if (opened == AVERROR_DECODER_NOT_FOUND)
        fail(QStringLiteral("its audio codec is not supported"));
    if (opened < 0)
        fail(ffmpeg::reason(opened));
    if (ffmpeg::statedLayout(codec->context->ch_layout, codec->outLayout) < 0)
        fail(ffmpeg::reason(AVERROR(ENOMEM)));

    m_sampleRate = std::max(codec->context->sample_rate, 0);
    m_channelCount = std::max(codec->outLayout.nb_channels, 0);
    if (m_sampleRate > 0) {
        // The stream's own figure first: it is in the stream's time base,
        // which for PCM, FLAC and Vorbis counts frames exactly; the
        // container's is rounded to microseconds.
        const AVRational perFrame {1, m_sampleRate};
        std::int64_t frames = 0;
        if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
            frames = av_rescale_q(stream.duration, stream.time_base, perFrame);
        else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
            frames = av_rescale_q(m_format->duration, AV_TIME_BASE_Q, perFrame);
        // av_rescale_q answers INT64_MIN when the result does not fit.
        m_lengthInFrames = std::max<std::int64_t>(frames, 0);
    }
    m_source.resize(static_cast<std::size_t>(m_channelCount));
    m_codec = std::move(codec);
}

FFmpegAudioFileReader::~FFmpegAudioFileReader() = default;

std::int64_t FFmpegAudioFileReader::read(FloatPcmBuffer& buffer, std::int64_t frames)
{
    Q_ASSERT(buffer.channelCount() == m_channelCount);
    const std::int64_t wanted = std::clamp<std::int64_t>(frames, 0, buffer.frameCapacity());
    std::int64_t filled = 0;
    while (filled < wanted) {
        if (m_sourceOffset == m_sourceFrames && !nextSource())
            break;
        const std::int64_t taken = std::min(wanted - filled, m_sourceFrames - m_sourceOffset);
        for (int c = 0; c < m_channelCount; ++c)
            std::memcpy(buffer.channel(c) + filled, m_source[static_cast<std::size_t>(c)] + m_sourceOffset,
                        static_cast<std::size_t>(taken) * sizeof(float));
        filled += taken;
        m_sourceOffset += taken;
    }
    buffer.setFrameLength(filled);
    return filled;
}

bool FFmpegAudioFileReader::nextSource()
{
    Codec& codec = *m_codec;
    // The previous source may have been the frame's own planes; they are
    // used up now.
    av_frame_unref(codec.frame);
    m_sourceFrames = 0;
    m_sourceOffset = 0;
    while (!m_decoderDrained) {
        if (!receiveFrame()) {
            m_decoderDrained = true;
            flushConverter();
            return m_sourceFrames > 0;
        }
        const AVFrame& frame = *codec.frame;
        if (frame.nb_samples <= 0) {
            av_frame_unref(codec.frame);
            continue;
        }
        // MP3, AAC and Vorbis decode to float planar already; their planes
        // are read in place, with no conversion at all.
        if (frame.format == AV_SAMPLE_FMT_FLTP && frame.sample_rate == m_sampleRate && frame.ch_layout.nb_channels == m_channelCount) {
            for (int c = 0; c < m_channelCount; ++c)
                m_source[static_cast<std::size_t>(c)] = reinterpret_cast<const float*>(frame.extended_data[c]);
            m_sourceFrames = frame.nb_samples;
            return true;
        }
        convertFrame();
        av_frame_unref(codec.frame);
        if (m_sourceFrames > 0)
            return true;
    }
    return false;
}

bool FFmpegAudioFileReader::receiveFrame()
{
    Codec& codec = *m_codec;
    const auto rejected = [this] {
        if (++m_rejectedInARow >= kMaxRejectedInARow)
            fail(damaged());
    };
    for (;;) {
        const int received = avcodec_receive_frame(codec.context, codec.frame);
        if (received >= 0) {
            m_rejectedInARow = 0;
            return true;
        }
        if (received == AVERROR_EOF)
            return false;
        if (received != AVERROR(EAGAIN)) {
            if (!isDataError(received))
                fail(failureReason(received));
            rejected();
            continue;
        }
        if (m_inputEnded)
            return false;

        const int read = av_read_frame(m_format.get(), codec.packet);
        if (read == AVERROR(EAGAIN))
            continue;
        if (read < 0) {
            // Some demuxers report the end of a cut-off file as an error
            // rather than as the end; the file ended either way.
            if (read == AVERROR_EOF || (m_format->pb && avio_feof(m_format->pb))) {
                avcodec_send_packet(codec.context, nullptr);
                m_inputEnded = true;
                continue;
            }
            fail(failureReason(read));
        }
        if (codec.packet->stream_index != m_streamIndex) {
            av_packet_unref(codec.packet);
            continue;
        }
        const int sent = avcodec_send_packet(codec.context, codec.packet);
        av_packet_unref(codec.packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            if (!isDataError(sent))
                fail(failureReason(sent));
            rejected();
        }
    }
}

void FFmpegAudioFileReader::convertFrame()
{
    Codec& codec = *m_codec;
    const AVFrame& frame = *codec.frame;

    AVChannelLayout layout {};
    if (ffmpeg::statedLayout(frame.ch_layout, layout) < 0)
        fail(ffmpeg::reason(AVERROR(ENOMEM)));
    if (!codec.converter || frame.format != codec.inFormat || frame.sample_rate != codec.inRate
        || av_channel_layout_compare(&layout, &codec.inLayout) != 0) {
        swr_free(&codec.converter);
        const int made = swr_alloc_set_opts2(&codec.converter, &codec.outLayout, AV_SAMPLE_FMT_FLTP, m_sampleRate, &layout,
                                             static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        const int initialised = made < 0 ? made : swr_init(codec.converter);
        if (initialised < 0) {
            av_channel_layout_uninit(&layout);
            swr_free(&codec.converter);
            fail(ffmpeg::reason(initialised));
        }
        av_channel_layout_uninit(&codec.inLayout);
        codec.inLayout = layout;
        layout = {};
        codec.inFormat = frame.format;
        codec.inRate = frame.sample_rate;
    }
    av_channel_layout_uninit(&layout);

    const int room = swr_get_out_samples(codec.converter, frame.nb_samples);
    if (room < 0)
        fail(ffmpeg::reason(room));
    std::uint8_t** planes = scratchPlanes(room);
    const int converted = swr_convert(codec.converter, planes, room, const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    if (converted < 0)
        fail(ffmpeg::reason(converted));
    m_sourceFrames = converted;
}

void FFmpegAudioFileReader::flushConverter()
{
    Codec& codec = *m_codec;
    // Only a converter that resamples (after a rate change) holds samples
    // back; they belong to the end of the track.
    if (!codec.converter || swr_get_delay(codec.converter, m_sampleRate) <= 0)
        return;
    const int room = static_cast<int>(swr_get_delay(codec.converter, m_sampleRate)) + 16;
    const int flushed = swr_convert(codec.converter, scratchPlanes(room), room, nullptr, 0);
    m_sourceFrames = std::max(flushed, 0);
}

std::uint8_t** FFmpegAudioFileReader::scratchPlanes(int frames)
{
    Codec& codec = *m_codec;
    if (frames > codec.scratchFrames || codec.planes.empty()) {
        codec.scratchFrames = std::max<std::int64_t>(frames, codec.scratchFrames);
        codec.scratch.resize(static_cast<std::size_t>(codec.scratchFrames) * static_cast<std::size_t>(m_channelCount));
        codec.planes.resize(static_cast<std::size_t>(m_channelCount));
        for (int c = 0; c < m_channelCount; ++c) {
            float* plane = codec.scratch.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(codec.scratchFrames);
            codec.planes[static_cast<std::size_t>(c)] = reinterpret_cast<std::uint8_t*>(plane);
        }
    }
    for (int c = 0; c < m_channelCount; ++c)
        m_source[static_cast<std::size_t>(c)] = reinterpret_cast<const float*>(codec.planes[static_cast<std::size_t>(c)]);
    return codec.planes.data();
}

void FFmpegAudioFileReader::fail(const QString& reason) const
{
    throw MediaReadError(m_path, reason);
}

} // namespace varno
