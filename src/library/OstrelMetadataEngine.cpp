#include "OstrelMetadataEngine.h"

#include "library/MetadataError.h"
#include "platform/TagLibMediaReader.h"
#include "platform/Worker.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <iterator>
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

// The number the digits at the start of `text` make, and what follows them
// in `rest`; absent when `text` starts with no digit or the number does not
// fit.
std::optional<std::int64_t> leadingNumber(QStringView text, QStringView& rest)
{
    std::int64_t value = 0;
    qsizetype length = 0;
    for (; length < text.size() && text[length] >= u'0' && text[length] <= u'9'; ++length) {
        const int digit = text[length].unicode() - u'0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (length == 0)
        return std::nullopt;
    rest = text.mid(length);
    return value;
}

// A zero is what many taggers write for "none"; a sign makes no number.
std::optional<std::int64_t> positive(std::optional<std::int64_t> value)
{
    return value && *value > 0 ? value : std::nullopt;
}

// The year a date starts with: "2004", "2004-05-01" and "2004-05-01T10:00"
// give 2004, and so does "20040501", a date without separators.
std::optional<std::int64_t> yearOf(QStringView text)
{
    text = text.trimmed();
    QStringView rest;
    std::optional<std::int64_t> year = leadingNumber(text, rest);
    if (year && text.size() - rest.size() == 8)
        *year /= 10000;
    return positive(year);
}

// A track or disc number, alone or with the total: "3", "03" and "3/12" give
// 3; anything else after the number makes the text unreadable.
std::optional<std::int64_t> positionOf(QStringView text)
{
    QStringView rest;
    const std::optional<std::int64_t> number = leadingNumber(text.trimmed(), rest);
    rest = rest.trimmed();
    if (!rest.isEmpty() && !rest.startsWith(u'/'))
        return std::nullopt;
    return positive(number);
}

// Beats per minute, rounded to the nearest whole beat when written with a
// fraction ("120.6" gives 121).
std::optional<std::int64_t> bpmOf(QStringView text)
{
    QStringView rest;
    std::optional<std::int64_t> bpm = leadingNumber(text.trimmed(), rest);
    if (!bpm || rest.isEmpty())
        return positive(bpm);
    const QStringView fraction = rest.mid(1);
    if ((rest[0] != u'.' && rest[0] != u',') || fraction.isEmpty()
        || !std::all_of(fraction.begin(), fraction.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    if (fraction[0] >= u'5' && *bpm < std::numeric_limits<std::int64_t>::max())
        ++*bpm;
    return positive(bpm);
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

TagFields OstrelMetadataEngine::tagFields(const std::vector<MediaItem>& items)
{
    // Later items win, as with the texts, but an item that gives no value
    // leaves what an earlier one gave.
    const auto take = [](auto& field, auto value) {
        if (value)
            field = std::move(value);
    };
    TagFields fields;
    for (const MediaItem& item : items) {
        if (!item.stringValue)
            continue;
        const QString& key = item.commonKey;
        const QString& text = *item.stringValue;
        if (key == QLatin1String("date"))
            take(fields.year, yearOf(text));
        else if (key == QLatin1String("trackNumber"))
            take(fields.trackNumber, positionOf(text));
        else if (key == QLatin1String("discNumber"))
            take(fields.discNumber, positionOf(text));
        else if (key == QLatin1String("bpm"))
            take(fields.bpm, bpmOf(text));
        else if (key == QLatin1String("comment"))
            take(fields.comments, text.trimmed().isEmpty() ? std::nullopt : std::optional<QString>(text));
    }
    return fields;
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
    TagFields fields = tagFields(asset.items);
    result.year = fields.year;
    result.trackNumber = fields.trackNumber;
    result.discNumber = fields.discNumber;
    result.comments = std::move(fields.comments);
    result.bpm = fields.bpm;
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

QCoro::Task<std::vector<std::optional<TagFields>>> OstrelMetadataEngine::readTagFields(std::vector<FileURL> urls)
{
    // A hop to a worker per file would cost the main thread more than the
    // reads cost the workers; a few runs per worker keep them all busy to
    // the end without that.
    const std::size_t runs = static_cast<std::size_t>(std::max(1, m_pool.maxThreadCount())) * 4;
    const std::size_t perRun = std::max<std::size_t>(kTagFieldsPerRunAtLeast, (urls.size() + runs - 1) / runs);
    auto shared = std::make_shared<const std::vector<FileURL>>(std::move(urls));
    std::vector<QCoro::Task<std::vector<std::optional<TagFields>>>> reading;
    for (std::size_t from = 0; from < shared->size(); from += perRun) {
        const std::size_t to = std::min(shared->size(), from + perRun);
        reading.push_back(runOn(&m_pool, [reader = m_reader, shared, from, to] {
            std::vector<std::optional<TagFields>> fields;
            fields.reserve(to - from);
            for (std::size_t i = from; i < to; ++i) {
                try {
                    fields.push_back(tagFields(reader->readTags((*shared)[i].toLocalFile())));
                } catch (const std::exception&) {
                    fields.emplace_back();
                }
            }
            return fields;
        }));
    }
    std::vector<std::optional<TagFields>> all;
    all.reserve(shared->size());
    for (auto& run : reading) {
        std::vector<std::optional<TagFields>> part = co_await run;
        std::move(part.begin(), part.end(), std::back_inserter(all));
    }
    co_return all;
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
