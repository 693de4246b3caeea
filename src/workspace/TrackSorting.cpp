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
#include <span>
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

// What decides between songs that tie on the sort field, in this order,
// always ascending. They make an album play in disc and track order
// whichever album-like column the list is sorted by.
enum class TieKey { AlbumArtistOrArtist, Album, Artist, Disc, Track, Title };

std::span<const TieKey> tieKeysOf(TrackSortField field)
{
    using enum TieKey;
    static constexpr TieKey album[] = {AlbumArtistOrArtist, Disc, Track, Title};
    static constexpr TieKey byAlbum[] = {Album, Disc, Track, Title};
    static constexpr TieKey genre[] = {Artist, Album, Disc, Track, Title};
    static constexpr TieKey trackNumber[] = {Album, Disc, Title};
    static constexpr TieKey title[] = {Title};
    switch (field) {
    case TrackSortField::Title: return {};
    case TrackSortField::Album: return album;
    case TrackSortField::AlbumArtist:
    case TrackSortField::Artist:
    case TrackSortField::Year: return byAlbum;
    case TrackSortField::Genre: return genre;
    case TrackSortField::TrackNumber: return trackNumber;
    default: return title;
    }
}

bool isText(TieKey key)
{
    return key != TieKey::Disc && key != TieKey::Track;
}

const QString& noText()
{
    static const QString none;
    return none;
}

const QString& tieText(const Track& track, TieKey key)
{
    const QString& none = noText();
    switch (key) {
    case TieKey::AlbumArtistOrArtist:
        if (track.albumArtist && !track.albumArtist->isEmpty())
            return *track.albumArtist;
        return track.artist ? *track.artist : none;
    case TieKey::Album: return track.album ? *track.album : none;
    case TieKey::Artist: return track.artist ? *track.artist : none;
    case TieKey::Title: return track.title;
    default: Q_UNREACHABLE();
    }
    return none;
}

std::int64_t tieNumber(const Track& track, TieKey key)
{
    return key == TieKey::Disc ? track.discNumber.value_or(0) : track.trackNumber.value_or(0);
}

std::weak_ordering compareTie(const Track& a, const Track& b, TieKey key, const QCollator& collator)
{
    if (isText(key))
        return fromCollation(collator.compare(tieText(a, key), tieText(b, key)));
    return compareValues(tieNumber(a, key), tieNumber(b, key));
}

// The rank of each of `count` texts: texts the collator finds equal share a
// rank; ranks count up from 0 in collation order. Collation keys are built
// once per distinct text (artists, albums and genres repeat a lot), except
// for titles, which rarely repeat: looking them up would cost more than it
// saves.
std::vector<std::uint32_t> textRanks(std::size_t count, const std::function<const QString&(std::size_t)>& text, bool distinctTexts,
                                     const QCollator& collator)
{
    if (distinctTexts) {
        const SortKeys keys(count, text, collator);
        return keys.ranks().first;
    }
    std::vector<const QString*> texts;
    std::vector<std::uint32_t> textOf(count);
    QHash<QString, std::uint32_t> distinct;
    // Songs of one album lie side by side and share their tags' text (the
    // library interns them): the text of the song before is the likeliest
    // match, and comparing where it lies costs no hashing.
    const QString* previous = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const QString& t = text(i);
        if (previous && previous->constData() == t.constData() && previous->size() == t.size()) {
            textOf[i] = textOf[i - 1];
            continue;
        }
        auto found = distinct.constFind(t);
        if (found == distinct.cend()) {
            found = distinct.insert(t, static_cast<std::uint32_t>(texts.size()));
            texts.push_back(&t);
        }
        textOf[i] = *found;
        previous = &t;
    }
    const SortKeys keys(texts.size(), [&](std::size_t i) -> const QString& { return *texts[i]; }, collator);
    const std::vector<std::uint32_t> rankOfText = keys.ranks().first;
    for (std::uint32_t& rank : textOf)
        rank = rankOfText[rank];
    return textOf;
}

