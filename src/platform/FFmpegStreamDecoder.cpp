#include "FFmpegStreamDecoder.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace varno {

namespace {

// Packets the decoder may reject one after another before the stream counts
// as broken rather than scratched: about a second of MP3 or AAC. A zeroed
// stretch, as an unfinished download leaves, gets there; a few bad frames
// do not.
constexpr int kMaxRejectedInARow = 40;

QString damaged()
{
    return QStringLiteral("the audio data is damaged");
}

QString failureReason(int code)
{
    return code == AVERROR_INVALIDDATA ? damaged() : ffmpeg::reason(code);
}

} // namespace

// Everything that exists once the stream is opened for decoding.
struct FFmpegStreamDecoder::Codec : ffmpeg::Decoder {
    SwrContext* converter = nullptr;
    AVChannelLayout outLayout {};
    int outRate = 0;
    // What the converter was built for. Streams may change format part-way
    // (rate switches in MP3, HE-AAC's late discovery of SBR); the output
    // stays what the sound output was opened with.
    AVChannelLayout inLayout {};
    int inFormat = -1;
    int inRate = 0;

    ~Codec()
    {
        swr_free(&converter);
        av_channel_layout_uninit(&outLayout);
        av_channel_layout_uninit(&inLayout);
    }
};

FFmpegStreamDecoder::FFmpegStreamDecoder(ffmpeg::FormatContext format, int streamIndex)
    : m_format(std::move(format))
    , m_streamIndex(streamIndex)
{
}

FFmpegStreamDecoder::~FFmpegStreamDecoder() = default;

double FFmpegStreamDecoder::duration() const
{
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
        return double(m_format->duration) / AV_TIME_BASE;
    const AVStream* stream = m_format->streams[m_streamIndex];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    return 0;
}

std::optional<QString> FFmpegStreamDecoder::open()
{
    if (m_codec)
        return std::nullopt;
    auto codec = std::make_unique<Codec>();
    // Playing needs a few hundred times less than one core decodes; more
    // threads would only add frames of delay and their buffers.
    const int opened = ffmpeg::openDecoder(*m_format->streams[m_streamIndex], 1, *codec);
    if (opened == AVERROR_DECODER_NOT_FOUND)
        return QStringLiteral("its audio codec is not supported");
    if (opened < 0)
        return ffmpeg::reason(opened);
    if (codec->context->sample_rate <= 0 || codec->context->ch_layout.nb_channels <= 0)
        return QStringLiteral("its audio format is not stated");

    codec->outRate = codec->context->sample_rate;
    av_channel_layout_default(&codec->outLayout, std::min(2, codec->context->ch_layout.nb_channels));
    m_codec = std::move(codec);
    return std::nullopt;
}

int FFmpegStreamDecoder::sampleRate() const
{
    return m_codec->outRate;
}

int FFmpegStreamDecoder::channelCount() const
{
    return m_codec->outLayout.nb_channels;
}

void FFmpegStreamDecoder::seek(double seconds)
{
    m_atStart = false;
    const AVStream* stream = m_format->streams[m_streamIndex];
    const std::int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const auto target = origin + static_cast<std::int64_t>(seconds / av_q2d(stream->time_base));
    if (av_seek_frame(m_format.get(), m_streamIndex, target, AVSEEK_FLAG_BACKWARD) < 0) {
        // Files without an index (raw ADTS) cannot seek; reading from the top
        // and dropping what comes before the target still lands there.
        avformat_seek_file(m_format.get(), -1, INT64_MIN, 0, 0, 0);
    }
    if (m_codec) {
        avcodec_flush_buffers(m_codec->context);
        // Rebuilt on the next frame, without samples of the old place.
        swr_free(&m_codec->converter);
    }
    m_inputEnded = false;
    m_rejectedInARow = 0;
    m_skipTo = seconds;
    m_skipPending = seconds > 0;
    m_framesToSkip = 0;
}

