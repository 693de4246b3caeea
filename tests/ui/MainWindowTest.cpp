#include "TestSupport.h"
#include "UiHarness.h"

#include "playback/QueueEngine.h"
#include "ui/MainWindow.h"
#include "ui/window/AboutWindow.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/MenuBarBinder.h"
#include "ui/window/SearchPopup.h"
#include "ui/window/WorkspacePanelRegion.h"
#include "ui/player/BottomPlayerView.h"
#include "playlists/PlaylistEngine.h"
#include "ui/playlists/FolderView.h"
#include "ui/playlists/PlaylistDetailView.h"
#include "ui/queue/QueueView.h"
#include "ui/sidebar/SidebarPlaylistTree.h"
#include "ui/sidebar/SidebarRow.h"
#include "ui/sidebar/SidebarRowPainter.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/TrackListHeaderView.h"
#include "ui/songs/TrackListSource.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableHeaderView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/EmptyStateView.h"
#include "ViewTestSupport.h"
#include "workspace/WindowMemory.h"

#include <QScreen>

#include <QAction>
#include <QLabel>
#include <QFileDialog>
#include <QListView>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace varno {
namespace {

using test::await;

class MainWindowTest : public test::DataFolderTest {
protected:
    // Songs with distinct titles, each by "Artist of <title>", imported
    // through the library engine.
    void importSongs(test::UiHarness& ui, const QStringList& titles)
    {
        ui.importSongs(scratch(QStringLiteral("music")), titles, test::UiHarness::titleAndArtist);
    }

    std::unique_ptr<MainWindow> openWindow(test::UiHarness& ui) { return ui.openMainWindow(); }

    static QAction* action(MainWindow& window, MenuCommand command) { return window.menuBarBinder().action(command); }

    // The library's songs of these titles, in this order.
    static TrackList songsTitled(test::UiHarness& ui, const QStringList& titles)
    {
        TrackList songs;
        for (const QString& title : titles) {
            for (const SharedTrack& song : ui.container->libraryEngine().allTracks().sharedSongs()) {
                if (song->title == title)
                    songs.append(song);
            }
        }
        return songs;
    }
};

TEST_F(MainWindowTest, OpensAtItsDefaultSizeOnAllSongsWithTheMenuBar)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    EXPECT_EQ(window->size(), QSize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight));
    EXPECT_EQ(window->minimumSize(), QSize(900, 650));
    EXPECT_FALSE(window->layoutView().selection().has_value());
    EXPECT_EQ(window->layoutView().centreScreen().title, QStringLiteral("All Songs"));

    EXPECT_EQ(action(*window, MenuCommand::AddFolder)->text(), QStringLiteral("Add Folder to Library..."));
    EXPECT_EQ(action(*window, MenuCommand::AddFolder)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    EXPECT_EQ(action(*window, MenuCommand::PlayPause)->text(), QStringLiteral("Play"));
    EXPECT_FALSE(action(*window, MenuCommand::PlayPause)->isEnabled());
    EXPECT_FALSE(action(*window, MenuCommand::SelectAllSongs)->isEnabled());
    EXPECT_TRUE(action(*window, MenuCommand::ShowLibrarySidebar)->isChecked());
}

