#include "FFmpegInput.h"

#include "platform/MediaReader.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <limits>
#include <mutex>

namespace varno::ffmpeg {

namespace {

// What the headers may take: covers of several megabytes are common, and
// libavformat reads a whole tag or header box before the audio.
constexpr std::int64_t kHeaderBytes = std::int64_t(64) << 20;
// What reading the stream table may take on top. libavformat stops there by
// itself once it has seen enough packets (probesize), but the packets of a
// raw MPEG or ADTS stream come out of a parser that, finding no frame, keeps
// reading, and keeps everything it read, to the end of the file.
constexpr std::int64_t kStreamTableBytes = std::int64_t(8) << 20;
constexpr std::int64_t kProbeBytes = std::int64_t(5) << 20;
// Below this score libavformat went by the name of the file, or by a frame
// or two found by chance: every real file of the fixture set scores 50 or
// more, four MPEG frames in a row score 25, and an ID3 tag that fills the
// probe scores 24.
constexpr int kRecognisedScore = AVPROBE_SCORE_RETRY - 1;

// The bytes a context may read before every further read fails. The demuxer
// checks it before each read from the file; the context keeps it in its
// opaque pointer and frees it when closed.
struct ReadBudget {
    const AVFormatContext* context = nullptr;
    std::int64_t limit = std::numeric_limits<std::int64_t>::max();
    bool spent = false;
};

int stopWhenSpent(void* opaque)
{
    auto* budget = static_cast<ReadBudget*>(opaque);
    const AVIOContext* io = budget->context->pb;
    if (!io || io->bytes_read <= budget->limit)
        return 0;
    budget->spent = true;
    return 1;
}

MediaReadError nothingFound(const QString& path, const AVFormatContext* context)
{
    const std::int64_t read = context && context->pb ? context->pb->bytes_read : kHeaderBytes;
    return MediaReadError(path, QStringLiteral("no audio was found in its first %1 MB").arg((read + (1 << 19)) >> 20));
}

} // namespace

void FormatContextCloser::operator()(AVFormatContext* context) const
{
    // The file's reader points at the budget until it is closed.
    const std::unique_ptr<ReadBudget> budget(static_cast<ReadBudget*>(context->opaque));
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

FormatContext open(const QString& path, Recognition recognition)
{
    static std::once_flag quiet;
    // Bad input is reported through our own errors; libav's console chatter
    // about it would only be noise.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    requireRegularFile(path);
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw MediaReadError(path, reason(AVERROR(ENOMEM)));
    auto budget = std::make_unique<ReadBudget>();
    budget->context = raw;
    budget->limit = kHeaderBytes;
    raw->interrupt_callback = {&stopWhenSpent, budget.get()};
    raw->probesize = kProbeBytes;
    // On failure the context is freed by libavformat; the budget still
    // belongs to this function until the context holds it.
    const int opened = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr);
    if (opened < 0) {
        if (budget->spent)
            throw nothingFound(path, nullptr);
        // Only a failed open asks for the size, to say why it failed.
        const QFileInfo file(path);
        if (file.isFile() && file.size() == 0)
            throw MediaReadError(path, QStringLiteral("the file is empty"));
        throw MediaReadError(path, reason(opened));
    }
    ReadBudget& held = *budget;
    raw->opaque = budget.release();
    FormatContext context(raw);
    if (recognition == Recognition::ByContent && context->probe_score < kRecognisedScore)
        throw MediaReadError(path, QStringLiteral("its format is not recognised"));

    held.limit = context->pb->bytes_read + kStreamTableBytes;
    const int found = avformat_find_stream_info(context.get(), nullptr);
    if (found < 0)
        throw held.spent ? nothingFound(path, context.get()) : MediaReadError(path, reason(found));
    held.limit = std::numeric_limits<std::int64_t>::max();
    return context;
}

} // namespace varno::ffmpeg
