#include "SidebarView.h"

#include "library/LibraryEngine.h"
#include "platform/Error.h"
#include "playlists/PlaylistEngine.h"
#include "ui/DesktopDialogs.h"
#include "workspace/WorkspacePanelState.h"
#include "ui/Icons.h"
#include "ui/DropOverlay.h"
#include "ui/ViewEnvironment.h"
#include "ui/playlists/PlaylistFileActions.h"
#include "ui/playlists/SmartPlaylistSetupView.h"
#include "ui/sidebar/NewPlaylistForm.h"
#include "ui/sidebar/SidebarPlaylistTree.h"
#include "ui/sidebar/SidebarRow.h"
#include "ui/sidebar/SidebarRowPainter.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

const QString SidebarView::kTitle = QStringLiteral("VARNO MUSIC");
const QString SidebarView::kLibraryCaption = QStringLiteral("LIBRARY");
const QString SidebarView::kSongsSection = QStringLiteral("SONGS");
const QString SidebarView::kPlaylistsSection = QStringLiteral("PLAYLISTS");
const QString SidebarView::kAllSongs = QStringLiteral("All Songs");
const QString SidebarView::kRecentlyAdded = QStringLiteral("Recently Added");
const QString SidebarView::kRecentlyPlayed = QStringLiteral("Recently Played");
const QString SidebarView::kTopRated = QStringLiteral("Top Rated");
const QString SidebarView::kFavorites = QStringLiteral("Favorites");
const QString SidebarView::kAlbums = QStringLiteral("Albums");
const QString SidebarView::kArtists = QStringLiteral("Artists");
const QString SidebarView::kNewPlaylistHelp = QStringLiteral("New Playlist");
const QString SidebarView::kNewPlaylist = QStringLiteral("New Playlist");
const QString SidebarView::kNewSmartPlaylist = QStringLiteral("New Smart Playlist…");
const QString SidebarView::kNewFolder = QStringLiteral("New Folder");
const QString SidebarView::kRename = QStringLiteral("Rename…");
const QString SidebarView::kExport = QStringLiteral("Export…");
const QString SidebarView::kSettings = QStringLiteral("Settings");
const QString SidebarView::kDuplicate = QStringLiteral("Duplicate");
const QString SidebarView::kDelete = QStringLiteral("Delete…");
const QString SidebarView::kDeleteButton = QStringLiteral("Delete");
const QString SidebarView::kDuplicateFailed = QStringLiteral("The playlist could not be duplicated.");
const QString SidebarView::kDeleteFailed = QStringLiteral("The playlist could not be deleted.");
const QString SidebarView::kMoveFailed = QStringLiteral("The playlist could not be moved.");
const QString SidebarView::kAddSongsFailed = QStringLiteral("The songs could not be added to the playlist.");

namespace {

struct FixedScreen {
    const char* objectName;
    const char* symbol;
    const QString& label;
    NavigationDestination destination;
};

// In the order they are listed; m_fixedRows holds their rows in the same order.
const std::array<FixedScreen, 7>& fixedScreens()
{
    static const std::array<FixedScreen, 7> screens = {{
        {"sidebarRow.songs", "music.note", SidebarView::kAllSongs, NavigationDestination::songs()},
        {"sidebarRow.recentlyAdded", "clock", SidebarView::kRecentlyAdded, NavigationDestination::recentlyAdded()},
        {"sidebarRow.recentlyPlayed", "clock.arrow.circlepath", SidebarView::kRecentlyPlayed, NavigationDestination::recentlyPlayed()},
        {"sidebarRow.topRated", "star", SidebarView::kTopRated, NavigationDestination::topRated()},
        {"sidebarRow.favorites", "heart", SidebarView::kFavorites, NavigationDestination::favorites()},
        {"sidebarRow.albums", "square.stack", SidebarView::kAlbums, NavigationDestination::albums()},
        {"sidebarRow.artists", "music.mic", SidebarView::kArtists, NavigationDestination::artists()},
    }};
    return screens;
}

} // namespace

