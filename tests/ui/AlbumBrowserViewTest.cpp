#include "UiHarness.h"
#include "ViewTestSupport.h"

#include "library/LibraryEngine.h"
#include "playback/QueueEngine.h"
#include "ui/albums/AlbumBrowserView.h"
#include "ui/albums/AlbumGridModel.h"
#include "ui/sidebar/SidebarRow.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/CentreScreen.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

#include <memory>

using namespace varno;

namespace {

class AlbumBrowserViewTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
    }

    void TearDown() override
    {
        if (view)
            EXPECT_TRUE(test::waitUntil([&] { return view->albums()->pendingCoverCount() == 0; }));
        view.reset();
        harness.reset();
        test::DataFolderTest::TearDown();
    }

    // Songs of album "Night" by "Band" named so that their files sort
    // against their disc and track numbers, and one song of "Solo".
    void importLibrary()
    {
        songs = harness->importSongs(appFile(QStringLiteral("music")), {"a first", "b second", "c third", "d alone"},
                                     test::UiHarness::titleAndArtist);
        const std::vector<std::pair<int, int>> numbers {{2, 1}, {1, 2}, {1, 1}, {1, 1}};
        for (std::size_t i = 0; i < songs.size(); ++i) {
            songs[i].artist = i == 3 ? QStringLiteral("Solo") : QStringLiteral("Band");
            songs[i].album = i == 3 ? QStringLiteral("Day") : QStringLiteral("Night");
            songs[i].discNumber = numbers[i].first;
            songs[i].trackNumber = numbers[i].second;
        }
        test::await(harness->container->libraryEngine().updateTracks(songs));
    }

    void open(AlbumBrowserView::Mode mode)
    {
        view = std::make_unique<AlbumBrowserView>(harness->environment(), mode);
        tester = std::make_unique<QAbstractItemModelTester>(view->albums());
        view->resize(900, 600);
        view->show();
    }

    QStringList tiles() const
    {
        QStringList texts;
        const QAbstractItemModel* model = view->grid()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex tile = model->index(row, 0);
            texts << tile.data().toString() + " / " + tile.data(AlbumGridModel::ArtistRole).toString();
        }
        return texts;
    }

    QStringList songTitles() const
    {
        QStringList titles;
        for (int row = 0; row < view->albumSongs()->topLevelItemCount(); ++row)
            titles << view->albumSongs()->topLevelItem(row)->text(1);
        return titles;
    }

    QStringList queued() const
    {
        const QueueEngine& queue = harness->container->queueEngine();
        QStringList titles;
        if (queue.currentTrack())
            titles << queue.currentTrack()->title;
        titles << test::titlesOf(queue.upcoming());
        return titles;
    }

    std::unique_ptr<test::UiHarness> harness;
    std::unique_ptr<AlbumBrowserView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
    std::vector<Track> songs;
};

} // namespace

TEST_F(AlbumBrowserViewTest, ClickingATileOpensItsAlbum)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const QRect tile = view->grid()->visualRect(view->grid()->model()->index(1, 0));
    QTest::mouseClick(view->grid()->viewport(), Qt::LeftButton, {}, tile.center());
    EXPECT_TRUE(test::waitUntil([&] { return view->currentPage() == view->albumPage(); }));
    EXPECT_EQ(view->albumTitle()->text(), "Day");
}

TEST_F(AlbumBrowserViewTest, SidebarRowsAfterFavoritesChooseAlbumsAndArtists)
{
    ViewEnvironment environment = harness->environment();
    SidebarView sidebar(environment);
    using Kind = NavigationDestination::Kind;
    EXPECT_EQ(sidebar.fixedRow(Kind::Albums)->objectName(), "sidebarRow.albums");
    QTest::mouseClick(sidebar.fixedRow(Kind::Albums), Qt::LeftButton);
    ASSERT_TRUE(sidebar.selection());
    EXPECT_EQ(centreScreenFor(sidebar.selection(), harness->container->playlistEngine()).kind, CentreScreen::Kind::Albums);
    QTest::mouseClick(sidebar.fixedRow(Kind::Artists), Qt::LeftButton);
    EXPECT_EQ(centreScreenFor(sidebar.selection(), harness->container->playlistEngine()).kind, CentreScreen::Kind::Artists);
}

TEST_F(AlbumBrowserViewTest, GridShowsAlbumsByArtistThenTitle)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    EXPECT_EQ(tiles(), (QStringList {"Night / Band", "Day / Solo"}));
}

