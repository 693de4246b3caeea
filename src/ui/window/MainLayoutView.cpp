#include "MainLayoutView.h"

#include "workspace/RecoveryMessage.h"
#include "workspace/WindowMemory.h"
#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "ui/albums/AlbumBrowserView.h"
#include "ui/inspector/NowPlayingPanelView.h"
#include "ui/playlists/FolderView.h"
#include "ui/playlists/PlaylistDetailView.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/FixedTrackSource.h"
#include "ui/songs/SongLists.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/player/BottomPlayerView.h"
#include "ui/player/PlayerTransportControls.h"
#include "ui/queue/QueueView.h"
#include "platform/ProcessClock.h"
#include "ui/window/ImportProgressStrip.h"
#include "ui/window/RecoveryBanner.h"
#include "ui/window/WorkspacePanelRegion.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace varno {

Q_LOGGING_CATEGORY(lcUi, "varno.ui")

namespace {

// Logs, once per process, the first paint of a song list's rows.
class FirstRowsReporter final : public QObject {
public:
    FirstRowsReporter(TrackListView* list, QWidget* viewport)
        : QObject(viewport)
        , m_list(list)
    {
        viewport->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !s_reported && m_list->model().rowCount() > 0) {
            s_reported = true;
            const qint64 rows = m_list->model().rowCount();
            // After this paint, so the time covers the frame itself.
            QMetaObject::invokeMethod(
                this,
                [rows] {
                    qCInfo(lcUi).noquote()
                        << QStringLiteral("first song rows painted: %1 songs, %2 ms after the process started").arg(rows).arg(millisecondsSinceProcessStart());
                },
                Qt::QueuedConnection);
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    static inline bool s_reported = false;
    TrackListView* m_list;
};

} // namespace

MainLayoutView::MainLayoutView(ViewEnvironment environment, RecoveryMessage& recoveryMessage, QUndoStack* undoStack, WindowMemory& memory,
                               QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
    , m_undoStack(undoStack)
    , m_memory(memory)
{
    setObjectName(QStringLiteral("mainLayout"));
    // The window keeps to the smallest size (menu bar included); below it,
    // the parts of this view fit by giving way (fitRow()), so this view
    // itself asks for no more than the window leaves it.
    setMinimumWidth(kMinimumWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_banner = new RecoveryBanner(recoveryMessage, environment.themeEngine, this);
    column->addWidget(m_banner);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    m_sidebar = new SidebarView(m_environment);
    m_left = new WorkspacePanelRegion(WorkspacePanelSide::Left, environment.panelState, environment.themeEngine, m_sidebar, this);
    connect(m_sidebar, &SidebarView::selectionChanged, this, &MainLayoutView::setSelection);
    connect(m_sidebar, &SidebarView::renameRequested, this, &MainLayoutView::renameRequested);
    connect(m_sidebar, &SidebarView::settingsRequested, this, &MainLayoutView::settingsRequested);
    auto* centreColumn = m_centreColumn = new QWidget(this);
    centreColumn->setMinimumWidth(kMinimumCentreWidth);
    auto* centreLayout = new QVBoxLayout(centreColumn);
    centreLayout->setContentsMargins(0, 0, 0, 0);
    centreLayout->setSpacing(0);
    m_centre = new QStackedWidget(centreColumn);
    m_importProgress = new ImportProgressStrip(environment.libraryEngine, centreColumn);
    centreLayout->addWidget(m_centre, 1);
    centreLayout->addWidget(m_importProgress);
    // The play queue opens beside the centre, before the now-playing panel.
    m_queue = new QueueView(m_environment, this);
    m_queue->setObjectName(QStringLiteral("queuePanel"));
    m_queue->setFixedWidth(kQueueWidth);
    m_queue->hide();
    auto* nowPlaying = new NowPlayingPanelView(environment);
    connect(nowPlaying, &NowPlayingPanelView::editRequested, this, [this](const Track& track) { emit editRequested(TrackList({track})); });
    m_right = new WorkspacePanelRegion(WorkspacePanelSide::Right, environment.panelState, environment.themeEngine, nowPlaying, this);
    // A panel without room comes back when the queue makes way for it.
    connect(m_right, &WorkspacePanelRegion::roomRequested, this, [this] { setQueueVisible(false); });
    connect(m_left, &WorkspacePanelRegion::roomRequested, this, [this] { setQueueVisible(false); });
    connect(&environment.panelState, &WorkspacePanelState::panelChanged, this, &MainLayoutView::fitRow);
    row->addWidget(m_left);
    row->addWidget(centreColumn, 1);
    row->addWidget(m_queue);
    row->addWidget(m_right);
    column->addLayout(row, 1);

    auto* line = new QWidget(this);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette linePalette = line->palette();
    QColor lineColour = palette().color(QPalette::WindowText);
    lineColour.setAlphaF(0.10);
    linePalette.setColor(QPalette::Window, lineColour);
    line->setPalette(linePalette);
    column->addWidget(line);
    m_player = new BottomPlayerView(m_environment, this);
    column->addWidget(m_player);
    connect(m_player, &BottomPlayerView::queueVisibleChanged, this, &MainLayoutView::setQueueVisible);

    connect(&m_environment.queueEngine, &QueueEngine::currentTrackChanged, this, &MainLayoutView::updatePlaybackKeys);
    connect(&m_environment.queueEngine, &QueueEngine::upcomingChanged, this, &MainLayoutView::updatePlaybackKeys);
    connect(&m_environment.queueEngine, &QueueEngine::repeatModeChanged, this, &MainLayoutView::updatePlaybackKeys);
    connect(&m_environment.playlistEngine, &PlaylistEngine::rootPlaylistsChanged, this, &MainLayoutView::showScreen);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
    updatePlaybackKeys();
    qApp->installEventFilter(this);
    showScreen();
    setQueueVisible(m_memory.isQueueOpen());
    fitRow();
}

MainLayoutView::~MainLayoutView()
{
    qApp->removeEventFilter(this);
}

void MainLayoutView::setSelection(const std::optional<NavigationDestination>& selection)
{
    if (m_selection == selection && m_centre->count() > 0)
        return;
    m_selection = selection;
    m_sidebar->setSelection(selection);
    showScreen();
}

void MainLayoutView::showArtist(const QString& name)
{
    setSelection(NavigationDestination::artists());
    if (auto* albums = qobject_cast<AlbumBrowserView*>(m_transientScreen.data()))
        albums->openArtistNamed(name);
}

void MainLayoutView::showAlbum(const QString& title)
{
    setSelection(NavigationDestination::albums());
    if (auto* albums = qobject_cast<AlbumBrowserView*>(m_transientScreen.data()))
        albums->openAlbumTitled(title);
}

QWidget* MainLayoutView::centreWidget() const
{
    return m_centre->currentWidget();
}

WorkspacePanelRegion* MainLayoutView::panelRegion(WorkspacePanelSide side) const
{
    return side == WorkspacePanelSide::Left ? m_left : m_right;
}

TrackListView* MainLayoutView::visibleTrackList() const
{
    QWidget* shown = m_centre->currentWidget();
    if (auto* list = qobject_cast<TrackListView*>(shown))
        return list;
    return shown ? shown->findChild<TrackListView*>() : nullptr;
}

bool MainLayoutView::isQueueVisible() const
{
    return m_queue->isVisibleTo(this);
}

void MainLayoutView::setQueueVisible(bool visible)
{
    if (visible == isQueueVisible())
        return;
    m_queue->setVisible(visible);
    m_player->setQueueVisible(visible);
    m_memory.setQueueOpen(visible);
    fitRow();
}

QList<FocusRegions::Region> MainLayoutView::focusRegions() const
{
    TrackListView* list = visibleTrackList();
    using Region = FocusRegions::Region;
    QList<Region> regions {Region {m_left, nullptr}, Region {m_centreColumn, list ? &list->table() : nullptr}};
    if (isQueueVisible())
        regions.append(Region {m_queue, nullptr});
    regions.append(Region {m_right, nullptr});
    regions.append(Region {m_player, m_player->transport()->playPauseButton()});
    return regions;
}

void MainLayoutView::focusCentre()
{
    if (TrackListView* list = visibleTrackList()) {
        list->table().setFocus(Qt::OtherFocusReason);
        return;
    }
    const QList<QWidget*> stops = FocusRegions::tabStops(m_centreColumn);
    if (!stops.isEmpty())
        stops.first()->setFocus(Qt::OtherFocusReason);
}

void MainLayoutView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitRow();
}

void MainLayoutView::fitRow()
{
    const WorkspacePanelState& panels = m_environment.panelState;
    const auto demandOf = [&panels](WorkspacePanelSide side) {
        workspaceRow::PanelDemand demand;
        demand.shape = !panels.isEnabled(side)   ? workspaceRow::PanelShape::Hidden
                       : panels.isExpanded(side) ? workspaceRow::PanelShape::Expanded
                                                 : workspaceRow::PanelShape::Collapsed;
        demand.width = int(std::lround(panels.width(side)));
        demand.minimumWidth = int(std::lround(WorkspacePanelState::limitsOf(side).minimumWidth));
        return demand;
    };
    workspaceRow::Demand demand;
    demand.rowWidth = width();
    demand.left = demandOf(WorkspacePanelSide::Left);
    demand.right = demandOf(WorkspacePanelSide::Right);
    demand.isQueueOpen = isQueueVisible();
    m_rowFit = workspaceRow::fit(demand);
    m_left->fitTo(m_rowFit.left);
    m_right->fitTo(m_rowFit.right);
    if (m_rowFit.queueWidth > 0)
        m_queue->setFixedWidth(m_rowFit.queueWidth);
}

TrackListView* MainLayoutView::makeTrackList(CentreScreen::Filter filter, const QString& title)
{
    TrackListView* list = nullptr;
    switch (filter) {
    case CentreScreen::Filter::WholeLibrary:
        list = makeLibrarySongList(m_environment, title, m_undoStack, m_centre, rememberedSortOrder());
        break;
    case CentreScreen::Filter::TopRated:
        list = makeTopRatedSongList(m_environment, m_undoStack, m_centre, rememberedSortOrder());
        break;
    case CentreScreen::Filter::RecentlyAdded:
        list = makeRecentlyAddedSongList(m_environment, m_undoStack, m_centre, rememberedSortOrder());
        break;
    case CentreScreen::Filter::RecentlyPlayed:
        list = makeRecentlyPlayedSongList(m_environment, m_undoStack, m_centre, rememberedSortOrder());
        break;
    }
    wireTrackList(list);
    return list;
}

QString MainLayoutView::sortOrderScreen() const
{
    switch (m_screen.kind) {
    case CentreScreen::Kind::SongList:
        switch (m_screen.filter) {
        case CentreScreen::Filter::WholeLibrary:
            return QStringLiteral("allSongs");
        case CentreScreen::Filter::TopRated:
            return QStringLiteral("topRated");
        case CentreScreen::Filter::RecentlyAdded:
            return QStringLiteral("recentlyAdded");
        case CentreScreen::Filter::RecentlyPlayed:
            return QStringLiteral("recentlyPlayed");
        }
        break;
    case CentreScreen::Kind::Favorites:
        return QStringLiteral("favorites");
    case CentreScreen::Kind::PlaylistDetail:
        return QStringLiteral("playlist.") + m_screen.playlist->id.toString(QUuid::WithoutBraces).toUpper();
    case CentreScreen::Kind::Albums:
    case CentreScreen::Kind::Artists:
    case CentreScreen::Kind::Folder:
        break;
    }
    return {};
}

TrackSortOrder MainLayoutView::rememberedSortOrder() const
{
    // Lists with an order of their own (best first, newest first, last
    // played first) keep it until a column is clicked.
    const bool ownOrder = m_screen.kind == CentreScreen::Kind::SongList && m_screen.filter != CentreScreen::Filter::WholeLibrary;
    const TrackSortOrder fallback = ownOrder ? TrackSortOrder::listed() : TrackSortOrder {};
    const QString screen = sortOrderScreen();
    // A playlist opens in its own order until the user sorts it otherwise.
    const TrackSortOrder unsorted = m_screen.kind == CentreScreen::Kind::PlaylistDetail ? TrackSortOrder::listed() : fallback;
    return screen.isEmpty() ? unsorted : m_memory.sortOrder(screen).value_or(unsorted);
}

void MainLayoutView::rememberSortOrder(TrackListView* list)
{
    // Only the list on screen speaks for the screen's name; the library's
    // list is sorted again when it is shown under another one.
    const QString screen = sortOrderScreen();
    if (list != visibleTrackList() || screen.isEmpty())
        return;
    // A screen never sorted by hand leaves nothing behind.
    if (list->model().sortOrder() != rememberedSortOrder())
        m_memory.setSortOrder(screen, list->model().sortOrder());
}

void MainLayoutView::wireTrackList(TrackListView* list)
{
    connect(&list->model(), &TrackTableModel::sortOrderChanged, this, [this, list] { rememberSortOrder(list); });
    connect(list, &TrackListView::editMetadataRequested, this, [this](const Track& track) { emit editRequested(TrackList({track})); });
    connect(list, &TrackListView::sharedMetadataEditorRequested, this, [this, list] {
        emit sharedEditRequested(list);
    });
    connect(list, &TrackListView::playlistCreated, this, &MainLayoutView::openCreatedPlaylist);
}

void MainLayoutView::openCreatedPlaylist(const Playlist& playlist)
{
    // A playlist made from songs opens, and the user names it.
    setSelection(NavigationDestination::playlist(playlist.id));
    emit renameRequested(playlist);
}

void MainLayoutView::showScreen()
{
    m_screen = centreScreenFor(m_selection, m_environment.playlistEngine);
    QWidget* screen = nullptr;
    switch (m_screen.kind) {
    case CentreScreen::Kind::SongList:
        if (m_screen.filter == CentreScreen::Filter::WholeLibrary) {
            if (!m_libraryList) {
                m_libraryList = makeTrackList(CentreScreen::Filter::WholeLibrary, m_screen.title);
                m_centre->addWidget(m_libraryList);
                reportFirstRows(m_libraryList);
            }
            m_libraryList->setTitle(m_screen.title);
            screen = m_libraryList;
            // Shown first, so the order it is given now is the screen's own.
            m_centre->setCurrentWidget(m_libraryList);
            m_libraryList->model().setSortOrder(rememberedSortOrder());
        } else {
            screen = makeTrackList(m_screen.filter, m_screen.title);
        }
        break;
    case CentreScreen::Kind::Favorites: {
        TrackListView* list = makeFavoritesSongList(m_environment, m_undoStack, m_centre, rememberedSortOrder());
        wireTrackList(list);
        screen = list;
        break;
    }
    case CentreScreen::Kind::Albums:
    case CentreScreen::Kind::Artists: {
        const auto mode = m_screen.kind == CentreScreen::Kind::Albums ? AlbumBrowserView::Mode::Albums : AlbumBrowserView::Mode::Artists;
        // Chosen again (the sidebar re-selects on a playlist change) it keeps
        // its page.
        if (auto* shown = qobject_cast<AlbumBrowserView*>(m_transientScreen.data()); shown && shown->mode() == mode)
            return;
        auto* albums = new AlbumBrowserView(m_environment, mode, m_centre);
        connect(albums, &AlbumBrowserView::playlistCreated, this, &MainLayoutView::openCreatedPlaylist);
        screen = albums;
        break;
    }
    case CentreScreen::Kind::Folder: {
        // The folder shown again (renamed, its playlists changed) keeps its
        // screen, which follows the engine itself.
        if (auto* shown = qobject_cast<FolderView*>(m_transientScreen.data()); shown && shown->folder().id == m_screen.playlist->id)
            return;
        auto* folder = new FolderView(m_environment, *m_screen.playlist, m_centre);
        connect(folder, &FolderView::playlistChosen, this, [this](const NavigationDestination& chosen) { setSelection(chosen); });
        screen = folder;
        break;
    }
    case CentreScreen::Kind::PlaylistDetail: {
        // The same playlist shown again (its record changed) keeps its screen.
        if (auto* shown = qobject_cast<PlaylistDetailView*>(m_transientScreen.data());
            shown && shown->playlist().id == m_screen.playlist->id) {
            return;
        }
        auto* detail = new PlaylistDetailView(
            m_environment, *m_screen.playlist,
            [this](QWidget* parent) -> QWidget* {
                // The playlist screen shows the name; the list only its counts.
                FixedTrackSource* source = nullptr;
                TrackListView* list = makeFixedSongList(m_environment, QString(), TrackListEmptyState {}, m_undoStack, parent, &source,
                                                        rememberedSortOrder());
                wireTrackList(list);
                m_playlistSongs = source;
                return list;
            },
            m_centre, m_undoStack);
        connect(detail, &PlaylistDetailView::tracksResolved, this, [this](const TrackList& tracks) {
            if (m_playlistSongs)
                m_playlistSongs->setTracks(tracks);
        });
        if (!detail->tracks().empty() && m_playlistSongs)
            m_playlistSongs->setTracks(detail->tracks());
        screen = detail;
        break;
    }
    }
    if (screen != m_libraryList && m_centre->indexOf(screen) < 0)
        m_centre->addWidget(screen);
    m_centre->setCurrentWidget(screen);
    if (m_transientScreen && m_transientScreen != screen) {
        m_centre->removeWidget(m_transientScreen);
        m_transientScreen->deleteLater();
    }
    m_transientScreen = screen == m_libraryList ? nullptr : screen;
    followFocus(QApplication::focusWidget());
    emit screenChanged();
}

void MainLayoutView::reportFirstRows(TrackListView* list)
{
    // Start-up is timed to the first frame that shows songs: the library
    // list reports it once, measured from the process start the system
    // recorded.
    auto* viewport = list->table().viewport();
    auto* reporter = new FirstRowsReporter(list, viewport);
    Q_UNUSED(reporter);
}

void MainLayoutView::updatePlaybackKeys()
{
    const QueueEngine& queue = m_environment.queueEngine;
    PlaybackNavigationShortcutConfiguration keys;
    keys.canPlayPrevious = queue.currentTrack().has_value();
    keys.canPlayNext = !queue.upcoming().empty() || (queue.currentTrack() && queue.repeatMode() != RepeatMode::Off);
    keys.playPrevious = [this] { m_environment.queueEngine.playPreviousSong(); };
    keys.playNext = [this] { m_environment.queueEngine.advanceToNext(); };
    m_playbackKeys.update(std::move(keys));
}

bool MainLayoutView::eventFilter(QObject* watched, QEvent* event)
{
    // Every key press of the application passes here before the widget with
    // focus sees it; only presses meant for this window's arrows are taken.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == window()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (m_playbackKeys.handleKeyPress(KeyPress::from(*key), ShortcutContext::of(this)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainLayoutView::followFocus(QWidget* now)
{
    // The focused song list is the one shown: the menu's Edit items act on
    // it while the window's focus is anywhere in the centre or on the
    // window itself, and on nothing while focus is in the sidebar, the
    // queue or a text field.
    TrackListView* list = visibleTrackList();
    const bool inCentre = !now || now == window() || m_centre->isAncestorOf(now) || now == m_centre;
    TrackListSelectionCommandTarget* target = list && inCentre ? &list->selectionCommandTarget() : nullptr;
    if (target == m_focusedTarget)
        return;
    m_focusedTarget = target;
    emit focusedTrackListChanged(target);
}

} // namespace varno
