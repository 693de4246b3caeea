#include "FFmpegAudioDecodeSession.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace varno {

namespace {

// The length in frames an "iTunSMPB" tag states (" 00000000 00000840
// 000001CA 00000000003F31F6 …": zero, delay, padding, length, in
// hexadecimal); 0 when there is no such tag or it does not read.
std::int64_t smpbLength(const AVDictionary* metadata)
{
    const AVDictionaryEntry* entry = av_dict_get(metadata, "iTunSMPB", nullptr, 0);
    if (!entry || !entry->value)
        return 0;
    const QList<QByteArray> fields = QByteArray(entry->value).simplified().split(' ');
    if (fields.size() < 4)
        return 0;
    bool read = false;
    const qint64 length = fields[3].toLongLong(&read, 16);
    return read && length > 0 ? length : 0;
}

// Packets that may be rejected one after another, with no audio between
// them, before the stream counts as broken rather than scratched: about a
// second of MP3 or AAC. A zeroed or garbled stretch, as an unfinished
// download or a bad sector leaves, gets there; a few bad frames do not.
constexpr int kMaxRejectedInARow = 40;

// The session's reasons for giving up on a file, beside FFmpeg's own.
QString damaged()
{
    return QStringLiteral("the audio data is damaged");
}

QString formatNotStated()
{
    return QStringLiteral("its audio format is not stated");
}

// Copies `layout` into `stated` (uninitialised or empty), giving a layout
// whose channel order is unstated the default order for its channel count,
// which is what players assume and what the converter needs. 0 or FFmpeg's
// error code.
int statedLayout(const AVChannelLayout& layout, AVChannelLayout& stated)
{
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&stated, layout.nb_channels);
        return 0;
    }
    return av_channel_layout_copy(&stated, &layout);
}

} // namespace

// Everything that exists once the decoder is open. Freed with the session.
struct FFmpegAudioDecodeSession::Codec {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;

    AVSampleFormat outFormat = AV_SAMPLE_FMT_FLTP;
    AVChannelLayout outLayout {};
    int outRate = 0;
    bool interleaved = false;

    // Built on the first frame that is not already in the output format, and
    // again whenever the stream changes format part-way (rate switches in
    // MP3, HE-AAC's late discovery of SBR); the output stays what it was
    // opened with.
    SwrContext* converter = nullptr;
    AVChannelLayout inLayout {};
    int inFormat = -1;
    int inRate = 0;

    // Converted samples of one frame, kept from frame to frame, so that
    // only the first few frames allocate.
    std::vector<float> scratch;
    std::int64_t scratchFrames = 0;
    std::vector<std::uint8_t*> scratchPlanes;
    // What samples() hands out: into the scratch or into the frame.
    std::vector<const float*> views;

    ~Codec()
    {
        swr_free(&converter);
        av_channel_layout_uninit(&outLayout);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }

    int channelCount() const { return outLayout.nb_channels; }
};

FFmpegAudioDecodeSession::FFmpegAudioDecodeSession(const QString& path)
    : m_path(path)
    , m_format(ffmpeg::open(path))
{
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            m_streamIndex = static_cast<int>(i);
            break;
        }
    }
    // Packets of other streams (a cover stored as a video stream, a second
    // language) are skipped by the demuxer instead of being read and dropped.
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (static_cast<int>(i) != m_streamIndex)
            m_format->streams[i]->discard = AVDISCARD_ALL;
    }
    // An MP4 file states its exact length in its edit list, which leaves out
    // the encoder's delay at the start and its padding at the end: AAC is
    // coded in blocks of 1024 frames, so an album split from one recording
    // has up to a block of silence at every song's end. libavformat drops
    // the delay but hands out the padding; it is dropped here. Only with a
    // full sample table: a fragmented file's duration may be a guess.
    if (m_streamIndex >= 0 && m_format->iformat && std::strncmp(m_format->iformat->name, "mov,", 4) == 0) {
        const AVStream* stream = m_format->streams[m_streamIndex];
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        if (stream->nb_frames > 0 && stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            m_endTimestamp = start + stream->duration;
        // Files of older encoders have no edit list and state the length in
        // an "iTunSMPB" tag instead; libavformat takes the delay from it
        // (the first sample kept is at the start time), the end is ours.
        const std::int64_t stated = smpbLength(m_format->metadata);
        if (stated > 0 && stream->codecpar->sample_rate > 0)
            m_endTimestamp = start + av_rescale_q(stated, AVRational {1, stream->codecpar->sample_rate}, stream->time_base);
    }
}

