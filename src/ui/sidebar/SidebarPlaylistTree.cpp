#include "SidebarPlaylistTree.h"

#include "ui/songs/SongDragData.h"
#include "ui/sidebar/SidebarRowPainter.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidgetItemIterator>

namespace varno {

const QString SidebarPlaylistTree::kPlaylistDragMimeType = QStringLiteral("application/x-varno-playlist");

namespace {

QUuid idOf(const QTreeWidgetItem* item)
{
    return item->data(0, SidebarPlaylistTree::PlaylistIDRole).toUuid();
}

bool isFolderRow(const QTreeWidgetItem* item)
{
    return static_cast<NavigationDestination::Kind>(item->data(0, SidebarPlaylistTree::DestinationKindRole).toInt())
           == NavigationDestination::Kind::Folder;
}

std::optional<QUuid> folderOf(const QTreeWidgetItem* item)
{
    return item->parent() ? std::optional<QUuid>(idOf(item->parent())) : std::nullopt;
}

class SidebarRowDelegate final : public QStyledItemDelegate {
public:
    SidebarRowDelegate(const QColor& accent, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_accent(accent)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        sidebar::RowLook look;
        look.icon = index.data(Qt::DecorationRole).value<QIcon>();
        look.text = index.data(Qt::DisplayRole).toString();
        look.selected = option.state & QStyle::State_Selected;
        look.hovered = option.state & QStyle::State_MouseOver;
        look.enabled = option.state & QStyle::State_Enabled;
        const auto* tree = qobject_cast<const SidebarPlaylistTree*>(option.widget);
        look.dropTarget = tree && tree->isDropTarget(index);
        if (tree && index.model()->hasChildren(index)) {
            look.disclosure = tree->isExpanded(index) ? sidebar::RowLook::Disclosure::Expanded
                                                      : sidebar::RowLook::Disclosure::Collapsed;
        }
        QPalette palette = option.palette;
        palette.setColor(QPalette::Highlight, m_accent);
        sidebar::paintRow(*painter, option.rect, palette, option.font, look);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), sidebar::kRowHeight};
    }

private:
    // The tree's own palette has no highlight (see the constructor).
    QColor m_accent;
};

} // namespace

SidebarPlaylistTree::SidebarPlaylistTree(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("sidebarPlaylists"));
    setAccessibleName(tr("Playlists"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setIndentation(14);
    setUniformRowHeights(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new SidebarRowDelegate(palette().color(QPalette::Highlight), this));
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setStretchLastSection(true);
    // Drops are worked out here (dropAt), not by the tree's own item moves:
    // the engine moves playlists and the rows follow what it publishes.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);

    // The delegate draws the selected row itself; the style's own highlight
    // would paint the indentation of a selected child in full accent.
    QPalette treePalette = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        treePalette.setColor(group, QPalette::Highlight, Qt::transparent);
        treePalette.setColor(group, QPalette::HighlightedText, treePalette.color(group, QPalette::WindowText));
    }
    treePalette.setColor(QPalette::Base, Qt::transparent);
    setPalette(treePalette);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
}

QString SidebarPlaylistTree::symbolFor(const Playlist& playlist)
{
    switch (playlist.type.kind()) {
    case PlaylistType::Kind::Smart:
        return QStringLiteral("sparkles");
    case PlaylistType::Kind::Folder:
        return QStringLiteral("folder");
    case PlaylistType::Kind::Standard:
        break;
    }
    return QStringLiteral("music.note.list");
}

NavigationDestination SidebarPlaylistTree::destinationFor(const Playlist& playlist)
{
    if (playlist.type.kind() == PlaylistType::Kind::Folder)
        return NavigationDestination::folder(playlist.id);
    return NavigationDestination::playlist(playlist.id);
}

std::optional<NavigationDestination> SidebarPlaylistTree::destinationOf(const QTreeWidgetItem* item)
{
    if (!item)
        return std::nullopt;
    const auto kind = static_cast<NavigationDestination::Kind>(item->data(0, DestinationKindRole).toInt());
    return NavigationDestination{kind, idOf(item)};
}

QTreeWidgetItem* SidebarPlaylistTree::itemFor(const QUuid& id) const
{
    for (QTreeWidgetItemIterator it(const_cast<SidebarPlaylistTree*>(this)); *it; ++it) {
        if ((*it)->data(0, PlaylistIDRole).toUuid() == id)
            return *it;
    }
    return nullptr;
}

QMimeData* SidebarPlaylistTree::playlistDragData(const QUuid& playlistID)
{
    auto* data = new QMimeData;
    data->setData(kPlaylistDragMimeType, playlistID.toByteArray(QUuid::WithoutBraces).toUpper());
    return data;
}

std::optional<QUuid> SidebarPlaylistTree::draggedPlaylistID(const QMimeData* data)
{
    if (!data || !data->hasFormat(kPlaylistDragMimeType))
        return std::nullopt;
    const QUuid id = QUuid::fromString(QLatin1String(data->data(kPlaylistDragMimeType)));
    return id.isNull() ? std::nullopt : std::optional<QUuid>(id);
}

