#include "AlbumBrowserView.h"

#include "playback/QueueEngine.h"
#include "ui/Icons.h"
#include "ui/albums/AlbumGridModel.h"
#include "ui/albums/AlbumTileDelegate.h"
#include "ui/songs/SongMenu.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <random>

namespace varno {

const QString AlbumBrowserView::kPlay = QStringLiteral("Play");
const QString AlbumBrowserView::kShuffle = QStringLiteral("Shuffle");
const QString AlbumBrowserView::kBack = QStringLiteral("Back");

namespace {

// The tiles of one artist key, or every tile while none is chosen.
class ArtistFilter final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setArtist(std::optional<QString> artist)
    {
        m_artist = std::move(artist);
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        return !m_artist || sourceModel()->index(row, 0, parent).data(AlbumGridModel::ArtistKeyRole).toString() == *m_artist;
    }

private:
    std::optional<QString> m_artist;
};

QString duration(double seconds)
{
    const int whole = std::isfinite(seconds) && seconds > 0 ? static_cast<int>(seconds) : 0;
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// The first item named exactly `name`, else the first named so in another
// letter case.
template <typename Items, typename NameOf>
auto firstNamed(const Items& items, const QString& name, NameOf nameOf)
{
    for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        const auto found = std::find_if(items.begin(), items.end(), [&](const auto& item) { return nameOf(item).compare(name, sensitivity) == 0; });
        if (found != items.end())
            return found;
    }
    return items.end();
}

QString counted(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

AlbumBrowserView::AlbumBrowserView(ViewEnvironment environment, Mode mode, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
    , m_mode(mode)
{
    setObjectName(QStringLiteral("albumBrowser"));
    m_model = new AlbumGridModel(m_environment.albumCatalog, m_environment.thumbnailGenerator, m_environment.artworkCache, this);
    auto* filter = new ArtistFilter(this);
    filter->setSourceModel(m_model);
    m_byArtist = filter;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 12, 16, 8);
    m_back = new QPushButton(symbolIcon(QStringLiteral("chevron.left")), kBack, this);
    m_back->setObjectName(QStringLiteral("albumBack"));
    m_back->setFlat(true);
    header->addWidget(m_back);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("albumHeading"));
    QFont big = m_heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_heading->setFont(big);
    header->addWidget(m_heading, 1);
    layout->addLayout(header);

    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages, 1);

    m_artists = new QListWidget(this);
    m_artists->setObjectName(QStringLiteral("artistList"));
    m_artists->setUniformItemSizes(true);
    m_artists->setSpacing(3);
    m_artists->setIconSize(QSize(22, 22));
    m_artists->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pages->addWidget(m_artists);

    m_grid = new QListView(this);
    m_grid->setObjectName(QStringLiteral("albumGrid"));
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setUniformItemSizes(true);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setMouseTracking(true);
    m_grid->setSpacing(4);
    m_grid->setItemDelegate(new AlbumTileDelegate(m_grid));
    m_grid->setModel(m_byArtist);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pages->addWidget(m_grid);

    m_albumPage = new QWidget(this);
    auto* albumLayout = new QVBoxLayout(m_albumPage);
    albumLayout->setContentsMargins(16, 0, 16, 0);
    m_albumTitle = new QLabel(m_albumPage);
    m_albumTitle->setFont(big);
    m_albumDetails = new QLabel(m_albumPage);
    albumLayout->addWidget(m_albumTitle);
    albumLayout->addWidget(m_albumDetails);
    auto* buttons = new QHBoxLayout;
    m_play = new QPushButton(symbolIcon(QStringLiteral("play.fill")), kPlay, m_albumPage);
    m_shuffle = new QPushButton(symbolIcon(QStringLiteral("shuffle")), kShuffle, m_albumPage);
    buttons->addWidget(m_play);
    buttons->addWidget(m_shuffle);
    buttons->addStretch(1);
    albumLayout->addLayout(buttons);
    m_songs = new QTreeWidget(m_albumPage);
    m_songs->setObjectName(QStringLiteral("albumSongs"));
    m_songs->setRootIsDecorated(false);
    m_songs->setUniformRowHeights(true);
    m_songs->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Time")});
    m_songs->header()->setStretchLastSection(false);
    m_songs->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_songs->setColumnWidth(0, 44);
    m_songs->setColumnWidth(2, 220);
    m_songs->setColumnWidth(3, 64);
    m_songs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_songs->setContextMenuPolicy(Qt::CustomContextMenu);
    albumLayout->addWidget(m_songs, 1);
    m_pages->addWidget(m_albumPage);