TEST_F(MainWindowTest, PlayingUpdatesThePlaybackMenuAndTheArrowKeys)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("One"), QStringLiteral("Two")});
    auto window = openWindow(ui);
    const PlaybackNavigationShortcutConfiguration& keys = window->layoutView().playbackKeys().configuration();
    EXPECT_FALSE(keys.canPlayPrevious);
    EXPECT_FALSE(keys.canPlayNext);

    QueueEngine& queue = ui.container->queueEngine();
    queue.playNow(ui.container->libraryEngine().allTracks().mid(0, 1), 0);
    EXPECT_TRUE(test::waitUntil([&] { return action(*window, MenuCommand::PlayPause)->text() == QStringLiteral("Pause"); }));
    EXPECT_TRUE(action(*window, MenuCommand::NextTrack)->isEnabled());
    EXPECT_TRUE(keys.canPlayPrevious);
    EXPECT_FALSE(keys.canPlayNext);
    queue.setRepeatMode(RepeatMode::All);
    EXPECT_TRUE(window->layoutView().playbackKeys().configuration().canPlayNext);

    // The bare right arrow steps through the queue, but not while the
    // search field has focus and wants it for its cursor.
    queue.setRepeatMode(RepeatMode::Off);
    queue.playNow(ui.container->libraryEngine().allTracks(), 0);
    const QString first = queue.currentTrack()->title;
    window->searchField()->setFocus();
    QTest::keyClick(window->searchField(), Qt::Key_Right);
    EXPECT_EQ(queue.currentTrack()->title, first);
    window->layoutView().setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_NE(queue.currentTrack()->title, first);
}

TEST_F(MainWindowTest, AboutButtonOpensOneAboutWindow)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    auto* button = window->findChild<QToolButton*>(QStringLiteral("aboutButton"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    AboutWindow* about = window->aboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About VARNO MUSIC"));
    EXPECT_EQ(about->minimumSize(), about->maximumSize());

    action(*window, MenuCommand::About)->trigger();
    EXPECT_EQ(window->aboutWindow(), about);
}

TEST_F(MainWindowTest, SearchShowsSectionsAndPlaysTheChosenSong)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("Quiet Engines"), QStringLiteral("Loud Engines"), QStringLiteral("Other")});
    auto window = openWindow(ui);
    QTest::keyClicks(window->searchField(), QStringLiteral("engines"));
    SearchPopup* results = window->searchResults();
    ASSERT_TRUE(test::waitUntil([&] { return results->isVisible(); }));
    const QStringList rows = results->rowTexts();
    EXPECT_EQ(rows.first(), QStringLiteral("SONGS"));
    EXPECT_TRUE(rows.contains(QStringLiteral("Quiet Engines — Artist of Quiet Engines")));
    EXPECT_FALSE(rows.join(QLatin1Char('\n')).contains(QStringLiteral("Other —")));

    QTest::keyClick(window->searchField(), Qt::Key_Down);
    QTest::keyClick(window->searchField(), Qt::Key_Return);
    ASSERT_TRUE(ui.container->queueEngine().currentTrack().has_value());
    EXPECT_TRUE(ui.container->queueEngine().currentTrack()->title.endsWith(QStringLiteral("Engines")));

    QTest::keyClick(window->searchField(), Qt::Key_Escape);
    EXPECT_TRUE(window->searchField()->text().isEmpty());
    EXPECT_FALSE(results->isVisible());
}

TEST_F(MainWindowTest, PanelChoicesFromTheMenuLastAcrossARestart)
{
    {
        test::UiHarness ui;
        auto window = openWindow(ui);
        action(*window, MenuCommand::ShowLibrarySidebar)->trigger();
        EXPECT_FALSE(ui.panelState.isLeftExpanded());
        action(*window, MenuCommand::LockLibrarySidebar)->trigger();
        action(*window, MenuCommand::EnableNowPlayingInspector)->trigger();
        // A locked panel refuses the toggle, and the check mark stays true
        // to the state.
        action(*window, MenuCommand::ShowLibrarySidebar)->trigger();
        EXPECT_FALSE(action(*window, MenuCommand::ShowLibrarySidebar)->isChecked());
    }
    test::UiHarness restarted;
    auto window = openWindow(restarted);
    WorkspacePanelRegion* left = window->layoutView().panelRegion(WorkspacePanelSide::Left);
    EXPECT_TRUE(left->revealButton()->isVisible());
    EXPECT_EQ(left->revealButton()->accessibleName(), QStringLiteral("Library Sidebar collapsed and locked"));
    EXPECT_EQ(window->layoutView().panelRegion(WorkspacePanelSide::Right)->width(), 0);
}

