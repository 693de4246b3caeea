#include "TestSupport.h"
#include "UiHarness.h"

#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "ui/MainWindow.h"
#include "ui/albums/AlbumBrowserView.h"
#include "ui/albums/AlbumGridModel.h"
#include "ui/editors/PlaylistRenameSheet.h"
#include "ui/playlists/PlaylistDetailView.h"
#include "ui/songs/SongDragData.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableHeaderView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/SearchPopup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace varno {
namespace {

using test::await;

// Songs of one album ("Sky" by "Aurora Band", tracks 1 to 3) and one song
// without an album, as a user's library has them; the songs hand-off
// between screens is driven through the real window.
class SongHandOffTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        ui = std::make_unique<test::UiHarness>();
        ui->importSongs(scratch(QStringLiteral("music")), {QStringLiteral("Dawn"), QStringLiteral("Noon"), QStringLiteral("Dusk"), QStringLiteral("Loose")},
                        [](const QString& title) {
                            fixtures::Tags tags;
                            tags.title = title;
                            if (title == QLatin1String("Loose")) {
                                tags.artist = QStringLiteral("Solo Act");
                                return tags;
                            }
                            tags.artist = QStringLiteral("Aurora Band");
                            tags.album = QStringLiteral("Sky");
                            tags.track = title == QLatin1String("Noon") ? QStringLiteral("1") : title == QLatin1String("Dawn") ? QStringLiteral("2") : QStringLiteral("3");
                            return tags;
                        });
        window = ui->openMainWindow();
    }

    void TearDown() override
    {
        window.reset();
        ui.reset();
        test::DataFolderTest::TearDown();
    }

    MainLayoutView& layout() { return window->layoutView(); }
    PlaylistEngine& playlists() { return ui->container->playlistEngine(); }
    QueueEngine& queue() { return ui->container->queueEngine(); }
    TrackListView& list()
    {
        TrackListView* shown = layout().visibleTrackList();
        EXPECT_NE(shown, nullptr);
        return *shown;
    }
    QStringList shownTitles() { return test::titlesOf(list().model().shownTracks().tracks); }

    QString titleOf(const QUuid& id)
    {
        for (const Track& song : ui->container->libraryEngine().allTracks()) {
            if (song.id == id)
                return song.title;
        }
        return QStringLiteral("?");
    }
    QStringList titlesOfIDs(const QJsonArray& ids)
    {
        QStringList titles;
        for (const QJsonValue& id : ids)
            titles << titleOf(QUuid::fromString(id.toString()));
        return titles;
    }
    QStringList titlesOfIDs(const QList<QUuid>& ids)
    {
        QStringList titles;
        for (const QUuid& id : ids)
            titles << titleOf(id);
        return titles;
    }

    // The songs of the playlist of that name as playlist_records.json holds
    // them, or absent when there is no such playlist.
    std::optional<QStringList> storedSongs(const QString& name)
    {
        const QString path = appFile(QStringLiteral("playlist_records.json"));
        for (const QJsonValue& record : QJsonDocument::fromJson(test::readFile(path)).array()) {
            if (record.toObject().value("name").toString() == name)
                return titlesOfIDs(record.toObject().value("trackIDs").toArray());
        }
        return std::nullopt;
    }
    bool storedSongsBecome(const QString& name, const QStringList& titles)
    {
        return test::waitUntil([&] { return storedSongs(name) == titles; });
    }
    // The queue's upcoming songs as the saved session has them.
    bool sessionQueueBecomes(const QStringList& titles)
    {
        const QString path = appFile(QStringLiteral("playback_state.json"));
        return test::waitUntil([&] {
            return QFile::exists(path)
                   && titlesOfIDs(QJsonDocument::fromJson(test::readFile(path)).object().value("upcomingTrackIDs").toArray()) == titles;
        });
    }
    QStringList upcomingTitles() { return test::titlesOf(queue().upcoming()); }

    int rowOf(const QString& title) { return shownTitles().indexOf(title); }
    QPoint rowCentre(int row)
    {
        TrackTableModel& model = list().model();
        return list().table().visualRect(model.index(row, model.columnOf(TrackTableColumnID::Title))).center();
    }
    void clickRow(const QString& title, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(list().table().viewport(), Qt::LeftButton, modifiers, rowCentre(rowOf(title)));
    }
    // Right-clicks the row and returns the menu that pops up.
    QMenu* rightClickRow(const QString& title)
    {
        QWidget* viewport = list().table().viewport();
        const QPoint at = rowCentre(rowOf(title));
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        EXPECT_TRUE(test::waitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }));
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    static QAction* item(QMenu& menu, const QString& text)
    {
        for (QAction* action : menu.actions()) {
            if (action->text() == text)
                return action;
        }
        ADD_FAILURE() << "no item " << text.toStdString();
        return nullptr;
    }
    static QStringList texts(const QMenu& menu)
    {
        QStringList shown;
        for (const QAction* action : menu.actions()) {
            if (!action->isSeparator())
                shown << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        return shown;
    }
    void choose(QMenu* menu, const QString& text)
    {
        ASSERT_NE(menu, nullptr);
        QAction* chosen = item(*menu, text);
        ASSERT_NE(chosen, nullptr);
        chosen->trigger();
        menu->close();
    }

    PlaylistDetailView* openPlaylist(const Playlist& playlist)
    {
        layout().setSelection(NavigationDestination::playlist(playlist.id));
        auto* detail = qobject_cast<PlaylistDetailView*>(layout().centreWidget());
        EXPECT_NE(detail, nullptr);
        EXPECT_TRUE(test::waitUntil([&] { return list().model().rowCount() == static_cast<int>(detail->tracks().size()) && !detail->tracks().empty(); }));
        return detail;
    }
    Playlist playlistOf(const QStringList& titles, const QString& name = QStringLiteral("Mix"))
    {
        const Playlist playlist = await(playlists().createPlaylist(name));
        QList<SharedTrack> songs;
        for (const QString& title : titles) {
            for (const SharedTrack& song : ui->container->libraryEngine().allTracks().sharedSongs()) {
                if (song->title == title)
                    songs.append(song);
            }
        }
        await(playlists().addTracks(TrackList(std::move(songs)), playlist.id));
        return *playlists().findPlaylist(playlist.id);
    }

    // Drops the songs of the rows `dragged` onto the list's table, on the
    // upper half of row `onto` (the row count: below the last row).
    void dropRows(const QStringList& dragged, int onto)
    {
        TrackTableView& table = list().table();
        for (const QString& title : dragged)
            clickRow(title, dragged.first() == title ? Qt::NoModifier : Qt::ControlModifier);
        std::unique_ptr<QMimeData> data(table.dragDataFor(rowOf(dragged.first())));
        const int count = list().model().rowCount();
        const QPoint at = onto < count ? rowCentre(onto) - QPoint(0, table.rowHeight(onto) / 4)
                                       : rowCentre(count - 1) + QPoint(0, table.rowHeight(count - 1) / 2 + 4);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &move);
        EXPECT_EQ(table.dropRow(), onto);
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &drop);
        EXPECT_EQ(table.dropRow(), -1);
    }

    std::unique_ptr<test::UiHarness> ui;
    std::unique_ptr<MainWindow> window;
};