    // Covers of tiles scrolled out of view are no longer made.
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        const QRect shown = m_grid->viewport()->rect();
        const QModelIndex first = m_grid->indexAt(shown.topLeft() + QPoint(4, 4));
        QModelIndex last = m_grid->indexAt(shown.bottomRight() - QPoint(4, 4));
        if (!last.isValid())
            last = m_grid->indexAt(QPoint(shown.left() + 4, shown.bottom() - 4));
        if (!last.isValid())
            last = m_byArtist->index(m_byArtist->rowCount() - 1, 0);
        if (first.isValid())
            m_model->keepCoversFor(m_byArtist->mapToSource(first).row(), m_byArtist->mapToSource(last).row());
    });
    // A click opens its album once it is clear no second click follows: a
    // double-click plays the album and must still find the tile on screen.
    m_openLater = new QTimer(this);
    m_openLater->setSingleShot(true);
    m_openLater->setInterval(QApplication::doubleClickInterval());
    connect(m_openLater, &QTimer::timeout, this, [this] { openAlbum(m_clickedTile); });
    connect(m_grid, &QListView::clicked, this, [this](const QModelIndex& tile) {
        m_clickedTile = QPersistentModelIndex(tile);
        m_openLater->start();
    });
    connect(m_grid, &QListView::doubleClicked, this, [this](const QModelIndex& tile) {
        m_openLater->stop();
        openAlbum(tile);
        playAlbum(0);
    });
    connect(m_artists, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { openArtist(m_artists->row(item)); });
    connect(m_songs, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { playAlbum(m_songs->indexOfTopLevelItem(item)); });
    connect(m_grid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex tile = m_grid->indexAt(at);
        if (tile.isValid())
            makeAlbumMenu(tile)->popup(m_grid->viewport()->mapToGlobal(at));
    });
    connect(m_artists, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QListWidgetItem* item = m_artists->itemAt(at))
            makeArtistMenu(m_artists->row(item))->popup(m_artists->viewport()->mapToGlobal(at));
    });
    connect(m_songs, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QTreeWidgetItem* item = m_songs->itemAt(at))
            makeSongMenu(m_songs->indexOfTopLevelItem(item))->popup(m_songs->viewport()->mapToGlobal(at));
    });
    connect(m_play, &QPushButton::clicked, this, [this] { playAlbum(0); });
    connect(m_shuffle, &QPushButton::clicked, this, &AlbumBrowserView::shuffleAlbum);
    connect(m_back, &QPushButton::clicked, this, &AlbumBrowserView::goBack);
    // The window takes plain left and right arrows for playback before the
    // focused widget sees them; the grid needs them to move between tiles,
    // so this view looks at the application's key presses first (the filter
    // installed last is called first) and keeps the ones meant for its pages.
    qApp->installEventFilter(this);

    connect(m_model, &AlbumGridModel::albumsChanged, this, [this] {
        refreshArtists();
        refreshAlbum();
    });
    if (mode == Mode::Artists) {
        refreshArtists();
        showPage(m_artists);
    } else {
        showPage(m_grid);
    }
    m_history.clear();
    pageShown();
}

AlbumBrowserView::~AlbumBrowserView() = default;

QWidget* AlbumBrowserView::gridPage() const
{
    return m_grid;
}

QWidget* AlbumBrowserView::currentPage() const
{
    return m_pages->currentWidget();
}

void AlbumBrowserView::showPage(QWidget* page)
{
    if (m_pages->currentWidget() && m_pages->currentWidget() != page)
        m_history.push_back(m_pages->currentWidget());
    m_pages->setCurrentWidget(page);
    pageShown();
}

void AlbumBrowserView::pageShown()
{
    QWidget* page = m_pages->currentWidget();
    m_back->setVisible(!m_history.empty());
    // An artist's tiles are headed by the artist; every other page by the
    // screen's name.
    const bool artistTiles = m_mode == Mode::Artists && page == m_grid;
    m_heading->setText(artistTiles ? ArtistSummary {m_chosenArtist}.name()
                                   : m_mode == Mode::Albums ? QStringLiteral("Albums") : QStringLiteral("Artists"));
    page->setFocus();
}

