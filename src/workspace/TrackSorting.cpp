#include "TrackSorting.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace varno {

namespace {

constexpr double kDistantPast = -std::numeric_limits<double>::infinity();

std::weak_ordering fromCollation(int result)
{
    return result < 0 ? std::weak_ordering::less : result > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

template<typename T>
std::weak_ordering compareValues(T a, T b)
{
    return a < b ? std::weak_ordering::less : b < a ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

// NaN would make the order inconsistent (equal to everything, so not
// transitive), which std::sort may answer by reading out of bounds.
double durationKey(const Track& track)
{
    return std::isnan(track.duration) ? kDistantPast : track.duration;
}

double dateKey(const Track& track)
{
    if (!track.dateAdded || std::isnan(track.dateAdded->secondsSinceReferenceDate))
        return kDistantPast;
    return track.dateAdded->secondsSinceReferenceDate;
}

std::int64_t integerKey(const Track& track, TrackSortField field)
{
    switch (field) {
    case TrackSortField::Year: return track.year.value_or(0);
    case TrackSortField::TrackNumber: return track.trackNumber.value_or(0);
    case TrackSortField::Bitrate: return track.bitrate.value_or(0);
    case TrackSortField::SampleRate: return track.sampleRate.value_or(0);
    default: Q_UNREACHABLE();
    }
    return 0;
}

QString textKey(const Track& track, TrackSortField field)
{
    switch (field) {
    case TrackSortField::Title: return track.title;
    case TrackSortField::Artist: return track.artist.value_or(QString());
    case TrackSortField::Album: return track.album.value_or(QString());
    case TrackSortField::AlbumArtist: return track.albumArtist.value_or(QString());
    case TrackSortField::Genre: return track.genre.value_or(QString());
    case TrackSortField::Format: return pathExtension(track.fileURL);
    default: Q_UNREACHABLE();
    }
    return {};
}

enum class FieldKind { Text, Integer, Real };

FieldKind kindOf(TrackSortField field)
{
    switch (field) {
    case TrackSortField::Title:
    case TrackSortField::Artist:
    case TrackSortField::Album:
    case TrackSortField::AlbumArtist:
    case TrackSortField::Genre:
    case TrackSortField::Format:
        return FieldKind::Text;
    case TrackSortField::Year:
    case TrackSortField::TrackNumber:
    case TrackSortField::Bitrate:
    case TrackSortField::SampleRate:
        return FieldKind::Integer;
    case TrackSortField::Duration:
    case TrackSortField::DateAdded:
        return FieldKind::Real;
    }
    Q_UNREACHABLE();
    return FieldKind::Text;
}

// The UUID as two numbers whose order is the order of its upper-case hex
// text: the text spells the bytes most significant first, and in ASCII the
// digits come before 'A'–'F'.
struct UuidKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    explicit UuidKey(const QUuid& id)
        : high((std::uint64_t(id.data1) << 32) | (std::uint64_t(id.data2) << 16) | id.data3)
    {
        for (unsigned char byte : id.data4)
            low = (low << 8) | byte;
    }

    friend auto operator<=>(const UuidKey&, const UuidKey&) = default;
};

// Sorts positions by one key per song. The key and the UUID sit beside the
// position, so comparisons never follow a song's pointer.
template<typename Key>
std::vector<std::uint32_t> sortByKeys(const TrackList& tracks, const std::vector<Key>& keys, bool ascending)
{
    struct Entry {
        Key key;
        UuidKey id;
        std::uint32_t position;
    };
    std::vector<Entry> entries;
    entries.reserve(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i)
        entries.push_back({keys[i], UuidKey(tracks[i].id), static_cast<std::uint32_t>(i)});
    std::sort(entries.begin(), entries.end(), [ascending](const Entry& a, const Entry& b) {
        if (a.key < b.key)
            return ascending;
        if (b.key < a.key)
            return !ascending;
        if (a.id != b.id)
            return a.id < b.id;
        // Copies of one song keep their order.
        return a.position < b.position;
    });
    std::vector<std::uint32_t> positions;
    positions.reserve(entries.size());
    for (const Entry& entry : entries)
        positions.push_back(entry.position);
    return positions;
}

// Each song's text as its rank among the distinct texts of the list, equal
// ranks for texts the collator finds equal. Collation keys are built once per
// distinct text (artists, albums and genres repeat a lot), sorted once, and
// the songs are then sorted by integers.
std::vector<std::int64_t> textRanks(const TrackList& tracks, TrackSortField field, const QCollator& collator)
{
    std::vector<QCollatorSortKey> keys;
    std::vector<std::uint32_t> keyOfSong(tracks.size());
    keys.reserve(field == TrackSortField::Title ? tracks.size() : 1024);
    if (field == TrackSortField::Title) {
        // Titles rarely repeat: looking them up would cost more than it saves.
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            keyOfSong[i] = static_cast<std::uint32_t>(keys.size());
            keys.push_back(collator.sortKey(tracks[i].title));
        }
    } else {
        QHash<QString, std::uint32_t> distinct;
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const QString text = textKey(tracks[i], field);
            auto found = distinct.constFind(text);
            if (found == distinct.cend()) {
                found = distinct.insert(text, static_cast<std::uint32_t>(keys.size()));
                keys.push_back(collator.sortKey(text));
            }
            keyOfSong[i] = *found;
        }
    }
    std::vector<std::uint32_t> byKey(keys.size());
    std::iota(byKey.begin(), byKey.end(), 0u);
    std::sort(byKey.begin(), byKey.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<std::int64_t> rankOfKey(keys.size());
    std::int64_t rank = 0;
    for (std::size_t i = 0; i < byKey.size(); ++i) {
        if (i > 0 && keys[byKey[i - 1]].compare(keys[byKey[i]]) != 0)
            ++rank;
        rankOfKey[byKey[i]] = rank;
    }
    std::vector<std::int64_t> ranks(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i)
        ranks[i] = rankOfKey[keyOfSong[i]];
    return ranks;
}

} // namespace