TEST_F(MainWindowTest, AFolderThatCannotBeAddedIsExplainedInAWarning)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    // A folder whose only audio file is broken.
    const QString folder = scratch(QStringLiteral("broken"));
    QDir().mkpath(folder);
    QFile::copy(test::fixturePath(QStringLiteral("bad/random.mp3")), folder + QStringLiteral("/random.mp3"));
    ui.dialogs.folderAnswers.push_back({FileURL::fromLocalFile(folder)});
    action(*window, MenuCommand::AddFolder)->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return !ui.dialogs.shown.isEmpty() && ui.dialogs.shown.last().kind == QStringLiteral("warning"); }));
    EXPECT_EQ(ui.dialogs.shown.last().title, QStringLiteral("The folder could not be added"));
    EXPECT_FALSE(ui.dialogs.shown.last().message.isEmpty());

    // Cancelling the chooser does nothing: the next add that fails shows
    // one warning more, its own, after its own chooser.
    const qsizetype shown = ui.dialogs.shown.size();
    action(*window, MenuCommand::AddFolder)->trigger();
    EXPECT_EQ(ui.dialogs.shown.size(), shown + 1);
    ui.dialogs.folderAnswers.push_back({FileURL::fromLocalFile(folder)});
    action(*window, MenuCommand::AddFolder)->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return ui.dialogs.shown.last().kind == QStringLiteral("warning"); }));
    EXPECT_EQ(ui.dialogs.shown.size(), shown + 3);
}

TEST_F(MainWindowTest, AFolderWhereSomeFilesAreSkippedSaysHowManySongsCameInAsANotice)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    const QString folder = scratch(QStringLiteral("mixed"));
    QDir().mkpath(folder);
    QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), folder + QStringLiteral("/one.mp3"));
    QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.flac")), folder + QStringLiteral("/two.flac"));
    // A file whose name is not UTF-8, as some old archives hold.
    const QByteArray oddName = QFile::encodeName(folder) + "/caf\xe9.mp3";
    const int descriptor = ::open(oddName.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(descriptor, 0);
    ::close(descriptor);
    ui.dialogs.folderAnswers.push_back({FileURL::fromLocalFile(folder)});
    action(*window, MenuCommand::AddFolder)->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return !ui.dialogs.shown.isEmpty() && ui.dialogs.shown.last().kind != QStringLiteral("folders"); }));
    EXPECT_EQ(ui.dialogs.shown.last().kind, QStringLiteral("notice"));
    EXPECT_EQ(ui.dialogs.shown.last().title, QStringLiteral("Added 2 songs"));
    EXPECT_TRUE(ui.dialogs.shown.last().message.startsWith(QStringLiteral("1 file was skipped:\n"))) << ui.dialogs.shown.last().message.toStdString();
    EXPECT_EQ(ui.container->libraryEngine().allTracks().size(), 2u);
}

TEST_F(MainWindowTest, TheFolderChooserTakesSeveralFoldersAtOnce)
{
    const QString root = scratch(QStringLiteral("collection"));
    for (const char* name : {"Jazz", "Folk", "Rock"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(name));
    QFileDialog dialog;
    prepareFolderChooser(dialog);
    dialog.setDirectory(root);
    dialog.open();
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    ASSERT_TRUE(test::waitUntil([&] { return view->model()->rowCount(view->rootIndex()) == 3; }));
    // A click and a Ctrl-click, as a hand would choose two of them.
    for (const int row : {0, 2}) {
        const QRect place = view->visualRect(view->model()->index(row, 0, view->rootIndex()));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, row == 0 ? Qt::NoModifier : Qt::ControlModifier, place.center());
    }
    QStringList chosen = dialog.selectedFiles();
    chosen.sort();
    EXPECT_EQ(chosen, (QStringList {root + QStringLiteral("/Folk"), root + QStringLiteral("/Rock")}));
    dialog.reject();
}

} // namespace
} // namespace varno

