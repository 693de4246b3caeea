#pragma once

#include <QString>
#include <QStringList>

// What the song lists say to the user, in one place so the views and their
// tests read the same words. Texts built from a song or a count are
// functions; the rest are constants.
namespace varno::songs {

// Cells.
inline const QString kMissingValue = QStringLiteral("—");
// The song table's name for a screen reader when its list has no title.
inline const QString kSongsTableName = QStringLiteral("Songs");
// What a screen reader says for kMissingValue.
inline const QString kMissingValueSpoken = QStringLiteral("None");
inline const QString kMissingFileTooltip = QStringLiteral("The file of this song is missing.");

// Header of the list.
QString songCountText(qsizetype count);
QString selectedCountText(qsizetype count);
inline const QString kEditSelectionAction = QStringLiteral("Edit");
inline const QString kEditSelectionHelpNone = QStringLiteral("Select songs to edit their metadata");
inline const QString kEditSelectionHelpOne = QStringLiteral("Edit Selected Song Metadata…");
inline const QString kEditSelectionHelpMany = QStringLiteral("Edit Shared Metadata for Selected Songs…");
inline const QString kDismissImportError = QStringLiteral("Dismiss");
// The headline of an import that could add none of the songs given.
inline const QString kNothingImported = QStringLiteral("No songs could be added");

// Column headers.
QString sortDescription(const QString& title, bool isSortColumn, bool ascending);
QString moveColumnAnnouncement(const QString& title);
QString resizeColumnAnnouncement(const QString& title);
inline const QString kColumnHeaderHelp = QStringLiteral("Drag to reorder. Drag the right edge to resize.");
inline const QString kColumnEdgeHelp = QStringLiteral("Drag to resize. Double-click to reset width.");
inline const QString kCollapseColumn = QStringLiteral("Collapse Column");
inline const QString kExpandColumn = QStringLiteral("Expand Column");
inline const QString kResetWidth = QStringLiteral("Reset Width");
inline const QString kRemoveColumn = QStringLiteral("Remove Column");
inline const QString kCustomizeColumns = QStringLiteral("Customize Song Columns");
inline const QString kCustomizeColumnsHelp = QStringLiteral("Show, hide, and restore song columns");
inline const QString kRestoreDefaultColumns = QStringLiteral("Restore Default Column Layout");
inline const QString kDismissMessage = QStringLiteral("Dismiss Message");

// Row controls.
QString playButtonLabel(const QString& title);
QString pauseButtonLabel(const QString& title);
QString editButtonLabel(const QString& title);
inline const QString kAddToFavorites = QStringLiteral("Add to Favorites");
inline const QString kRemoveFromFavorites = QStringLiteral("Remove from Favorites");
// A row's state for a screen reader: "Favorite, now playing, selected",
// "Not a favorite".
inline QString rowStateDescription(bool favorite, bool current, bool selected)
{
    QStringList parts {favorite ? QStringLiteral("Favorite") : QStringLiteral("Not a favorite")};
    if (current)
        parts << QStringLiteral("now playing");
    if (selected)
        parts << QStringLiteral("selected");
    return parts.join(QStringLiteral(", "));
}

// Row context menu, in its order.
inline const QString kPlayNow = QStringLiteral("Play Now");
inline const QString kPlayNext = QStringLiteral("Play Next");
inline const QString kAddToQueue = QStringLiteral("Add to Queue");
inline const QString kAddToPlaylist = QStringLiteral("Add to Playlist");
// The first item of "Add to Playlist": a playlist holding the songs, named
// by the user next.
inline const QString kNewPlaylistWithSongs = QStringLiteral("New Playlist…");
inline const QString kNewPlaylistName = QStringLiteral("New Playlist");
// What an empty folder (or a library without playlists) offers in the
// "Add to Playlist" menu.
inline const QString kNoPlaylists = QStringLiteral("No Playlists");
// On a playlist's own screen.
inline const QString kRemoveFromPlaylist = QStringLiteral("Remove from Playlist");
inline const QString kEditMetadata = QStringLiteral("Edit Metadata…");
QString editSharedMetadataItem(qsizetype count);
inline const QString kChooseArtwork = QStringLiteral("Choose Artwork…");
inline const QString kRemoveArtwork = QStringLiteral("Remove Artwork");
inline const QString kShowInFileManager = QStringLiteral("Show in File Manager");
inline const QString kRemoveFromPlayer = QStringLiteral("Remove from Player");
inline const QString kDeletePermanently = QStringLiteral("Delete Permanently…");

// Dialogs and alerts.
inline const QString kDeleteConfirmationTitle = QStringLiteral("Delete Track Permanently?");
QString deleteConfirmationMessage(const QString& title);
inline const QString kDeleteConfirmationButton = QStringLiteral("Delete Permanently");
inline const QString kRemovalFailedTitle = QStringLiteral("Track Removal Failed");
inline const QString kRemovalFailedFallback = QStringLiteral("The track could not be removed.");
inline const QString kMetadataUpdateFailedTitle = QStringLiteral("Metadata Update Failed");
inline const QString kMetadataPartlySavedTitle = QStringLiteral("Some Songs Were Not Changed");
inline const QString kMetadataUpdateFailedFallback = QStringLiteral("The selected songs could not be updated.");
inline const QString kFavoriteFailedTitle = QStringLiteral("Favorite Could Not Be Updated");
inline const QString kFavoriteFailedMessage = QStringLiteral("The library could not save this change.");
inline const QString kChooseArtworkTitle = QStringLiteral("Choose Artwork");
inline const QString kArtworkFailedTitle = QStringLiteral("Artwork Could Not Be Changed");
inline const QString kArtworkRemovalFailedTitle = QStringLiteral("Artwork Could Not Be Removed");
inline const QString kAddToPlaylistFailedTitle = QStringLiteral("Songs Could Not Be Added to the Playlist");
inline const QString kPlaylistChangeFailedTitle = QStringLiteral("The Playlist Could Not Be Changed");

// The library's own list.
inline const QString kAllSongsTitle = QStringLiteral("All Songs");
inline const QString kLibraryEmptySymbol = QStringLiteral("music.note");
inline const QString kLibraryEmptyTitle = QStringLiteral("No songs in library");
inline const QString kLibraryEmptySubtitle = QStringLiteral("Import songs to get started");
inline const QString kAddSongs = QStringLiteral("Add songs");
inline const QString kAddSongsAccept = QStringLiteral("Add");

// The favourites.
inline const QString kFavoritesTitle = QStringLiteral("Favorites");
inline const QString kFavoritesEmptySymbol = QStringLiteral("heart");
inline const QString kFavoritesEmptyTitle = QStringLiteral("No favorites yet");
inline const QString kFavoritesEmptySubtitle = QStringLiteral("Use the heart action on any song to add it here");

// Lists in an order of their own, each saying why it is empty.
inline const QString kTopRatedTitle = QStringLiteral("Top Rated");
inline const QString kTopRatedEmptySymbol = QStringLiteral("star");
inline const QString kTopRatedEmptyTitle = QStringLiteral("No rated songs");
inline const QString kTopRatedEmptySubtitle = QStringLiteral("Songs you give stars appear here, best first");
inline const QString kRecentlyAddedTitle = QStringLiteral("Recently Added");
inline const QString kRecentlyAddedEmptySymbol = QStringLiteral("clock");
inline const QString kRecentlyAddedEmptyTitle = QStringLiteral("No recently added songs");
inline const QString kRecentlyAddedEmptySubtitle = QStringLiteral("Songs you add to the library appear here, newest first");
inline const QString kRecentlyPlayedTitle = QStringLiteral("Recently Played");
inline const QString kRecentlyPlayedEmptySymbol = QStringLiteral("clock.arrow.circlepath");
inline const QString kRecentlyPlayedEmptyTitle = QStringLiteral("No recently played songs");
inline const QString kRecentlyPlayedEmptySubtitle = QStringLiteral("Songs you play appear here, the last one first");

} // namespace varno::songs
