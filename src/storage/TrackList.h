#pragma once

#include "storage/Track.h"

#include <QList>

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

namespace varno {

// One song record shared by every list that holds it. Records are never
// changed once shared: an edit makes a new record, so whoever holds the old
// one keeps seeing what they took.
using SharedTrack = std::shared_ptr<const Track>;

} // namespace varno

// Two pointers that never point into themselves: moving one is a memcpy, so
// inserting or removing at the front of a long list is one memmove.
Q_DECLARE_TYPEINFO(varno::SharedTrack, Q_RELOCATABLE_TYPE);

namespace varno {

// A list of shared songs with value semantics: copying it copies no song and,
// until one of the copies is changed, not even the list of pointers (the
// pointers are implicitly shared, copied on write). A list someone holds
// never changes under them, so the library hands the same list to the views,
// the queue, the metadata index and the command-line tool, and an edit of one
// song makes a new list that shares every other song with the old one.
//
// Copies may be read on any thread; one instance is changed by one thread.
class TrackList {
public:
    // Iterates as `const Track&`, so code that reads songs does not care
    // that they are shared.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Track;
        using difference_type = std::ptrdiff_t;
        using pointer = const Track*;
        using reference = const Track&;

        const_iterator() = default;
        explicit const_iterator(QList<SharedTrack>::const_iterator at)
            : m_at(at)
        {
        }

        reference operator*() const { return **m_at; }
        pointer operator->() const { return m_at->get(); }
        reference operator[](difference_type n) const { return **(m_at + n); }
        const SharedTrack& shared() const { return *m_at; }

        const_iterator& operator++() { ++m_at; return *this; }
        const_iterator operator++(int) { return const_iterator(m_at++); }
        const_iterator& operator--() { --m_at; return *this; }
        const_iterator operator--(int) { return const_iterator(m_at--); }
        const_iterator& operator+=(difference_type n) { m_at += n; return *this; }
        const_iterator& operator-=(difference_type n) { m_at -= n; return *this; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.m_at - b.m_at; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_at == b.m_at; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return (a.m_at - b.m_at) <=> 0; }

    private:
        QList<SharedTrack>::const_iterator m_at {};
    };
    using iterator = const_iterator;
    using value_type = Track;
    using size_type = std::size_t;

    TrackList() = default;
    explicit TrackList(QList<SharedTrack> songs)
        : m_songs(std::move(songs))
    {
    }
    // Songs by value become shared records; for small lists and tests. A
    // large list is built as SharedTrack from the start.
    TrackList(const std::vector<Track>& tracks);
    TrackList(std::initializer_list<Track> tracks);

    std::size_t size() const { return static_cast<std::size_t>(m_songs.size()); }
    bool empty() const { return m_songs.isEmpty(); }
    const Track& operator[](std::size_t i) const { return *m_songs[static_cast<qsizetype>(i)]; }
    const Track& front() const { return *m_songs.front(); }
    const Track& back() const { return *m_songs.back(); }
    const_iterator begin() const { return const_iterator(m_songs.cbegin()); }
    const_iterator end() const { return const_iterator(m_songs.cend()); }

    const SharedTrack& shared(std::size_t i) const { return m_songs[static_cast<qsizetype>(i)]; }
    const QList<SharedTrack>& sharedSongs() const { return m_songs; }

    // Changes this list only; copies taken before keep what they had.
    void append(SharedTrack song) { m_songs.append(std::move(song)); }
    void append(const TrackList& songs) { m_songs.append(songs.m_songs); }
    void insert(std::size_t at, SharedTrack song) { m_songs.insert(static_cast<qsizetype>(at), std::move(song)); }
    void insert(std::size_t at, const TrackList& songs);
    void replace(std::size_t at, SharedTrack song) { m_songs.replace(static_cast<qsizetype>(at), std::move(song)); }
    void removeAt(std::size_t at) { m_songs.removeAt(static_cast<qsizetype>(at)); }
    void removeLast() { m_songs.removeLast(); }
    SharedTrack takeFirst() { return m_songs.takeFirst(); }
    void clear() { m_songs.clear(); }
    void reserve(std::size_t n) { m_songs.reserve(static_cast<qsizetype>(n)); }
    // Removes every copy of the song with `id`; the number removed.
    std::size_t removeID(const QUuid& id);
    void swap(std::size_t a, std::size_t b) { m_songs.swapItemsAt(static_cast<qsizetype>(a), static_cast<qsizetype>(b)); }
    // Songs [from, from + count).
    TrackList mid(std::size_t from, std::size_t count = static_cast<std::size_t>(-1)) const;

    // Position of the first song with `id`, or -1.
    qsizetype indexOf(const QUuid& id) const;
    SharedTrack find(const QUuid& id) const;

    // Whether both hold the same songs in the same order: the same records,
    // or records that compare equal.
    friend bool operator==(const TrackList& a, const TrackList& b);

private:
    QList<SharedTrack> m_songs;
};

// What changed between the list a reader holds and the one just published,
// so a view can update the rows that changed rather than start over.
struct TrackListChange {
    enum class Kind {
        // Anything: read the whole list again.
        Reset,
        // Songs replaced in place; positions in the new list, which has the
        // same length.
        Updated,
        // Songs inserted; positions in the new list, ascending.
        Inserted,
        // Songs removed; positions in the old list, ascending.
        Removed,
    };
    Kind kind = Kind::Reset;
    std::vector<std::size_t> positions;

    static TrackListChange reset() { return {}; }
    static TrackListChange updated(std::vector<std::size_t> positions) { return {Kind::Updated, std::move(positions)}; }
    static TrackListChange inserted(std::vector<std::size_t> positions) { return {Kind::Inserted, std::move(positions)}; }
    static TrackListChange removed(std::vector<std::size_t> positions) { return {Kind::Removed, std::move(positions)}; }

    friend bool operator==(const TrackListChange&, const TrackListChange&) = default;
};

} // namespace varno
