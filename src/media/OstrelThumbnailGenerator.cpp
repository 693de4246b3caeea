#include "OstrelThumbnailGenerator.h"

#include "media/ArtworkFile.h"
#include "media/ThumbnailError.h"
#include "platform/Error.h"
#include "platform/Worker.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcThumbnails, "varno.artwork")

} // namespace

OstrelThumbnailGenerator::OstrelThumbnailGenerator(ArtworkCache& artworkCache)
    : m_artworkCache(artworkCache)
{
    m_workers.setObjectName(QStringLiteral("Thumbnails"));
    m_workers.setExpiryTimeout(10000);
}

OstrelThumbnailGenerator::~OstrelThumbnailGenerator()
{
    m_workers.clear();
    m_workers.waitForDone();
}

QByteArray OstrelThumbnailGenerator::scale(const QByteArray& imageData, QSize size, std::chrono::milliseconds timeLimit, const std::stop_token& cancel)
{
    if (!fitsArtworkLimits(size))
        throw ThumbnailError::scaleFailed();
    QElapsedTimer clock;
    clock.start();
    QBuffer buffer;
    buffer.setData(imageData);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize source = reader.size();
    // A cover too large to decode safely is not decoded at all.
    if (!reader.canRead() || !fitsArtworkLimits(source))
        throw ThumbnailError::invalidSourceData();

    // Decoded straight at the size that fills the square, so a 3000-pixel
    // JPEG never exists at full size; the middle is then cut out.
    const QSize filled = source.scaled(size, Qt::KeepAspectRatioByExpanding);
    if (filled.width() < source.width())
        reader.setScaledSize(filled);
    QImage image = reader.read();
    if (image.isNull())
        throw ThumbnailError::invalidSourceData();
    if (cancel.stop_requested())
        return {};
    if (image.size() != filled)
        image = image.scaled(filled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.copy((image.width() - size.width()) / 2, (image.height() - size.height()) / 2, size.width(), size.height());
    if (image.size() != size)
        throw ThumbnailError::scaleFailed();

    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, "PNG"))
        throw ThumbnailError::scaleFailed();
    if (clock.elapsed() > timeLimit.count())
        throw ThumbnailError::processingTimedOut();
    return png;
}

QCoro::Task<QByteArray> OstrelThumbnailGenerator::generateThumbnail(QByteArray imageData, QSize size)
{
    auto scaling = runOn(&m_workers, [imageData = std::move(imageData), size, limit = m_timeLimit] { return scale(imageData, size, limit); });
    co_return co_await scaling;
}

QCoro::Task<std::optional<QByteArray>> OstrelThumbnailGenerator::thumbnail(Track track, QSize size, std::stop_token cancel)
{
    auto stored = m_artworkCache.retrieveThumbnail(track, QSizeF(size));
    if (std::optional<QByteArray> found = co_await stored)
        co_return found;
    if (cancel.stop_requested())
        co_return std::nullopt;
    auto retrieving = m_artworkCache.retrieveArtwork(track);
    const std::optional<QByteArray> cover = co_await retrieving;
    if (!cover || cancel.stop_requested())
        co_return std::nullopt;

    QByteArray picture;
    try {
        // A request cancelled while waiting for a worker is skipped there.
        auto scaling = runOn(&m_workers, [data = *cover, size, limit = m_timeLimit, cancel] {
            if (cancel.stop_requested())
                return QByteArray();
            return scale(data, size, limit, cancel);
        });
        picture = co_await scaling;
    } catch (const std::exception& error) {
        qCWarning(lcThumbnails).noquote() << QStringLiteral("Unable to make a thumbnail for %1: %2").arg(track.title, describe(error));
        co_return std::nullopt;
    }
    if (picture.isEmpty())
        co_return std::nullopt;
    try {
        auto storing = m_artworkCache.storeThumbnail(picture, track, QSizeF(size));
        co_await storing;
    } catch (const std::exception& error) {
        // Shown anyway; it is made again next time.
        qCWarning(lcThumbnails).noquote() << QStringLiteral("Unable to keep a thumbnail for %1: %2").arg(track.title, describe(error));
    }
    co_return picture;
}

} // namespace varno