namespace varno {
namespace {

class MainWindowNavigationTest : public MainWindowTest {};

TEST_F(MainWindowNavigationTest, SidebarRowsChooseTheScreenAndADeletedPlaylistFallsBackToAllSongs)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    const Playlist mix = await(ui.container->playlistEngine().createPlaylist(QStringLiteral("Mix")));
    auto window = openWindow(ui);
    MainLayoutView& layout = window->layoutView();
    SidebarView& sidebar = *layout.sidebar();

    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::RecentlyAdded), Qt::LeftButton);
    EXPECT_EQ(layout.selection(), NavigationDestination::recentlyAdded());
    ASSERT_NE(layout.visibleTrackList(), nullptr);
    EXPECT_EQ(layout.visibleTrackList()->header().title(), QStringLiteral("Recently Added"));
    EXPECT_EQ(layout.visibleTrackList()->model().rowCount(), 3);

    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::Favorites), Qt::LeftButton);
    EXPECT_EQ(layout.centreScreen().kind, CentreScreen::Kind::Favorites);
    EXPECT_TRUE(layout.visibleTrackList()->isShowingEmptyState());
    EXPECT_EQ(layout.visibleTrackList()->emptyStateView().title(), QStringLiteral("No favorites yet"));

    ASSERT_TRUE(test::waitUntil([&] { return sidebar.playlistItem(mix.id) != nullptr; }));
    layout.setSelection(NavigationDestination::playlist(mix.id));
    EXPECT_NE(qobject_cast<PlaylistDetailView*>(layout.centreWidget()), nullptr);

    await(ui.container->playlistEngine().deletePlaylist(mix.id));
    ASSERT_TRUE(test::waitUntil([&] { return layout.centreScreen().kind == CentreScreen::Kind::SongList; }));
    EXPECT_EQ(layout.centreScreen().title, QStringLiteral("All Songs"));
    EXPECT_EQ(layout.selection(), NavigationDestination::playlist(mix.id));
}

