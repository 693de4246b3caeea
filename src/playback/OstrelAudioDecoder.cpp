#include "OstrelAudioDecoder.h"

#include "platform/FFmpegPcmReader.h"
#include "platform/Worker.h"
#include "playback/AudioDecoderError.h"

#include <QtGlobal>

#include <cmath>
#include <utility>

namespace varno {

namespace {

// The format the decoder asks the media layer for: 32-bit float with one
// plane per channel; rate and channel count stay the file's own.
constexpr int kRequestedBitDepth = 32;

// What every handed-out buffer reports, whatever the file's own format.
constexpr AudioFormat kBufferFormat {44100.0, 2, 32, false};
constexpr double kBufferRate = 44100.0;

// Seek positions are whole units of this many per second.
constexpr double kSeekTimeScale = 600.0;

// How far an open got on the worker; the main thread turns it into the
// decoder's errors, so the reader's state changes stay on one thread.
struct OpenAttempt {
    enum class Outcome { Started, NoAudioTrack, ReaderUnavailable, CodecUnsupported, StartFailed };

    Outcome outcome = Outcome::Started;
    // Shared only because the worker hop needs a copyable result; the
    // decoder becomes its single owner.
    std::shared_ptr<FFmpegPcmReader> reader;
    std::optional<QString> startError;
    std::optional<PcmStreamDescription> description;
};

// Blocking: runs on the decoder's worker. A file the media layer cannot open
// throws its MediaReadError, which reaches the caller unchanged.
OpenAttempt attemptOpen(const QString& path, double startSeconds)
{
    OpenAttempt attempt;
    attempt.reader = std::make_shared<FFmpegPcmReader>(path);
    FFmpegPcmReader& reader = *attempt.reader;
    if (!reader.hasAudioTrack()) {
        attempt.outcome = OpenAttempt::Outcome::NoAudioTrack;
        return attempt;
    }
    switch (reader.addOutput()) {
    case FFmpegPcmReader::OutputResult::Added:
        break;
    case FFmpegPcmReader::OutputResult::ReaderUnavailable:
        attempt.outcome = OpenAttempt::Outcome::ReaderUnavailable;
        return attempt;
    case FFmpegPcmReader::OutputResult::CodecUnsupported:
        attempt.outcome = OpenAttempt::Outcome::CodecUnsupported;
        return attempt;
    }
    // The time range must be in place before reading starts.
    reader.setTimeRangeStart(startSeconds);
    if (!reader.startReading()) {
        attempt.outcome = OpenAttempt::Outcome::StartFailed;
        attempt.startError = reader.error();
        return attempt;
    }
    // The media layer reads the stream table when it opens the file, so the
    // format description cannot fail to load separately; it can only be
    // missing.
    attempt.description = reader.streamDescription();
    return attempt;
}

} // namespace

OstrelAudioDecoder::OstrelAudioDecoder()
{
    m_pool.setObjectName(QStringLiteral("AudioDecoder"));
    m_pool.setMaxThreadCount(1);
}

OstrelAudioDecoder::~OstrelAudioDecoder() = default;

QCoro::Task<AudioFormat> OstrelAudioDecoder::openStream(FileURL url)
{
    auto opening = openFrom(std::move(url), 0.0);
    co_return co_await std::move(opening);
}

QCoro::Task<AudioFormat> OstrelAudioDecoder::openFrom(FileURL url, double startSeconds)
{
    closeStream();
    m_asset = url;

    auto work = [path = url.toLocalFile(), startSeconds] { return attemptOpen(path, startSeconds); };
    auto opening = runOn(&m_pool, std::move(work));
    OpenAttempt attempt = co_await std::move(opening);

    switch (attempt.outcome) {
    case OpenAttempt::Outcome::Started:
        break;
    case OpenAttempt::Outcome::NoAudioTrack:
    case OpenAttempt::Outcome::ReaderUnavailable:
        throw AudioDecoderError::fileUnreadable(url);
    case OpenAttempt::Outcome::CodecUnsupported:
        throw AudioDecoderError::unsupportedCodec(QStringLiteral("Cannot add track output to AVAssetReader."));
    case OpenAttempt::Outcome::StartFailed:
        throw AudioDecoderError::decodingFailed(attempt.startError.value_or(QStringLiteral("Unknown start reading error.")));
    }
    // Kept even when the format turns out to be missing below: the stream
    // stays open, reading, until the next close or open releases it.
    m_reader = std::move(attempt.reader);
    if (!attempt.description)
        throw AudioDecoderError::corruptedStream();
    co_return AudioFormat {attempt.description->sampleRate, attempt.description->channelCount, kRequestedBitDepth, false};
}

std::optional<AudioBuffer> OstrelAudioDecoder::decodeNextBuffer(std::int64_t maxFrames)
{
    if (!m_reader)
        return std::nullopt;
    switch (m_reader->status()) {
    case FFmpegPcmReader::Status::Reading: {
        // The block only marks progress through the track; its samples are
        // not copied into the buffer.
        if (!m_reader->copyNextBlock())
            return std::nullopt;
        return AudioBuffer {QByteArray(), kBufferFormat, maxFrames};
    }
    case FFmpegPcmReader::Status::Failed:
        throw AudioDecoderError::decodingFailed(m_reader->error().value_or(QStringLiteral("Read failed")));
    case FFmpegPcmReader::Status::Unknown:
    case FFmpegPcmReader::Status::Completed:
    case FFmpegPcmReader::Status::Cancelled:
        break;
    }
    return std::nullopt;
}

QCoro::Task<> OstrelAudioDecoder::seek(double seconds)
{
    if (!m_asset)
        co_return;
    const double start = std::round(seconds * kSeekTimeScale) / kSeekTimeScale;
    auto reopening = openFrom(*m_asset, start);
    co_await std::move(reopening);
}

void OstrelAudioDecoder::closeStream()
{
    if (m_reader && m_reader->status() == FFmpegPcmReader::Status::Reading)
        m_reader->cancelReading();
    m_reader.reset();
    m_asset.reset();
}

QCoro::Task<AudioBuffer> OstrelAudioDecoder::preDecode(FileURL fileURL, double duration)
{
    Q_UNUSED(fileURL);
    const double frames = duration * kBufferRate;
    // A caller's mistake, not a file's: no valid duration comes near this.
    if (!std::isfinite(frames) || frames >= 0x1p63 || frames < -0x1p63)
        qFatal("OstrelAudioDecoder::preDecode: duration %g gives no 64-bit frame count", duration);
    co_return AudioBuffer {QByteArray(), kBufferFormat, static_cast<std::int64_t>(frames)};
}

} // namespace varno
