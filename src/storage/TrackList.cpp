#include "TrackList.h"

#include <algorithm>

namespace varno {

TrackList::TrackList(const std::vector<Track>& tracks)
{
    m_songs.reserve(static_cast<qsizetype>(tracks.size()));
    for (const Track& track : tracks)
        m_songs.append(std::make_shared<const Track>(track));
}

TrackList::TrackList(std::initializer_list<Track> tracks)
    : TrackList(std::vector<Track>(tracks))
{
}

void TrackList::insert(std::size_t at, const TrackList& songs)
{
    if (at == size()) {
        m_songs.append(songs.m_songs);
        return;
    }
    QList<SharedTrack> joined;
    joined.reserve(m_songs.size() + songs.m_songs.size());
    joined.append(m_songs.mid(0, static_cast<qsizetype>(at)));
    joined.append(songs.m_songs);
    joined.append(m_songs.mid(static_cast<qsizetype>(at)));
    m_songs = std::move(joined);
}

std::size_t TrackList::removeID(const QUuid& id)
{
    return static_cast<std::size_t>(m_songs.removeIf([&](const SharedTrack& song) { return song->id == id; }));
}

TrackList TrackList::mid(std::size_t from, std::size_t count) const
{
    const qsizetype length = count == static_cast<std::size_t>(-1) ? -1 : static_cast<qsizetype>(count);
    return TrackList(m_songs.mid(static_cast<qsizetype>(from), length));
}

qsizetype TrackList::indexOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_songs.size(); ++i) {
        if (m_songs[i]->id == id)
            return i;
    }
    return -1;
}

SharedTrack TrackList::find(const QUuid& id) const
{
    const qsizetype at = indexOf(id);
    return at < 0 ? SharedTrack() : m_songs[at];
}

bool operator==(const TrackList& a, const TrackList& b)
{
    return std::equal(a.m_songs.cbegin(), a.m_songs.cend(), b.m_songs.cbegin(), b.m_songs.cend(),
                      [](const SharedTrack& x, const SharedTrack& y) { return x == y || *x == *y; });
}

} // namespace varno
