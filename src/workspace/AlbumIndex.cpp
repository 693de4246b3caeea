#include "AlbumIndex.h"

#include "workspace/TrackSorting.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>

namespace varno {

const QString AlbumIndex::kUnknownAlbum = QStringLiteral("Unknown Album");
const QString AlbumIndex::kUnknownArtist = QStringLiteral("Unknown Artist");

namespace {

std::weak_ordering fromInt(int value)
{
    return value < 0 ? std::weak_ordering::less : value > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

QCollator albumCollator()
{
    QCollator collator = trackCollator();
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

// Texts that differ only in case collate alike, yet they are separate keys:
// the plain comparison keeps the order total, so each key has one place.
std::weak_ordering compareKeys(const QCollatorSortKey& aSort, const QString& a, const QCollatorSortKey& bSort, const QString& b)
{
    if (const int collated = aSort.compare(bSort); collated != 0)
        return fromInt(collated);
    return fromInt(QString::compare(a, b));
}

// Sorts `songs` into the album's order and makes them its songs.
void takeSongs(Album& album, QList<SharedTrack> songs, const QCollator& collator)
{
    std::stable_sort(songs.begin(), songs.end(), [&](const SharedTrack& a, const SharedTrack& b) {
        return AlbumIndex::compareInAlbum(*a, *b, collator) < 0;
    });
    album.year.reset();
    for (const SharedTrack& song : songs) {
        if (song->year && (!album.year || *song->year < *album.year))
            album.year = song->year;
    }
    album.tracks = TrackList(std::move(songs));
}

} // namespace

QString Album::artist() const
{
    return artistKey.isEmpty() ? AlbumIndex::kUnknownArtist : artistKey;
}

QString Album::title() const
{
    return titleKey.isEmpty() ? AlbumIndex::kUnknownAlbum : titleKey;
}

QString ArtistSummary::name() const
{
    return artistKey.isEmpty() ? AlbumIndex::kUnknownArtist : artistKey;
}

AlbumIndex::AlbumIndex()
    : m_collator(albumCollator())
{
}

std::weak_ordering AlbumIndex::compareInAlbum(const Track& a, const Track& b, const QCollator& collator)
{
    if (const auto disc = a.discNumber.value_or(0) <=> b.discNumber.value_or(0); disc != 0)
        return disc;
    if (const auto number = a.trackNumber.value_or(0) <=> b.trackNumber.value_or(0); number != 0)
        return number;
    return fromInt(collator.compare(a.title, b.title));
}

std::pair<QString, QString> AlbumIndex::keyOf(const Track& track)
{
    QString artist;
    if (track.albumArtist && !track.albumArtist->isEmpty())
        artist = *track.albumArtist;
    else if (track.artist)
        artist = *track.artist;
    return {artist, track.album.value_or(QString())};
}

Album AlbumIndex::makeAlbum(const QString& artistKey, const QString& titleKey) const
{
    return Album {artistKey, titleKey, std::nullopt, {}, m_collator.sortKey(artistKey), m_collator.sortKey(titleKey)};
}

void AlbumIndex::finish(Album& album) const
{
    takeSongs(album, album.tracks.sharedSongs(), m_collator);
}

bool AlbumIndex::precedes(const Album& a, const Album& b) const
{
    // The artist's raw text comes before the title so that every album of
    // one artist key is contiguous, which the artists' summary relies on.
    if (const auto artist = compareKeys(a.artistSortKey, a.artistKey, b.artistSortKey, b.artistKey); artist != 0)
        return artist < 0;
    return compareKeys(a.titleSortKey, a.titleKey, b.titleSortKey, b.titleKey) < 0;
}

std::size_t AlbumIndex::lowerBound(const Album& probe) const
{
    const auto at = std::lower_bound(m_albums.begin(), m_albums.end(), probe,
                                     [this](const Album& a, const Album& b) { return precedes(a, b); });
    return static_cast<std::size_t>(at - m_albums.begin());
}

void AlbumIndex::reset(const TrackList& tracks)
{
    m_tracks = tracks;
    m_albums.clear();
    QHash<std::pair<QString, QString>, std::size_t> positions;
    std::vector<QList<SharedTrack>> songs;
    // An artist's sort key is made once, however many albums they have.
    QHash<QString, QCollatorSortKey> artistKeys;
    // Songs of an album mostly come one after the other (a folder imported
    // at a time), so the album of the song before is tried first.
    std::size_t last = 0;
    for (const SharedTrack& track : tracks.sharedSongs()) {
        auto key = keyOf(*track);
        if (songs.empty() || m_albums[last].artistKey != key.first || m_albums[last].titleKey != key.second) {
            auto found = positions.constFind(key);
            if (found == positions.cend()) {
                auto artistKey = artistKeys.constFind(key.first);
                if (artistKey == artistKeys.cend())
                    artistKey = artistKeys.insert(key.first, m_collator.sortKey(key.first));
                m_albums.push_back(Album {key.first, key.second, std::nullopt, {}, *artistKey, m_collator.sortKey(key.second)});
                found = positions.insert(std::move(key), m_albums.size() - 1);
                songs.emplace_back();
            }
            last = *found;
        }
        songs[last].append(track);
    }
    for (std::size_t i = 0; i < m_albums.size(); ++i)
        takeSongs(m_albums[i], std::move(songs[i]), m_collator);
    std::sort(m_albums.begin(), m_albums.end(), [this](const Album& a, const Album& b) { return precedes(a, b); });
}

std::optional<std::size_t> AlbumIndex::find(const QString& artistKey, const QString& titleKey) const
{
    const std::size_t at = lowerBound(makeAlbum(artistKey, titleKey));
    if (at < m_albums.size() && m_albums[at].artistKey == artistKey && m_albums[at].titleKey == titleKey)
        return at;
    return std::nullopt;
}

AlbumIndexChange AlbumIndex::apply(const TrackList& tracks, const TrackListChange& change)
{
    if (change.kind == TrackListChange::Kind::Reset) {
        reset(tracks);
        return {true, {}};
    }
    struct Touched {
        QSet<QUuid> gone;
        QList<SharedTrack> added;
    };
    // Ordered so that the steps below come out the same on every run.
    std::map<std::pair<QString, QString>, Touched> touched;
    const bool readsOld = change.kind != TrackListChange::Kind::Inserted;
    const bool readsNew = change.kind != TrackListChange::Kind::Removed;
    for (const std::size_t position : change.positions) {
        if (readsOld) {
            const SharedTrack& old = m_tracks.shared(position);
            touched[keyOf(*old)].gone.insert(old->id);
        }
        if (readsNew) {
            const SharedTrack& song = tracks.shared(position);
            touched[keyOf(*song)].added.append(song);
        }
    }
    m_tracks = tracks;

    AlbumIndexChange result;
    std::vector<std::size_t> emptied;
    std::vector<Album> created;
    std::vector<std::pair<QString, QString>> updated;
    for (auto& [key, songs] : touched) {
        const std::optional<std::size_t> at = find(key.first, key.second);
        if (!at) {
            if (songs.added.isEmpty())
                continue;
            Album album = makeAlbum(key.first, key.second);
            album.tracks = TrackList(std::move(songs.added));
            finish(album);
            created.push_back(std::move(album));
            continue;
        }
        Album& album = m_albums[*at];
        QList<SharedTrack> kept;
        kept.reserve(static_cast<qsizetype>(album.tracks.size()) + songs.added.size());
        for (const SharedTrack& song : album.tracks.sharedSongs()) {
            if (!songs.gone.contains(song->id))
                kept.append(song);
        }
        kept.append(songs.added);
        if (kept.isEmpty()) {
            emptied.push_back(*at);
            continue;
        }
        album.tracks = TrackList(std::move(kept));
        finish(album);
        updated.push_back(key);
    }

    std::sort(emptied.begin(), emptied.end(), std::greater<>());
    for (const std::size_t at : emptied) {
        m_albums.erase(m_albums.begin() + static_cast<std::ptrdiff_t>(at));
        result.steps.push_back({AlbumIndexChange::Op::Remove, at});
    }
    // Inserted in their final order, each lands on its final position.
    std::sort(created.begin(), created.end(), [this](const Album& a, const Album& b) { return precedes(a, b); });
    for (Album& album : created) {
        const std::size_t at = lowerBound(album);
        m_albums.insert(m_albums.begin() + static_cast<std::ptrdiff_t>(at), std::move(album));
        result.steps.push_back({AlbumIndexChange::Op::Insert, at});
    }
    for (const auto& [artistKey, titleKey] : updated) {
        if (const std::optional<std::size_t> at = find(artistKey, titleKey))
            result.steps.push_back({AlbumIndexChange::Op::Update, *at});
    }
    return result;
}

std::vector<ArtistSummary> AlbumIndex::artists() const
{
    std::vector<ArtistSummary> artists;
    for (std::size_t i = 0; i < m_albums.size(); ++i) {
        const Album& album = m_albums[i];
        if (artists.empty() || artists.back().artistKey != album.artistKey)
            artists.push_back({album.artistKey, 0, 0, i});
        artists.back().songCount += static_cast<int>(album.tracks.size());
        ++artists.back().albumCount;
    }
    return artists;
}

} // namespace varno