FFmpegAudioDecodeSession::~FFmpegAudioDecodeSession() = default;

std::optional<FFmpegAudioDecodeSession::StatedFormat> FFmpegAudioDecodeSession::statedFormat() const
{
    if (m_streamIndex < 0)
        return std::nullopt;
    const AVCodecParameters* parameters = m_format->streams[m_streamIndex]->codecpar;
    if (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0)
        return std::nullopt;
    return StatedFormat {parameters->sample_rate, parameters->ch_layout.nb_channels};
}

namespace {

// "-6.02 dB", "+1.5", "0.98765": the leading number; none when there is none.
std::optional<double> leadingNumber(const char* text)
{
    if (!text)
        return std::nullopt;
    const QByteArray value = QByteArray(text).trimmed();
    qsizetype end = 0;
    while (end < value.size() && (std::isdigit(static_cast<unsigned char>(value[end])) || value[end] == '.' || value[end] == '-' || value[end] == '+'))
        ++end;
    bool ok = false;
    const double number = value.left(end).toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

const char* tagValue(const AVFormatContext& format, const AVStream* stream, const char* key)
{
    // Ogg keeps its comments on the stream, the other containers on the file.
    // Keys are matched without regard to case, as the formats spell them
    // differently ("replaygain_track_gain" in MP4).
    if (stream) {
        if (const AVDictionaryEntry* entry = av_dict_get(stream->metadata, key, nullptr, 0))
            return entry->value;
    }
    if (const AVDictionaryEntry* entry = av_dict_get(format.metadata, key, nullptr, 0))
        return entry->value;
    return nullptr;
}

} // namespace

FFmpegAudioDecodeSession::LoudnessTags FFmpegAudioDecodeSession::loudnessTags() const
{
    const AVStream* stream = m_streamIndex >= 0 ? m_format->streams[m_streamIndex] : nullptr;
    const auto read = [&](const char* key) { return leadingNumber(tagValue(*m_format, stream, key)); };
    LoudnessTags tags;
    tags.trackGain = read("REPLAYGAIN_TRACK_GAIN");
    tags.trackPeak = read("REPLAYGAIN_TRACK_PEAK");
    tags.albumGain = read("REPLAYGAIN_ALBUM_GAIN");
    tags.albumPeak = read("REPLAYGAIN_ALBUM_PEAK");
    // Opus states gains in 1/256 dB against -23 LUFS; ReplayGain's reference
    // is 5 dB louder.
    const auto r128 = [&](const char* key) -> std::optional<double> {
        if (const std::optional<double> steps = read(key))
            return *steps / 256.0 + 5.0;
        return std::nullopt;
    };
    if (!tags.trackGain)
        tags.trackGain = r128("R128_TRACK_GAIN");
    if (!tags.albumGain)
        tags.albumGain = r128("R128_ALBUM_GAIN");
    return tags;
}

std::optional<MediaReadError> FFmpegAudioDecodeSession::streamProblem() const
{
    if (m_streamIndex < 0)
        return MediaReadError(m_path, QStringLiteral("it holds no audio"));
    if (!statedFormat())
        return MediaReadError(m_path, formatNotStated());
    return std::nullopt;
}

double FFmpegAudioDecodeSession::durationSeconds() const
{
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
        return double(m_format->duration) / AV_TIME_BASE;
    if (m_streamIndex < 0)
        return 0;
    const AVStream* stream = m_format->streams[m_streamIndex];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    return 0;
}

std::int64_t FFmpegAudioDecodeSession::lengthInFrames() const
{
    const std::optional<StatedFormat> stated = statedFormat();
    if (!stated)
        return 0;
    const AVStream& stream = *m_format->streams[m_streamIndex];
    const AVRational perFrame {1, stated->sampleRate};
    std::int64_t frames = 0;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        frames = av_rescale_q(stream.duration, stream.time_base, perFrame);
    else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
        frames = av_rescale_q(m_format->duration, AV_TIME_BASE_Q, perFrame);
    // av_rescale_q answers INT64_MIN when the result does not fit.
    return std::max<std::int64_t>(frames, 0);
}

FFmpegAudioDecodeSession::OpenResult FFmpegAudioDecodeSession::open(const OutputFormat& format)
{
    if (m_codec)
        return OpenResult::Opened;
    m_failure.reset();
    if (std::optional<MediaReadError> problem = streamProblem()) {
        m_failure = std::move(problem);
        return OpenResult::Undecodable;
    }
    const auto refuse = [this](int code) {
        m_failure = MediaReadError(m_path, code == AVERROR_DECODER_NOT_FOUND ? QStringLiteral("its audio codec is not supported") : ffmpeg::reason(code));
        return code == AVERROR(ENOMEM) ? OpenResult::OutOfMemory : OpenResult::Undecodable;
    };

    const AVStream& stream = *m_format->streams[m_streamIndex];
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!decoder)
        return refuse(AVERROR_DECODER_NOT_FOUND);
    auto codec = std::make_unique<Codec>();
    codec->context = avcodec_alloc_context3(decoder);
    codec->packet = av_packet_alloc();
    codec->frame = av_frame_alloc();
    if (!codec->context || !codec->packet || !codec->frame)
        return refuse(AVERROR(ENOMEM));
    if (const int copied = avcodec_parameters_to_context(codec->context, stream.codecpar); copied < 0)
        return refuse(copied);
    codec->context->thread_count = format.decoderThreads;
    codec->context->pkt_timebase = stream.time_base;
    if (const int opened = avcodec_open2(codec->context, decoder, nullptr); opened < 0)
        return refuse(opened);