void AlbumBrowserView::goBack()
{
    if (m_history.empty())
        return;
    QWidget* page = m_history.back();
    m_history.pop_back();
    m_pages->setCurrentWidget(page);
    pageShown();
}

void AlbumBrowserView::openArtist(int row)
{
    const std::vector<ArtistSummary> artists = m_model->albumIndex().artists();
    if (row < 0 || static_cast<std::size_t>(row) >= artists.size())
        return;
    m_chosenArtist = artists[static_cast<std::size_t>(row)].artistKey;
    static_cast<ArtistFilter*>(m_byArtist)->setArtist(m_chosenArtist);
    showPage(m_grid);
}

void AlbumBrowserView::openAlbum(const QModelIndex& tile)
{
    if (!tile.isValid())
        return;
    const Album& album = m_model->album(m_byArtist->mapToSource(tile).row());
    m_openArtist = album.artistKey;
    m_openTitle = album.titleKey;
    refreshAlbum();
    showPage(m_albumPage);
}

const Album* AlbumBrowserView::openedAlbum() const
{
    const std::optional<std::size_t> at = m_model->albumIndex().find(m_openArtist, m_openTitle);
    return at ? &m_model->albumIndex().albums()[*at] : nullptr;
}

void AlbumBrowserView::refreshAlbum()
{
    const Album* album = openedAlbum();
    if (!album) {
        m_songs->clear();
        if (m_pages->currentWidget() == m_albumPage)
            goBack();
        return;
    }
    m_albumTitle->setText(album->title());
    QString details = album->artist();
    if (album->year)
        details += QStringLiteral(" · ") + QString::number(*album->year);
    details += QStringLiteral(" · ") + counted(static_cast<int>(album->tracks.size()), "song", "songs");
    m_albumDetails->setText(details);
    m_songs->clear();
    QList<QTreeWidgetItem*> rows;
    for (const Track& track : album->tracks) {
        rows << new QTreeWidgetItem({track.trackNumber ? QString::number(*track.trackNumber) : QString(), track.title,
                                     track.artist.value_or(QString()), duration(track.duration)});
    }
    m_songs->addTopLevelItems(rows);
}

void AlbumBrowserView::refreshArtists()
{
    if (m_mode != Mode::Artists)
        return;
    const std::vector<ArtistSummary> artists = m_model->albumIndex().artists();
    // The rows are rewritten in place so the list keeps its scroll position
    // and selection through an edit.
    while (m_artists->count() > static_cast<int>(artists.size()))
        delete m_artists->takeItem(m_artists->count() - 1);
    for (std::size_t i = 0; i < artists.size(); ++i) {
        const ArtistSummary& artist = artists[i];
        const QString text = artist.name() + QStringLiteral("\n") + counted(artist.albumCount, "album", "albums")
                             + QStringLiteral(" · ") + counted(artist.songCount, "song", "songs");
        if (static_cast<int>(i) < m_artists->count())
            m_artists->item(static_cast<int>(i))->setText(text);
        else
            m_artists->addItem(new QListWidgetItem(symbolIcon(QStringLiteral("music.mic")), text));
    }
}

void AlbumBrowserView::playAlbum(int at)
{
    if (const Album* album = openedAlbum())
        m_environment.queueEngine.playNow(album->tracks, std::clamp(at, 0, static_cast<int>(album->tracks.size()) - 1));
}

void AlbumBrowserView::shuffleAlbum()
{
    const Album* album = openedAlbum();
    if (!album)
        return;
    QList<SharedTrack> songs = album->tracks.sharedSongs();
    std::shuffle(songs.begin(), songs.end(), std::mt19937(std::random_device {}()));
    m_environment.queueEngine.playNow(TrackList(std::move(songs)), 0);
}

QMenu* AlbumBrowserView::makeAlbumMenu(const QModelIndex& tile)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!tile.isValid())
        return menu;
    // The album's songs as they are now, in album order.
    const TrackList songs = m_model->album(m_byArtist->mapToSource(tile).row()).tracks;
    addSongHandOffItems(*menu, m_environment, this, [songs] { return songs; },
                        [this](const Playlist& playlist) { emit playlistCreated(playlist); });
    return menu;
}

