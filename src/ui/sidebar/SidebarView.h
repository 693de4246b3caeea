#pragma once

#include "storage/Playlist.h"
#include "ui/NavigationDestination.h"

#include <QCoroTask>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QAbstractButton;
class QMenu;
class QTreeWidgetItem;

namespace varno {

class NewPlaylistForm;
class PlaylistFileActions;
class SidebarPlaylistTree;
class SmartPlaylistSetupView;
class SidebarRow;
struct ViewEnvironment;

// The navigation column: the library's fixed screens, the user's playlists
// and folders (folders open to show what is inside them), the new-playlist
// form, the smart-playlist sheet (both from the menu on the playlists
// header's plus button) and the button that asks for the settings. It holds which screen is
// selected; the window shows it and may set it too. Renaming and the
// settings are the window's to show: the sidebar only asks. Playlist files
// (.m3u, .m3u8, .pls) dropped on it become playlists, and a playlist is
// exported from its row's menu, through playlistFiles().
//
// A row's menu also duplicates and deletes (after a confirmation that names
// the playlist and, for a folder, how many playlists go with it; the Delete
// key asks the same). Rows dragged in the tree move playlists into and out
// of folders and between a folder's children; songs dragged from a song
// list onto a standard playlist are added to it. A change the engine
// refuses is explained in a warning.
//
// Main thread only. Reads the playlist engine's published tree and follows
// its changes.
class SidebarView final : public QWidget {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kLibraryCaption;
    static const QString kSongsSection;
    static const QString kPlaylistsSection;
    static const QString kAllSongs;
    static const QString kRecentlyAdded;
    static const QString kRecentlyPlayed;
    static const QString kTopRated;
    static const QString kFavorites;
    static const QString kAlbums;
    static const QString kArtists;
    static const QString kNewPlaylistHelp;
    static const QString kNewPlaylist;
    static const QString kNewSmartPlaylist;
    static const QString kNewFolder;
    static const QString kRename;
    static const QString kExport;
    static const QString kDuplicate;
    static const QString kDelete;
    static const QString kDeleteButton;
    static const QString kDuplicateFailed;
    static const QString kDeleteFailed;
    static const QString kMoveFailed;
    static const QString kAddSongsFailed;

    // The confirmation's title and question before `playlist` is deleted,
    // with `inside` playlists and folders going with a folder.
    static QString deleteTitle(const Playlist& playlist);
    static QString deleteQuestion(const Playlist& playlist, qsizetype inside);
    static const QString kSettings;

    explicit SidebarView(ViewEnvironment& environment, QWidget* parent = nullptr);

    // Starts absent: no row is drawn as selected.
    const std::optional<NavigationDestination>& selection() const { return m_selection; }
    // Draws the row of `selection` as selected (none when no row has it) and
    // emits selectionChanged() when it differs from the current one.
    void setSelection(std::optional<NavigationDestination> selection);

    // The rows and buttons, for the window's tests and screenshots.
    SidebarRow* fixedRow(NavigationDestination::Kind kind) const;
    SidebarPlaylistTree* playlistTree() const { return m_tree; }
    // The row of a playlist or folder at any depth; null when not shown.
    QTreeWidgetItem* playlistItem(const QUuid& id) const;
    NewPlaylistForm* newPlaylistForm() const { return m_form; }
    QAbstractButton* newPlaylistButton() const { return m_newPlaylistButton; }
    // The plus button's menu: "New Playlist", "New Smart Playlist…", "New
    // Folder".
    QMenu* newPlaylistMenu() const { return m_newPlaylistMenu; }
    // Opens the "Create Smart Playlist" sheet over the window (or raises
    // the one shown).
    void openSmartPlaylistSheet();
    SmartPlaylistSetupView* smartPlaylistSheet() const;
    QAbstractButton* settingsButton() const { return m_settingsButton; }
    // Importing and exporting playlist files; the window's "Import
    // Playlist…" goes through it too. A playlist made of a file is selected.
    PlaylistFileActions* playlistFiles() const { return m_playlistFiles; }

    // Asks, then deletes the playlist or folder (and what is inside it).
    void confirmAndDelete(const QUuid& playlistID);

    QSize sizeHint() const override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    void selectionChanged(const std::optional<varno::NavigationDestination>& selection);
    // "Rename…" was chosen in a playlist row's context menu.
    void renameRequested(const varno::Playlist& playlist);
    void settingsRequested();

private:
    QWidget* makeHeader();
    QWidget* makeCaption(const QString& text);
    void rebuildPlaylistRows();
    void addPlaylistRow(QTreeWidgetItem* parent, const Playlist& playlist, QSet<QUuid>& shownFolders);
    void showSelection();
    void treeSelectionChanged();
    void showRowMenu(const QPoint& position);
    // The playlists and folders inside a folder, at any depth.
    QList<QUuid> idsInside(const QUuid& folderID) const;
    void reportFailure(const QString& message, const QString& reason);
    QCoro::Task<> duplicatePlaylist(QUuid playlistID);
    QCoro::Task<> deletePlaylist(QUuid playlistID, QList<QUuid> goingWithIt);
    QCoro::Task<> movePlaylist(QUuid playlistID, std::optional<QUuid> folderID, qsizetype index);
    QCoro::Task<> addDroppedSongs(QUuid playlistID, std::vector<QUuid> songIDs);

    ViewEnvironment& m_environment;
    std::optional<NavigationDestination> m_selection;
    std::array<SidebarRow*, 7> m_fixedRows {};
    SidebarPlaylistTree* m_tree = nullptr;
    NewPlaylistForm* m_form = nullptr;
    QAbstractButton* m_newPlaylistButton = nullptr;
    QMenu* m_newPlaylistMenu = nullptr;
    QPointer<SmartPlaylistSetupView> m_smartSheet;
    QAbstractButton* m_settingsButton = nullptr;
    PlaylistFileActions* m_playlistFiles = nullptr;
    // Every playlist shown, by id, for the context menu's request.
    QHash<QUuid, Playlist> m_shownPlaylists;
    // Folders the user opened; kept across rebuilds of the rows.
    QSet<QUuid> m_expandedFolders;
    bool m_rebuilding = false;
};

} // namespace varno
