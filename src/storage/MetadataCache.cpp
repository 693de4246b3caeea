#include "MetadataCache.h"

#include <algorithm>

namespace varno {

void MetadataCache::addToIndex(Index& index, const std::optional<QString>& value, const QUuid& id, QSet<QString>& touched)
{
    if (!value)
        return;
    const QString key = value->trimmed();
    if (key.isEmpty())
        return;
    index[key].push_back(id);
    touched.insert(key);
}

// New ids were appended unsorted; each set touched is sorted once per insert.
void MetadataCache::normalise(Index& index, const QSet<QString>& touched)
{
    for (const QString& key : touched) {
        IdSet& ids = index[key];
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        // Growing by appending leaves up to half of a set unused.
        if (ids.capacity() > ids.size() + ids.size() / 4 + 4)
            ids.shrink_to_fit();
    }
}

// Eviction looks the value up as it stands on the song, untrimmed, mirroring
// how callers name artists and albums when they ask.
void MetadataCache::removeFromIndex(Index& index, const std::optional<QString>& value, const QUuid& id)
{
    if (!value)
        return;
    const auto found = index.find(*value);
    if (found == index.end())
        return;
    const auto at = std::lower_bound(found->begin(), found->end(), id);
    if (at != found->end() && *at == id)
        found->erase(at);
    if (found->empty())
        index.erase(found);
}

MetadataCache::MetadataCache() = default;
MetadataCache::~MetadataCache() = default;

void MetadataCache::insertNow(const TrackList& tracks)
{
    m_state.tracksByID.reserve(m_state.tracksByID.size() + static_cast<qsizetype>(tracks.size()));
    QSet<QString> artists;
    QSet<QString> albums;
    QSet<QString> genres;
    for (const SharedTrack& song : tracks.sharedSongs()) {
        const Track& track = *song;
        m_state.tracksByID.insert(track.id, song);
        // Keys of an earlier version of the song are left in place.
        addToIndex(m_state.tracksByArtist, track.artist, track.id, artists);
        addToIndex(m_state.tracksByAlbum, track.album, track.id, albums);
        addToIndex(m_state.tracksByGenre, track.genre, track.id, genres);
    }
    normalise(m_state.tracksByArtist, artists);
    normalise(m_state.tracksByAlbum, albums);
    normalise(m_state.tracksByGenre, genres);
}

QCoro::Task<> MetadataCache::insert(TrackList tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { insertNow(tracks); });
    co_await work;
}

void MetadataCache::insertLater(TrackList tracks)
{
    // Straight onto the worker's queue: no coroutine is left waiting for a
    // main thread that may already have stopped.
    m_worker.pool()->start([this, tracks = std::move(tracks)] { insertNow(tracks); });
}

QCoro::Task<std::optional<Track>> MetadataCache::track(QUuid id)
{
    auto work = m_worker.run([this, id]() -> std::optional<Track> {
        const auto found = m_state.tracksByID.constFind(id);
        if (found == m_state.tracksByID.constEnd()) {
            ++m_state.missCount;
            return std::nullopt;
        }
        ++m_state.hitCount;
        return **found;
    });
    co_return co_await work;
}

TrackList MetadataCache::lookUp(const State& state, const Index& index, const QString& key)
{
    TrackList result;
    const auto found = index.constFind(key);
    if (found == index.constEnd())
        return result;
    result.reserve(static_cast<std::size_t>(found->size()));
    for (const QUuid& id : *found) {
        const auto track = state.tracksByID.constFind(id);
        if (track != state.tracksByID.constEnd())
            result.append(*track);
    }
    return result;
}

QStringList MetadataCache::sortedKeys(const Index& index)
{
    QStringList keys = index.keys();
    std::sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseSensitive) < 0; });
    return keys;
}

QCoro::Task<TrackList> MetadataCache::tracksByArtist(QString artist)
{
    auto work = m_worker.run([this, artist] { return lookUp(m_state, m_state.tracksByArtist, artist); });
    co_return co_await work;
}

QCoro::Task<TrackList> MetadataCache::tracksByAlbum(QString album)
{
    auto work = m_worker.run([this, album] { return lookUp(m_state, m_state.tracksByAlbum, album); });
    co_return co_await work;
}

QCoro::Task<QStringList> MetadataCache::allArtists()
{
    auto work = m_worker.run([this] { return sortedKeys(m_state.tracksByArtist); });
    co_return co_await work;
}

QCoro::Task<QStringList> MetadataCache::allAlbums()
{
    auto work = m_worker.run([this] { return sortedKeys(m_state.tracksByAlbum); });
    co_return co_await work;
}

QCoro::Task<> MetadataCache::evict(Track track)
{
    auto work = m_worker.run([this, track = std::move(track)] {
        m_state.tracksByID.remove(track.id);
        removeFromIndex(m_state.tracksByArtist, track.artist, track.id);
        removeFromIndex(m_state.tracksByAlbum, track.album, track.id);
        removeFromIndex(m_state.tracksByGenre, track.genre, track.id);
    });
    co_await work;
}

QCoro::Task<> MetadataCache::clear()
{
    auto work = m_worker.run([this] { m_state = State {}; });
    co_await work;
}

QCoro::Task<qint64> MetadataCache::hitCount()
{
    auto work = m_worker.run([this] { return m_state.hitCount; });
    co_return co_await work;
}

QCoro::Task<qint64> MetadataCache::missCount()
{
    auto work = m_worker.run([this] { return m_state.missCount; });
    co_return co_await work;
}

} // namespace varno