QCollator trackCollator()
{
    const QLocale locale;
    if (locale.language() == QLocale::C)
        return QCollator(QLocale(QLocale::English, QLocale::UnitedStates));
    return QCollator(locale);
}

std::weak_ordering compareTracks(const Track& a, const Track& b, TrackSortField field, const QCollator& collator)
{
    switch (kindOf(field)) {
    case FieldKind::Text:
        return fromCollation(collator.compare(textKey(a, field), textKey(b, field)));
    case FieldKind::Integer:
        return compareValues(integerKey(a, field), integerKey(b, field));
    case FieldKind::Real:
        if (field == TrackSortField::Duration)
            return compareValues(durationKey(a), durationKey(b));
        return compareValues(dateKey(a), dateKey(b));
    }
    Q_UNREACHABLE();
    return std::weak_ordering::equivalent;
}

std::weak_ordering compareTracks(const Track& a, const Track& b, TrackSortField field)
{
    return compareTracks(a, b, field, trackCollator());
}

bool uuidTextPrecedes(const QUuid& a, const QUuid& b)
{
    return UuidKey(a) < UuidKey(b);
}

bool sortPrecedes(const Track& a, const Track& b, const TrackSortOrder& order, const QCollator& collator)
{
    const std::weak_ordering result = compareTracks(a, b, order.field, collator);
    if (result == std::weak_ordering::equivalent)
        return uuidTextPrecedes(a.id, b.id);
    return order.ascending ? result == std::weak_ordering::less : result == std::weak_ordering::greater;
}

bool sortPrecedes(const Track& a, const Track& b, const TrackSortOrder& order)
{
    return sortPrecedes(a, b, order, trackCollator());
}

std::vector<std::uint32_t> sortedPositions(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator)
{
    Q_ASSERT(tracks.size() <= std::numeric_limits<std::uint32_t>::max());
    switch (kindOf(order.field)) {
    case FieldKind::Text:
        return sortByKeys(tracks, textRanks(tracks, order.field, collator), order.ascending);
    case FieldKind::Integer: {
        std::vector<std::int64_t> keys;
        keys.reserve(tracks.size());
        for (const Track& track : tracks)
            keys.push_back(integerKey(track, order.field));
        return sortByKeys(tracks, keys, order.ascending);
    }
    case FieldKind::Real: {
        std::vector<double> keys;
        keys.reserve(tracks.size());
        for (const Track& track : tracks)
            keys.push_back(order.field == TrackSortField::Duration ? durationKey(track) : dateKey(track));
        return sortByKeys(tracks, keys, order.ascending);
    }
    }
    Q_UNREACHABLE();
    return {};
}

TrackList sortedTracks(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator)
{
    QList<SharedTrack> songs;
    songs.reserve(static_cast<qsizetype>(tracks.size()));
    for (std::uint32_t position : sortedPositions(tracks, order, collator))
        songs.append(tracks.shared(position));
    return TrackList(std::move(songs));
}

QString pathExtension(const FileURL& url)
{
    QByteArrayView path(url.encoded());
    // Only URLs of other schemes have a query or a fragment: a file URL keeps
    // '?' and '#' of a file name escaped.
    const qsizetype end = path.indexOf('?');
    if (end >= 0)
        path = path.first(end);
    const qsizetype fragment = path.indexOf('#');
    if (fragment >= 0)
        path = path.first(fragment);
    const QByteArrayView name = path.sliced(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    // A name that starts with its only dot (".flac") is hidden, not typed.
    if (dot <= 0)
        return {};
    const QByteArrayView extension = name.sliced(dot + 1);
    if (!extension.contains('%'))
        return QString::fromUtf8(extension);
    return QString::fromUtf8(QByteArray::fromPercentEncoding(extension.toByteArray()));
}

} // namespace varno
