#pragma once

#include "storage/Playlist.h"
#include "ui/ViewEnvironment.h"

#include <QPersistentModelIndex>
#include <QWidget>

#include <vector>

class QLabel;
class QListView;
class QListWidget;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QStackedWidget;
class QTimer;
class QTreeWidget;

namespace varno {

class AlbumGridModel;
struct Album;

// The Albums and Artists screens. Albums shows every album as a tile (cover,
// title, artist, year); Artists lists the artists with their counts and,
// for the one chosen, the same tiles. A tile opens the album's songs in disc
// and track order with Play and Shuffle; a double-click on a tile or a song
// plays the album from there. Backspace and Alt+Left go back a page. Main
// thread only.
class AlbumBrowserView final : public QWidget {
    Q_OBJECT

public:
    enum class Mode { Albums, Artists };
    static const QString kPlay;
    static const QString kShuffle;
    static const QString kBack;

    AlbumBrowserView(ViewEnvironment environment, Mode mode, QWidget* parent = nullptr);
    ~AlbumBrowserView() override;

    Mode mode() const { return m_mode; }
    QListView* grid() const { return m_grid; }
    QListWidget* artistList() const { return m_artists; }
    QTreeWidget* albumSongs() const { return m_songs; }
    QPushButton* playButton() const { return m_play; }
    QPushButton* shuffleButton() const { return m_shuffle; }
    QPushButton* backButton() const { return m_back; }
    AlbumGridModel* albums() const { return m_model; }
    QLabel* albumTitle() const { return m_albumTitle; }
    // "Albums", "Artists", or the chosen artist over their tiles.
    QLabel* heading() const { return m_heading; }
    // The page shown: the artists, the tiles or an album.
    QWidget* currentPage() const;
    QWidget* albumPage() const { return m_albumPage; }
    QWidget* gridPage() const;

    // Opens the album on the grid's row (of the grid's own model).
    void openAlbum(const QModelIndex& tile);
    // Shows the tiles of the artist on that row of the artists' list.
    void openArtist(int row);
    void goBack();
    // Plays the open album from its song at `at`, in album order.
    void playAlbum(int at);
    void shuffleAlbum();

    // The context menus: for the album on a tile of the grid ("Play Next",
    // "Add to Queue", "Add to Playlist"), and for the chosen songs of the
    // open album (the selection when the row is selected, else the row's
    // song). The caller owns the menu; it deletes itself when closed.
    QMenu* makeAlbumMenu(const QModelIndex& tile);
    // Play Next, Add to Queue and Add to Playlist for all of an artist's songs.
    QMenu* makeArtistMenu(int row);
    QMenu* makeSongMenu(int row);
    // Opens, from anywhere in the screen, the first artist named exactly
    // `name` (as listed, else ignoring case) and the first album titled
    // `title`; false when there is none.
    bool openArtistNamed(const QString& name);
    bool openAlbumTitled(const QString& title);

signals:
    // "New Playlist…" in a menu made this playlist with the songs.
    void playlistCreated(const varno::Playlist& playlist);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPage(QWidget* page);
    void pageShown();
    void refreshArtists();
    void refreshAlbum();
    const Album* openedAlbum() const;

    ViewEnvironment m_environment;
    Mode m_mode;
    AlbumGridModel* m_model = nullptr;
    QSortFilterProxyModel* m_byArtist = nullptr;
    QLabel* m_heading = nullptr;
    QStackedWidget* m_pages = nullptr;
    QListWidget* m_artists = nullptr;
    QListView* m_grid = nullptr;
    QWidget* m_albumPage = nullptr;
    QLabel* m_albumTitle = nullptr;
    QLabel* m_albumDetails = nullptr;
    QTreeWidget* m_songs = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_shuffle = nullptr;
    QPushButton* m_back = nullptr;
    // The open album, by its keys, so a change of the library finds it again.
    QString m_openArtist;
    QString m_openTitle;
    QString m_chosenArtist;
    std::vector<QWidget*> m_history;
    QTimer* m_openLater = nullptr;
    QPersistentModelIndex m_clickedTile;
};

} // namespace varno