TEST_F(MainWindowNavigationTest, TopRatedShowsRatedSongsBestFirstBeforeTheListsOwnSort)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    std::vector<Track> rated;
    for (const Track& song : ui.container->libraryEngine().allTracks()) {
        Track changed = song;
        changed.rating = song.title == QStringLiteral("B") ? 5 : song.title == QStringLiteral("D") ? 0 : 3;
        rated.push_back(changed);
    }
    await(ui.container->libraryEngine().updateTracks(rated));
    auto window = openWindow(ui);
    window->layoutView().setSelection(NavigationDestination::topRated());
    TrackListView* list = window->layoutView().visibleTrackList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(test::titlesOf(list->source().tracks()), (QStringList {QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")}));
}

TEST_F(MainWindowNavigationTest, APlaylistInsideAFolderOpensLikeATopLevelOneAndTheFolderListsItsPlaylists)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("A"), QStringLiteral("B")});
    PlaylistEngine& playlists = ui.container->playlistEngine();
    const Playlist folder = await(playlists.createFolder(QStringLiteral("Road")));
    const Playlist inside = await(playlists.createPlaylist(QStringLiteral("Inside")));
    await(playlists.addTracks(songsTitled(ui, {QStringLiteral("B")}), inside.id));
    await(playlists.move(inside.id, folder.id, 0));
    const Playlist other = await(playlists.createPlaylist(QStringLiteral("Other"), folder.id));
    await(playlists.loadPlaylists());
    auto window = openWindow(ui);
    MainLayoutView& layout = window->layoutView();
    SidebarView& sidebar = *layout.sidebar();
    QTreeWidget* tree = sidebar.playlistTree();

    // Opened with its chevron, then clicked: the playlist's own screen.
    QTreeWidgetItem* folderRow = sidebar.playlistItem(folder.id);
    ASSERT_NE(folderRow, nullptr);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, sidebar::disclosureRect(tree->visualItemRect(folderRow)).center());
    test::clickItem(tree, sidebar.playlistItem(inside.id));
    auto* detail = qobject_cast<PlaylistDetailView*>(layout.centreWidget());
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->playlist().id, inside.id);
    EXPECT_EQ(layout.centreScreen().title, QStringLiteral("Inside"));
    ASSERT_TRUE(test::waitUntil([&] { return test::titlesOf(detail->tracks()) == QStringList {QStringLiteral("B")}; }));

    // The folder's own screen lists what it holds; a click opens one.
    test::clickItem(tree, folderRow);
    auto* folderScreen = qobject_cast<FolderView*>(layout.centreWidget());
    ASSERT_NE(folderScreen, nullptr);
    EXPECT_EQ(folderScreen->countLabel()->text(), QStringLiteral("2 playlists"));
    ASSERT_EQ(folderScreen->list()->count(), 2);
    EXPECT_EQ(folderScreen->list()->item(0)->text(), QStringLiteral("Inside  \u00B7  1 song"));
    EXPECT_EQ(folderScreen->list()->item(1)->text(), QStringLiteral("Other  \u00B7  0 songs"));
    test::clickRow(folderScreen->list(), folderScreen->list()->model()->index(1, 0));
    EXPECT_EQ(layout.selection(), NavigationDestination::playlist(other.id));
    ASSERT_NE(qobject_cast<PlaylistDetailView*>(layout.centreWidget()), nullptr);
    EXPECT_TRUE(sidebar.playlistItem(other.id)->isSelected());

    // An empty folder says how to fill it.
    const Playlist empty = await(playlists.createFolder(QStringLiteral("Empty")));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.playlistItem(empty.id) != nullptr; }));
    test::clickItem(tree, sidebar.playlistItem(empty.id));
    folderScreen = qobject_cast<FolderView*>(layout.centreWidget());
    ASSERT_NE(folderScreen, nullptr);
    EXPECT_TRUE(folderScreen->emptyState()->isVisible());
    EXPECT_EQ(folderScreen->emptyState()->title(), QStringLiteral("This folder is empty"));
}

TEST_F(MainWindowNavigationTest, RecentScreensAndTopRatedKeepTheirOwnOrderUntilAColumnIsClickedAndSayWhyTheyAreEmpty)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    // Added one a day apart, in the order C, A, D; B has no date at all.
    std::vector<Track> dated;
    for (const Track& song : ui.container->libraryEngine().allTracks()) {
        Track changed = song;
        const int day = QStringLiteral("CAD").indexOf(song.title);
        changed.dateAdded = day < 0 ? std::nullopt : std::optional<Timestamp>(Timestamp {800000000.0 + day * 86400.0});
        dated.push_back(changed);
    }
    await(ui.container->libraryEngine().updateTracks(dated));
    auto window = openWindow(ui);
    MainLayoutView& layout = window->layoutView();
    SidebarView& sidebar = *layout.sidebar();
    const auto shownTitles = [&] { return test::titlesOf(layout.visibleTrackList()->model().shownTracks().tracks); };

    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::RecentlyAdded), Qt::LeftButton);
    ASSERT_NE(layout.visibleTrackList(), nullptr);
    EXPECT_EQ(layout.visibleTrackList()->header().title(), QStringLiteral("Recently Added"));
    EXPECT_EQ(shownTitles(), (QStringList {"D", "A", "C"}));
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), TrackSortOrder::listed());

    // Nothing played yet, nothing rated: each says so in its own words.
    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::RecentlyPlayed), Qt::LeftButton);
    ASSERT_TRUE(layout.visibleTrackList()->isShowingEmptyState());
    EXPECT_EQ(layout.visibleTrackList()->emptyStateView().title(), QStringLiteral("No recently played songs"));
    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::TopRated), Qt::LeftButton);
    ASSERT_TRUE(layout.visibleTrackList()->isShowingEmptyState());
    EXPECT_EQ(layout.visibleTrackList()->emptyStateView().title(), QStringLiteral("No rated songs"));

    // Played A, then C, then A again, now D: the last first, each once.
    QueueEngine& queue = ui.container->queueEngine();
    queue.playNow(songsTitled(ui, {QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("D")}), 0);
    queue.advanceToNext();
    queue.advanceToNext();
    queue.advanceToNext();
    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::RecentlyPlayed), Qt::LeftButton);
    EXPECT_EQ(shownTitles(), (QStringList {"D", "A", "C"}));
    queue.playNow(songsTitled(ui, {QStringLiteral("B")}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return shownTitles() == QStringList {"B"}; }));

    // Rated: best first, not by title, until a header is clicked.
    std::vector<Track> rated;
    for (const Track& song : ui.container->libraryEngine().allTracks()) {
        Track changed = song;
        changed.rating = song.title == QStringLiteral("C") ? 5 : song.title == QStringLiteral("A") ? 2 : song.title == QStringLiteral("D") ? 4 : 0;
        rated.push_back(changed);
    }
    await(ui.container->libraryEngine().updateTracks(rated));
    QTest::mouseClick(sidebar.fixedRow(NavigationDestination::Kind::TopRated), Qt::LeftButton);
    EXPECT_EQ(shownTitles(), (QStringList {"C", "D", "A"}));
    TrackTableHeaderView& header = layout.visibleTrackList()->table().columnHeader();
    const int titleColumn = layout.visibleTrackList()->model().columnOf(TrackTableColumnID::Title);
    const QRect titleSection(header.sectionViewportPosition(titleColumn), 0, header.sectionSize(titleColumn), header.height());
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, titleSection.center());
    EXPECT_EQ(shownTitles(), (QStringList {"A", "C", "D"}));
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), (TrackSortOrder {TrackSortField::Title, true}));
}

