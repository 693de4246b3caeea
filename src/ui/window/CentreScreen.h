#pragma once

#include "storage/Playlist.h"
#include "ui/NavigationDestination.h"

#include <QString>

#include <optional>

namespace varno {

class PlaylistEngine;

// Which screen the centre of the window shows for a destination.
struct CentreScreen {
    enum class Kind {
        // The library's songs under a title, through a filter.
        SongList,
        Favorites,
        // A playlist's or folder's detail screen.
        PlaylistDetail,
        // The library's albums as a grid of covers, or its artists.
        Albums,
        Artists,
    };
    enum class Filter { WholeLibrary, TopRated };

    Kind kind = Kind::SongList;
    QString title;
    Filter filter = Filter::WholeLibrary;
    // For the detail screen: the playlist as the engine returned it.
    std::optional<Playlist> playlist;
};

// "All Songs" for no destination, for "songs", and for a playlist or folder
// the engine does not find at the top level (deleted, or inside a folder);
// "Recently Added" and "Recently Played" show the whole library under their
// own titles; "Top Rated" the rated songs, best first.
CentreScreen centreScreenFor(const std::optional<NavigationDestination>& selection, const PlaylistEngine& playlists);

} // namespace varno
