#include "TrackThumbnailCache.h"

#include "media/ArtworkCache.h"
#include "media/ThumbnailGenerator.h"

#include <QGuiApplication>
#include <QImage>
#include <QPointer>

namespace varno {

namespace {

// About the rows of a few screens scrolled back and forth: 4 KiB each at
// the normal scale.
constexpr qsizetype kHeldPictures = 1500;

} // namespace

TrackThumbnailCache::TrackThumbnailCache(ThumbnailGenerator& generator, ArtworkCache& artworkCache, QObject* parent)
    : QObject(parent)
    , m_generator(generator)
    , m_entries(kHeldPictures)
{
    connect(&artworkCache, &ArtworkCache::cacheVersionChanged, this, [this] {
        ++m_generation;
        emit thumbnailsOutdated();
    });
}

TrackThumbnailCache::~TrackThumbnailCache()
{
    for (Request& request : m_requests)
        request.stop.request_stop();
}

QPixmap TrackThumbnailCache::thumbnail(const SharedTrack& track)
{
    const Entry* entry = m_entries.object(track->id);
    // Taken before asking: a picture the cache holds in memory comes back
    // at once and replaces the entry.
    QPixmap shown = entry ? entry->pixmap : QPixmap();
    if (!entry || entry->generation != m_generation) {
        const auto pending = m_requests.constFind(track->id);
        if (pending == m_requests.cend() || pending->generation != m_generation)
            request(track);
    }
    return shown;
}

void TrackThumbnailCache::keepRequestsFor(const QSet<QUuid>& shown)
{
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if (shown.contains(it.key())) {
            ++it;
            continue;
        }
        it->stop.request_stop();
        it = m_requests.erase(it);
    }
}

void TrackThumbnailCache::forget(const QUuid& id)
{
    m_entries.remove(id);
    if (const auto pending = m_requests.find(id); pending != m_requests.end()) {
        pending->stop.request_stop();
        m_requests.erase(pending);
    }
}

void TrackThumbnailCache::request(const SharedTrack& track)
{
    Request& request = m_requests[track->id];
    // A request for an older generation may bring back the old cover.
    request.stop.request_stop();
    request.stop = std::stop_source();
    request.serial = m_nextSerial++;
    request.generation = m_generation;
    // Runs on by itself; it finds this object gone or its request replaced
    // when it ends.
    auto fetching = fetch(track, request.serial, request.generation, request.stop.get_token());
}

QCoro::Task<> TrackThumbnailCache::fetch(SharedTrack track, std::uint64_t serial, std::uint64_t generation, std::stop_token stop)
{
    const QPointer<TrackThumbnailCache> self(this);
    ++m_running;
    auto making = m_generator.thumbnail(*track, QSize(kRequestedEdge, kRequestedEdge), stop);
    const std::optional<QByteArray> bytes = co_await making;
    if (!self)
        co_return;
    --m_running;
    const auto pending = m_requests.find(track->id);
    const bool current = pending != m_requests.end() && pending->serial == serial;
    if (current)
        m_requests.erase(pending);
    // A cancelled request that still brought a picture keeps it; one that
    // brought nothing says nothing about the song's cover.
    if (!bytes && (stop.stop_requested() || !current))
        co_return;
    const Entry* held = m_entries.object(track->id);
    if (held && held->generation > generation)
        co_return;
    m_entries.insert(track->id, new Entry {bytes ? decode(*bytes) : QPixmap(), generation});
    emit thumbnailReady(track);
}

QPixmap TrackThumbnailCache::decode(const QByteArray& bytes) const
{
    QImage image = QImage::fromData(bytes);
    if (image.isNull())
        return {};
    const qreal scale = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const int edge = qRound(kEdge * scale);
    if (image.width() != edge || image.height() != edge)
        image = image.scaled(edge, edge, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

} // namespace varno