TEST_F(MainWindowNavigationTest, EditMenuItemsFollowTheFocusedSongList)
{
    test::UiHarness ui;
    importSongs(ui, {QStringLiteral("A"), QStringLiteral("B")});
    auto window = openWindow(ui);
    TrackListView* list = window->layoutView().visibleTrackList();
    ASSERT_NE(list, nullptr);

    window->searchField()->setFocus();
    EXPECT_FALSE(action(*window, MenuCommand::SelectAllSongs)->isEnabled());

    list->table().setFocus();
    EXPECT_TRUE(action(*window, MenuCommand::SelectAllSongs)->isEnabled());
    EXPECT_FALSE(action(*window, MenuCommand::DeselectAllSongs)->isEnabled());
    EXPECT_FALSE(action(*window, MenuCommand::EditSelection)->isEnabled());

    action(*window, MenuCommand::SelectAllSongs)->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return action(*window, MenuCommand::DeselectAllSongs)->isEnabled(); }));
    EXPECT_EQ(action(*window, MenuCommand::EditSelection)->text(), QStringLiteral("Edit Shared Metadata for Selected Songs…"));

    action(*window, MenuCommand::DeselectAllSongs)->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return !action(*window, MenuCommand::DeselectAllSongs)->isEnabled(); }));
    EXPECT_EQ(action(*window, MenuCommand::EditSelection)->text(), QStringLiteral("Edit Selected Song Metadata…"));
}

TEST_F(MainWindowNavigationTest, QueueButtonOpensTheQueuePanel)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    MainLayoutView& layout = window->layoutView();
    EXPECT_FALSE(layout.queueView()->isVisible());
    QTest::mouseClick(layout.playerBar()->queueButton(), Qt::LeftButton);
    EXPECT_TRUE(layout.queueView()->isVisible());
    EXPECT_TRUE(layout.isQueueVisible());
    QTest::mouseClick(layout.playerBar()->queueButton(), Qt::LeftButton);
    EXPECT_FALSE(layout.queueView()->isVisible());
}

} // namespace
} // namespace varno

