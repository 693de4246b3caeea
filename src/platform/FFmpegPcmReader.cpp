#include "FFmpegPcmReader.h"

#include "platform/FFmpegInput.h"

#include "platform/MediaReader.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include <pthread.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace varno {

// Everything that exists only once an output has been added. Freed on the
// thread that destroys the reader, after the decoding thread has ended.
struct FFmpegPcmReader::Codec : ffmpeg::Decoder {
    SwrContext* converter = nullptr;
    AVChannelLayout layout {};
    int channelCount = 0;

    ~Codec()
    {
        swr_free(&converter);
        av_channel_layout_uninit(&layout);
    }
};

FFmpegPcmReader::FFmpegPcmReader(const QString& path)
    : m_path(path)
{
    m_format = ffmpeg::open(path);
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            m_streamIndex = static_cast<int>(i);
            break;
        }
    }
}

FFmpegPcmReader::~FFmpegPcmReader()
{
    cancelReading();
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<PcmStreamDescription> FFmpegPcmReader::streamDescription() const
{
    if (m_streamIndex < 0)
        return std::nullopt;
    const AVCodecParameters* parameters = m_format->streams[m_streamIndex]->codecpar;
    if (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0)
        return std::nullopt;
    return PcmStreamDescription {static_cast<double>(parameters->sample_rate), parameters->ch_layout.nb_channels};
}

FFmpegPcmReader::OutputResult FFmpegPcmReader::addOutput()
{
    Q_ASSERT(m_streamIndex >= 0 && !m_codec);
    auto codec = std::make_unique<Codec>();
    // Let the decoder use every core it likes (FLAC gains most); the
    // decoding thread is ours only for the demuxing and the conversion.
    const int opened = ffmpeg::openDecoder(*m_format->streams[m_streamIndex], 0, *codec);
    if (opened == AVERROR(ENOMEM))
        return OutputResult::ReaderUnavailable;
    if (opened < 0)
        return OutputResult::CodecUnsupported;
    if (ffmpeg::statedLayout(codec->context->ch_layout, codec->layout) < 0)
        return OutputResult::ReaderUnavailable;
    codec->channelCount = codec->layout.nb_channels;
    if (codec->channelCount <= 0 || codec->context->sample_rate <= 0)
        return OutputResult::CodecUnsupported;

    // Same rate and layout on both sides: the converter only changes the
    // sample format to float planar, so it keeps no delayed samples.
    if (swr_alloc_set_opts2(&codec->converter, &codec->layout, AV_SAMPLE_FMT_FLTP, codec->context->sample_rate,
                            &codec->layout, codec->context->sample_fmt, codec->context->sample_rate, 0, nullptr)
            < 0
        || swr_init(codec->converter) < 0)
        return OutputResult::CodecUnsupported;

    m_codec = std::move(codec);
    return OutputResult::Added;
}

void FFmpegPcmReader::setTimeRangeStart(double startSeconds)
{
    m_startSeconds = std::max(0.0, startSeconds);
}

bool FFmpegPcmReader::startReading()
{
    Q_ASSERT(m_codec && !m_thread.joinable());
    if (m_startSeconds > 0) {
        const AVStream* stream = m_format->streams[m_streamIndex];
        const auto target = static_cast<std::int64_t>(m_startSeconds / av_q2d(stream->time_base));
        const int sought = av_seek_frame(m_format.get(), m_streamIndex, target, AVSEEK_FLAG_BACKWARD);
        if (sought < 0) {
            // Files without an index (raw ADTS) cannot seek; reading from
            // the top and dropping the samples before the start still gives
            // the range asked for.
            avformat_seek_file(m_format.get(), -1, INT64_MIN, 0, 0, 0);
        }
        avcodec_flush_buffers(m_codec->context);
        m_skipComputed = false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_status = Status::Reading;
    }
    try {
        m_thread = std::thread([this] {
            pthread_setname_np(pthread_self(), "PcmReader");
            decodeLoop();
        });
    } catch (const std::system_error& e) {
        std::lock_guard lock(m_mutex);
        m_status = Status::Failed;
        m_error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

FFmpegPcmReader::Status FFmpegPcmReader::status() const
{
    std::lock_guard lock(m_mutex);
    return m_status;
}

std::optional<QString> FFmpegPcmReader::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::optional<PcmBlock> FFmpegPcmReader::copyNextBlock()
{
    std::unique_lock lock(m_mutex);
    if (m_status != Status::Reading)
        return std::nullopt;
    m_changed.wait(lock, [this] { return !m_blocks.empty() || m_producerDone || m_stopRequested; });
    if (m_status != Status::Reading)
        return std::nullopt;
    if (!m_blocks.empty()) {
        PcmBlock block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_changed.notify_all();
        return block;
    }
    // The status changes only when the consumer reaches the end, so blocks
    // decoded before a failure are still handed out first.
    m_status = m_error ? Status::Failed : Status::Completed;
    return std::nullopt;
}

void FFmpegPcmReader::cancelReading()
{
    std::lock_guard lock(m_mutex);
    m_stopRequested = true;
    if (m_status == Status::Reading)
        m_status = Status::Cancelled;
    m_blocks.clear();
    m_changed.notify_all();
}

void FFmpegPcmReader::push(PcmBlock block)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_blocks.size() < kBlocksAhead || m_stopRequested; });
    if (m_stopRequested)
        return;
    m_blocks.push_back(std::move(block));
    m_changed.notify_all();
}