    const int channels = codec->context->ch_layout.nb_channels;
    if (codec->context->sample_rate <= 0 || channels <= 0) {
        m_failure = MediaReadError(m_path, formatNotStated());
        return OpenResult::Undecodable;
    }
    // The stream's own layout when its channels are kept, so that the
    // converter has nothing to remix; the default one of the narrower count
    // when they are mixed down.
    if (format.channels > 0 && channels != format.channels)
        av_channel_layout_default(&codec->outLayout, format.channels);
    else if (format.channels <= 0 && format.maxChannels > 0 && channels > format.maxChannels)
        av_channel_layout_default(&codec->outLayout, format.maxChannels);
    else if (const int copied = statedLayout(codec->context->ch_layout, codec->outLayout); copied < 0)
        return refuse(copied);
    codec->outRate = format.sampleRate > 0 ? format.sampleRate : codec->context->sample_rate;
    codec->interleaved = format.layout == Layout::Interleaved;
    codec->outFormat = codec->interleaved ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_FLTP;
    codec->views.resize(static_cast<std::size_t>(codec->channelCount()));
    m_codec = std::move(codec);
    return OpenResult::Opened;
}

int FFmpegAudioDecodeSession::sampleRate() const
{
    return m_codec->outRate;
}

int FFmpegAudioDecodeSession::channelCount() const
{
    return m_codec->channelCount();
}

void FFmpegAudioDecodeSession::seek(double seconds)
{
    Q_ASSERT(m_streamIndex >= 0);
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
        av_frame_unref(m_codec->frame);
        avcodec_flush_buffers(m_codec->context);
        // Rebuilt on the next frame, without samples of the old place.
        swr_free(&m_codec->converter);
    }
    m_samples = {};
    m_inputEnded = false;
    m_over.reset();
    m_failure.reset();
    m_rejectedInARow = 0;
    m_skipTo = seconds;
    m_skipPending = seconds > 0;
    m_framesToSkip = 0;
}

