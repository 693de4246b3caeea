#include "FFmpegInput.h"

#include "platform/MediaReader.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <mutex>

namespace varno::ffmpeg {

void FormatContextCloser::operator()(AVFormatContext* context) const
{
    avformat_close_input(&context);
}

QString reason(int code)
{
    if (code == AVERROR_INVALIDDATA || code == AVERROR(EINVAL))
        return QStringLiteral("its format is not recognised");
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

FormatContext open(const QString& path)
{
    static std::once_flag quiet;
    // Bad input is reported through our own errors; libav's console chatter
    // about it would only be noise.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    requireRegularFile(path);
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr);
    if (opened < 0) {
        // Only a failed open asks for the size, to say why it failed.
        const QFileInfo file(path);
        if (file.isFile() && file.size() == 0)
            throw MediaReadError(path, QStringLiteral("the file is empty"));
        throw MediaReadError(path, reason(opened));
    }
    FormatContext context(raw);
    const int found = avformat_find_stream_info(context.get(), nullptr);
    if (found < 0)
        throw MediaReadError(path, reason(found));
    return context;
}

Decoder::~Decoder()
{
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
}

int openDecoder(const AVStream& stream, int threadCount, Decoder& decoder)
{
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec)
        return AVERROR_DECODER_NOT_FOUND;
    decoder.context = avcodec_alloc_context3(codec);
    decoder.packet = av_packet_alloc();
    decoder.frame = av_frame_alloc();
    if (!decoder.context || !decoder.packet || !decoder.frame)
        return AVERROR(ENOMEM);
    if (const int copied = avcodec_parameters_to_context(decoder.context, stream.codecpar); copied < 0)
        return copied;
    decoder.context->thread_count = threadCount;
    decoder.context->pkt_timebase = stream.time_base;
    return avcodec_open2(decoder.context, codec, nullptr);
}

int statedLayout(const AVChannelLayout& layout, AVChannelLayout& stated)
{
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&stated, layout.nb_channels);
        return 0;
    }
    return av_channel_layout_copy(&stated, &layout);
}

} // namespace varno::ffmpeg