SidebarPlaylistTree::Drop SidebarPlaylistTree::dropAt(const QPoint& position, const QMimeData* data) const
{
    Drop drop;
    QTreeWidgetItem* over = itemAt(position);
    if (data && data->hasFormat(kSongDragMimeType)) {
        // Only a standard playlist holds songs put there by hand.
        if (over && over->data(0, TakesSongsRole).toBool()) {
            drop.kind = Drop::Kind::Songs;
            drop.playlistID = idOf(over);
            drop.target = indexFromItem(over);
        }
        return drop;
    }
    const std::optional<QUuid> movedID = draggedPlaylistID(data);
    const QTreeWidgetItem* moved = movedID ? itemFor(*movedID) : nullptr;
    if (!moved)
        return drop;

    // Onto the middle of a folder: into it, last. Onto another row's upper
    // or lower half (or a folder's edge): before or after that row, in its
    // folder. Below every row: the top level.
    std::optional<QUuid> folder;
    const QTreeWidgetItem* before = nullptr;
    bool into = false;
    QRect rowRect;
    bool after = false;
    if (over) {
        rowRect = visualItemRect(over);
        const int y = position.y() - rowRect.top();
        if (isFolderRow(over) && y >= rowRect.height() / 4 && y < rowRect.height() - rowRect.height() / 4) {
            into = true;
            folder = idOf(over);
        } else {
            folder = folderOf(over);
            after = y >= rowRect.height() / 2;
            before = over;
            if (after) {
                QTreeWidgetItem* parent = over->parent();
                const int next = (parent ? parent->indexOfChild(over) : indexOfTopLevelItem(over)) + 1;
                before = parent ? parent->child(next) : topLevelItem(next);
            }
        }
    }
    // A folder never goes into itself or anything inside it.
    for (const QTreeWidgetItem* at = folder ? itemFor(*folder) : nullptr; at; at = at->parent()) {
        if (at == moved)
            return drop;
    }
    qsizetype index = 0;
    if (folder) {
        const QTreeWidgetItem* parent = itemFor(*folder);
        for (int i = 0; i < parent->childCount() && parent->child(i) != before; ++i) {
            if (parent->child(i) != moved)
                ++index;
        }
    }
    // Where it is already: the top level keeps name order, and a folder's
    // child dropped beside itself stays where it is.
    if (folderOf(moved) == folder && (!folder || moved->parent()->indexOfChild(const_cast<QTreeWidgetItem*>(moved)) == index))
        return drop;

    drop.kind = Drop::Kind::Playlist;
    drop.playlistID = *movedID;
    drop.folderID = folder;
    drop.index = index;
    if (into)
        drop.target = indexFromItem(over);
    else if (folder)
        drop.lineY = after ? rowRect.bottom() + 1 : rowRect.top();
    return drop;
}

bool SidebarPlaylistTree::isDropTarget(const QModelIndex& index) const
{
    return m_drop.target.isValid() && m_drop.target == index;
}

void SidebarPlaylistTree::showDrop(Drop drop)
{
    m_drop = std::move(drop);
    viewport()->update();
}

void SidebarPlaylistTree::startDrag(Qt::DropActions)
{
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(playlistDragData(idOf(item)));
    drag->setPixmap(viewport()->grab(visualItemRect(item)));
    drag->exec(Qt::MoveAction);
}

void SidebarPlaylistTree::dragEnterEvent(QDragEnterEvent* event)
{
    // Anything else (playlist files) is the sidebar's to take.
    if (!event->mimeData()->hasFormat(kSongDragMimeType) && !draggedPlaylistID(event->mimeData())) {
        event->ignore();
        return;
    }
    // Taken even where nothing can be dropped, so the moves that follow
    // come here and say, row by row, where a drop would go.
    showDrop(dropAt(event->position().toPoint(), event->mimeData()));
    event->accept();
}

void SidebarPlaylistTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (!event->mimeData()->hasFormat(kSongDragMimeType) && !draggedPlaylistID(event->mimeData())) {
        event->ignore();
        return;
    }
    Drop drop = dropAt(event->position().toPoint(), event->mimeData());
    if (drop.kind == Drop::Kind::None) {
        event->ignore();
    } else {
        event->setDropAction(drop.kind == Drop::Kind::Playlist ? Qt::MoveAction : Qt::CopyAction);
        event->accept();
    }
    showDrop(std::move(drop));
}

void SidebarPlaylistTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    showDrop({});
    event->accept();
}

void SidebarPlaylistTree::dropEvent(QDropEvent* event)
{
    const Drop drop = dropAt(event->position().toPoint(), event->mimeData());
    showDrop({});
    switch (drop.kind) {
    case Drop::Kind::None:
        event->ignore();
        return;
    case Drop::Kind::Songs:
        event->setDropAction(Qt::CopyAction);
        event->accept();
        emit songsDropped(drop.playlistID, draggedSongIds(event->mimeData()));
        return;
    case Drop::Kind::Playlist:
        event->setDropAction(Qt::MoveAction);
        event->accept();
        emit moveRequested(drop.playlistID, drop.folderID, drop.index);
        return;
    }
}

void SidebarPlaylistTree::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (!m_drop.lineY)
        return;
    QPainter painter(viewport());
    sidebar::paintDropLine(painter, viewport()->rect(), *m_drop.lineY, palette());
}

void SidebarPlaylistTree::keyPressEvent(QKeyEvent* event)
{
    if ((event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) && currentItem()) {
        emit deleteRequested(idOf(currentItem()));
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void SidebarPlaylistTree::mousePressEvent(QMouseEvent* event)
{
    // The chevron opens and closes the folder without selecting it, so a
    // folder can be looked into while another screen stays shown.
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && model()->hasChildren(index)
            && sidebar::disclosureRect(visualRect(index)).adjusted(-4, -6, 4, 6).contains(event->position().toPoint())) {
            setExpanded(index, !isExpanded(index));
            event->accept();
            return;
        }
    }
    QTreeWidget::mousePressEvent(event);
}

} // namespace varno
