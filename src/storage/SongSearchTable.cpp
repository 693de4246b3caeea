#include "storage/SongSearchTable.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <optional>

namespace varno {

namespace {

// An open-addressing table from a 64-bit key to a slot (0 marks a free
// entry), for the few thousand distinct names of a field. The key is a
// text's hash, whose candidates the caller compares, or an address, which
// is its own proof.
class SlotTable {
public:
    // Calls `same(slot)` for each slot stored under `hash` until it says
    // yes and returns that slot; or returns 0, keeping the free entry's
    // position for add().
    template<typename Same>
    std::uint32_t find(std::uint64_t hash, Same&& same)
    {
        m_free = position(hash);
        while (m_entries[m_free].slot != 0) {
            if (m_entries[m_free].hash == hash && same(m_entries[m_free].slot))
                return m_entries[m_free].slot;
            m_free = (m_free + 1) & (m_entries.size() - 1);
        }
        return 0;
    }

    // Stores `slot` where the last find() stopped.
    void add(std::uint64_t hash, std::uint32_t slot)
    {
        m_entries[m_free] = {hash, slot};
        if (++m_count * 2 > m_entries.size())
            grow();
    }

private:
    struct Entry {
        std::uint64_t hash = 0;
        std::uint32_t slot = 0;
    };

    std::size_t position(std::uint64_t hash) const { return (hash * 0x9E3779B97F4A7C15ull) >> (64 - m_bits); }

    void grow()
    {
        std::vector<Entry> old(std::size_t(1) << ++m_bits);
        old.swap(m_entries);
        for (const Entry& entry : old) {
            if (entry.slot == 0)
                continue;
            std::size_t at = position(entry.hash);
            while (m_entries[at].slot != 0)
                at = (at + 1) & (m_entries.size() - 1);
            m_entries[at] = entry;
        }
    }

    int m_bits = 10;
    std::vector<Entry> m_entries = std::vector<Entry>(std::size_t(1) << 10);
    std::size_t m_count = 0;
    std::size_t m_free = 0;
};

// The first eight code units in code-point order, packed so that comparing
// the numbers compares the texts' beginnings; a shorter text is padded with
// zeros, which sort first. Eight, because tags often share a first word.
struct OrderPrefix {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    explicit OrderPrefix(QStringView text)
    {
        for (qsizetype i = 0; i < 8; ++i) {
            char16_t unit = i < text.size() ? text[i].unicode() : 0;
            if (unit >= 0xD800)
                unit = unit >= 0xE000 ? static_cast<char16_t>(unit - 0x800) : static_cast<char16_t>(unit + 0x2000);
            (i < 4 ? high : low) = (i < 4 ? high : low) << 16 | unit;
        }
    }

    friend auto operator<=>(const OrderPrefix&, const OrderPrefix&) = default;
};

// Gathers the distinct values of one field, numbering them as they come.
class NamesBuilder {
public:
    std::uint32_t slotFor(const std::optional<QString>& value)
    {
        if (!value)
            return 0;
        // Interned tags share their text, so most values are found by where
        // their text is, without reading it. Two QStrings with the same data
        // and length hold the same text.
        // Addresses fit in 48 bits, so the length goes above them and equal
        // keys mean the same data and length; the rare longer text is only
        // looked up by text.
        const auto size = static_cast<std::uint64_t>(value->size());
        const std::uint64_t address = reinterpret_cast<std::uintptr_t>(value->constData()) | size << 48;
        const bool byAddress = size < (1u << 16);
        if (byAddress) {
            if (const std::uint32_t known = m_byAddress.find(address, [](std::uint32_t) { return true; }))
                return known;
        }
        // A text not seen at this address: the same text elsewhere, or new.
        const std::uint64_t textHash = qHash(QStringView(*value));
        std::uint32_t slot = m_byText.find(textHash, [&](std::uint32_t slot) { return m_values[slot - 1] == *value; });
        if (slot == 0) {
            m_values.push_back(*value);
            slot = static_cast<std::uint32_t>(m_values.size());
            m_byText.add(textHash, slot);
        }
        if (byAddress)
            m_byAddress.add(address, slot);
        return slot;
    }

