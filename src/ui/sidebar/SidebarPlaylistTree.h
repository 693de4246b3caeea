#pragma once

#include "storage/Playlist.h"
#include "ui/NavigationDestination.h"

#include <QTreeWidget>

#include <optional>

namespace varno {

// The sidebar's playlists: the top level in the engine's order, each folder
// with its children beneath it, indented. Drawn as sidebar rows (type symbol,
// name, the selected row in the accent); a folder with children has a
// disclosure chevron at its end that opens and closes it, as a double click
// and the arrow keys do. The tree only shows: the sidebar fills it and says
// which row is selected.
class SidebarPlaylistTree final : public QTreeWidget {
    Q_OBJECT

public:
    enum Role { PlaylistIDRole = Qt::UserRole, DestinationKindRole };

    explicit SidebarPlaylistTree(QWidget* parent = nullptr);

    // The symbol of a playlist's type: "music.note.list", "sparkles" or
    // "folder".
    static QString symbolFor(const Playlist& playlist);
    // What clicking the row of `playlist` selects.
    static NavigationDestination destinationFor(const Playlist& playlist);

    static std::optional<NavigationDestination> destinationOf(const QTreeWidgetItem* item);
    QTreeWidgetItem* itemFor(const QUuid& id) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace varno
