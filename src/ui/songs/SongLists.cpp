#include "SongLists.h"

#include "ui/songs/FilteredLibraryTrackSource.h"
#include "ui/songs/FixedTrackSource.h"
#include "ui/songs/LibraryTrackSource.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackListView.h"

namespace varno {

namespace {

TrackListOptions sortedBy(TrackListOptions options, TrackSortOrder sortOrder)
{
    options.sortOrder = sortOrder;
    return options;
}

} // namespace

TrackListView* makeLibrarySongList(ViewEnvironment environment, const QString& title, QUndoStack* undoStack, QWidget* parent,
                                   TrackSortOrder sortOrder)
{
    return new TrackListView(environment, std::make_unique<LibraryTrackSource>(environment.libraryEngine),
                             sortedBy(TrackListOptions::library(title), sortOrder), undoStack, parent);
}

TrackListView* makeTopRatedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder)
{
    return new TrackListView(environment, std::make_unique<FilteredLibraryTrackSource>(environment.libraryEngine, topRatedTracks),
                             sortedBy(TrackListOptions::library(songs::kTopRatedTitle), sortOrder), undoStack, parent);
}

TrackListView* makeFavoritesSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder)
{
    return new TrackListView(environment, std::make_unique<FilteredLibraryTrackSource>(environment.libraryEngine, favoriteTracks),
                             sortedBy(TrackListOptions::favorites(), sortOrder), undoStack, parent);
}

TrackListView* makeFixedSongList(ViewEnvironment environment, const QString& title, const TrackListEmptyState& emptyState, QUndoStack* undoStack,
                                 QWidget* parent, FixedTrackSource** source, TrackSortOrder sortOrder)
{
    auto fixed = std::make_unique<FixedTrackSource>();
    if (source)
        *source = fixed.get();
    return new TrackListView(environment, std::move(fixed), TrackListOptions {title, emptyState, false, sortOrder}, undoStack, parent);
}

} // namespace varno