// A list being sorted: positions in the order found so far, and the runs of
// two or more songs that tie on everything compared so far, as [begin, end)
// ranges of `positions`.
struct Ordering {
    std::vector<std::uint32_t> positions;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;

    // Records the runs of equal keys in [begin, end), whose positions are in
    // key order.
    template<typename KeyOf>
    void splitIntoRuns(std::uint32_t begin, std::uint32_t end, const KeyOf& keyOf, decltype(runs)& into) const
    {
        std::uint32_t start = begin;
        for (std::uint32_t i = begin + 1; i <= end; ++i) {
            if (i == end || keyOf(positions[i]) != keyOf(positions[start])) {
                if (i - start > 1)
                    into.emplace_back(start, i);
                start = i;
            }
        }
    }
};

// Orders the songs by the sort field alone, in its direction.
template<typename Key>
Ordering orderByKeys(const std::vector<Key>& keys, bool ascending)
{
    Ordering ordering;
    ordering.positions.resize(keys.size());
    std::iota(ordering.positions.begin(), ordering.positions.end(), 0u);
    std::sort(ordering.positions.begin(), ordering.positions.end(), [&](std::uint32_t a, std::uint32_t b) {
        return ascending ? keys[a] < keys[b] : keys[b] < keys[a];
    });
    ordering.splitIntoRuns(0, static_cast<std::uint32_t>(keys.size()), [&](std::uint32_t p) { return keys[p]; }, ordering.runs);
    return ordering;
}

// The same for ranks: the positions grouped by rank (a counting sort), the
// groups in rank order or its reverse.
Ordering orderByRanks(const std::vector<std::uint32_t>& rankOfSong, bool ascending)
{
    const std::uint32_t count = rankOfSong.empty() ? 0 : *std::max_element(rankOfSong.begin(), rankOfSong.end()) + 1;
    std::vector<std::uint32_t> start(count + 1, 0);
    for (std::uint32_t rank : rankOfSong)
        ++start[ascending ? rank + 1 : count - rank];
    std::partial_sum(start.begin(), start.end(), start.begin());
    Ordering ordering;
    ordering.positions.resize(rankOfSong.size());
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < rankOfSong.size(); ++i) {
        const std::uint32_t rank = rankOfSong[i];
        ordering.positions[next[ascending ? rank : count - 1 - rank]++] = static_cast<std::uint32_t>(i);
    }
    for (std::uint32_t g = 0; g < count; ++g) {
        if (start[g + 1] - start[g] > 1)
            ordering.runs.emplace_back(start[g], start[g + 1]);
    }
    return ordering;
}

// Orders each run by one more key, ascending, and keeps the runs that still
// tie. Only songs in runs are read, in the list's own order (where the
// records lie one after another): sorting by title reads hardly any.
void refine(const TrackList& tracks, Ordering& ordering, TieKey key, const QCollator& collator)
{
    std::vector<std::uint32_t> tied;
    {
        std::vector<std::uint8_t> inRun(tracks.size(), 0);
        for (const auto& [begin, end] : ordering.runs) {
            for (std::uint32_t i = begin; i < end; ++i)
                inRun[ordering.positions[i]] = 1;
        }
        for (std::uint32_t p = 0; p < tracks.size(); ++p) {
            if (inRun[p])
                tied.push_back(p);
        }
    }
    std::vector<std::int64_t> keyOf(tracks.size(), 0);
    if (isText(key)) {
        const std::vector<std::uint32_t> ranks = textRanks(
            tied.size(), [&](std::size_t i) -> const QString& { return tieText(tracks[tied[i]], key); }, key == TieKey::Title, collator);
        for (std::size_t i = 0; i < tied.size(); ++i)
            keyOf[tied[i]] = ranks[i];
    } else {
        for (std::uint32_t p : tied)
            keyOf[p] = tieNumber(tracks[p], key);
    }
    decltype(ordering.runs) stillTied;
    for (const auto& [begin, end] : ordering.runs) {
        std::sort(ordering.positions.begin() + begin, ordering.positions.begin() + end,
                  [&](std::uint32_t a, std::uint32_t b) { return keyOf[a] < keyOf[b]; });
        ordering.splitIntoRuns(begin, end, [&](std::uint32_t p) { return keyOf[p]; }, stillTied);
    }
    ordering.runs = std::move(stillTied);
}

