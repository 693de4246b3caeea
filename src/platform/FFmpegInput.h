#pragma once

#include <QString>

#include <memory>

struct AVChannelLayout;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

// Opening media files with libavformat, shared by the metadata fallback and
// the PCM reader. Callable from any thread.
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

// A stream's decoder with the packet and frame it works through, freed
// together.
struct Decoder {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;

    Decoder() = default;
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
};

// Opens the decoder of `stream` into `decoder` with `threadCount` decoding
// threads (0: as many as the codec likes). Returns 0 or FFmpeg's error code:
// AVERROR_DECODER_NOT_FOUND when no decoder handles the codec,
// AVERROR(ENOMEM) when memory ran out.
int openDecoder(const AVStream& stream, int threadCount, Decoder& decoder);

// Copies `layout` into `stated` (uninitialised or empty), giving a layout
// whose channel order is unstated the default order for its channel count,
// which is what players assume and what the converter needs. 0 or FFmpeg's
// error code.
int statedLayout(const AVChannelLayout& layout, AVChannelLayout& stated);

} // namespace varno::ffmpeg
