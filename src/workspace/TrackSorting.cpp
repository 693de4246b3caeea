#include "TrackSorting.h"

#include <QHash>
#include <QLocale>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <tuple>

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

// Runs `second` on a pool thread while this thread runs `first`, when a
// pool thread is free at once; otherwise runs both here. Only worth it for
// large lists, where each half takes tens of milliseconds.
void inParallel(const std::function<void()>& first, const std::function<void()>& second)
{
    QSemaphore done;
    const bool started = QThreadPool::globalInstance()->tryStart([&] {
        second();
        done.release();
    });
    first();
    if (started)
        done.acquire();
    else
        second();
}

// A collator of its own for another thread: QCollator is reentrant, not
// thread-safe, and a copy shares the original's state.
QCollator independentCopy(const QCollator& collator)
{
    QCollator copy(collator.locale());
    copy.setCaseSensitivity(collator.caseSensitivity());
    copy.setNumericMode(collator.numericMode());
    copy.setIgnorePunctuation(collator.ignorePunctuation());
    return copy;
}

// Below this many texts the keys are built and ordered on one thread.
constexpr std::size_t kParallelTexts = 8192;

// The collation keys of `count` texts, in two halves so that each can be
// built and ordered on its own thread, and the texts' ranks: texts the
// collator finds equal share a rank, ranks count up from 0 in collation
// order.
class SortKeys {
public:
    using Text = std::function<const QString&(std::size_t)>;

    SortKeys(std::size_t count, const Text& text, const QCollator& collator)
        : m_half(count < kParallelTexts ? count : count / 2)
        , m_order(count)
    {
        std::iota(m_order.begin(), m_order.end(), 0u);
        const auto build = [&](const QCollator& own, std::vector<QCollatorSortKey>& keys, std::size_t from, std::size_t to) {
            keys.reserve(to - from);
            for (std::size_t i = from; i < to; ++i)
                keys.push_back(own.sortKey(text(i)));
            // Each comparison follows two pointers into the keys, so ordering
            // is mostly waiting for memory: each half is ordered by the thread
            // that just built it.
            std::sort(m_order.begin() + static_cast<std::ptrdiff_t>(from), m_order.begin() + static_cast<std::ptrdiff_t>(to),
                      [this](std::uint32_t a, std::uint32_t b) { return precedes(a, b); });
        };
        if (m_half == count) {
            build(collator, m_first, 0, count);
            return;
        }
        inParallel([&] { build(collator, m_first, 0, m_half); }, [&] { build(independentCopy(collator), m_second, m_half, count); });
        const auto middle = m_order.begin() + static_cast<std::ptrdiff_t>(m_half);
        std::inplace_merge(m_order.begin(), middle, m_order.end(), [this](std::uint32_t a, std::uint32_t b) { return precedes(a, b); });
    }

    ~SortKeys()
    {
        if (m_second.empty())
            return;
        // A hundred thousand keys are two hundred thousand blocks to free,
        // which need not hold up the sort.
        auto keys = std::make_shared<std::pair<std::vector<QCollatorSortKey>, std::vector<QCollatorSortKey>>>(std::move(m_first),
                                                                                                             std::move(m_second));
        QThreadPool::globalInstance()->start([keys]() mutable { keys.reset(); });
    }

    // The rank of each text, and the number of ranks.
    std::pair<std::vector<std::uint32_t>, std::uint32_t> ranks() const
    {
        const std::size_t count = m_order.size();
        // Whether each text in order differs from the one before: one
        // comparison each, split between two threads for large lists.
        std::vector<std::uint8_t> startsRank(count, 0);
        const auto mark = [&](std::size_t from, std::size_t to) {
            for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i)
                startsRank[i] = precedes(m_order[i - 1], m_order[i]);
        };
        if (m_second.empty())
            mark(0, count);
        else
            inParallel([&] { mark(0, count / 2); }, [&] { mark(count / 2, count); });
        std::vector<std::uint32_t> rankOf(count);
        std::uint32_t rank = 0;
        for (std::size_t i = 0; i < count; ++i) {
            rank += startsRank[i];
            rankOf[m_order[i]] = rank;
        }
        return {std::move(rankOf), count == 0 ? 0 : rank + 1};
    }

