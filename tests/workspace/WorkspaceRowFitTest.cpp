#include "workspace/WorkspaceRowFit.h"

#include <gtest/gtest.h>

using namespace varno;
using namespace varno::workspaceRow;

namespace {

constexpr PanelDemand kSidebar {PanelShape::Expanded, 240, 188};
constexpr PanelDemand kInspector {PanelShape::Expanded, 340, 260};

Fit fitRow(int width, bool queueOpen, PanelDemand left = kSidebar, PanelDemand right = kInspector)
{
    return fit(Demand {width, left, right, queueOpen});
}

int taken(const Fit& fit, const PanelDemand& left = kSidebar, const PanelDemand& right = kInspector)
{
    return fit.left.rowShare(left.shape) + fit.right.rowShare(right.shape) + fit.queueWidth + fit.centreWidth;
}

TEST(WorkspaceRowFitTest, AWideRowGivesEveryPanelItsChosenWidth)
{
    const Fit fit = fitRow(1600, true);
    EXPECT_EQ(fit.left, (PanelFit {240, false}));
    EXPECT_EQ(fit.right, (PanelFit {340, false}));
    EXPECT_EQ(fit.queueWidth, kQueueWidth);
    EXPECT_EQ(fit.centreWidth, 1600 - 247 - 347 - 320);
}

TEST(WorkspaceRowFitTest, TheRightPanelNarrowsFirstThenTheLeftThenTheQueue)
{
    // 1320 with the queue open lacks 14 points: the right panel gives them.
    EXPECT_EQ(fitRow(1320, true).right.width, 326);
    EXPECT_EQ(fitRow(1320, true).left.width, 240);
    EXPECT_EQ(fitRow(1320, true).centreWidth, kCentreMinimumWidth);
    // The smallest window without the queue: both panels at their minimum.
    const Fit narrow = fitRow(900, false);
    EXPECT_EQ(narrow.right.width, 260);
    EXPECT_EQ(narrow.left.width, 188 + (900 - 195 - 267 - 420));
    EXPECT_EQ(taken(narrow), 900);
    EXPECT_GE(narrow.centreWidth, kCentreMinimumWidth);
}

TEST(WorkspaceRowFitTest, WithoutRoomEvenAtTheMinimumTheRightPanelStepsAsideAndTheQueueKeepsTheRest)
{
    const Fit fit = fitRow(900, true);
    EXPECT_TRUE(fit.right.isSqueezedOut);
    EXPECT_EQ(fit.right.rowShare(PanelShape::Expanded), kRevealWidth);
    EXPECT_FALSE(fit.left.isSqueezedOut);
    EXPECT_GE(fit.queueWidth, kQueueMinimumWidth);
    EXPECT_GE(fit.centreWidth, kCentreMinimumWidth);
    EXPECT_EQ(taken(fit), 900);
}

TEST(WorkspaceRowFitTest, CollapsedAndHiddenPanelsLeaveTheirRoomToTheRest)
{
    const PanelDemand collapsed {PanelShape::Collapsed, 360, 188};
    const PanelDemand hidden {PanelShape::Hidden, 460, 260};
    const Fit fit = fitRow(900, true, collapsed, hidden);
    EXPECT_EQ(fit.left, (PanelFit {0, false}));
    EXPECT_EQ(fit.right, (PanelFit {0, false}));
    EXPECT_EQ(fit.queueWidth, kQueueWidth);
    EXPECT_EQ(fit.centreWidth, 900 - kRevealWidth - kQueueWidth);
}

TEST(WorkspaceRowFitTest, BelowEveryMinimumBothPanelsStepAsideBeforeTheSongListShrinks)
{
    const Fit fit = fitRow(800, true);
    EXPECT_TRUE(fit.left.isSqueezedOut);
    EXPECT_TRUE(fit.right.isSqueezedOut);
    EXPECT_EQ(fit.queueWidth, 800 - 2 * kRevealWidth - kCentreMinimumWidth);
    EXPECT_EQ(fit.centreWidth, kCentreMinimumWidth);
    // Narrower still, the queue stays usable and the song list takes the loss.
    const Fit tiny = fitRow(600, true);
    EXPECT_EQ(tiny.queueWidth, kQueueMinimumWidth);
    EXPECT_EQ(tiny.centreWidth, 600 - 2 * kRevealWidth - kQueueMinimumWidth);
}

} // namespace