FFmpegAudioDecodeSession::Step FFmpegAudioDecodeSession::next()
{
    Q_ASSERT(m_codec);
    if (m_over)
        return *m_over;
    Codec& codec = *m_codec;
    // The previous samples may have been the frame's own planes; they are
    // used up now.
    av_frame_unref(codec.frame);
    m_samples = {};
    for (;;) {
        const int received = avcodec_receive_frame(codec.context, codec.frame);
        if (received >= 0) {
            m_rejectedInARow = 0;
            m_decodedAny = true;
            if (!takeFrame())
                return Step::Failed;
            if (m_samples.frameCount > 0)
                return Step::Samples;
            av_frame_unref(codec.frame);
            continue;
        }
        if (received == AVERROR_EOF)
            return finishStream();
        if (received != AVERROR(EAGAIN)) {
            if (!rejected(received))
                return Step::Failed;
            continue;
        }
        if (m_inputEnded)
            return finishStream();

        const int read = av_read_frame(m_format.get(), codec.packet);
        m_atStart = false;
        if (read == AVERROR(EAGAIN))
            continue;
        if (read < 0) {
            // A cut-off file ends where its data ends. Some demuxers report
            // that as an error rather than as the end; the file ended
            // either way.
            if (read == AVERROR_EOF || (m_format->pb && avio_feof(m_format->pb))) {
                avcodec_send_packet(codec.context, nullptr);
                m_inputEnded = true;
                continue;
            }
            if (read != AVERROR_INVALIDDATA)
                return fail(ffmpeg::reason(read));
            if (!rejected(read))
                return Step::Failed;
            continue;
        }
        if (codec.packet->stream_index != m_streamIndex) {
            av_packet_unref(codec.packet);
            continue;
        }
        const int sent = avcodec_send_packet(codec.context, codec.packet);
        av_packet_unref(codec.packet);
        if (sent < 0 && sent != AVERROR(EAGAIN) && !rejected(sent))
            return Step::Failed;
    }
}

bool FFmpegAudioDecodeSession::rejected(int code)
{
    // Garbage makes decoders say all sorts of things (the AAC decoder claims
    // a feature is not implemented), so every complaint but a lack of
    // memory counts as a damaged packet.
    if (code == AVERROR(ENOMEM)) {
        fail(ffmpeg::reason(code));
        return false;
    }
    m_rejectedAny = true;
    if (++m_rejectedInARow >= kMaxRejectedInARow) {
        fail(damaged());
        return false;
    }
    return true;
}

FFmpegAudioDecodeSession::Step FFmpegAudioDecodeSession::fail(const QString& reason)
{
    m_samples = {};
    m_failure = MediaReadError(m_path, reason);
    m_over = Step::Failed;
    return Step::Failed;
}

FFmpegAudioDecodeSession::Step FFmpegAudioDecodeSession::finishStream()
{
    Codec& codec = *m_codec;
    // A converter that resamples (after a rate change) holds a few samples
    // back; they belong to the end too.
    if (codec.converter && swr_get_delay(codec.converter, codec.outRate) > 0) {
        const int room = static_cast<int>(swr_get_delay(codec.converter, codec.outRate)) + 16;
        std::uint8_t** planes = scratchPlanes(room);
        const int flushed = swr_convert(codec.converter, planes, room, nullptr, 0);
        swr_free(&codec.converter);
        if (flushed > 0) {
            publish(planes, flushed, 0);
            if (m_samples.frameCount > 0)
                return Step::Samples;
        }
    }
    if (m_rejectedAny && !m_decodedAny)
        return fail(damaged());
    m_over = Step::End;
    return Step::End;
}

