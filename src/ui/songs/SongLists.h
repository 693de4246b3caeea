#pragma once

#include "ui/ViewEnvironment.h"
#include "workspace/TrackSortOrder.h"

#include <QString>

class QUndoStack;
class QWidget;

namespace varno {

class FixedTrackSource;
class TrackListView;
struct TrackListEmptyState;

// The song lists of the main window's centre, built over the sources they
// show. Each returns a new list owned by `parent`, sorted by `sortOrder`
// (the listed order keeps the order the source gives, such as best first).

// The whole library under `title` ("All Songs", "Recently Added", …), with
// "Add songs" and drop-to-import.
TrackListView* makeLibrarySongList(ViewEnvironment environment, const QString& title, QUndoStack* undoStack, QWidget* parent,
                                   TrackSortOrder sortOrder = {});
// "Top Rated": songs rated above 0, best first.
TrackListView* makeTopRatedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder = {});
// "Recently Added": songs with a date added, newest first.
TrackListView* makeRecentlyAddedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder = {});
// "Recently Played": the song playing and the queue's history, the last
// played first, each song once.
TrackListView* makeRecentlyPlayedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder = {});
// "Favorites": songs rated 4 or more.
TrackListView* makeFavoritesSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder = {});
// Songs the caller sets, such as a playlist's, through `source`.
TrackListView* makeFixedSongList(ViewEnvironment environment, const QString& title, const TrackListEmptyState& emptyState, QUndoStack* undoStack,
                                 QWidget* parent, FixedTrackSource** source, TrackSortOrder sortOrder = {});

} // namespace varno