private:
    const QCollatorSortKey& at(std::uint32_t i) const { return i < m_half ? m_first[i] : m_second[i - m_half]; }
    bool precedes(std::uint32_t a, std::uint32_t b) const { return at(a).compare(at(b)) < 0; }

    std::size_t m_half;
    std::vector<QCollatorSortKey> m_first;
    std::vector<QCollatorSortKey> m_second;
    std::vector<std::uint32_t> m_order;
};

// Songs whose texts the collator finds equal share a rank; ranks count up
// from 0 in collation order.
struct TextRanks {
    std::vector<std::uint32_t> rankOfSong;
    std::uint32_t count = 0;
};

// Collation keys are built once per distinct text (artists, albums and genres
// repeat a lot) and ordered once; the songs are then placed by rank.
TextRanks textRanks(const TrackList& tracks, TrackSortField field, const QCollator& collator)
{
    TextRanks ranks;
    if (field == TrackSortField::Title) {
        // Titles rarely repeat: looking them up would cost more than it saves,
        // and each song's title is its own text.
        const SortKeys keys(tracks.size(), [&](std::size_t i) -> const QString& { return tracks[i].title; }, collator);
        std::tie(ranks.rankOfSong, ranks.count) = keys.ranks();
        return ranks;
    }
    std::vector<QString> texts;
    std::vector<std::uint32_t> textOfSong(tracks.size());
    QHash<QString, std::uint32_t> distinct;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        QString text = textKey(tracks[i], field);
        auto found = distinct.constFind(text);
        if (found == distinct.cend()) {
            found = distinct.insert(text, static_cast<std::uint32_t>(texts.size()));
            texts.push_back(std::move(text));
        }
        textOfSong[i] = *found;
    }
    const SortKeys keys(texts.size(), [&](std::size_t i) -> const QString& { return texts[i]; }, collator);
    const auto [rankOfText, count] = keys.ranks();
    ranks.count = count;
    ranks.rankOfSong.resize(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i)
        ranks.rankOfSong[i] = rankOfText[textOfSong[i]];
    return ranks;
}

// The positions grouped by rank (a counting sort), the groups in rank order
// or its reverse, and each group of equal texts in UUID order. Only songs in
// groups of more than one are read for their UUID: sorting by title reads
// hardly any.
std::vector<std::uint32_t> sortByRanks(const TrackList& tracks, const TextRanks& ranks, bool ascending)
{
    std::vector<std::uint32_t> start(ranks.count + 1, 0);
    for (std::uint32_t rank : ranks.rankOfSong)
        ++start[ascending ? rank + 1 : ranks.count - rank];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<std::uint32_t> positions(tracks.size());
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::uint32_t rank = ranks.rankOfSong[i];
        positions[next[ascending ? rank : ranks.count - 1 - rank]++] = static_cast<std::uint32_t>(i);
    }
    struct Entry {
        UuidKey id;
        std::uint32_t position;
    };
    std::vector<Entry> group;
    for (std::uint32_t g = 0; g < ranks.count; ++g) {
        if (start[g + 1] - start[g] < 2)
            continue;
        group.clear();
        for (std::uint32_t i = start[g]; i < start[g + 1]; ++i)
            group.push_back({UuidKey(tracks[positions[i]].id), positions[i]});
        // Copies of one song keep their order.
        std::sort(group.begin(), group.end(), [](const Entry& a, const Entry& b) {
            return a.id != b.id ? a.id < b.id : a.position < b.position;
        });
        for (std::size_t k = 0; k < group.size(); ++k)
            positions[start[g] + k] = group[k].position;
    }
    return positions;
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
        return sortByRanks(tracks, textRanks(tracks, order.field, collator), order.ascending);
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

ShownTracks sortForDisplay(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator)
{
    // The ids are read in the list's own order, where the records lie one
    // after another, and then put in sorted order from that compact copy.
    std::vector<QUuid> inListOrder;
    inListOrder.reserve(tracks.size());
    for (const Track& track : tracks)
        inListOrder.push_back(track.id);
    ShownTracks shown;
    QList<SharedTrack> songs;
    songs.reserve(static_cast<qsizetype>(tracks.size()));
    shown.ids.reserve(tracks.size());
    for (std::uint32_t position : sortedPositions(tracks, order, collator)) {
        songs.append(tracks.shared(position));
        shown.ids.push_back(inListOrder[position]);
    }
    shown.tracks = TrackList(std::move(songs));
    return shown;
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
