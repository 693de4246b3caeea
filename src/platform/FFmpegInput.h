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

// How sure opening must be that a file holds the format it is read as.
enum class Recognition {
    // Whatever demuxer libavformat finds best, even one it chose by the
    // file's name alone. Playback and decoding take what they can get.
    ByContentOrName,
    // A format recognised in the bytes: for raw MPEG audio or ADTS that
    // means a run of consecutive frames. What the library imports must pass.
    ByContent,
};

// Opens `path` and reads its stream table. Throws MediaReadError naming the
// file ("the file is empty", "its format is not recognised", "no audio was
// found in its first 64 MB", "it is a named pipe, not a regular file", the
// system's reason); anything but a regular file is refused before it is
// opened.
//
// Opening reads a bounded amount whatever the file holds: 64 MB for the
// headers (tags and covers included) and 8 MB more for the stream table, so
// gigabytes of zeros are given up on within a second instead of searched to
// the end for a first frame. A stream table cut short may leave the audio
// format unstated; headers cut short fail ("no audio was found in its first
// 64 MB"). Reads after opening are not limited.
FormatContext open(const QString& path, Recognition recognition = Recognition::ByContentOrName);

} // namespace varno::ffmpeg
