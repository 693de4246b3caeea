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
    // FFmpeg's own words for the usual failures ("End of file",
    // "Input/output error") say nothing to someone holding a cut-off
    // download or a failing disk.
    if (code == AVERROR_INVALIDDATA || code == AVERROR(EINVAL))
        return QStringLiteral("its format is not recognised");
    if (code == AVERROR_EOF)
        return QStringLiteral("the file ends before its audio does; it may have been cut off while copying or downloading");
    if (code == AVERROR(EIO))
        return QStringLiteral("the disk reported an error while reading it");
    if (code == AVERROR(ENOMEM))
        return QStringLiteral("there was not enough memory to read it");
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
