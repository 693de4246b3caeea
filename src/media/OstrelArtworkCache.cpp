#include "OstrelArtworkCache.h"

#include "library/SecurityScopedResource.h"
#include "platform/ApplicationFolder.h"
#include "platform/Error.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"

#include <QDir>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcArtwork, "varno.artwork")

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Deletes the files of `folder` whose names `match` says so. With
// `stopAtFirstFailure` the first failure is thrown and the rest are left;
// otherwise failures are passed over.
template<typename Match>
void deleteFiles(const QString& folder, Match&& match, bool stopAtFirstFailure)
{
    QDir dir(folder);
    if (!dir.exists()) {
        if (stopAtFirstFailure)
            throw FileError(FileError::Operation::Read, folder, ENOENT);
        return;
    }
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!match(name))
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        if (std::remove(QFile::encodeName(path).constData()) != 0 && stopAtFirstFailure)
            throw FileError(FileError::Operation::Remove, path, errno);
    }
}

} // namespace

OstrelArtworkCache::OstrelArtworkCache(CacheMetrics metrics, const std::optional<QString>& cacheDirectory, MetadataEngine* metadataEngine,
                                       QObject* parent)
    : ArtworkCache(parent)
    , m_metrics(metrics)
    , m_folder(cacheDirectory ? *cacheDirectory : applicationFolderPath() + QStringLiteral("/ArtworkCache"))
    , m_metadataEngine(metadataEngine)
    , m_cacheVersion(QUuid::createUuid())
{
    m_memory.setMaxCost(static_cast<qsizetype>(m_metrics.maxMemoryBytes));
    if (!fileio::exists(m_folder))
        fileio::createFolder(m_folder);
}

OstrelArtworkCache::~OstrelArtworkCache()
{
    *m_alive = false;
}

QString OstrelArtworkCache::originalKey(const QUuid& id)
{
    return QStringLiteral("original_") + idText(id);
}

QString OstrelArtworkCache::thumbnailKey(const QUuid& id, QSizeF size)
{
    return QStringLiteral("thumb_%1x%2_%3").arg(qint64(size.width())).arg(qint64(size.height())).arg(idText(id));
}

void OstrelArtworkCache::remember(const QString& key, const QByteArray& data)
{
    // A cover larger than the whole budget is not kept; QCache drops it.
    m_memory.insert(key, new QByteArray(data), data.size());
}

std::optional<QByteArray> OstrelArtworkCache::inMemory(const QString& key)
{
    if (const QByteArray* data = m_memory.object(key))
        return *data;
    return std::nullopt;
}

void OstrelArtworkCache::forgetInMemory(const QUuid& id)
{
    m_memory.remove(originalKey(id));
    m_missingArtwork.remove(id);
    for (const QString& key : m_thumbnailKeys.take(id))
        m_memory.remove(key);
}

void OstrelArtworkCache::scheduleCacheChangeNotification()
{
    if (m_isCacheChangePending)
        return;
    m_isCacheChangePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_isCacheChangePending = false;
            m_cacheVersion = QUuid::createUuid();
            emit cacheVersionChanged();
        },
        Qt::QueuedConnection);
}

QCoro::Task<std::optional<QByteArray>> OstrelArtworkCache::readFile(QString name)
{
    auto reading = m_disk.run([path = m_folder + QLatin1Char('/') + name]() -> std::optional<QByteArray> {
        // Any failure counts as not cached.
        try {
            const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path, 0);
            if (bytes && !bytes->isEmpty())
                return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
        } catch (const Error&) {
        }
        return std::nullopt;
    });
    co_return co_await reading;
}

QCoro::Task<std::optional<QByteArray>> OstrelArtworkCache::retrieveArtwork(Track track)
{
    const QString key = originalKey(track.id);
    if (std::optional<QByteArray> cached = inMemory(key))
        co_return cached;
    const std::shared_ptr<bool> alive = m_alive;
    auto reading = readFile(key + QStringLiteral(".raw"));
    std::optional<QByteArray> stored = co_await reading;
    if (!*alive)
        co_return std::nullopt;
    if (stored) {
        remember(key, *stored);
        co_return stored;
    }
    if (m_missingArtwork.contains(track.id) || !m_metadataEngine)
        co_return std::nullopt;

    try {
        const std::unique_ptr<SecurityScopedResource> access = SecurityScopedResource::access(track);
        auto extracting = m_metadataEngine->extractArtwork(access->url());
        std::optional<QByteArray> artwork = co_await extracting;
        if (!*alive)
            co_return std::nullopt;
        if (!artwork || artwork->isEmpty()) {
            m_missingArtwork.insert(track.id);
            co_return std::nullopt;
        }
        auto storing = storeArtwork(*artwork, track);
        co_await storing;
        co_return artwork;
    } catch (const std::exception& error) {
        // Not marked as missing: the next request tries again.
        qCCritical(lcArtwork).noquote() << QStringLiteral("Unable to load artwork for %1: %2").arg(track.title, describe(error));
    }
    co_return std::nullopt;
}