SidebarView::SidebarView(ViewEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
{
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(WorkspacePanelState::panelName(WorkspacePanelSide::Left));
    setAutoFillBackground(true);
    QPalette sidebarPalette = palette();
    sidebarPalette.setColor(QPalette::Window, sidebar::backgroundColor(palette()));
    setPalette(sidebarPalette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(sidebar::kRowInset, 14, sidebar::kRowInset, 10);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addSpacing(18);

    layout->addWidget(makeCaption(kSongsSection));
    layout->addSpacing(4);
    for (std::size_t i = 0; i < fixedScreens().size(); ++i) {
        const FixedScreen& screen = fixedScreens()[i];
        auto* row = new SidebarRow(QString::fromLatin1(screen.symbol), screen.label, this);
        row->setObjectName(QString::fromLatin1(screen.objectName));
        connect(row, &SidebarRow::clicked, this, [this, i] { setSelection(fixedScreens()[i].destination); });
        layout->addWidget(row);
        m_fixedRows[i] = row;
    }
    layout->addSpacing(16);

    auto* playlistsHeader = new QHBoxLayout;
    playlistsHeader->setContentsMargins(0, 0, 0, 0);
    playlistsHeader->addWidget(makeCaption(kPlaylistsSection), 1);
    auto* plus = new QToolButton(this);
    plus->setObjectName(QStringLiteral("newPlaylistButton"));
    plus->setIcon(symbolIcon(u"plus"));
    plus->setIconSize(QSize(14, 14));
    plus->setAutoRaise(true);
    plus->setFixedSize(22, 22);
    plus->setToolTip(kNewPlaylistHelp);
    plus->setAccessibleName(kNewPlaylistHelp);
    plus->setCursor(Qt::PointingHandCursor);
    playlistsHeader->addWidget(plus);
    m_newPlaylistButton = plus;
    layout->addLayout(playlistsHeader);
    layout->addSpacing(4);

    m_form = new NewPlaylistForm(m_environment.playlistEngine, this);
    layout->addWidget(m_form);
    // Air between the open form and the rows below it.
    auto* formGap = new QWidget(this);
    formGap->setFixedHeight(6);
    formGap->setVisible(false);
    layout->addWidget(formGap);
    connect(m_form, &NewPlaylistForm::openChanged, formGap, &QWidget::setVisible);
    m_newPlaylistMenu = new QMenu(this);
    m_newPlaylistMenu->setObjectName(QStringLiteral("newPlaylistMenu"));
    connect(m_newPlaylistMenu->addAction(symbolIcon(u"music.note.list"), kNewPlaylist), &QAction::triggered, m_form,
            [this] { m_form->open(NewPlaylistForm::Kind::Playlist); });
    connect(m_newPlaylistMenu->addAction(symbolIcon(u"sparkles"), kNewSmartPlaylist), &QAction::triggered, this,
            &SidebarView::openSmartPlaylistSheet);
    connect(m_newPlaylistMenu->addAction(symbolIcon(u"folder.badge.plus"), kNewFolder), &QAction::triggered, m_form,
            [this] { m_form->open(NewPlaylistForm::Kind::Folder); });
    // popup(), not the button's own menu: that one runs a nested event loop
    // until the menu closes.
    connect(plus, &QToolButton::clicked, this, [this, plus] { m_newPlaylistMenu->popup(plus->mapToGlobal(QPoint(0, plus->height()))); });

    m_playlistFiles = new PlaylistFileActions(m_environment, this, this);
    connect(m_playlistFiles, &PlaylistFileActions::imported, this,
            [this](const Playlist& playlist) { setSelection(NavigationDestination::playlist(playlist.id)); });
    setAcceptDrops(true);

    m_tree = new SidebarPlaylistTree(this);
    layout->addWidget(m_tree, 1);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &SidebarView::treeSelectionChanged);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &SidebarView::showRowMenu);
    connect(m_tree, &SidebarPlaylistTree::deleteRequested, this, &SidebarView::confirmAndDelete);
    connect(m_tree, &SidebarPlaylistTree::moveRequested, this,
            [this](const QUuid& playlistID, const std::optional<QUuid>& folderID, qsizetype index) {
                auto moving = movePlaylist(playlistID, folderID, index);
            });
    connect(m_tree, &SidebarPlaylistTree::songsDropped, this, [this](const QUuid& playlistID, const std::vector<QUuid>& songIDs) {
        auto adding = addDroppedSongs(playlistID, songIDs);
    });
    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (!m_rebuilding)
            m_expandedFolders.insert(item->data(0, SidebarPlaylistTree::PlaylistIDRole).toUuid());
    });
    connect(m_tree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (!m_rebuilding)
            m_expandedFolders.remove(item->data(0, SidebarPlaylistTree::PlaylistIDRole).toUuid());
    });

    layout->addSpacing(6);
    auto* settings = new SidebarRow(QStringLiteral("gearshape"), kSettings, this);
    settings->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton = settings;
    layout->addWidget(settings);
    connect(settings, &SidebarRow::clicked, this, &SidebarView::settingsRequested);

    connect(&m_environment.playlistEngine, &PlaylistEngine::rootPlaylistsChanged, this, &SidebarView::rebuildPlaylistRows);
    rebuildPlaylistRows();
}

