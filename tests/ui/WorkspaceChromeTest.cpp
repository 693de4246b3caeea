#include "FakeEngines.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "media/OstrelThemeEngine.h"
#include "storage/StateCodecs.h"
#include "ui/window/CentreScreen.h"
#include "ui/window/ImportProgressStrip.h"
#include "ui/window/RecoveryBanner.h"
#include "ui/window/WorkspacePanelRegion.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

using test::await;

class WorkspaceChromeTest : public test::DataFolderTest {
protected:
    // A region inside a window of the app's size, the panel's content a
    // plain widget; animations off unless a test turns them on.
    struct Region {
        explicit Region(WorkspacePanelState& state, ThemeEngine& theme, WorkspacePanelSide side)
        {
            window.resize(1200, 700);
            region = new WorkspacePanelRegion(side, state, theme, new QWidget, &window);
            region->setGeometry(0, 0, region->sizeHint().width(), 700);
            window.show();
        }
        QWidget window;
        WorkspacePanelRegion* region = nullptr;
    };

    void SetUp() override
    {
        DataFolderTest::SetUp();
        preferences = std::make_unique<SettingsPreferencesStore>();
        panels = std::make_unique<WorkspacePanelState>(*preferences);
        theme = std::make_unique<OstrelThemeEngine>(preferences.get());
        theme->setReduceMotion(true);
    }

    std::unique_ptr<SettingsPreferencesStore> preferences;
    std::unique_ptr<WorkspacePanelState> panels;
    std::unique_ptr<OstrelThemeEngine> theme;
};

TEST_F(WorkspaceChromeTest, PanelRegionShowsContentRevealButtonOrNothingByTheState)
{
    Region left(*panels, *theme, WorkspacePanelSide::Left);
    EXPECT_EQ(left.region->width(), 240 + WorkspacePanelDivider::kWidth);
    EXPECT_TRUE(left.region->content()->isVisible());
    EXPECT_FALSE(left.region->revealButton()->isVisible());

    panels->setPanelExpanded(WorkspacePanelSide::Left, false);
    EXPECT_EQ(left.region->width(), WorkspacePanelRegion::kRevealWidth);
    EXPECT_FALSE(left.region->content()->isVisible());
    EXPECT_TRUE(left.region->revealButton()->isVisible());
    EXPECT_EQ(left.region->revealButton()->accessibleName(), QStringLiteral("Expand Library Sidebar"));

    QTest::mouseClick(left.region->revealButton(), Qt::LeftButton);
    EXPECT_TRUE(panels->isLeftExpanded());
    EXPECT_TRUE(left.region->content()->isVisible());

    panels->setPanelEnabled(WorkspacePanelSide::Left, false);
    EXPECT_EQ(left.region->width(), 0);
    EXPECT_FALSE(left.region->revealButton()->isVisible());
}