QCoro::Task<std::optional<QByteArray>> OstrelArtworkCache::retrieveThumbnail(Track track, QSizeF targetSize)
{
    const QString key = thumbnailKey(track.id, targetSize);
    if (std::optional<QByteArray> cached = inMemory(key))
        co_return cached;
    const std::shared_ptr<bool> alive = m_alive;
    auto reading = readFile(key + QStringLiteral(".thumb"));
    std::optional<QByteArray> stored = co_await reading;
    if (!*alive)
        co_return std::nullopt;
    if (stored) {
        remember(key, *stored);
        m_thumbnailKeys[track.id].insert(key);
    }
    co_return stored;
}

QCoro::Task<> OstrelArtworkCache::storeArtwork(QByteArray data, Track track)
{
    const std::shared_ptr<bool> alive = m_alive;
    m_missingArtwork.remove(track.id);
    const QString key = originalKey(track.id);
    // Thumbnails of the old cover go with it.
    auto writing = m_disk.run([folder = m_folder, key, data, id = idText(track.id)] {
        fileio::writeFileAtomically(folder + QLatin1Char('/') + key + QStringLiteral(".raw"), std::string_view(data.constData(), size_t(data.size())));
        deleteFiles(folder, [&](const QString& name) { return name.startsWith(QLatin1String("thumb_")) && name.contains(id); }, false);
    });
    co_await writing;
    if (!*alive)
        co_return;
    for (const QString& thumbnail : m_thumbnailKeys.take(track.id))
        m_memory.remove(thumbnail);
    remember(key, data);
    scheduleCacheChangeNotification();
}

QCoro::Task<> OstrelArtworkCache::storeThumbnail(QByteArray data, Track track, QSizeF size)
{
    const std::shared_ptr<bool> alive = m_alive;
    const QString key = thumbnailKey(track.id, size);
    auto writing = m_disk.run([path = m_folder + QLatin1Char('/') + key + QStringLiteral(".thumb"), data] {
        fileio::writeFileAtomically(path, std::string_view(data.constData(), size_t(data.size())));
    });
    co_await writing;
    if (!*alive)
        co_return;
    remember(key, data);
    m_thumbnailKeys[track.id].insert(key);
}

void OstrelArtworkCache::evictArtwork(const Track& track)
{
    forgetInMemory(track.id);
    // Queued before any later read of the song's files, so none of them
    // finds what is being deleted.
    m_disk.pool()->start([folder = m_folder, id = idText(track.id), title = track.title] {
        try {
            deleteFiles(folder, [&](const QString& name) { return name.contains(id); }, true);
        } catch (const std::exception& error) {
            qCCritical(lcArtwork).noquote() << QStringLiteral("Unable to remove artwork for %1: %2").arg(title, describe(error));
        }
    });
    scheduleCacheChangeNotification();
}

QCoro::Task<> OstrelArtworkCache::removeArtwork(Track track)
{
    const std::shared_ptr<bool> alive = m_alive;
    forgetInMemory(track.id);
    auto deleting = m_disk.run([folder = m_folder, id = idText(track.id)] { deleteFiles(folder, [&](const QString& name) { return name.contains(id); }, true); });
    co_await deleting;
    if (!*alive)
        co_return;
    scheduleCacheChangeNotification();
}

QCoro::Task<> OstrelArtworkCache::clearCache()
{
    const std::shared_ptr<bool> alive = m_alive;
    m_memory.clear();
    m_missingArtwork.clear();
    m_thumbnailKeys.clear();
    auto deleting = m_disk.run([folder = m_folder] { deleteFiles(folder, [](const QString&) { return true; }, false); });
    co_await deleting;
    if (!*alive)
        co_return;
    scheduleCacheChangeNotification();
}

} // namespace varno
