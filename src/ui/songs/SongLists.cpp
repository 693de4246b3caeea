#include "SongLists.h"

#include "ui/songs/FilteredLibraryTrackSource.h"
#include "ui/songs/FixedTrackSource.h"
#include "ui/songs/LibraryTrackSource.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackListView.h"

namespace varno {

TrackListView* makeLibrarySongList(ViewEnvironment environment, const QString& title, QUndoStack* undoStack, QWidget* parent)
{
    return new TrackListView(environment, std::make_unique<LibraryTrackSource>(environment.libraryEngine), TrackListOptions::library(title),
                             undoStack, parent);
}

TrackListView* makeTopRatedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent)
{
    return new TrackListView(environment, std::make_unique<FilteredLibraryTrackSource>(environment.libraryEngine, topRatedTracks),
                             TrackListOptions::library(songs::kTopRatedTitle), undoStack, parent);
}

TrackListView* makeFavoritesSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent)
{
    return new TrackListView(environment, std::make_unique<FilteredLibraryTrackSource>(environment.libraryEngine, favoriteTracks),
                             TrackListOptions::favorites(), undoStack, parent);
}

TrackListView* makeFixedSongList(ViewEnvironment environment, const QString& title, const TrackListEmptyState& emptyState, QUndoStack* undoStack,
                                 QWidget* parent, FixedTrackSource** source)
{
    auto fixed = std::make_unique<FixedTrackSource>();
    if (source)
        *source = fixed.get();
    return new TrackListView(environment, std::move(fixed), TrackListOptions {title, emptyState, false}, undoStack, parent);
}

} // namespace varno