QSize SidebarView::sizeHint() const
{
    return {sidebar::kSidebarWidth, QWidget::sizeHint().height()};
}

QWidget* SidebarView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(6, 0, 0, 0);
    layout->setSpacing(10);

    auto* symbol = new QLabel(header);
    symbol->setPixmap(symbolIcon(u"waveform", palette().color(QPalette::Highlight)).pixmap(26, 26));
    layout->addWidget(symbol, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* title = new QLabel(kTitle, header);
    title->setObjectName(QStringLiteral("sidebarTitle"));
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.08);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    title->setFont(titleFont);
    auto* caption = new QLabel(kLibraryCaption, header);
    caption->setObjectName(QStringLiteral("sidebarCaption"));
    caption->setFont(sidebar::captionFont(caption->font()));
    caption->setForegroundRole(QPalette::PlaceholderText);
    texts->addWidget(title);
    texts->addWidget(caption);
    layout->addLayout(texts, 1);
    return header;
}

QWidget* SidebarView::makeCaption(const QString& text)
{
    auto* caption = new QLabel(text, this);
    caption->setFont(sidebar::captionFont(caption->font()));
    caption->setForegroundRole(QPalette::PlaceholderText);
    caption->setContentsMargins(8, 0, 0, 0);
    return caption;
}

SidebarRow* SidebarView::fixedRow(NavigationDestination::Kind kind) const
{
    for (std::size_t i = 0; i < m_fixedRows.size(); ++i) {
        if (fixedScreens()[i].destination.kind == kind)
            return m_fixedRows[i];
    }
    return nullptr;
}

QTreeWidgetItem* SidebarView::playlistItem(const QUuid& id) const
{
    return m_tree->itemFor(id);
}

void SidebarView::rebuildPlaylistRows()
{
    m_rebuilding = true;
    m_tree->clear();
    m_shownPlaylists.clear();
    QSet<QUuid> shownFolders;
    for (const Playlist& playlist : m_environment.playlistEngine.rootPlaylists())
        addPlaylistRow(nullptr, playlist, shownFolders);
    for (const QUuid& folder : std::as_const(m_expandedFolders)) {
        if (QTreeWidgetItem* item = m_tree->itemFor(folder))
            item->setExpanded(true);
    }
    showSelection();
    m_rebuilding = false;
}

void SidebarView::addPlaylistRow(QTreeWidgetItem* parent, const Playlist& playlist, QSet<QUuid>& shownFolders)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setText(0, playlist.name);
    item->setToolTip(0, playlist.name);
    item->setIcon(0, symbolIcon(SidebarPlaylistTree::symbolFor(playlist)));
    const NavigationDestination destination = SidebarPlaylistTree::destinationFor(playlist);
    item->setData(0, SidebarPlaylistTree::PlaylistIDRole, playlist.id);
    item->setData(0, SidebarPlaylistTree::DestinationKindRole, static_cast<int>(destination.kind));
    // Only a standard playlist holds songs put there by hand.
    item->setData(0, SidebarPlaylistTree::TakesSongsRole, playlist.type.kind() == PlaylistType::Kind::Standard);
    m_shownPlaylists.insert(playlist.id, playlist);
    // A folder is listed once, so a hand-edited store whose folders contain
    // each other cannot make the rows endless.
    if (playlist.type.kind() != PlaylistType::Kind::Folder || shownFolders.contains(playlist.id))
        return;
    shownFolders.insert(playlist.id);
    for (const Playlist& child : m_environment.playlistEngine.childrenOf(playlist.id))
        addPlaylistRow(item, child, shownFolders);
}

void SidebarView::setSelection(std::optional<NavigationDestination> selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    showSelection();
    emit selectionChanged(m_selection);
}

