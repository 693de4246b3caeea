#include "FFmpegInput.h"

#include "platform/MediaReader.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
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

} // namespace varno::ffmpeg
