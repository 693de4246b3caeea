#pragma once

#include "edits/TrackMetadataBatchCoordinator.h"
#include "edits/TrackRemovalCoordinator.h"
#include "storage/Playlist.h"
#include "storage/Track.h"
#include "ui/ViewEnvironment.h"
#include "ui/songs/TrackRowLayout.h"
#include "workspace/TrackListSelectionCommandTarget.h"
#include "workspace/TrackListShortcutMonitor.h"
#include "workspace/TrackSortOrder.h"

#include <QCoroTask>
#include <QHash>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QStackedWidget;
class QUndoStack;

namespace varno {

class DropOverlay;
class EmptyStateView;
class TrackListHeaderView;
class TrackListSource;
class TrackTableModel;
class TrackTableView;

// What a song list shows when it has no songs.
struct TrackListEmptyState {
    QString systemImage;
    QString title;
    QString subtitle;
};

struct TrackListOptions {
    QString title;
    TrackListEmptyState emptyState;
    // The library's own list: an "Add songs" action in the header, and
    // files dropped on the list are imported.
    bool importsIntoLibrary = false;
    // The order the list starts in.
    TrackSortOrder sortOrder;

    // "All Songs" (or another title over the whole library) with the
    // library's empty state and import.
    static TrackListOptions library(const QString& title);
    static TrackListOptions favorites();
};

// One song list: the header with its title and counts, the song table, and
// every command on its songs: playing, selecting, editing, favourites,
// artwork, revealing and removing, each through the engines. The same view
// serves the library, the favourites and a playlist's songs; the source
// says which songs, the options what the list is called and what it shows
// when empty.
//
// The list owns its sort order and selection (in its model), its removal and
// shared-editing coordinators and its menu-bar command target. The window
// hands the target to the menu bar while the list is the one shown, and the
// list answers the song-list keys (select all, deselect all, edit) itself
// while it is visible in the active window.
//
// Main thread only.
class TrackListView final : public QWidget {
    Q_OBJECT

public:
    // `undoStack` is the window's: removals from the player and column
    // changes are entered there. None registers no undo.
    TrackListView(ViewEnvironment environment, std::unique_ptr<TrackListSource> source, TrackListOptions options, QUndoStack* undoStack,
                  QWidget* parent = nullptr);
    ~TrackListView() override;

    TrackListSource& source() const { return *m_source; }
    TrackTableModel& model() const { return *m_model; }
    TrackTableView& table() const { return *m_table; }
    TrackListHeaderView& header() const { return *m_header; }
    EmptyStateView& emptyStateView() const { return *m_emptyState; }
    bool isShowingEmptyState() const;

    TrackListSelectionCommandTarget& selectionCommandTarget() { return m_commandTarget; }
    TrackRemovalCoordinator& removalCoordinator() { return m_removal; }
    TrackMetadataBatchCoordinator& sharedEditCoordinator() { return m_sharedEdit; }

    void setTitle(const QString& title);
    // A button in the header, before the edit action.
    void addHeaderAction(QAction* action);
    // "Add songs", present when the list imports into the library.
    QAction* addSongsAction() const { return m_addSongsAction; }

    // Saves, artwork changes and imports this list started that have not
    // ended yet (the engines finish them even when the list is gone).
    int runningOperationCount() const { return m_runningOperations; }

    // The last import that failed, until dismissed or the next import.
    const std::optional<QString>& importError() const { return m_importError; }
    // What the last import that added songs but skipped files said (how
    // many were added, what was skipped and why), until dismissed or the
    // next import.
    const std::optional<QString>& importNotice() const { return m_importNotice; }
    void dismissImportNotice();
    void dismissImportError();

    // The row's context menu, as right-clicking shows it; the caller owns it
    // (it deletes itself when closed). Its items act on the whole selection
    // when the row is selected, else on the row's song.
    QMenu* makeContextMenu(int row);
    // The songs a command on `row` acts on, in the shown order: the
    // selection when the row is selected, else the row's song.
    TrackList songsForRow(int row) const;

