#pragma once

#include <QHash>
#include <QUuid>

#include <optional>

namespace varno {

// What the centre of the window shows; chosen in the sidebar.
struct NavigationDestination {
    enum class Kind { Playlist, Folder, Songs, RecentlyAdded, RecentlyPlayed, TopRated, Favorites, Albums, Artists };

    Kind kind = Kind::Songs;
    // The playlist or folder, for those two kinds; null otherwise.
    QUuid id;

    static NavigationDestination playlist(const QUuid& id) { return {Kind::Playlist, id}; }
    static NavigationDestination folder(const QUuid& id) { return {Kind::Folder, id}; }
    static NavigationDestination songs() { return {Kind::Songs, {}}; }
    static NavigationDestination recentlyAdded() { return {Kind::RecentlyAdded, {}}; }
    static NavigationDestination recentlyPlayed() { return {Kind::RecentlyPlayed, {}}; }
    static NavigationDestination topRated() { return {Kind::TopRated, {}}; }
    static NavigationDestination favorites() { return {Kind::Favorites, {}}; }
    static NavigationDestination albums() { return {Kind::Albums, {}}; }
    static NavigationDestination artists() { return {Kind::Artists, {}}; }

    friend bool operator==(const NavigationDestination&, const NavigationDestination&) = default;
};

inline size_t qHash(const NavigationDestination& destination, size_t seed = 0)
{
    return qHashMulti(seed, static_cast<int>(destination.kind), destination.id);
}

} // namespace varno
