#pragma once

#include "TestSupport.h"
#include "UiHarness.h"

#include "media/ArtworkCache.h"
#include "platform/Error.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImage>

#include <functional>

namespace varno::test {

// Covers by song id, in memory. `failStore` may throw to make a write fail;
// evictions and writes are counted so tests can tell what was touched.
class MemoryArtworkCache final : public ArtworkCache {
public:
    QHash<QUuid, QByteArray> covers;
    int stores = 0;
    int evictions = 0;
    int removals = 0;
    std::function<void(const Track&, const QByteArray&)> failStore;

    QCoro::Task<std::optional<QByteArray>> retrieveArtwork(Track track) override
    {
        co_return covers.contains(track.id) ? std::optional(covers.value(track.id)) : std::nullopt;
    }
    QCoro::Task<> storeArtwork(QByteArray data, Track track) override
    {
        ++stores;
        if (failStore)
            failStore(track, data);
        covers.insert(track.id, data);
        co_return;
    }
    QCoro::Task<> removeArtwork(Track track) override
    {
        ++removals;
        covers.remove(track.id);
        co_return;
    }
    void evictArtwork(const Track& track) override
    {
        ++evictions;
        covers.remove(track.id);
    }
    QUuid cacheVersion() const override { return {}; }
    QCoro::Task<std::optional<QByteArray>> retrieveThumbnail(Track, QSizeF) override { co_return std::nullopt; }
    QCoro::Task<> storeThumbnail(QByteArray, Track, QSizeF) override { co_return; }
    QCoro::Task<> clearCache() override
    {
        covers.clear();
        co_return;
    }
};

// The bytes of a small PNG of one colour.
inline QByteArray pngBytes(QColor colour, QSize size = QSize(8, 8))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Files a user might pick as artwork: a picture, something that is not one,
// and a file over the 25 MB limit (sparse, so it costs no disk).
inline QString writePicture(const QString& path, QColor colour)
{
    writeFile(path, pngBytes(colour));
    return path;
}

inline QString writeNotAPicture(const QString& path)
{
    writeFile(path, "these are liner notes, not a cover");
    return path;
}

inline QString writeOversizedFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.resize(26214400 + 1);
    return path;
}

} // namespace varno::test
