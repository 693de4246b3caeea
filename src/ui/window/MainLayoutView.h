#pragma once

#include "ui/NavigationDestination.h"
#include "ui/ViewEnvironment.h"
#include "ui/window/CentreScreen.h"
#include "ui/window/FocusRegions.h"
#include "workspace/PlaybackNavigationShortcutMonitor.h"
#include "workspace/WorkspacePanelState.h"
#include "workspace/TrackSortOrder.h"
#include "workspace/WorkspaceRowFit.h"
#include "storage/TrackList.h"
#include "storage/Playlist.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QStackedWidget;
class QUndoStack;

namespace varno {

class BottomPlayerView;
class RecoveryMessage;
class FixedTrackSource;
class ImportProgressStrip;
class PlaylistDetailView;
class QueueView;
class RecoveryBanner;
class SidebarView;
class TrackListSelectionCommandTarget;
class TrackListView;
class WindowMemory;
class WorkspacePanelRegion;

// The window's content: the recovery banner, the workspace row (library
// sidebar, the screen chosen in it, the now-playing panel), and the player
// bar along the bottom. It owns the window's navigation (which screen shows)
// and places the playback arrow keys. Every screen reads the engines of the
// environment; none is owned here except as a widget. Whether the queue is
// open and how each screen's songs are sorted are kept in `memory`.
class MainLayoutView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 900;
    static constexpr int kMinimumHeight = 650;
    static constexpr int kMinimumCentreWidth = workspaceRow::kCentreMinimumWidth;
    static constexpr int kQueueWidth = workspaceRow::kQueueWidth;

    // `undoStack` is the window's: removals and column changes are entered
    // there.
    MainLayoutView(ViewEnvironment environment, RecoveryMessage& recoveryMessage, QUndoStack* undoStack, WindowMemory& memory,
                   QWidget* parent = nullptr);
    ~MainLayoutView() override;

    const std::optional<NavigationDestination>& selection() const { return m_selection; }
    void setSelection(const std::optional<NavigationDestination>& selection);
    // The Artists screen on the artist of that name, the Albums screen on
    // the album of that title (each screen as it is when there is none).
    void showArtist(const QString& name);
    void showAlbum(const QString& title);
    // What the centre shows now.
    const CentreScreen& centreScreen() const { return m_screen; }
    QWidget* centreWidget() const;

    const ViewEnvironment& environment() const { return m_environment; }
    SidebarView* sidebar() const { return m_sidebar; }
    BottomPlayerView* playerBar() const { return m_player; }
    QueueView* queueView() const { return m_queue; }
    bool isQueueVisible() const;
    void setQueueVisible(bool visible);
    RecoveryBanner* recoveryBanner() const { return m_banner; }
    WorkspacePanelRegion* panelRegion(WorkspacePanelSide side) const;
    ImportProgressStrip* importProgress() const { return m_importProgress; }
    // The song list on screen, if the centre shows one.
    TrackListView* visibleTrackList() const;
    const PlaybackNavigationShortcutMonitor& playbackKeys() const { return m_playbackKeys; }
    // The name the shown screen's sort order is kept under ("allSongs",
    // "playlist.<UUID>"); empty for a screen without a song list of its own.
    QString sortOrderScreen() const;
    // The parts of the layout the keyboard visits, in order: sidebar, the
    // centre (entered at its song table), the queue, the right panel and the
    // player bar (entered at Play).
    QList<FocusRegions::Region> focusRegions() const;
    // Puts the keyboard focus in the centre: its song table when it shows
    // a list.
    void focusCentre();
    // How the workspace row shares the width now.
    const workspaceRow::Fit& rowFit() const { return m_rowFit; }

signals:
    // The song list that has keyboard focus changed (none when focus left
    // every song list); the menu bar's Edit items act on it.
    void focusedTrackListChanged(varno::TrackListSelectionCommandTarget* target);
    void settingsRequested();
    void renameRequested(const varno::Playlist& playlist);
    void editRequested(const varno::TrackList& tracks);
    // The list's shared editor should open over its shared-edit coordinator.
    void sharedEditRequested(varno::TrackListView* list);
    // The centre shows another screen.
    void screenChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showScreen();
    TrackListView* makeTrackList(CentreScreen::Filter filter, const QString& title);
    void wireTrackList(TrackListView* list);
    void openCreatedPlaylist(const Playlist& playlist);
    void reportFirstRows(TrackListView* list);
    void updatePlaybackKeys();
    void followFocus(QWidget* now);
    void fitRow();
    TrackSortOrder rememberedSortOrder() const;
    void rememberSortOrder(TrackListView* list);

    ViewEnvironment m_environment;
    QUndoStack* m_undoStack;
    WindowMemory& m_memory;
    std::optional<NavigationDestination> m_selection;
    CentreScreen m_screen;

    RecoveryBanner* m_banner = nullptr;
    SidebarView* m_sidebar = nullptr;
    WorkspacePanelRegion* m_left = nullptr;
    WorkspacePanelRegion* m_right = nullptr;
    QWidget* m_centreColumn = nullptr;
    QStackedWidget* m_centre = nullptr;
    ImportProgressStrip* m_importProgress = nullptr;
    QueueView* m_queue = nullptr;
    BottomPlayerView* m_player = nullptr;

    // The whole library's list is kept across screen changes (it is the
    // costly one to build at a hundred thousand songs); the others are made
    // when shown and dropped when left.
    TrackListView* m_libraryList = nullptr;
    QPointer<QWidget> m_transientScreen;
    // The songs of the playlist screen's list, set as the screen resolves
    // them.
    QPointer<FixedTrackSource> m_playlistSongs;
    QPointer<TrackListSelectionCommandTarget> m_focusedTarget;

    PlaybackNavigationShortcutMonitor m_playbackKeys;
    workspaceRow::Fit m_rowFit;
};

} // namespace varno
