#include "SidebarPlaylistTree.h"

#include "ui/sidebar/SidebarRowPainter.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidgetItemIterator>

namespace varno {

namespace {

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
        const auto* tree = qobject_cast<const QTreeView*>(option.widget);
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
    return NavigationDestination{kind, item->data(0, PlaylistIDRole).toUuid()};
}

QTreeWidgetItem* SidebarPlaylistTree::itemFor(const QUuid& id) const
{
    for (QTreeWidgetItemIterator it(const_cast<SidebarPlaylistTree*>(this)); *it; ++it) {
        if ((*it)->data(0, PlaylistIDRole).toUuid() == id)
            return *it;
    }
    return nullptr;
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
