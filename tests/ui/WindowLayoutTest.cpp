#include "TestSupport.h"
#include "UiHarness.h"

#include "playback/QueueEngine.h"
#include "ui/MainWindow.h"
#include "ui/player/BottomPlayerView.h"
#include "ui/player/CompactWaveformSeekView.h"
#include "ui/player/PlayerTrackInfoView.h"
#include "ui/player/PlayerTransportControls.h"
#include "ui/player/PlayerVolumeControl.h"
#include "ui/player/PlayerRepeatButton.h"
#include "ui/queue/QueueView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/WorkspacePanelRegion.h"

#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

// A part of the window and where it is, in the window's coordinates.
struct Region {
    QString name;
    QRect rect;
};

QRect inWindow(const QWidget* widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

std::ostream& operator<<(std::ostream& os, const Region& region)
{
    const QRect& r = region.rect;
    return os << region.name.toStdString() << " (" << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height() << ')';
}

// Every pair of regions is apart, and each lies wholly inside `bounds`.
void expectApartAndInside(const QList<Region>& regions, const QRect& bounds)
{
    for (qsizetype i = 0; i < regions.size(); ++i) {
        EXPECT_TRUE(bounds.contains(regions[i].rect)) << regions[i] << " leaves " << Region {QStringLiteral("its bounds"), bounds};
        for (qsizetype j = i + 1; j < regions.size(); ++j)
            EXPECT_FALSE(regions[i].rect.intersects(regions[j].rect)) << regions[i] << " overlaps " << regions[j];
    }
}

class WindowLayoutTest : public test::DataFolderTest {
protected:
    // A window over three songs, one of them playing, so the player bar shows
    // every control.
    std::unique_ptr<MainWindow> openPlayingWindow(test::UiHarness& ui)
    {
        ui.importSongs(scratch(QStringLiteral("music")), {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")});
        auto window = ui.openMainWindow();
        ui.container->queueEngine().playNow(ui.container->libraryEngine().allTracks(), 0);
        EXPECT_TRUE(test::waitUntil([&] { return window->layoutView().playerBar()->isShowingSong(); }));
        return window;
    }

    static void resizeTo(MainWindow& window, QSize size)
    {
        window.resize(size);
        EXPECT_TRUE(test::waitUntil([&] { return window.size() == size; }));
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }

    static void expectEveryRegionUsable(MainWindow& window)
    {
        MainLayoutView& layout = window.layoutView();
        SCOPED_TRACE(testing::Message() << "window " << window.width() << 'x' << window.height());
        QList<Region> regions {{QStringLiteral("menu bar"), inWindow(window.menuBar())},
                               {QStringLiteral("song list"), inWindow(layout.visibleTrackList())},
                               {QStringLiteral("player bar"), inWindow(layout.playerBar())}};
        for (WorkspacePanelSide side : {WorkspacePanelSide::Left, WorkspacePanelSide::Right}) {
            WorkspacePanelRegion* panel = layout.panelRegion(side);
            if (panel->width() > 0)
                regions.append({WorkspacePanelState::panelName(side), inWindow(panel)});
        }
        if (layout.isQueueVisible())
            regions.append({QStringLiteral("queue"), inWindow(layout.queueView())});
        expectApartAndInside(regions, window.rect());
        EXPECT_GE(layout.visibleTrackList()->width(), MainLayoutView::kMinimumCentreWidth);
        EXPECT_GE(layout.visibleTrackList()->table().viewport()->height(), 100);

        BottomPlayerView& bar = *layout.playerBar();
        const QList<Region> controls {{QStringLiteral("song"), inWindow(bar.trackInfo())},
                                      {QStringLiteral("transport"), inWindow(bar.transport())},
                                      {QStringLiteral("repeat"), inWindow(bar.repeatButton())},
                                      {QStringLiteral("waveform"), inWindow(bar.waveform())},
                                      {QStringLiteral("volume"), inWindow(bar.volume())},
                                      {QStringLiteral("queue button"), inWindow(bar.queueButton())}};
        expectApartAndInside(controls, inWindow(&bar));
        EXPECT_GE(bar.waveform()->width(), 60);
    }
};

TEST_F(WindowLayoutTest, EveryRegionIsUsableWithoutOverlapAtTheSmallestAndTheDefaultSizeWithEveryPanelOpen)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    window->layoutView().setQueueVisible(true);
    for (const QSize size : {QSize(900, 650), QSize(1320, 820)}) {
        resizeTo(*window, size);
        expectEveryRegionUsable(*window);
    }
}

TEST_F(WindowLayoutTest, TheDefaultColumnsFitTheDefaultWindowWithoutSidewaysScrolling)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    resizeTo(*window, QSize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight));
    const TrackTableView& table = window->layoutView().visibleTrackList()->table();
    EXPECT_EQ(table.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(table.model()->columnCount(), 5) << "the leading area and four columns";
}

TEST_F(WindowLayoutTest, OpeningTheQueueAtTheSmallestSizeMakesThePanelsGiveWayNotTheSongList)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    resizeTo(*window, QSize(900, 650));
    MainLayoutView& layout = window->layoutView();
    WorkspacePanelRegion* right = layout.panelRegion(WorkspacePanelSide::Right);
    EXPECT_FALSE(right->isSqueezedOut());
    QTest::mouseClick(layout.playerBar()->queueButton(), Qt::LeftButton);
    ASSERT_TRUE(layout.isQueueVisible());
    EXPECT_TRUE(right->isSqueezedOut());
    EXPECT_TRUE(right->revealButton()->isVisible());
    EXPECT_EQ(right->revealButton()->accessibleName(), QStringLiteral("Now Playing Inspector hidden for lack of room"));
    EXPECT_GE(layout.visibleTrackList()->width(), MainLayoutView::kMinimumCentreWidth);
    // What the user chose is kept for when there is room again.
    EXPECT_TRUE(ui.panelState.isRightExpanded());
    EXPECT_EQ(ui.panelState.rightWidth(), 340);

    // Its reveal button makes room by closing the queue.
    QTest::mouseClick(right->revealButton(), Qt::LeftButton);
    EXPECT_FALSE(layout.isQueueVisible());
    EXPECT_FALSE(right->isSqueezedOut());
    EXPECT_TRUE(right->content()->isVisible());
}

} // namespace
} // namespace varno
