#include "OstrelMetadataEngine.h"

#include "library/MetadataError.h"
#include "platform/TagLibMediaReader.h"
#include "platform/Worker.h"

#include <QFileInfo>

#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace varno {

const QString MetadataError::kTagWritingDisabled = QStringLiteral(
    "Physical tag writing is disabled until a non-destructive file replacement workflow is available. Local metadata edits are saved in the app library.");

MetadataError::MetadataError(Kind kind, const QString& description)
    : Error(description)
    , m_kind(kind)
{
}

namespace {

QString nameOf(const FileURL& url)
{
    return QFileInfo(url.toLocalFile()).fileName();
}

// A double that is not finite or does not fit a signed 64-bit integer is
// treated as missing.
std::optional<std::int64_t> truncatedInteger(double value)
{
    if (!std::isfinite(value) || value >= 9223372036854775808.0 || value < -9223372036854775808.0)
        return std::nullopt;
    return static_cast<std::int64_t>(std::trunc(value));
}

std::optional<std::int64_t> sizeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

} // namespace

MetadataError MetadataError::fileNotFound(const FileURL& url)
{
    return {Kind::FileNotFound, QStringLiteral("The file \u201C%1\u201D could not be found.").arg(nameOf(url))};
}

MetadataError MetadataError::unsupportedFormat(const FileURL& url)
{
    return {Kind::UnsupportedFormat, QStringLiteral("The format of \u201C%1\u201D is not supported.").arg(nameOf(url))};
}

MetadataError MetadataError::writePermissionDenied(const FileURL& url)
{
    return {Kind::WritePermissionDenied, QStringLiteral("You don\u2019t have permission to change \u201C%1\u201D.").arg(nameOf(url))};
}

MetadataError MetadataError::tagWriteFailed(const QString& message)
{
    return {Kind::TagWriteFailed, message};
}

OstrelMetadataEngine::OstrelMetadataEngine()
    : OstrelMetadataEngine(std::make_shared<TagLibMediaReader>())
{
}

OstrelMetadataEngine::OstrelMetadataEngine(std::shared_ptr<const MediaReader> reader)
    : m_reader(std::move(reader))
{
    m_pool.setObjectName(QStringLiteral("MetadataReaders"));
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

OstrelMetadataEngine::~OstrelMetadataEngine()
{
    m_pool.waitForDone();
}

ExtractedMetadata OstrelMetadataEngine::extract(const MediaAsset& asset, const QString& path, std::optional<std::int64_t> fileSize)
{
    ExtractedMetadata result;
    result.duration = asset.durationSeconds;
    for (const MediaItem& item : asset.items) {
        const QString& key = item.commonKey;
        const std::optional<QString>& value = item.stringValue;
        if (key == QLatin1String("title"))
            result.title = value;
        else if (key == QLatin1String("artist"))
            result.artist = value;
        else if (key == QLatin1String("albumName"))
            result.album = value;
        else if (key == QLatin1String("genre"))
            result.genre = value;
        else if (key == QLatin1String("type")) {
            if (!result.genre)
                result.genre = value;
        } else if (key == QLatin1String("composer"))
            result.composer = value;
        else if (key == QLatin1String("albumArtist"))
            result.albumArtist = value;
    }
    // Only a missing title falls back to the file name; an empty one found
    // in the tags is kept.
    if (!result.title) {
        const QFileInfo file(path);
        const QString withoutExtension = file.completeBaseName();
        result.title = withoutExtension.isEmpty() ? file.fileName() : withoutExtension;
    }
    if (asset.sampleRate)
        result.sampleRate = truncatedInteger(*asset.sampleRate);
    if (fileSize && result.duration > 0)
        result.bitrate = truncatedInteger(static_cast<double>(*fileSize) * 8.0 / result.duration / 1000.0);
    return result;
}

QCoro::Task<ExtractedMetadata> OstrelMetadataEngine::readMetadata(FileURL url)
{
    // The URL is turned into a path on the worker: the main thread only
    // hands work out and takes results back. Not a coroutine itself: the
    // worker's task is handed to the caller as it is.
    return runOn(&m_pool, [reader = m_reader, url = std::move(url)] {
        const QString path = url.toLocalFile();
        const MediaAsset asset = reader->read(path);
        return extract(asset, path, sizeOf(path));
    });
}

QCoro::Task<> OstrelMetadataEngine::writeMetadata(Track track, std::optional<QByteArray>)
{
    // Edits live in the library; the file is only looked at, never opened.
    if (QFileInfo::exists(track.fileURL.toLocalFile()))
        throw MetadataError::tagWriteFailed(MetadataError::kTagWritingDisabled);
    throw MetadataError::fileNotFound(track.fileURL);
    co_return;
}

QCoro::Task<std::optional<QByteArray>> OstrelMetadataEngine::extractArtwork(FileURL url)
{
    return runOn(&m_pool, [reader = m_reader, url = std::move(url)] { return reader->firstArtwork(url.toLocalFile()); });
}

} // namespace varno