// What still ties goes by the text of the UUIDs, so equal songs never swap
// places when the direction changes; copies of one song keep their order.
void orderRunsByUuid(const TrackList& tracks, Ordering& ordering)
{
    struct Entry {
        UuidKey id;
        std::uint32_t position;
    };
    std::vector<Entry> run;
    for (const auto& [begin, end] : ordering.runs) {
        run.clear();
        for (std::uint32_t i = begin; i < end; ++i)
            run.push_back({UuidKey(tracks[ordering.positions[i]].id), ordering.positions[i]});
        std::sort(run.begin(), run.end(), [](const Entry& a, const Entry& b) {
            return a.id != b.id ? a.id < b.id : a.position < b.position;
        });
        for (std::size_t k = 0; k < run.size(); ++k)
            ordering.positions[begin + k] = run[k].position;
    }
}

Ordering orderBySortField(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator)
{
    switch (kindOf(order.field)) {
    case FieldKind::Text: {
        // Each song's text lives as long as this call: the format's is made
        // from the URL, so those are kept here.
        std::vector<QString> made;
        if (order.field == TrackSortField::Format) {
            made.reserve(tracks.size());
            for (const Track& track : tracks)
                made.push_back(textKey(track, order.field));
        }
        const auto text = [&](std::size_t i) -> const QString& {
            if (!made.empty())
                return made[i];
            const Track& track = tracks[i];
            switch (order.field) {
            case TrackSortField::Title: return track.title;
            case TrackSortField::Artist: return tieText(track, TieKey::Artist);
            case TrackSortField::Album: return tieText(track, TieKey::Album);
            case TrackSortField::AlbumArtist: return track.albumArtist ? *track.albumArtist : noText();
            default: return track.genre ? *track.genre : noText();
            }
        };
        return orderByRanks(textRanks(tracks.size(), text, order.field == TrackSortField::Title, collator), order.ascending);
    }
    case FieldKind::Integer: {
        std::vector<std::int64_t> keys;
        keys.reserve(tracks.size());
        for (const Track& track : tracks)
            keys.push_back(integerKey(track, order.field));
        return orderByKeys(keys, order.ascending);
    }
    case FieldKind::Real: {
        std::vector<double> keys;
        keys.reserve(tracks.size());
        for (const Track& track : tracks)
            keys.push_back(order.field == TrackSortField::Duration ? durationKey(track) : dateKey(track));
        return orderByKeys(keys, order.ascending);
    }
    }
    Q_UNREACHABLE();
    return {};
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
    if (order.asListed)
        return false;
    const std::weak_ordering result = compareTracks(a, b, order.field, collator);
    if (result != std::weak_ordering::equivalent)
        return order.ascending ? result == std::weak_ordering::less : result == std::weak_ordering::greater;
    for (TieKey key : tieKeysOf(order.field)) {
        const std::weak_ordering tie = compareTie(a, b, key, collator);
        if (tie != std::weak_ordering::equivalent)
            return tie == std::weak_ordering::less;
    }
    return uuidTextPrecedes(a.id, b.id);
}

bool sortPrecedes(const Track& a, const Track& b, const TrackSortOrder& order)
{
    return sortPrecedes(a, b, order, trackCollator());
}

std::vector<std::uint32_t> sortedPositions(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator)
{
    Q_ASSERT(tracks.size() <= std::numeric_limits<std::uint32_t>::max());
    if (order.asListed) {
        std::vector<std::uint32_t> positions(tracks.size());
        std::iota(positions.begin(), positions.end(), 0u);
        return positions;
    }
    Ordering ordering = orderBySortField(tracks, order, collator);
    for (TieKey key : tieKeysOf(order.field)) {
        if (ordering.runs.empty())
            break;
        refine(tracks, ordering, key, collator);
    }
    orderRunsByUuid(tracks, ordering);
    return std::move(ordering.positions);
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