    // A list of a playlist's own songs: "Remove from Playlist" in the row
    // menu and the Delete key hand the chosen songs' ids to `remove`.
    void setSongRemoval(std::function<void(const std::vector<QUuid>& songIDs)> remove);
    // Songs dragged within the list, while it shows the listed order, are
    // handed to `move` with the row (of that order) they were dropped
    // before.
    void setSongReordering(std::function<void(const std::vector<QUuid>& songIDs, int beforeRow)> move);

    // The commands, as the rows, menus and keys run them.
    void playSong(const Track& track);
    void playOrPauseRow(int row);
    void toggleFavorite(int row);
    void editSelection();
    void selectAll();
    void deselectAll();
    void importFiles(std::vector<FileURL> files);

signals:
    // The single-song editor should open for this song.
    void editMetadataRequested(const varno::Track& track);
    // The shared editor should open: sharedEditCoordinator().batch() holds the
    // songs.
    void sharedMetadataEditorRequested();
    void importErrorChanged();
    void importNoticeChanged();
    // The table took the keyboard focus: the window hands this list's
    // command target to the menu bar.
    void tableFocused();
    // "New Playlist…" in the row menu made this playlist with the songs.
    void playlistCreated(const varno::Playlist& playlist);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onRowClicked(int row, Qt::KeyboardModifiers modifiers);
    void onRowDoubleClicked(int row);
    void onControlClicked(int row, TrackRowControl control);
    void editRow(int row);
    void chooseArtwork(const Track& track);
    void removeArtwork(const Track& track);
    void removeFromPlayer(const Track& track);
    void deletePermanently(const Track& track);
    void addSongs();
    void handleCommand(TrackListSelectionCommand command);
    void updateCounts();
    void updateShortcuts();
    void updateLayoutMessage();
    void updateRowDrops();
    void removeChosenSongs(int row);
    void showRemovalError();
    void showMetadataError();
    void setImportError(std::optional<QString> error);
    void setImportNotice(std::optional<QString> notice);

    QCoro::Task<> saveFavorite(QUuid id, bool favorite, quint64 attempt);
    QCoro::Task<> storeArtwork(Track track, FileURL file);
    QCoro::Task<> deleteArtwork(Track track);
    QCoro::Task<> runImport(std::vector<FileURL> files);

    ViewEnvironment m_environment;
    std::unique_ptr<TrackListSource> m_source;
    TrackListOptions m_options;
    QUndoStack* m_undoStack;

    TrackListSelectionCommandTarget m_commandTarget;
    TrackRemovalCoordinator m_removal;
    TrackMetadataBatchCoordinator m_sharedEdit;
    TrackListShortcutMonitor m_shortcuts;

    TrackTableModel* m_model = nullptr;
    TrackListHeaderView* m_header = nullptr;
    QWidget* m_importErrorBar = nullptr;
    QLabel* m_importErrorText = nullptr;
    QWidget* m_importNoticeBar = nullptr;
    QLabel* m_importNoticeText = nullptr;
    QWidget* m_layoutMessageBar = nullptr;
    QLabel* m_layoutMessageText = nullptr;
    QStackedWidget* m_content = nullptr;
    TrackTableView* m_table = nullptr;
    EmptyStateView* m_emptyState = nullptr;
    DropOverlay* m_dropOverlay = nullptr;
    QAction* m_addSongsAction = nullptr;

    std::optional<QString> m_importError;
    std::optional<QString> m_importNotice;
    // The latest favourite save of each song; only it clears the pending
    // state when it ends.
    QHash<QUuid, quint64> m_favoriteSaves;
    quint64 m_nextFavoriteSave = 1;
    std::function<void(const std::vector<QUuid>&)> m_removeSongs;
    std::function<void(const std::vector<QUuid>&, int)> m_moveSongs;
    bool m_filtersKeys = false;
    int m_runningOperations = 0;
};

} // namespace varno