bool FFmpegAudioDecodeSession::takeFrame()
{
    Codec& codec = *m_codec;
    const AVFrame& frame = *codec.frame;
    if (frame.nb_samples <= 0)
        return true;

    // The frames of it before the stream's stated end; none when it lies
    // wholly beyond (encoder padding).
    std::int64_t frames = frame.nb_samples;
    if (m_endTimestamp != AV_NOPTS_VALUE && frame.best_effort_timestamp != AV_NOPTS_VALUE) {
        const AVStream* stream = m_format->streams[m_streamIndex];
        const std::int64_t beforeEnd = av_rescale_q(m_endTimestamp - frame.best_effort_timestamp, stream->time_base, AVRational {1, frame.sample_rate});
        frames = std::clamp<std::int64_t>(beforeEnd, 0, frames);
        if (frames == 0)
            return true;
    }

    std::int64_t skip = 0;
    if (m_skipPending) {
        m_skipPending = false;
        const std::int64_t pts = frame.best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            const AVStream* stream = m_format->streams[m_streamIndex];
            const std::int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            const double startsAt = double(pts - origin) * av_q2d(stream->time_base);
            m_framesToSkip = std::max<std::int64_t>(0, std::llround((m_skipTo - startsAt) * codec.outRate));
        }
    }

    // Frames already in the output format (MP3, AAC and Vorbis decode to
    // float planar) are handed out in place, with no conversion at all.
    if (frame.format == codec.outFormat && frame.sample_rate == codec.outRate && frame.ch_layout.nb_channels == codec.channelCount()) {
        skip = std::min<std::int64_t>(m_framesToSkip, frames);
        m_framesToSkip -= skip;
        publish(frame.extended_data, frames, skip);
        return true;
    }

    if (!ensureConverter())
        return false;
    const int room = swr_get_out_samples(codec.converter, static_cast<int>(frames));
    if (room < 0) {
        fail(ffmpeg::reason(room));
        return false;
    }
    std::uint8_t** planes = scratchPlanes(room);
    const int converted = swr_convert(codec.converter, planes, room, const_cast<const std::uint8_t**>(frame.extended_data), static_cast<int>(frames));
    av_frame_unref(codec.frame);
    if (converted < 0) {
        fail(ffmpeg::reason(converted));
        return false;
    }
    skip = std::min<std::int64_t>(m_framesToSkip, converted);
    m_framesToSkip -= skip;
    publish(planes, converted, skip);
    return true;
}

bool FFmpegAudioDecodeSession::ensureConverter()
{
    Codec& codec = *m_codec;
    const AVFrame& frame = *codec.frame;
    AVChannelLayout layout {};
    if (const int copied = statedLayout(frame.ch_layout, layout); copied < 0) {
        fail(ffmpeg::reason(copied));
        return false;
    }
    if (codec.converter && frame.format == codec.inFormat && frame.sample_rate == codec.inRate
        && av_channel_layout_compare(&layout, &codec.inLayout) == 0) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    swr_free(&codec.converter);
    const int made = swr_alloc_set_opts2(&codec.converter, &codec.outLayout, codec.outFormat, codec.outRate, &layout,
                                         static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    const int initialised = made < 0 ? made : swr_init(codec.converter);
    if (initialised < 0) {
        av_channel_layout_uninit(&layout);
        swr_free(&codec.converter);
        fail(ffmpeg::reason(initialised));
        return false;
    }
    av_channel_layout_uninit(&codec.inLayout);
    codec.inLayout = layout;
    codec.inFormat = frame.format;
    codec.inRate = frame.sample_rate;
    return true;
}

std::uint8_t** FFmpegAudioDecodeSession::scratchPlanes(int frames)
{
    Codec& codec = *m_codec;
    const auto channels = static_cast<std::size_t>(codec.channelCount());
    if (frames > codec.scratchFrames || codec.scratchPlanes.empty()) {
        codec.scratchFrames = std::max<std::int64_t>(frames, codec.scratchFrames);
        const auto perPlane = static_cast<std::size_t>(codec.scratchFrames);
        codec.scratch.resize(perPlane * channels);
        codec.scratchPlanes.resize(codec.interleaved ? 1 : channels);
        for (std::size_t c = 0; c < codec.scratchPlanes.size(); ++c)
            codec.scratchPlanes[c] = reinterpret_cast<std::uint8_t*>(codec.scratch.data() + c * perPlane);
    }
    return codec.scratchPlanes.data();
}

void FFmpegAudioDecodeSession::publish(const std::uint8_t* const* planes, std::int64_t frames, std::int64_t skip)
{
    Codec& codec = *m_codec;
    const int channels = codec.channelCount();
    if (codec.interleaved) {
        codec.views[0] = reinterpret_cast<const float*>(planes[0]) + skip * channels;
    } else {
        for (int c = 0; c < channels; ++c)
            codec.views[static_cast<std::size_t>(c)] = reinterpret_cast<const float*>(planes[c]) + skip;
    }
    m_samples = Samples {channels, frames - skip, codec.views.data()};
}

} // namespace varno