void SidebarView::showSelection()
{
    for (std::size_t i = 0; i < m_fixedRows.size(); ++i)
        m_fixedRows[i]->setSelected(m_selection == fixedScreens()[i].destination);

    const bool wasRebuilding = m_rebuilding;
    m_rebuilding = true;
    QTreeWidgetItem* selected = nullptr;
    if (m_selection && (m_selection->kind == NavigationDestination::Kind::Playlist || m_selection->kind == NavigationDestination::Kind::Folder)) {
        QTreeWidgetItem* item = m_tree->itemFor(m_selection->id);
        if (item && SidebarPlaylistTree::destinationOf(item) == m_selection)
            selected = item;
    }
    if (selected) {
        // A playlist chosen elsewhere (on its folder's screen) is shown in
        // its folder, which stays open; a rebuild leaves closed what the
        // user closed.
        for (QTreeWidgetItem* folder = wasRebuilding ? nullptr : selected->parent(); folder; folder = folder->parent()) {
            m_expandedFolders.insert(folder->data(0, SidebarPlaylistTree::PlaylistIDRole).toUuid());
            folder->setExpanded(true);
        }
        m_tree->setCurrentItem(selected);
    } else {
        m_tree->clearSelection();
        m_tree->setCurrentItem(nullptr);
    }
    m_rebuilding = wasRebuilding;
}

void SidebarView::treeSelectionChanged()
{
    if (m_rebuilding)
        return;
    const QList<QTreeWidgetItem*> items = m_tree->selectedItems();
    if (items.isEmpty()) {
        // A Ctrl-click can clear the tree's selection; the screen shown does
        // not change, so neither does its row.
        showSelection();
        return;
    }
    setSelection(SidebarPlaylistTree::destinationOf(items.first()));
}

SmartPlaylistSetupView* SidebarView::smartPlaylistSheet() const
{
    return m_smartSheet;
}

