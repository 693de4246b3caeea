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
        // A playlist's detail screen.
        PlaylistDetail,
        // A folder's screen: the playlists inside it.
        Folder,
        // The library's albums as a grid of covers, or its artists.
        Albums,
        Artists,
    };
    // Which of the library's songs a song list shows, and in what order
    // before a column is clicked.
    enum class Filter { WholeLibrary, TopRated, RecentlyAdded, RecentlyPlayed };

    Kind kind = Kind::SongList;
    QString title;
    Filter filter = Filter::WholeLibrary;
    // For the detail and folder screens: the playlist or folder as the
    // engine returned it.
    std::optional<Playlist> playlist;
};

// "All Songs" for no destination, for "songs", and for a playlist or folder
// the engine does not find at any depth (deleted); "Recently Added" the
// songs by date added, newest first; "Recently Played" the songs played,
// the last first; "Top Rated" the rated songs, best first.
CentreScreen centreScreenFor(const std::optional<NavigationDestination>& selection, const PlaylistEngine& playlists);

} // namespace varno
