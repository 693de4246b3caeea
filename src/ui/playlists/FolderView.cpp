#include "FolderView.h"

#include "playlists/PlaylistEngine.h"
#include "ui/EmptyStateView.h"
#include "ui/Icons.h"
#include "ui/ViewEnvironment.h"
#include "ui/sidebar/SidebarPlaylistTree.h"

#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace varno {

const QString FolderView::kEmptyTitle = QStringLiteral("This folder is empty");
const QString FolderView::kEmptySubtitle = QStringLiteral("Drag playlists onto the folder in the sidebar");

namespace {

constexpr int kIDRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;

} // namespace

FolderView::FolderView(ViewEnvironment& environment, Playlist folder, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
    , m_folder(std::move(folder))
{
    setObjectName(QStringLiteral("folderScreen"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(20, 16, 16, 12);
    headerLayout->setSpacing(2);
    m_title = new QLabel(header);
    m_title->setObjectName(QStringLiteral("folderTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.7);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_count = new QLabel(header);
    m_count->setObjectName(QStringLiteral("folderCount"));
    m_count->setForegroundRole(QPalette::PlaceholderText);
    headerLayout->addWidget(m_title);
    headerLayout->addWidget(m_count);
    layout->addWidget(header);

    m_content = new QStackedWidget(this);
    m_list = new QListWidget(m_content);
    m_list->setObjectName(QStringLiteral("folderPlaylists"));
    m_list->setAccessibleName(tr("Playlists in the folder"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setIconSize(QSize(20, 20));
    m_list->setUniformItemSizes(true);
    m_list->setSpacing(2);
    m_list->setCursor(Qt::PointingHandCursor);
    m_emptyState = new EmptyStateView(QStringLiteral("folder"), kEmptyTitle, kEmptySubtitle, m_content);
    m_content->addWidget(m_list);
    m_content->addWidget(m_emptyState);
    layout->addWidget(m_content, 1);

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit playlistChosen({static_cast<NavigationDestination::Kind>(item->data(kKindRole).toInt()), item->data(kIDRole).toUuid()});
    });
    connect(&m_environment.playlistEngine, &PlaylistEngine::rootPlaylistsChanged, this, &FolderView::refresh);
    refresh();
}

QString FolderView::countText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 playlist") : QStringLiteral("%1 playlists").arg(count);
}

QString FolderView::detailOf(const Playlist& playlist) const
{
    switch (playlist.type.kind()) {
    case PlaylistType::Kind::Folder:
        return countText(m_environment.playlistEngine.childrenOf(playlist.id).size());
    case PlaylistType::Kind::Smart:
        return QStringLiteral("Smart playlist");
    case PlaylistType::Kind::Standard:
        break;
    }
    const std::size_t songs = m_environment.playlistEngine.getTracks(playlist.id).size();
    return songs == 1 ? QStringLiteral("1 song") : QStringLiteral("%1 songs").arg(songs);
}

QListWidgetItem* FolderView::itemFor(const QUuid& id) const
{
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(kIDRole).toUuid() == id)
            return m_list->item(row);
    }
    return nullptr;
}

void FolderView::refresh()
{
    // Gone (deleted here or elsewhere): the window chooses another screen.
    if (const std::optional<Playlist> current = m_environment.playlistEngine.findPlaylist(m_folder.id))
        m_folder = *current;
    m_title->setText(m_folder.name);
    const QList<Playlist> children = m_environment.playlistEngine.childrenOf(m_folder.id);
    m_count->setText(countText(children.size()));
    m_list->clear();
    for (const Playlist& child : children) {
        auto* item = new QListWidgetItem(symbolIcon(SidebarPlaylistTree::symbolFor(child)), child.name + QStringLiteral("  \u00B7  ") + detailOf(child), m_list);
        item->setData(kIDRole, child.id);
        item->setData(kKindRole, static_cast<int>(SidebarPlaylistTree::destinationFor(child).kind));
        item->setToolTip(child.name);
        item->setSizeHint(QSize(0, 36));
    }
    m_content->setCurrentWidget(children.isEmpty() ? static_cast<QWidget*>(m_emptyState) : m_list);
}

} // namespace varno