void SidebarView::openSmartPlaylistSheet()
{
    if (m_smartSheet) {
        m_smartSheet->raise();
        m_smartSheet->activateWindow();
        return;
    }
    auto* sheet = new SmartPlaylistSetupView(m_environment.playlistEngine, window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_smartSheet = sheet;
    sheet->open();
}

void SidebarView::showRowMenu(const QPoint& position)
{
    QTreeWidgetItem* item = m_tree->itemAt(position);
    if (!item)
        return;
    const auto found = m_shownPlaylists.constFind(item->data(0, SidebarPlaylistTree::PlaylistIDRole).toUuid());
    if (found == m_shownPlaylists.constEnd())
        return;
    const Playlist playlist = *found;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("playlistRowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* rename = menu->addAction(symbolIcon(u"pencil"), kRename);
    connect(rename, &QAction::triggered, this, [this, playlist] { emit renameRequested(playlist); });
    QAction* duplicate = menu->addAction(symbolIcon(u"square.stack"), kDuplicate);
    connect(duplicate, &QAction::triggered, this, [this, id = playlist.id] { auto duplicating = duplicatePlaylist(id); });
    if (playlist.type.kind() != PlaylistType::Kind::Folder) {
        QAction* exporting = menu->addAction(symbolIcon(u"square.and.arrow.down.on.square"), kExport);
        connect(exporting, &QAction::triggered, this, [this, playlist] { m_playlistFiles->chooseAndExport(playlist); });
    }
    menu->addSeparator();
    QAction* remove = menu->addAction(symbolIcon(u"trash"), kDelete);
    connect(remove, &QAction::triggered, this, [this, id = playlist.id] { confirmAndDelete(id); });
    menu->popup(m_tree->viewport()->mapToGlobal(position));
}

QString SidebarView::deleteTitle(const Playlist& playlist)
{
    return playlist.type.kind() == PlaylistType::Kind::Folder ? QStringLiteral("Delete Folder") : QStringLiteral("Delete Playlist");
}

QString SidebarView::deleteQuestion(const Playlist& playlist, qsizetype inside)
{
    const QString name = QStringLiteral("\u201C%1\u201D").arg(playlist.name);
    if (playlist.type.kind() != PlaylistType::Kind::Folder)
        return QStringLiteral("Delete the playlist %1? Its songs stay in the library.").arg(name);
    if (inside == 0)
        return QStringLiteral("Delete the folder %1?").arg(name);
    const QString what = inside == 1 ? QStringLiteral("the playlist") : QStringLiteral("the %1 playlists").arg(inside);
    return QStringLiteral("Delete the folder %1 and %2 in it? Their songs stay in the library.").arg(name, what);
}

QList<QUuid> SidebarView::idsInside(const QUuid& folderID) const
{
    QList<QUuid> inside;
    QSet<QUuid> seen {folderID};
    QList<QUuid> open {folderID};
    while (!open.isEmpty()) {
        for (const Playlist& child : m_environment.playlistEngine.childrenOf(open.takeLast())) {
            if (seen.contains(child.id))
                continue;
            seen.insert(child.id);
            inside.append(child.id);
            open.append(child.id);
        }
    }
    return inside;
}

void SidebarView::confirmAndDelete(const QUuid& playlistID)
{
    const std::optional<Playlist> playlist = m_environment.playlistEngine.findPlaylist(playlistID);
    if (!playlist)
        return;
    const QList<QUuid> inside = idsInside(playlistID);
    if (!m_environment.dialogs.confirmDestructive(window(), deleteTitle(*playlist), deleteQuestion(*playlist, inside.size()), kDeleteButton))
        return;
    auto deleting = deletePlaylist(playlistID, inside);
}

void SidebarView::reportFailure(const QString& message, const QString& reason)
{
    m_environment.dialogs.showWarning(window(), message, reason);
}

QCoro::Task<> SidebarView::duplicatePlaylist(QUuid playlistID)
{
    const QPointer<SidebarView> self(this);
    QString failure;
    try {
        auto duplicating = m_environment.playlistEngine.duplicate(playlistID);
        co_await duplicating;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (self && !failure.isEmpty())
        reportFailure(kDuplicateFailed, failure);
}

QCoro::Task<> SidebarView::deletePlaylist(QUuid playlistID, QList<QUuid> goingWithIt)
{
    const QPointer<SidebarView> self(this);
    QString failure;
    try {
        auto deleting = m_environment.playlistEngine.deletePlaylist(playlistID);
        co_await deleting;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    if (!failure.isEmpty()) {
        reportFailure(kDeleteFailed, failure);
        co_return;
    }
    // The screen of what was deleted gives way to the whole library.
    goingWithIt.append(playlistID);
    if (m_selection && goingWithIt.contains(m_selection->id)
        && (m_selection->kind == NavigationDestination::Kind::Playlist || m_selection->kind == NavigationDestination::Kind::Folder))
        setSelection(NavigationDestination::songs());
}

QCoro::Task<> SidebarView::movePlaylist(QUuid playlistID, std::optional<QUuid> folderID, qsizetype index)
{
    const QPointer<SidebarView> self(this);
    QString failure;
    try {
        auto moving = m_environment.playlistEngine.move(playlistID, folderID, index);
        co_await moving;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    if (!failure.isEmpty()) {
        reportFailure(kMoveFailed, failure);
        co_return;
    }
    // Moved into a closed folder, the playlist is shown where it went.
    if (folderID) {
        m_expandedFolders.insert(*folderID);
        if (QTreeWidgetItem* folder = m_tree->itemFor(*folderID))
            folder->setExpanded(true);
    }
}

QCoro::Task<> SidebarView::addDroppedSongs(QUuid playlistID, std::vector<QUuid> songIDs)
{
    // The songs as the library has them now, in the order they were
    // dragged; songs that left the library meanwhile are passed over.
    const QSet<QUuid> wanted(songIDs.begin(), songIDs.end());
    QHash<QUuid, SharedTrack> found;
    for (const SharedTrack& song : m_environment.libraryEngine.allTracks().sharedSongs()) {
        if (wanted.contains(song->id))
            found.insert(song->id, song);
    }
    TrackList songs;
    songs.reserve(songIDs.size());
    for (const QUuid& id : songIDs) {
        if (const SharedTrack song = found.value(id))
            songs.append(song);
    }
    if (songs.empty())
        co_return;
    const QPointer<SidebarView> self(this);
    QString failure;
    try {
        auto adding = m_environment.playlistEngine.addTracks(std::move(songs), playlistID);
        co_await adding;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (self && !failure.isEmpty())
        reportFailure(kAddSongsFailed, failure);
}

namespace {

// The playlist files among what is dragged; drags of anything else are left
// to whoever takes them.
std::vector<FileURL> draggedPlaylistFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    std::vector<FileURL> urls = droppedFileURLs(data->urls());
    std::erase_if(urls, [](const FileURL& url) { return !PlaylistFileActions::isPlaylistFile(url); });
    return urls;
}

} // namespace

void SidebarView::dragEnterEvent(QDragEnterEvent* event)
{
    if (draggedPlaylistFiles(event->mimeData()).empty())
        return QWidget::dragEnterEvent(event);
    event->acceptProposedAction();
}

void SidebarView::dragMoveEvent(QDragMoveEvent* event)
{
    if (draggedPlaylistFiles(event->mimeData()).empty())
        return QWidget::dragMoveEvent(event);
    event->acceptProposedAction();
}

void SidebarView::dropEvent(QDropEvent* event)
{
    std::vector<FileURL> files = draggedPlaylistFiles(event->mimeData());
    if (files.empty())
        return QWidget::dropEvent(event);
    event->acceptProposedAction();
    m_playlistFiles->importFiles(std::move(files));
}

} // namespace varno
