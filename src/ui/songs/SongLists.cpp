#include "SongLists.h"

#include "ui/songs/FilteredLibraryTrackSource.h"
#include "ui/songs/FixedTrackSource.h"
#include "ui/songs/LibraryTrackSource.h"
#include "ui/songs/RecentlyPlayedTrackSource.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackListView.h"

namespace varno {

namespace {

TrackListOptions sortedBy(TrackListOptions options, TrackSortOrder sortOrder)
{
    options.sortOrder = sortOrder;
    return options;
}

// A list with an order of its own and its own words for being empty; songs
// are not imported into it.
TrackListOptions ownOrderOptions(const QString& title, const QString& symbol, const QString& emptyTitle, const QString& emptySubtitle,
                                 TrackSortOrder sortOrder)
{
    return {title, {symbol, emptyTitle, emptySubtitle}, false, sortOrder};
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
                             ownOrderOptions(songs::kTopRatedTitle, songs::kTopRatedEmptySymbol, songs::kTopRatedEmptyTitle,
                                             songs::kTopRatedEmptySubtitle, sortOrder),
                             undoStack, parent);
}

TrackListView* makeRecentlyAddedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder)
{
    return new TrackListView(environment, std::make_unique<FilteredLibraryTrackSource>(environment.libraryEngine, recentlyAddedTracks),
                             ownOrderOptions(songs::kRecentlyAddedTitle, songs::kRecentlyAddedEmptySymbol, songs::kRecentlyAddedEmptyTitle,
                                             songs::kRecentlyAddedEmptySubtitle, sortOrder),
                             undoStack, parent);
}

TrackListView* makeRecentlyPlayedSongList(ViewEnvironment environment, QUndoStack* undoStack, QWidget* parent, TrackSortOrder sortOrder)
{
    return new TrackListView(environment, std::make_unique<RecentlyPlayedTrackSource>(environment.queueEngine, environment.libraryEngine),
                             ownOrderOptions(songs::kRecentlyPlayedTitle, songs::kRecentlyPlayedEmptySymbol, songs::kRecentlyPlayedEmptyTitle,
                                             songs::kRecentlyPlayedEmptySubtitle, sortOrder),
                             undoStack, parent);
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