FFmpegStreamDecoder::Result FFmpegStreamDecoder::next(std::vector<float>& out, QString& failure)
{
    Codec& codec = *m_codec;
    for (;;) {
        const int received = avcodec_receive_frame(codec.context, codec.frame);
        if (received >= 0) {
            const bool converted = convert(out, failure);
            av_frame_unref(codec.frame);
            if (!converted)
                return Result::Failed;
            if (!out.empty())
                return Result::Samples;
            continue;
        }
        if (received == AVERROR_EOF) {
            // A converter that resamples (after a rate change) holds a few
            // samples back; they belong to the end too.
            if (codec.converter && swr_get_delay(codec.converter, codec.outRate) > 0) {
                const int room = static_cast<int>(swr_get_delay(codec.converter, codec.outRate)) + 16;
                out.resize(static_cast<std::size_t>(room * codec.outLayout.nb_channels));
                auto* target = reinterpret_cast<std::uint8_t*>(out.data());
                const int flushed = swr_convert(codec.converter, &target, room, nullptr, 0);
                out.resize(static_cast<std::size_t>(std::max(flushed, 0) * codec.outLayout.nb_channels));
                if (!out.empty())
                    return Result::Samples;
            }
            return Result::End;
        }
        if (received == AVERROR_INVALIDDATA) {
            if (++m_rejectedInARow >= kMaxRejectedInARow) {
                failure = damaged();
                return Result::Failed;
            }
            continue;
        }
        if (received != AVERROR(EAGAIN)) {
            failure = failureReason(received);
            return Result::Failed;
        }
        if (m_inputEnded)
            return Result::End;

        const int read = av_read_frame(m_format.get(), codec.packet);
        m_atStart = false;
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
            failure = failureReason(read);
            return Result::Failed;
        }
        if (codec.packet->stream_index != m_streamIndex) {
            av_packet_unref(codec.packet);
            continue;
        }
        const int sent = avcodec_send_packet(codec.context, codec.packet);
        av_packet_unref(codec.packet);
        if (sent == AVERROR_INVALIDDATA) {
            if (++m_rejectedInARow >= kMaxRejectedInARow) {
                failure = damaged();
                return Result::Failed;
            }
            continue;
        }
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            failure = failureReason(sent);
            return Result::Failed;
        }
        m_rejectedInARow = 0;
    }
}

bool FFmpegStreamDecoder::convert(std::vector<float>& out, QString& failure)
{
    Codec& codec = *m_codec;
    const AVFrame* frame = codec.frame;

    AVChannelLayout layout {};
    if (ffmpeg::statedLayout(frame->ch_layout, layout) < 0) {
        failure = ffmpeg::reason(AVERROR(ENOMEM));
        return false;
    }
    if (!codec.converter || frame->format != codec.inFormat || frame->sample_rate != codec.inRate
        || av_channel_layout_compare(&layout, &codec.inLayout) != 0) {
        swr_free(&codec.converter);
        const int made = swr_alloc_set_opts2(&codec.converter, &codec.outLayout, AV_SAMPLE_FMT_FLT, codec.outRate, &layout,
                                             static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        const int initialised = made < 0 ? made : swr_init(codec.converter);
        if (initialised < 0) {
            av_channel_layout_uninit(&layout);
            swr_free(&codec.converter);
            failure = ffmpeg::reason(initialised);
            return false;
        }
        av_channel_layout_uninit(&codec.inLayout);
        codec.inLayout = layout;
        layout = {};
        codec.inFormat = frame->format;
        codec.inRate = frame->sample_rate;
    }
    av_channel_layout_uninit(&layout);

    const int channels = codec.outLayout.nb_channels;
    const int room = swr_get_out_samples(codec.converter, frame->nb_samples);
    // The block keeps its capacity from one frame to the next: after the
    // first few frames this allocates nothing.
    out.resize(static_cast<std::size_t>(std::max(room, 0) * channels));
    auto* target = reinterpret_cast<std::uint8_t*>(out.data());
    const int converted = swr_convert(codec.converter, &target, room, const_cast<const std::uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
    if (converted < 0) {
        failure = ffmpeg::reason(converted);
        return false;
    }
    out.resize(static_cast<std::size_t>(converted * channels));

    if (m_skipPending) {
        m_skipPending = false;
        const std::int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            const AVStream* stream = m_format->streams[m_streamIndex];
            const std::int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            const double startsAt = double(pts - origin) * av_q2d(stream->time_base);
            m_framesToSkip = std::max<std::int64_t>(0, std::llround((m_skipTo - startsAt) * codec.outRate));
        }
    }
    if (m_framesToSkip > 0) {
        const std::int64_t skip = std::min<std::int64_t>(m_framesToSkip, converted);
        m_framesToSkip -= skip;
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(skip * channels));
    }
    return true;
}

} // namespace varno
