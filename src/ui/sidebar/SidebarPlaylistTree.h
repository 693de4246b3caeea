#pragma once

#include "storage/Playlist.h"
#include "ui/NavigationDestination.h"

#include <QPersistentModelIndex>
#include <QTreeWidget>

#include <optional>
#include <vector>

class QMimeData;

namespace varno {

// The sidebar's playlists: the top level in the engine's order, each folder
// with its children beneath it, indented. Drawn as sidebar rows (type symbol,
// name, the selected row in the accent); a folder with children has a
// disclosure chevron at its end that opens and closes it, as a double click
// and the arrow keys do.
//
// Rows are dragged onto a folder (into it, last), between a folder's
// children (there) or onto the top level (out of its folder; the top level
// keeps name order); songs dragged from a song list are dropped on a
// standard playlist. The row a drop would go into is drawn outlined in the
// accent, a place between rows as an accent line; a folder never goes into
// itself. The tree only shows and asks: the sidebar fills it, says which row
// is selected and carries out the moves, additions and deletions asked for.
class SidebarPlaylistTree final : public QTreeWidget {
    Q_OBJECT

public:
    enum Role { PlaylistIDRole = Qt::UserRole, DestinationKindRole, TakesSongsRole };

    // A playlist row dragged inside the tree.
    static const QString kPlaylistDragMimeType;
    static QMimeData* playlistDragData(const QUuid& playlistID);
    static std::optional<QUuid> draggedPlaylistID(const QMimeData* data);

    // What a drop at a point would do.
    struct Drop {
        enum class Kind { None, Songs, Playlist };
        Kind kind = Kind::None;
        // Songs: the playlist that takes them. Playlist: the one moved.
        QUuid playlistID;
        // Playlist: the folder it goes into (absent: the top level) and its
        // place among the folder's other children.
        std::optional<QUuid> folderID;
        qsizetype index = 0;
        // The row drawn as the target, if any.
        QPersistentModelIndex target;
        // Where a line between rows is drawn (viewport coordinates), if any.
        std::optional<int> lineY;
    };

    explicit SidebarPlaylistTree(QWidget* parent = nullptr);

    // The symbol of a playlist's type: "music.note.list", "sparkles" or
    // "folder".
    static QString symbolFor(const Playlist& playlist);
    // What clicking the row of `playlist` selects.
    static NavigationDestination destinationFor(const Playlist& playlist);

    static std::optional<NavigationDestination> destinationOf(const QTreeWidgetItem* item);
    QTreeWidgetItem* itemFor(const QUuid& id) const;

    // What dropping `data` at `position` (viewport coordinates) would do.
    Drop dropAt(const QPoint& position, const QMimeData* data) const;
    // The drop shown while something is dragged over the tree.
    const Drop& shownDrop() const { return m_drop; }
    bool isDropTarget(const QModelIndex& index) const;

signals:
    // Songs dragged from a song list were dropped on a playlist.
    void songsDropped(const QUuid& playlistID, const std::vector<QUuid>& songIDs);
    void moveRequested(const QUuid& playlistID, const std::optional<QUuid>& folderID, qsizetype index);
    // Delete or Backspace on a row.
    void deleteRequested(const QUuid& playlistID);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showDrop(Drop drop);

    Drop m_drop;
};

} // namespace varno
