#include "TestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "workspace/WindowMemory.h"

#include <gtest/gtest.h>

using namespace varno;

namespace {

const QList<ScreenArea> kScreens {{QStringLiteral("DP-1"), QRect(0, 0, 1600, 970)}, {QStringLiteral("HDMI-1"), QRect(1600, 0, 1280, 1024)}};
constexpr QSize kMinimum(900, 650);

QRect placed(QRect geometry, const QString& screen)
{
    return placeOnScreen(WindowPlacement {geometry, false, screen}, kScreens, QStringLiteral("DP-1"), kMinimum);
}

TEST(WindowPlacementTest, AWindowThatFitsItsScreenComesBackExactly)
{
    EXPECT_EQ(placed(QRect(120, 80, 1100, 760), QStringLiteral("DP-1")), QRect(120, 80, 1100, 760));
    EXPECT_EQ(placed(QRect(1700, 40, 1000, 900), QStringLiteral("HDMI-1")), QRect(1700, 40, 1000, 900));
}

TEST(WindowPlacementTest, AWindowFromAScreenNoLongerThereGoesOnThePrimaryOne)
{
    const QRect back = placed(QRect(3200, 100, 1000, 700), QStringLiteral("DP-3"));
    EXPECT_TRUE(kScreens[0].available.contains(back));
    EXPECT_EQ(back.size(), QSize(1000, 700));
}

TEST(WindowPlacementTest, AWindowPartlyOffItsScreenIsMovedOnAndOneTooLargeIsShrunk)
{
    EXPECT_EQ(placed(QRect(1200, -30, 1000, 700), QStringLiteral("DP-1")), QRect(600, 0, 1000, 700));
    EXPECT_EQ(placed(QRect(100, 100, 2000, 1400), QStringLiteral("DP-1")), QRect(0, 0, 1600, 970));
    // Never below the window's own minimum, even on a small screen.
    const QList<ScreenArea> small {{QStringLiteral("LVDS-1"), QRect(0, 0, 800, 600)}};
    EXPECT_EQ(placeOnScreen(WindowPlacement {QRect(10, 10, 1200, 800), false, {}}, small, {}, kMinimum).size(), kMinimum);
}

class WindowMemoryTest : public test::DataFolderTest {
protected:
    SettingsPreferencesStore preferences;
};

TEST_F(WindowMemoryTest, NothingIsRememberedAtFirstAndEverythingSetIsReadBackAfterARestart)
{
    {
        WindowMemory memory(preferences);
        EXPECT_EQ(memory.placement(), std::nullopt);
        EXPECT_FALSE(memory.isQueueOpen());
        EXPECT_EQ(memory.sortOrder(QStringLiteral("allSongs")), std::nullopt);
        memory.setPlacement({QRect(40, 60, 1000, 700), true, QStringLiteral("HDMI-1")});
        memory.setQueueOpen(true);
        memory.setSortOrder(QStringLiteral("favorites"), TrackSortOrder {TrackSortField::DateAdded, false});
    }
    SettingsPreferencesStore reopened;
    WindowMemory memory(reopened);
    EXPECT_EQ(memory.placement(), (WindowPlacement {QRect(40, 60, 1000, 700), true, QStringLiteral("HDMI-1")}));
    EXPECT_TRUE(memory.isQueueOpen());
    EXPECT_EQ(memory.sortOrder(QStringLiteral("favorites")), (TrackSortOrder {TrackSortField::DateAdded, false}));
    EXPECT_EQ(reopened.typedValue(QStringLiteral("songs.sortOrder.favorites")), QVariant(QStringLiteral("dateAdded descending")));
}

TEST_F(WindowMemoryTest, ValuesMendedBadlyByHandCountAsNeverSet)
{
    test::writeSettingsFile("[General]\nwindow.geometry=40, 60, 1000\nworkspace.queue.open=yes\n"
                            "songs.sortOrder.allSongs=rating descending\nsongs.sortOrder.topRated=artist upwards\n"
                            "songs.sortOrder.favorites=year descending\n");
    SettingsPreferencesStore reopened;
    WindowMemory memory(reopened);
    EXPECT_EQ(memory.placement(), std::nullopt);
    EXPECT_FALSE(memory.isQueueOpen());
    EXPECT_EQ(memory.sortOrder(QStringLiteral("allSongs")), std::nullopt);
    EXPECT_EQ(memory.sortOrder(QStringLiteral("topRated")), std::nullopt);
    EXPECT_EQ(memory.sortOrder(QStringLiteral("favorites")), (TrackSortOrder {TrackSortField::Year, false}));
}

TEST_F(WindowMemoryTest, AGeometryMendedByHandWithoutQuotesStillReads)
{
    test::writeSettingsFile("[General]\nwindow.geometry=40, 60, 1000, 700\n");
    SettingsPreferencesStore reopened;
    ASSERT_TRUE(WindowMemory(reopened).placement());
    EXPECT_EQ(WindowMemory(reopened).placement()->normalGeometry, QRect(40, 60, 1000, 700));
}

} // namespace
