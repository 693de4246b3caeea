#pragma once

#include "storage/Playlist.h"
#include "storage/TrackList.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace varno {

// What one query found, grouped the way the search overlay shows it. Songs
// and playlists keep the order of the lists searched; the names are sorted
// by code point. The songs are the searched list's own records; they share
// one reference count, so results of a hundred thousand songs are copied and
// released without touching each song.
struct SearchResults {
    QString query;
    TrackList songs;
    QStringList artists;
    QStringList albums;
    QStringList genres;
    QList<Playlist> playlists;

    friend bool operator==(const SearchResults&, const SearchResults&) = default;
};

} // namespace varno

Q_DECLARE_METATYPE(varno::SearchResults)
