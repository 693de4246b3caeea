#pragma once

#include "storage/Playlist.h"
#include "storage/FileURL.h"
#include "storage/TrackList.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QAbstractButton;
class QLabel;
class QStackedWidget;
class QUndoStack;

namespace varno {

class AddSongsSheet;
class TrackListView;
class EmptyStateView;
struct ViewEnvironment;

// One playlist's screen: its name, three header buttons ("Add songs from
// library" opens the "Add Songs" sheet, "Import songs" opens a file chooser,
// "Play playlist" hands the playlist to the queue), its songs, and files
// dropped onto it imported into the library and added. The songs are shown
// by a widget the caller makes (the window's song list), which is handed the
// songs on every resolve through tracksResolved(); an empty playlist shows
// "This playlist is empty" instead. A folder shows its name and no songs,
// and offers neither adding nor importing. A live smart playlist's songs
// follow its rules: instead of adding and importing it offers "Edit Rules",
// which opens the rule sheet, and with no song matching it shows "No songs
// match these rules".
//
// When the widget made is a song list (TrackListView), the screen also
// edits the playlist through it: the list opens in the playlist's own order,
// which the "#" button brings back after a column sort; rows dragged within
// that order move the songs; "Remove from Playlist" and the Delete key
// remove the chosen songs, undoable on `undoStack`; and "Play playlist"
// plays the songs in the order shown.
//
// The songs are resolved when the view is shown, after each addition it
// makes, and when the playlists or the library change. Failures of its
// actions are shown under the header until the next failure replaces them.
// Main thread only.
class PlaylistDetailView final : public QWidget {
    Q_OBJECT

public:
    static const QString kAddSongsHelp;
    static const QString kImportHelp;
    static const QString kPlayHelp;
    static const QString kEmptyTitle;
    static const QString kImportTitle;
    static const QString kImportButton;
    static const QString kEditRulesHelp;
    static const QString kNoMatchTitle;
    static const QString kPlaylistOrderHelp;
    static const QString kRemoveUndoText;

    // Makes the widget that shows the songs, as a child of `parent`.
    using SongListFactory = std::function<QWidget*(QWidget* parent)>;

    PlaylistDetailView(ViewEnvironment& environment, Playlist playlist, const SongListFactory& makeSongList,
                       QWidget* parent = nullptr, QUndoStack* undoStack = nullptr);
    ~PlaylistDetailView() override;

    // As the playlist engine last published it.
    const Playlist& playlist() const { return m_playlist; }
    // The songs as last resolved.
    const TrackList& tracks() const { return m_tracks; }
    const std::optional<QString>& importError() const { return m_importError; }

    // The header's buttons and the parts shown, for the window's tests and
    // screenshots.
    QAbstractButton* addSongsButton() const { return m_addSongsButton; }
    QAbstractButton* importButton() const { return m_importButton; }
    QAbstractButton* playButton() const { return m_playButton; }
    QAbstractButton* editRulesButton() const { return m_editRulesButton; }
    // "#": the playlist's own order; shown when the songs are a song list.
    QAbstractButton* playlistOrderButton() const { return m_orderButton; }
    QWidget* songList() const { return m_songList; }
    EmptyStateView* emptyState() const { return m_emptyState; }
    // Made when first opened.
    AddSongsSheet* addSongsSheet() const { return m_sheet; }

    void openAddSongs();
    void chooseFilesToImport();
    // The import-into-playlist steps over `urls`; folders and files of other
    // types are skipped without a word.
    void importFiles(std::vector<FileURL> urls);
    void playPlaylist();
    // Opens the "Edit Smart Playlist" sheet over the window.
    void openRulesEditor();
    // Takes the songs with these ids out of the playlist (every place they
    // are listed), undoably.
    void removeSongs(const std::vector<QUuid>& songIDs);
    // Moves the songs with these ids to just before the song at `beforeRow`
    // of the resolved songs (their count for the end).
    void moveSongs(const std::vector<QUuid>& songIDs, int beforeRow);

signals:
    // After every resolve of the songs, with them.
    void tracksResolved(const varno::TrackList& tracks);
    void importErrorChanged();
    // An import or drop has run its course: added, failed, or found nothing
    // to import.
    void importFinished();
    // A removal, move, undo or redo of songs asked of the engine has ended.
    void songsEdited();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool isFolder() const;
    // Shows the buttons and empty text that fit what the playlist is now.
    void showKind();
    void resolveTracks();
    void scheduleResolve();
    void playlistsChanged();
    void fillSheet();
    void setImportError(std::optional<QString> error);
    QCoro::Task<> queuePlaylist();
    QCoro::Task<> importAndAdd(std::vector<FileURL> urls);
    QCoro::Task<> addFromSheet(TrackList tracks);
    QCoro::Task<> runRemoval(QList<QUuid> songIDs, QList<qsizetype> positions);
    QCoro::Task<> runMove(QList<qsizetype> positions, qsizetype before);
    void editSongsThrough(TrackListView* list);
    void showOrder();

    ViewEnvironment& m_environment;
    Playlist m_playlist;
    TrackList m_tracks;
    std::optional<QString> m_importError;

    QLabel* m_title = nullptr;
    QLabel* m_errorLabel = nullptr;
    QAbstractButton* m_addSongsButton = nullptr;
    QAbstractButton* m_importButton = nullptr;
    QAbstractButton* m_playButton = nullptr;
    QAbstractButton* m_editRulesButton = nullptr;
    QAbstractButton* m_orderButton = nullptr;
    QUndoStack* m_undoStack = nullptr;
    QPointer<TrackListView> m_list;
    QStackedWidget* m_content = nullptr;
    QWidget* m_songList = nullptr;
    EmptyStateView* m_emptyState = nullptr;
    AddSongsSheet* m_sheet = nullptr;

    bool m_resolved = false;
    bool m_stale = false;
    bool m_resolvePending = false;
    bool m_playing = false;
};

} // namespace varno
