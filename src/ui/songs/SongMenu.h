#pragma once

#include "storage/Playlist.h"
#include "storage/TrackList.h"

#include <functional>

class QMenu;
class QWidget;

namespace varno {

struct ViewEnvironment;

// The items that hand songs on, shared by every screen that lists songs:
// "Play Next", "Add to Queue" and the "Add to Playlist" submenu (the
// playlist tree with folders as submenus, where only standard playlists
// take songs, after "New Playlist…", which makes a playlist holding them).
//
// `songs` is asked when an item is chosen, so the menu hands on what is
// selected then. `created` hears of each playlist "New Playlist…" made, once
// the songs are in it. Failures are shown over `owner` while it exists.
// Main thread only.
void addSongHandOffItems(QMenu& menu, ViewEnvironment& environment, QWidget* owner, std::function<TrackList()> songs,
                         std::function<void(const Playlist&)> created);

} // namespace varno