// --- The song list ----------------------------------------------------------

TEST_F(SongHandOffTest, TheRowMenuQueuesTheSelectionNextOrTheClickedSongLastAndTheSessionKeepsThem)
{
    EXPECT_EQ(shownTitles(), (QStringList {"Dawn", "Dusk", "Loose", "Noon"}));
    clickRow(QStringLiteral("Dawn"));
    clickRow(QStringLiteral("Noon"), Qt::ControlModifier);

    choose(rightClickRow(QStringLiteral("Noon")), QStringLiteral("Play Next"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Dawn", "Noon"}));
    // Outside the selection only the clicked song counts.
    choose(rightClickRow(QStringLiteral("Loose")), QStringLiteral("Add to Queue"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Dawn", "Noon", "Loose"}));
    choose(rightClickRow(QStringLiteral("Dusk")), QStringLiteral("Play Next"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Dusk", "Dawn", "Noon", "Loose"}));
    EXPECT_TRUE(sessionQueueBecomes({"Dusk", "Dawn", "Noon", "Loose"}));
}

TEST_F(SongHandOffTest, AddToPlaylistOffersThePlaylistTreeAndAddsToAPlaylistInsideAFolder)
{
    const Playlist folder = await(playlists().createFolder(QStringLiteral("Trips")));
    await(playlists().createPlaylist(QStringLiteral("Inside"), folder.id));
    await(playlists().createFolder(QStringLiteral("Empty"), folder.id));
    await(playlists().createPlaylist(QStringLiteral("Mix")));
    await(playlists().createSmartPlaylist(QStringLiteral("Jazz"), QStringLiteral("Genre contains Jazz")));
    await(playlists().loadPlaylists());
    clickRow(QStringLiteral("Noon"));
    clickRow(QStringLiteral("Dawn"), Qt::ControlModifier);

    QMenu* menu = rightClickRow(QStringLiteral("Dawn"));
    ASSERT_NE(menu, nullptr);
    QMenu* add = item(*menu, QStringLiteral("Add to Playlist"))->menu();
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(texts(*add), (QStringList {"New Playlist…", "Jazz (off)", "Mix", "Trips"}));
    QMenu* trips = item(*add, QStringLiteral("Trips"))->menu();
    ASSERT_NE(trips, nullptr);
    EXPECT_EQ(texts(*trips), (QStringList {"Inside", "Empty"}));
    EXPECT_EQ(texts(*item(*trips, QStringLiteral("Empty"))->menu()), QStringList {"No Playlists (off)"});
    choose(trips, QStringLiteral("Inside"));
    menu->close();

    EXPECT_TRUE(storedSongsBecome(QStringLiteral("Inside"), {"Dawn", "Noon"}));
}

TEST_F(SongHandOffTest, NewPlaylistMakesOneWithTheSongsOpensItAndAsksForItsName)
{
    clickRow(QStringLiteral("Dusk"));
    clickRow(QStringLiteral("Loose"), Qt::ShiftModifier);
    QMenu* menu = rightClickRow(QStringLiteral("Dusk"));
    ASSERT_NE(menu, nullptr);
    choose(item(*menu, QStringLiteral("Add to Playlist"))->menu(), QStringLiteral("New Playlist…"));
    menu->close();

    EXPECT_TRUE(storedSongsBecome(QStringLiteral("New Playlist"), {"Dusk", "Loose"}));
    ASSERT_TRUE(test::waitUntil([&] { return layout().centreScreen().kind == CentreScreen::Kind::PlaylistDetail; }));
    EXPECT_EQ(layout().centreScreen().playlist->name, QStringLiteral("New Playlist"));
    auto* sheet = window->findChild<PlaylistRenameSheet*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    sheet->reject();
}

TEST_F(SongHandOffTest, DraggedRowsCarryTheSelectedSongsAndAPlainClickOnThemKeepsOnlyOne)
{
    clickRow(QStringLiteral("Noon"));
    clickRow(QStringLiteral("Dawn"), Qt::ControlModifier);
    TrackTableView& table = list().table();

    std::unique_ptr<QMimeData> selected(table.dragDataFor(rowOf(QStringLiteral("Noon"))));
    const std::vector<QUuid> selectedIDs = draggedSongIds(selected.get());
    EXPECT_EQ(titlesOfIDs(QList<QUuid>(selectedIDs.begin(), selectedIDs.end())), (QStringList {"Dawn", "Noon"}));
    std::unique_ptr<QMimeData> other(table.dragDataFor(rowOf(QStringLiteral("Loose"))));
    const std::vector<QUuid> otherIDs = draggedSongIds(other.get());
    EXPECT_EQ(titlesOfIDs(QList<QUuid>(otherIDs.begin(), otherIDs.end())), QStringList {"Loose"});

    // A press on the selection that moves away starts a drag and keeps both.
    const QPoint start = rowCentre(rowOf(QStringLiteral("Noon")));
    QTest::mousePress(table.viewport(), Qt::LeftButton, {}, start);
    QTest::mouseMove(table.viewport(), start + QPoint(0, QApplication::startDragDistance() + 10));
    QTest::mouseRelease(table.viewport(), Qt::LeftButton, {}, start + QPoint(0, QApplication::startDragDistance() + 10));
    EXPECT_EQ(list().model().selectionCount(), 2);
    // The song list takes no drop of its own songs: only a playlist's does.
    EXPECT_FALSE(table.acceptsRowDrops());

    clickRow(QStringLiteral("Noon"));
    EXPECT_EQ(list().model().selectionCount(), 1);
    EXPECT_TRUE(list().model().isSelected(rowOf(QStringLiteral("Noon"))));
}

// --- The playlist screen ----------------------------------------------------

TEST_F(SongHandOffTest, APlaylistOpensInItsOwnOrderComesBackToItFromAColumnSortAndPlaysAsShown)
{
    PlaylistDetailView* detail = openPlaylist(playlistOf({"Noon", "Loose", "Dawn"}));
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(shownTitles(), (QStringList {"Noon", "Loose", "Dawn"}));
    EXPECT_TRUE(detail->playlistOrderButton()->isVisible());
    EXPECT_TRUE(detail->playlistOrderButton()->isChecked());

    TrackTableHeaderView& header = list().table().columnHeader();
    const int title = list().model().columnOf(TrackTableColumnID::Title);
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                      QRect(header.sectionViewportPosition(title), 0, header.sectionSize(title), header.height()).center());
    EXPECT_EQ(shownTitles(), (QStringList {"Dawn", "Loose", "Noon"}));
    EXPECT_FALSE(detail->playlistOrderButton()->isChecked());

    QTest::mouseClick(detail->playButton(), Qt::LeftButton);
    ASSERT_TRUE(queue().currentTrack().has_value());
    EXPECT_EQ(queue().currentTrack()->title, QStringLiteral("Dawn"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Loose", "Noon"}));

    QTest::mouseClick(detail->playlistOrderButton(), Qt::LeftButton);
    EXPECT_EQ(shownTitles(), (QStringList {"Noon", "Loose", "Dawn"}));
    EXPECT_TRUE(detail->playlistOrderButton()->isChecked());
}

TEST_F(SongHandOffTest, RowsDraggedWithinAPlaylistMoveTheSongsInTheStoredOrder)
{
    openPlaylist(playlistOf({"Noon", "Loose", "Dawn", "Dusk"}));
    ASSERT_TRUE(list().table().acceptsRowDrops());

    dropRows({"Dawn"}, 0);
    EXPECT_TRUE(storedSongsBecome(QStringLiteral("Mix"), {"Dawn", "Noon", "Loose", "Dusk"}));
    ASSERT_TRUE(test::waitUntil([&] { return shownTitles() == QStringList {"Dawn", "Noon", "Loose", "Dusk"}; }));

    dropRows({"Dawn", "Noon"}, 4);
    EXPECT_TRUE(storedSongsBecome(QStringLiteral("Mix"), {"Loose", "Dusk", "Dawn", "Noon"}));
    ASSERT_TRUE(test::waitUntil([&] { return shownTitles() == QStringList {"Loose", "Dusk", "Dawn", "Noon"}; }));

    // Sorted by a column the rows have no order of their own to drop into.
    list().model().sortByColumn(TrackTableColumnID::Title);
    EXPECT_FALSE(list().table().acceptsRowDrops());
}

TEST_F(SongHandOffTest, DeleteAndRemoveFromPlaylistTakeTheChosenSongsOutAndCtrlZPutsThemBack)
{
    openPlaylist(playlistOf({"Noon", "Loose", "Dawn", "Dusk"}));
    clickRow(QStringLiteral("Loose"));
    clickRow(QStringLiteral("Dusk"), Qt::ControlModifier);
    QTest::keyClick(&list().table(), Qt::Key_Delete);
    EXPECT_TRUE(storedSongsBecome(QStringLiteral("Mix"), {"Noon", "Dawn"}));
    ASSERT_TRUE(test::waitUntil([&] { return shownTitles() == QStringList {"Noon", "Dawn"}; }));
    EXPECT_EQ(window->undoStack().undoText(), QStringLiteral("Remove from Playlist"));

    QTest::keyClick(&list().table(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(storedSongsBecome(QStringLiteral("Mix"), {"Noon", "Loose", "Dawn", "Dusk"}));
    ASSERT_TRUE(test::waitUntil([&] { return shownTitles() == QStringList {"Noon", "Loose", "Dawn", "Dusk"}; }));

    choose(rightClickRow(QStringLiteral("Noon")), QStringLiteral("Remove from Playlist"));
    EXPECT_TRUE(storedSongsBecome(QStringLiteral("Mix"), {"Loose", "Dawn", "Dusk"}));
    // The songs stay in the library.
    EXPECT_EQ(ui->container->libraryEngine().allTracks().size(), 4u);
}

// --- The album screens ------------------------------------------------------

TEST_F(SongHandOffTest, AnAlbumsMenuQueuesItsSongsInAlbumOrder)
{
    layout().setSelection(NavigationDestination::albums());
    auto* albums = qobject_cast<AlbumBrowserView*>(layout().centreWidget());
    ASSERT_NE(albums, nullptr);
    const auto* tiles = qobject_cast<const QSortFilterProxyModel*>(albums->grid()->model());
    ASSERT_NE(tiles, nullptr);
    QModelIndex sky;
    for (int row = 0; row < tiles->rowCount(); ++row) {
        if (albums->albums()->album(tiles->mapToSource(tiles->index(row, 0)).row()).title() == QLatin1String("Sky"))
            sky = tiles->index(row, 0);
    }
    ASSERT_TRUE(sky.isValid());
    choose(albums->makeAlbumMenu(sky), QStringLiteral("Add to Queue"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Noon", "Dawn", "Dusk"}));

    albums->openAlbum(sky);
    QTreeWidget* songs = albums->albumSongs();
    songs->topLevelItem(2)->setSelected(true);
    choose(albums->makeSongMenu(2), QStringLiteral("Play Next"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Dusk", "Noon", "Dawn", "Dusk"}));
    EXPECT_TRUE(sessionQueueBecomes({"Dusk", "Noon", "Dawn", "Dusk"}));
}

TEST_F(SongHandOffTest, AnArtistsMenuQueuesAllTheirSongsAlbumByAlbum)
{
    layout().setSelection(NavigationDestination::artists());
    auto* artists = qobject_cast<AlbumBrowserView*>(layout().centreWidget());
    ASSERT_NE(artists, nullptr);
    QListWidget* list = artists->artistList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }, 10000));
    int aurora = -1;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().startsWith(QLatin1String("Aurora Band")))
            aurora = row;
    }
    ASSERT_GE(aurora, 0);
    choose(artists->makeArtistMenu(aurora), QStringLiteral("Add to Queue"));
    EXPECT_EQ(upcomingTitles(), (QStringList {"Noon", "Dawn", "Dusk"}));
    EXPECT_TRUE(sessionQueueBecomes({"Noon", "Dawn", "Dusk"}));
}

// --- Search -----------------------------------------------------------------

TEST_F(SongHandOffTest, ChoosingAFoundSongPlaysItWithItsAlbumAndNamesOpenTheirScreens)
{
    SearchPopup* results = window->searchResults();
    const auto search = [&](const QString& text) {
        window->searchField()->clear();
        QTest::keyClicks(window->searchField(), text);
        EXPECT_TRUE(test::waitUntil([&] { return results->isVisible() && results->rowTexts().size() > 1; }));
    };
    const auto click = [&](const QString& text) {
        const QList<QListWidgetItem*> found = results->list()->findItems(text, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << text.toStdString();
        QTest::mouseClick(results->list()->viewport(), Qt::LeftButton, {}, results->list()->visualItemRect(found.first()).center());
    };

    search(QStringLiteral("dawn"));
    click(QStringLiteral("Dawn — Aurora Band"));
    ASSERT_TRUE(queue().currentTrack().has_value());
    EXPECT_EQ(queue().currentTrack()->title, QStringLiteral("Dawn"));
    EXPECT_EQ(upcomingTitles(), QStringList {"Dusk"});
    EXPECT_EQ(test::titlesOf(queue().history()), QStringList {"Noon"});

    search(QStringLiteral("loose"));
    click(QStringLiteral("Loose — Solo Act"));
    EXPECT_EQ(queue().currentTrack()->title, QStringLiteral("Loose"));
    EXPECT_TRUE(upcomingTitles().isEmpty());

    search(QStringLiteral("aurora"));
    click(QStringLiteral("Aurora Band"));
    auto* artists = qobject_cast<AlbumBrowserView*>(layout().centreWidget());
    ASSERT_NE(artists, nullptr);
    EXPECT_EQ(artists->mode(), AlbumBrowserView::Mode::Artists);
    EXPECT_EQ(artists->currentPage(), artists->gridPage());
    EXPECT_EQ(artists->heading()->text(), QStringLiteral("Aurora Band"));

    search(QStringLiteral("sky"));
    click(QStringLiteral("Sky"));
    auto* albums = qobject_cast<AlbumBrowserView*>(layout().centreWidget());
    ASSERT_NE(albums, nullptr);
    EXPECT_EQ(albums->mode(), AlbumBrowserView::Mode::Albums);
    EXPECT_EQ(albums->currentPage(), albums->albumPage());
    EXPECT_EQ(albums->albumTitle()->text(), QStringLiteral("Sky"));
    EXPECT_EQ(albums->albumSongs()->topLevelItemCount(), 3);
}

} // namespace
} // namespace varno