QMenu* AlbumBrowserView::makeArtistMenu(int row)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const AlbumIndex& index = m_model->albumIndex();
    const std::vector<ArtistSummary> artists = index.artists();
    if (row < 0 || static_cast<std::size_t>(row) >= artists.size())
        return menu;
    // Every song of the artist, album after album as the grid lists them,
    // each in disc and track order.
    const ArtistSummary& artist = artists[static_cast<std::size_t>(row)];
    TrackList songs;
    for (std::size_t at = artist.firstAlbum; at < artist.firstAlbum + std::size_t(artist.albumCount) && at < index.albums().size(); ++at)
        songs.append(index.albums()[at].tracks);
    addSongHandOffItems(*menu, m_environment, this, [songs] { return songs; },
                        [this](const Playlist& playlist) { emit playlistCreated(playlist); });
    return menu;
}

QMenu* AlbumBrowserView::makeSongMenu(int row)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const Album* album = openedAlbum();
    if (!album || row < 0 || static_cast<std::size_t>(row) >= album->tracks.size())
        return menu;
    QList<SharedTrack> chosen;
    QTreeWidgetItem* clicked = m_songs->topLevelItem(row);
    if (clicked && clicked->isSelected()) {
        for (int at = 0; at < m_songs->topLevelItemCount() && static_cast<std::size_t>(at) < album->tracks.size(); ++at) {
            if (m_songs->topLevelItem(at)->isSelected())
                chosen.append(album->tracks.shared(static_cast<std::size_t>(at)));
        }
    } else {
        chosen.append(album->tracks.shared(static_cast<std::size_t>(row)));
    }
    const TrackList songs(std::move(chosen));
    addSongHandOffItems(*menu, m_environment, this, [songs] { return songs; },
                        [this](const Playlist& playlist) { emit playlistCreated(playlist); });
    return menu;
}

bool AlbumBrowserView::openArtistNamed(const QString& name)
{
    const std::vector<ArtistSummary> artists = m_model->albumIndex().artists();
    const auto found = firstNamed(artists, name, [](const ArtistSummary& artist) { return artist.name(); });
    if (found == artists.end())
        return false;
    // Back leads to the list of artists, as if the artist had been clicked.
    m_history.clear();
    m_pages->setCurrentWidget(m_mode == Mode::Artists ? static_cast<QWidget*>(m_artists) : m_grid);
    if (m_mode == Mode::Artists)
        m_artists->setCurrentRow(static_cast<int>(found - artists.begin()));
    openArtist(static_cast<int>(found - artists.begin()));
    return true;
}

bool AlbumBrowserView::openAlbumTitled(const QString& title)
{
    const std::vector<Album>& albums = m_model->albumIndex().albums();
    const auto found = firstNamed(albums, title, [](const Album& album) { return album.title(); });
    if (found == albums.end())
        return false;
    // Back from the album leads to the tiles it is among (its artist's, on
    // the Artists screen), as if it had been clicked there.
    m_history.clear();
    auto* filter = static_cast<ArtistFilter*>(m_byArtist);
    if (m_mode == Mode::Artists) {
        m_chosenArtist = found->artistKey;
        filter->setArtist(m_chosenArtist);
        m_pages->setCurrentWidget(m_artists);
        showPage(m_grid);
    } else {
        filter->setArtist(std::nullopt);
        m_pages->setCurrentWidget(m_grid);
    }
    const QModelIndex tile = m_byArtist->mapFromSource(m_model->index(static_cast<int>(found - albums.begin()), 0));
    m_grid->setCurrentIndex(tile);
    openAlbum(tile);
    return true;
}

bool AlbumBrowserView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || !isAncestorOf(target))
        return QWidget::eventFilter(watched, event);
    if (key->key() == Qt::Key_Backspace || (key->key() == Qt::Key_Left && key->modifiers() == Qt::AltModifier)) {
        goBack();
        return true;
    }
    if (watched == m_grid && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        openAlbum(m_grid->currentIndex());
        return true;
    }
    if (watched == m_artists && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        openArtist(m_artists->currentRow());
        return true;
    }
    if (watched == m_grid && m_grid->hasFocus() && key->modifiers() == Qt::NoModifier
        && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right)) {
        const int row = m_grid->currentIndex().row() + (key->key() == Qt::Key_Left ? -1 : 1);
        if (row >= 0 && row < m_byArtist->rowCount())
            m_grid->setCurrentIndex(m_byArtist->index(row, 0));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varno