void FFmpegPcmReader::finish(std::optional<QString> failure)
{
    std::lock_guard lock(m_mutex);
    m_producerDone = true;
    if (failure && !m_stopRequested)
        m_error = std::move(failure);
    m_changed.notify_all();
}

void FFmpegPcmReader::decodeLoop()
{
    Codec& codec = *m_codec;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopRequested)
                break;
        }
        const int read = av_read_frame(m_format.get(), codec.packet);
        if (read == AVERROR_EOF) {
            avcodec_send_packet(codec.context, nullptr);
            drainFrames();
            break;
        }
        if (read < 0) {
            finish(ffmpeg::reason(read));
            return;
        }
        if (codec.packet->stream_index != m_streamIndex) {
            av_packet_unref(codec.packet);
            continue;
        }
        const int sent = avcodec_send_packet(codec.context, codec.packet);
        av_packet_unref(codec.packet);
        // A damaged packet costs its own samples only, as in every player;
        // anything else the decoder reports ends reading.
        if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
            finish(ffmpeg::reason(sent));
            return;
        }
        if (!drainFrames())
            return;
    }
    finish(std::nullopt);
}

bool FFmpegPcmReader::drainFrames()
{
    Codec& codec = *m_codec;
    for (;;) {
        const int received = avcodec_receive_frame(codec.context, codec.frame);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received == AVERROR_INVALIDDATA)
            continue;
        if (received < 0) {
            finish(ffmpeg::reason(received));
            return false;
        }
        const std::int64_t frames = codec.frame->nb_samples;
        std::int64_t skip = 0;
        if (!m_skipComputed) {
            m_skipComputed = true;
            const std::int64_t pts = codec.frame->best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE) {
                const double startsAt = static_cast<double>(pts) * av_q2d(m_format->streams[m_streamIndex]->time_base);
                m_framesToSkip = std::max<std::int64_t>(0, std::llround((m_startSeconds - startsAt) * codec.context->sample_rate));
            }
        }
        skip = std::min(m_framesToSkip, frames);
        m_framesToSkip -= skip;

        PcmBlock block;
        block.channelCount = codec.channelCount;
        block.frameCount = frames;
        block.data.resize(static_cast<qsizetype>(frames * codec.channelCount * sizeof(float)));
        std::vector<std::uint8_t*> planes(static_cast<std::size_t>(codec.channelCount));
        for (int c = 0; c < codec.channelCount; ++c)
            planes[static_cast<std::size_t>(c)] = reinterpret_cast<std::uint8_t*>(block.data.data()) + c * frames * sizeof(float);
        const int converted = swr_convert(codec.converter, planes.data(), static_cast<int>(frames),
                                          const_cast<const std::uint8_t**>(codec.frame->extended_data), codec.frame->nb_samples);
        av_frame_unref(codec.frame);
        if (converted < 0) {
            finish(ffmpeg::reason(converted));
            return false;
        }
        const std::int64_t kept = converted - std::min<std::int64_t>(skip, converted);
        if (kept <= 0)
            continue;
        if (skip > 0 || kept != frames) {
            // Move the kept tail of each plane to the front, then shorten.
            auto* base = reinterpret_cast<float*>(block.data.data());
            for (int c = 0; c < codec.channelCount; ++c)
                std::memmove(base + c * kept, base + c * frames + skip, static_cast<std::size_t>(kept) * sizeof(float));
            block.frameCount = kept;
            block.data.resize(static_cast<qsizetype>(kept * codec.channelCount * sizeof(float)));
        }
        push(std::move(block));
    }
}

} // namespace varno
