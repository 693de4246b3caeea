#include "CentreScreen.h"

#include "playlists/PlaylistEngine.h"

namespace varno {

CentreScreen centreScreenFor(const std::optional<NavigationDestination>& selection, const PlaylistEngine& playlists)
{
    const CentreScreen allSongs {CentreScreen::Kind::SongList, QStringLiteral("All Songs"), CentreScreen::Filter::WholeLibrary, {}};
    if (!selection)
        return allSongs;
    using Kind = NavigationDestination::Kind;
    switch (selection->kind) {
    case Kind::Songs:
        return allSongs;
    case Kind::RecentlyAdded:
        return {CentreScreen::Kind::SongList, QStringLiteral("Recently Added"), CentreScreen::Filter::RecentlyAdded, {}};
    case Kind::RecentlyPlayed:
        return {CentreScreen::Kind::SongList, QStringLiteral("Recently Played"), CentreScreen::Filter::RecentlyPlayed, {}};
    case Kind::TopRated:
        return {CentreScreen::Kind::SongList, QStringLiteral("Top Rated"), CentreScreen::Filter::TopRated, {}};
    case Kind::Favorites:
        return {CentreScreen::Kind::Favorites, QStringLiteral("Favorites"), CentreScreen::Filter::WholeLibrary, {}};
    case Kind::Albums:
        return {CentreScreen::Kind::Albums, QStringLiteral("Albums"), CentreScreen::Filter::WholeLibrary, {}};
    case Kind::Artists:
        return {CentreScreen::Kind::Artists, QStringLiteral("Artists"), CentreScreen::Filter::WholeLibrary, {}};
    case Kind::Playlist:
    case Kind::Folder:
        // A playlist inside a folder opens like one at the top level.
        if (std::optional<Playlist> playlist = playlists.findPlaylist(selection->id)) {
            const auto kind = playlist->type.kind() == PlaylistType::Kind::Folder ? CentreScreen::Kind::Folder : CentreScreen::Kind::PlaylistDetail;
            return {kind, playlist->name, CentreScreen::Filter::WholeLibrary, std::move(playlist)};
        }
        return allSongs;
    }
    return allSongs;
}

} // namespace varno