TEST_F(AlbumBrowserViewTest, OpenedAlbumListsSongsInDiscTrackOrderAndPlaysThem)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    view->openAlbum(view->grid()->model()->index(0, 0));
    EXPECT_EQ(view->currentPage(), view->albumPage());
    EXPECT_EQ(songTitles(), (QStringList {"c third", "b second", "a first"}));
    view->playButton()->click();
    EXPECT_EQ(queued(), (QStringList {"c third", "b second", "a first"}));
    QTest::keyClick(view->albumSongs(), Qt::Key_Backspace);
    EXPECT_EQ(view->currentPage(), view->gridPage());
}

TEST_F(AlbumBrowserViewTest, ShufflePlaysThatAlbumOnly)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    view->openAlbum(view->grid()->model()->index(0, 0));
    view->shuffleButton()->click();
    QStringList played = queued();
    played.sort();
    EXPECT_EQ(played, (QStringList {"a first", "b second", "c third"}));
}

TEST_F(AlbumBrowserViewTest, ArtistsShowTheirCountsAndTheirAlbums)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Artists);
    ASSERT_EQ(view->artistList()->count(), 2);
    EXPECT_EQ(view->artistList()->item(0)->text(), "Band\n1 album · 3 songs");
    view->openArtist(1);
    EXPECT_EQ(tiles(), QStringList {"Day / Solo"});
    EXPECT_EQ(view->heading()->text(), "Solo");
    view->goBack();
    EXPECT_EQ(view->currentPage(), view->artistList());
}

TEST_F(AlbumBrowserViewTest, AnEditChangesOneTileAndARemovedLastSongRemovesItsTile)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    QSignalSpy changed(view->albums(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(view->albums(), &QAbstractItemModel::modelReset);
    Track edited = songs[0];
    edited.title = QStringLiteral("a renamed");
    test::await(harness->container->libraryEngine().updateTrack(edited));
    // Covers arriving for the painted tiles change their decoration only.
    QList<int> rowsChanged;
    for (const QList<QVariant>& signal : changed) {
        if (signal[2].value<QList<int>>() != QList<int> {Qt::DecorationRole})
            rowsChanged << signal[0].value<QModelIndex>().row();
    }
    EXPECT_EQ(rowsChanged, QList<int> {0});
    test::await(harness->container->libraryEngine().removeTrack(songs[3], RemovalKind::KeepFile));
    EXPECT_EQ(tiles(), QStringList {"Night / Band"});
    EXPECT_EQ(reset.count(), 0);
}

TEST_F(AlbumBrowserViewTest, ArrowsMoveBetweenTilesReturnOpensAltLeftGoesBack)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    view->grid()->setCurrentIndex(view->grid()->model()->index(0, 0));
    QTest::keyClick(view->grid(), Qt::Key_Right);
    EXPECT_EQ(view->grid()->currentIndex().row(), 1);
    QTest::keyClick(view->grid(), Qt::Key_Return);
    EXPECT_EQ(view->currentPage(), view->albumPage());
    EXPECT_EQ(view->albumTitle()->text(), "Day");
    QTest::keyClick(view->albumSongs(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(view->currentPage(), view->gridPage());
}

TEST_F(AlbumBrowserViewTest, DoubleClickingATilePlaysItsAlbumAndASongPlaysFromThatSong)
{
    importLibrary();
    open(AlbumBrowserView::Mode::Albums);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const QRect tile = view->grid()->visualRect(view->grid()->model()->index(0, 0));
    // The first click's press and release come before the double-click, as
    // from a mouse.
    QTest::mouseClick(view->grid()->viewport(), Qt::LeftButton, {}, tile.center());
    QTest::mouseDClick(view->grid()->viewport(), Qt::LeftButton, {}, tile.center());
    ASSERT_EQ(queued(), (QStringList {"c third", "b second", "a first"}));
    EXPECT_EQ(view->currentPage(), view->albumPage());

    const QRect song = view->albumSongs()->visualItemRect(view->albumSongs()->topLevelItem(1));
    QTest::mouseClick(view->albumSongs()->viewport(), Qt::LeftButton, {}, song.center());
    QTest::mouseDClick(view->albumSongs()->viewport(), Qt::LeftButton, {}, song.center());
    ASSERT_TRUE(harness->container->queueEngine().currentTrack());
    EXPECT_EQ(harness->container->queueEngine().currentTrack()->title, "b second");
    EXPECT_EQ(test::titlesOf(harness->container->queueEngine().upcoming()), QStringList {"a first"});
}