    // Fills `names` in code-point order and returns, for each slot handed
    // out by slotFor(), the slot of the same value in `names`.
    std::vector<std::uint32_t> finish(SongSearchTable::Names& names) const
    {
        // Most comparisons are settled by the packed beginnings, without
        // reading the texts, which lie all over the heap.
        struct Ordered {
            OrderPrefix prefix;
            std::uint32_t value;
        };
        std::vector<Ordered> order;
        order.reserve(m_values.size());
        for (std::uint32_t i = 0; i < m_values.size(); ++i)
            order.push_back({OrderPrefix(m_values[i]), i});
        std::sort(order.begin(), order.end(), [this](const Ordered& a, const Ordered& b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            return codePointLess(m_values[a.value], m_values[b.value]);
        });

        std::size_t codeUnits = 0;
        for (const QString& value : m_values)
            codeUnits += static_cast<std::size_t>(value.size());
        names.names.reserve(static_cast<qsizetype>(m_values.size()));
        names.keys.reserve(m_values.size(), codeUnits);
        std::vector<std::uint32_t> renumbered(m_values.size() + 1, 0);
        for (std::uint32_t sorted = 0; sorted < order.size(); ++sorted) {
            const QString& value = m_values[order[sorted].value];
            names.names.append(value);
            names.keys.append(value);
            renumbered[order[sorted].value + 1] = sorted + 1;
        }
        return renumbered;
    }

private:
    std::vector<QString> m_values;
    SlotTable m_byAddress;
    SlotTable m_byText;
};

} // namespace

std::unique_ptr<SongSearchTable> SongSearchTable::build(const TrackList& tracks, const std::function<bool()>& abandoned)
{
    auto table = std::make_unique<SongSearchTable>();
    const std::size_t count = tracks.size();

    // A guess: titles are a few words long, and the column grows if not.
    table->m_titles.reserve(count, count * 24);
    table->m_slots.resize(count);

    NamesBuilder artists;
    NamesBuilder albums;
    NamesBuilder genres;
    for (std::size_t i = 0; i < count; ++i) {
        // Often enough to drop a stale build of a large library within a
        // millisecond or two, rarely enough to cost nothing.
        if (i % 4096 == 0 && abandoned && abandoned())
            return nullptr;
        // Songs lie wherever they were allocated, and waiting for each in
        // turn is most of the cost: ask for the records a few songs ahead,
        // and for the titles of songs whose records have arrived by then.
        if (i + 8 < count)
            __builtin_prefetch(&tracks[i + 8]);
        if (i + 4 < count)
            __builtin_prefetch(tracks[i + 4].title.constData());
        const Track& track = tracks[i];
        table->m_titles.append(track.title);
        table->m_slots[i] = {artists.slotFor(track.artist), albums.slotFor(track.album), genres.slotFor(track.genre)};
    }

    const std::vector<std::uint32_t> artistSlots = artists.finish(table->m_artists);
    const std::vector<std::uint32_t> albumSlots = albums.finish(table->m_albums);
    const std::vector<std::uint32_t> genreSlots = genres.finish(table->m_genres);
    for (SongSearchSlots& song : table->m_slots)
        song = {artistSlots[song.artist], albumSlots[song.album], genreSlots[song.genre]};
    return table;
}

SongSearchView::Hits SongSearchView::find(QStringView key) const
{
    Q_ASSERT(!key.isEmpty());
    Hits hits;
    artists.findContaining(key, hits.artists);
    albums.findContaining(key, hits.albums);
    genres.findContaining(key, hits.genres);
    titles.findContaining(key, hits.songs);
    if (hits.artists.empty() && hits.albums.empty() && hits.genres.empty())
        return hits;

    // Whether a song matches by a name is one look-up per field; the title
    // hits are merged in as the walk reaches them.
    const auto marks = [](const std::vector<std::uint32_t>& found, std::size_t names) {
        std::vector<std::uint8_t> matched(names + 1, 0);
        for (const std::uint32_t i : found)
            matched[i + 1] = 1;
        return matched;
    };
    const std::vector<std::uint8_t> artistMatched = marks(hits.artists, artists.ends.size());
    const std::vector<std::uint8_t> albumMatched = marks(hits.albums, albums.ends.size());
    const std::vector<std::uint8_t> genreMatched = marks(hits.genres, genres.ends.size());
    std::vector<std::uint32_t> merged;
    merged.reserve(songSlots.size());
    auto nextTitleHit = hits.songs.cbegin();
    for (std::uint32_t i = 0; i < songSlots.size(); ++i) {
        const SongSearchSlots& song = songSlots[i];
        bool matches = artistMatched[song.artist] | albumMatched[song.album] | genreMatched[song.genre];
        if (nextTitleHit != hits.songs.cend() && *nextTitleHit == i) {
            matches = true;
            ++nextTitleHit;
        }
        if (matches)
            merged.push_back(i);
    }
    hits.songs = std::move(merged);
    return hits;
}

} // namespace varno
