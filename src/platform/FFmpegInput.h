#pragma once

#include <QString>

#include <memory>

struct AVFormatContext;

// Opening media files with libavformat, shared by the metadata fallback and
// the decode session. Callable from any thread.
namespace varno::ffmpeg {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const;
};
using FormatContext = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// The reason behind an FFmpeg error code, worded for the user.
QString reason(int code);

// Opens `path` and reads its stream table. Throws MediaReadError naming the
// file ("the file is empty", "its format is not recognised", "it is a named
// pipe, not a regular file", the system's reason); anything but a regular
// file is refused before it is opened.
FormatContext open(const QString& path);

} // namespace varno::ffmpeg