TEST_F(WorkspaceChromeTest, DividerDragResizesWithinLimitsAndNotWhileLocked)
{
    Region right(*panels, *theme, WorkspacePanelSide::Right);
    WorkspacePanelDivider* divider = right.region->divider();
    // Dragging the right panel's divider to the left widens it.
    QTest::mousePress(divider, Qt::LeftButton, {}, QPoint(3, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(3 - 60, 300), divider->mapToGlobal(QPointF(3 - 60, 300)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(divider, &move);
    QTest::mouseRelease(divider, Qt::LeftButton, {}, QPoint(3 - 60, 300));
    EXPECT_DOUBLE_EQ(panels->rightWidth(), 400);
    EXPECT_EQ(right.region->width(), 400 + WorkspacePanelDivider::kWidth);

    panels->setPanelLocked(WorkspacePanelSide::Right, true);
    QTest::mousePress(divider, Qt::LeftButton, {}, QPoint(3, 300));
    QApplication::sendEvent(divider, &move);
    QTest::mouseRelease(divider, Qt::LeftButton, {}, QPoint(3 - 60, 300));
    EXPECT_DOUBLE_EQ(panels->rightWidth(), 400);
    EXPECT_EQ(divider->menuTitles(),
              (QStringList {QStringLiteral("Unlock Width and Visibility"), QStringLiteral("Collapse Now Playing Inspector"),
                            QStringLiteral("Disable Now Playing Inspector")}));
    EXPECT_TRUE(divider->toolTip().startsWith(QStringLiteral("Now Playing Inspector locked")));
}

TEST_F(WorkspaceChromeTest, CollapsingSlidesThePanelOutBeforeTheRevealButtonShows)
{
    theme->setReduceMotion(false);
    Region left(*panels, *theme, WorkspacePanelSide::Left);
    panels->setPanelExpanded(WorkspacePanelSide::Left, false);
    ASSERT_TRUE(left.region->isAnimating());
    EXPECT_TRUE(left.region->content()->isVisible());
    EXPECT_TRUE(test::waitUntil([&] { return !left.region->isAnimating(); }));
    EXPECT_EQ(left.region->revealFraction(), 0.0);
    EXPECT_TRUE(left.region->revealButton()->isVisible());
    EXPECT_EQ(left.region->width(), WorkspacePanelRegion::kRevealWidth);
}

TEST_F(WorkspaceChromeTest, RecoveryBannerFollowsTheMessageAndItsCloseButtonDismissesIt)
{
    test::UiHarness ui;
    QWidget window;
    auto* banner = new RecoveryBanner(ui.container->windowEngines().recoveryMessage, ui.container->themeEngine(), &window);
    ui.container->themeEngine().setReduceMotion(true);
    window.show();
    EXPECT_FALSE(banner->isVisible());

    // A session whose songs are gone, restored by a second container over
    // the same folder, is the ordinary way a message appears.
    PlaybackStateSnapshot snapshot;
    snapshot.currentTrackID = QUuid::createUuid();
    snapshot.repeatMode = QStringLiteral("off");
    snapshot.shuffleMode = QStringLiteral("off");
    test::writeFile(appFile(QStringLiteral("playback_state.json")),
                    QByteArray::fromStdString(json::encodePlaybackStateSnapshot(snapshot)));
    test::UiHarness second;
    auto* secondBanner = new RecoveryBanner(second.container->windowEngines().recoveryMessage, second.container->themeEngine(), &window);
    EXPECT_TRUE(secondBanner->isShowing());
    EXPECT_EQ(secondBanner->message(), QStringLiteral("The last track is no longer available. Your library was left unchanged."));
    EXPECT_LE(secondBanner->findChild<QWidget*>()->maximumWidth(), RecoveryBanner::kMaximumWidth);

    second.container->themeEngine().setReduceMotion(true);
    QTest::mouseClick(secondBanner->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(second.container->recoveryMessage().has_value());
    EXPECT_FALSE(secondBanner->isShowing());
}

TEST_F(WorkspaceChromeTest, CentreScreenFindsPlaylistsAtAnyDepthAndFallsBackToAllSongsForDeletedOnes)
{
    test::UiHarness ui;
    PlaylistEngine& playlists = ui.container->playlistEngine();
    const Playlist mix = await(playlists.createPlaylist(QStringLiteral("Mix"), std::nullopt));
    const Playlist folder = await(playlists.createFolder(QStringLiteral("Shelf"), std::nullopt));
    const Playlist inner = await(playlists.createPlaylist(QStringLiteral("Inner"), folder.id));

    EXPECT_EQ(centreScreenFor(std::nullopt, playlists).title, QStringLiteral("All Songs"));
    EXPECT_EQ(centreScreenFor(NavigationDestination::recentlyPlayed(), playlists).title, QStringLiteral("Recently Played"));
    EXPECT_EQ(centreScreenFor(NavigationDestination::topRated(), playlists).filter, CentreScreen::Filter::TopRated);
    EXPECT_EQ(centreScreenFor(NavigationDestination::favorites(), playlists).kind, CentreScreen::Kind::Favorites);

    const CentreScreen shown = centreScreenFor(NavigationDestination::playlist(mix.id), playlists);
    EXPECT_EQ(shown.kind, CentreScreen::Kind::PlaylistDetail);
    EXPECT_EQ(shown.playlist->id, mix.id);
    EXPECT_EQ(centreScreenFor(NavigationDestination::folder(folder.id), playlists).kind, CentreScreen::Kind::Folder);
    // A playlist inside a folder opens like one at the top level.
    const CentreScreen inside = centreScreenFor(NavigationDestination::playlist(inner.id), playlists);
    EXPECT_EQ(inside.kind, CentreScreen::Kind::PlaylistDetail);
    EXPECT_EQ(inside.title, QStringLiteral("Inner"));

    await(playlists.deletePlaylist(mix.id));
    EXPECT_EQ(centreScreenFor(NavigationDestination::playlist(mix.id), playlists).kind, CentreScreen::Kind::SongList);
}

TEST_F(WorkspaceChromeTest, ImportProgressShowsWhileAnImportRunsAndCancelStopsIt)
{
    test::UiHarness ui;
    QWidget window;
    auto* strip = new ImportProgressStrip(ui.container->libraryEngine(), &window);
    window.show();
    EXPECT_FALSE(strip->isVisible());

    std::vector<FileURL> files;
    for (int i = 0; i < 40; ++i) {
        const QString path = scratch(QStringLiteral("drop/%1.wav").arg(i));
        QDir().mkpath(QFileInfo(path).path());
        QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.wav")), path);
        files.push_back(FileURL::fromLocalFile(path));
    }
    bool sawStrip = false;
    QObject::connect(&ui.container->libraryEngine(), &LibraryEngine::importProgressChanged, strip, [&] {
        if (strip->isVisible() && strip->statusText().startsWith(QStringLiteral("Importing "))) {
            if (!sawStrip)
                QTest::mouseClick(strip->cancelButton(), Qt::LeftButton);
            sawStrip = true;
        }
    });
    test::errorText([&] { await(ui.container->libraryEngine().importFiles(files)); });
    EXPECT_TRUE(sawStrip);
    EXPECT_FALSE(strip->isVisible());
    EXPECT_LT(ui.container->libraryEngine().allTracks().size(), 40);
}

TEST_F(WorkspaceChromeTest, ImportProgressSaysWhenOnlyTagsOfSongsInTheLibraryAreRead)
{
    test::FakeLibrary library;
    QWidget window;
    auto* strip = new ImportProgressStrip(library, &window);
    window.show();
    library.progress = ImportProgress {120, 900, QStringLiteral("/music/a.mp3"), true, true};
    emit library.importProgressChanged();
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->statusText(), QStringLiteral("Reading tags 120 of 900"));
    library.progress.readingTagsOnly = false;
    emit library.importProgressChanged();
    EXPECT_EQ(strip->statusText(), QStringLiteral("Importing 120 of 900"));
}

} // namespace
} // namespace varno