namespace varno {
namespace {

class MainWindowMemoryTest : public MainWindowTest {};

TEST_F(MainWindowMemoryTest, TheWindowComesBackWithTheSizeAndPlaceItHadOnItsScreen)
{
    const QRect onSecondScreen(test::kSecondTestScreen.geometry.x() + 100, 60, 1000, 720);
    {
        test::UiHarness ui;
        auto window = openWindow(ui);
        window->setGeometry(onSecondScreen);
        ASSERT_TRUE(test::waitUntil([&] { return window->geometry() == onSecondScreen; }));
    }
    test::UiHarness restarted;
    auto window = openWindow(restarted);
    EXPECT_EQ(window->geometry(), onSecondScreen);
    EXPECT_EQ(window->screen()->name(), QString::fromLatin1(test::kSecondTestScreen.name));
}

TEST_F(MainWindowMemoryTest, AMaximisedWindowComesBackMaximisedAndStillKnowsItsOwnSize)
{
    const QRect normal(200, 100, 1100, 760);
    {
        test::UiHarness ui;
        auto window = openWindow(ui);
        window->setGeometry(normal);
        ASSERT_TRUE(test::waitUntil([&] { return window->geometry() == normal; }));
        window->showMaximized();
        ASSERT_TRUE(test::waitUntil([&] { return window->isMaximized(); }));
    }
    test::UiHarness restarted;
    auto window = openWindow(restarted);
    EXPECT_TRUE(window->isMaximized());
    window->showNormal();
    EXPECT_TRUE(test::waitUntil([&] { return window->geometry() == normal; }));
}

TEST_F(MainWindowMemoryTest, AWindowLeftOffEveryScreenComesBackOnThePrimaryOne)
{
    test::UiHarness ui;
    ui.windowMemory.setPlacement({QRect(9000, 4000, 1100, 760), false, QStringLiteral("DP-7")});
    auto window = openWindow(ui);
    EXPECT_TRUE(test::kPrimaryTestScreen.geometry.contains(window->geometry()));
    EXPECT_EQ(window->size(), QSize(1100, 760));
}

TEST_F(MainWindowMemoryTest, TheQueueAndEachScreensSortOrderLastAcrossARestart)
{
    {
        test::UiHarness ui;
        importSongs(ui, {QStringLiteral("A"), QStringLiteral("B")});
        auto window = openWindow(ui);
        MainLayoutView& layout = window->layoutView();
        QTest::mouseClick(layout.playerBar()->queueButton(), Qt::LeftButton);
        layout.visibleTrackList()->model().sortByColumn(TrackTableColumnID::Artist);
        layout.setSelection(NavigationDestination::recentlyAdded());
        layout.visibleTrackList()->model().sortByColumn(TrackTableColumnID::Title);
        layout.visibleTrackList()->model().sortByColumn(TrackTableColumnID::Title);
        layout.setSelection(NavigationDestination::favorites());
        layout.visibleTrackList()->model().sortByColumn(TrackTableColumnID::Duration);
    }
    test::UiHarness restarted;
    auto window = openWindow(restarted);
    MainLayoutView& layout = window->layoutView();
    EXPECT_TRUE(layout.isQueueVisible());
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), (TrackSortOrder {TrackSortField::Artist, true}));
    layout.setSelection(NavigationDestination::recentlyAdded());
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), (TrackSortOrder {TrackSortField::Title, false}));
    layout.setSelection(NavigationDestination::favorites());
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), (TrackSortOrder {TrackSortField::Duration, true}));
    layout.setSelection(NavigationDestination::songs());
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), (TrackSortOrder {TrackSortField::Artist, true}));
    // A screen never sorted by hand keeps its own order and stores nothing.
    layout.setSelection(NavigationDestination::topRated());
    EXPECT_EQ(layout.visibleTrackList()->model().sortOrder(), TrackSortOrder::listed());
    EXPECT_EQ(restarted.preferences.typedValue(QStringLiteral("songs.sortOrder.topRated")), std::nullopt);
}

} // namespace
} // namespace varno
