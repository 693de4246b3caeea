#include "TestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "workspace/WorkspacePanelState.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace varno;

namespace {

constexpr auto Left = WorkspacePanelSide::Left;
constexpr auto Right = WorkspacePanelSide::Right;

// One panel's four fields, for comparing in one go.
struct PanelFields {
    bool enabled;
    bool expanded;
    bool locked;
    double width;

    friend bool operator==(const PanelFields&, const PanelFields&) = default;
    friend std::ostream& operator<<(std::ostream& os, const PanelFields& p)
    {
        return os << "{enabled " << p.enabled << ", expanded " << p.expanded << ", locked " << p.locked << ", width " << p.width << '}';
    }
};

PanelFields fieldsOf(const WorkspacePanelState& state, WorkspacePanelSide side)
{
    return {state.isEnabled(side), state.isExpanded(side), state.isLocked(side), state.width(side)};
}

class WorkspacePanelStateTest : public test::DataFolderTest {
protected:
    SettingsPreferencesStore preferences;
};

TEST_F(WorkspacePanelStateTest, FirstStartShowsBothPanelsExpandedAndUnlockedAndWritesNothing)
{
    WorkspacePanelState state(preferences);
    EXPECT_EQ(fieldsOf(state, Left), (PanelFields {true, true, false, 240}));
    EXPECT_EQ(fieldsOf(state, Right), (PanelFields {true, true, false, 340}));
    for (WorkspacePanelSide side : {Left, Right}) {
        for (const QString& key : {WorkspacePanelState::enabledKey(side), WorkspacePanelState::expandedKey(side),
                                   WorkspacePanelState::lockedKey(side), WorkspacePanelState::widthKey(side)})
            EXPECT_EQ(preferences.typedValue(key), std::nullopt) << key.toStdString();
    }
}

// A stored value, and what the field it belongs to loads as.
struct StoredPanelValue {
    const char* name;
    const char* key;
    QVariant stored;
    std::function<QVariant(const WorkspacePanelState&)> field;
    QVariant expected;
};

class StoredPanelValueTest : public WorkspacePanelStateTest, public ::testing::WithParamInterface<StoredPanelValue> { };

TEST_P(StoredPanelValueTest, LoadsCheckedAndClamped)
{
    const StoredPanelValue& c = GetParam();
    preferences.setTypedValue(QString::fromLatin1(c.key), c.stored);
    WorkspacePanelState state(preferences);
    EXPECT_EQ(c.field(state), c.expected);
    EXPECT_EQ(preferences.typedValue(QString::fromLatin1(c.key)), c.stored) << "loading writes nothing back";
}

const auto leftWidth = [](const WorkspacePanelState& s) { return QVariant(s.leftWidth()); };
const auto rightWidth = [](const WorkspacePanelState& s) { return QVariant(s.rightWidth()); };
const auto leftLocked = [](const WorkspacePanelState& s) { return QVariant(s.isLeftLocked()); };
const auto leftEnabled = [](const WorkspacePanelState& s) { return QVariant(s.isLeftEnabled()); };
const auto rightExpanded = [](const WorkspacePanelState& s) { return QVariant(s.isRightExpanded()); };

INSTANTIATE_TEST_SUITE_P(
    Values, StoredPanelValueTest,
    ::testing::Values(
        StoredPanelValue {"RightWidthAboveLimit", "workspace.right.width", 1000.0, rightWidth, 460.0},
        StoredPanelValue {"LeftWidthAboveLimit", "workspace.left.width", 500.0, leftWidth, 360.0},
        StoredPanelValue {"LeftWidthBelowLimit", "workspace.left.width", 100.0, leftWidth, 188.0},
        StoredPanelValue {"WidthAsInteger", "workspace.left.width", 300, leftWidth, 300.0},
        StoredPanelValue {"WidthAsNumericText", "workspace.right.width", QStringLiteral("300.5"), rightWidth, 300.5},
        StoredPanelValue {"WidthAsOtherText", "workspace.left.width", QStringLiteral("wide"), leftWidth, 240.0},
        StoredPanelValue {"WidthNotFinite", "workspace.left.width", std::numeric_limits<double>::infinity(), leftWidth, 240.0},
        StoredPanelValue {"WidthAsBoolean", "workspace.right.width", true, rightWidth, 340.0},
        StoredPanelValue {"LockedAsOtherText", "workspace.left.locked", QStringLiteral("maybe"), leftLocked, false},
        StoredPanelValue {"LockedAsBooleanText", "workspace.left.locked", QStringLiteral("true"), leftLocked, true},
        StoredPanelValue {"EnabledAsNumber", "workspace.left.enabled", 0, leftEnabled, true},
        StoredPanelValue {"EnabledAsBytes", "workspace.left.enabled", QByteArray("false"), leftEnabled, false},
        StoredPanelValue {"ExpandedAsList", "workspace.right.expanded", QStringList {"false", "true"}, rightExpanded, true},
        StoredPanelValue {"ExpandedFalse", "workspace.right.expanded", false, rightExpanded, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkspacePanelStateTest, SettingsFileEditedByHandLoadsWhatMakesSense)
{
    test::writeSettingsFile("[General]\n"
                                    "workspace.left.enabled=false\n"
                                    "workspace.left.expanded=yes\n"
                                    "workspace.left.locked=true\n"
                                    "workspace.left.width=1e3\n"
                                    "workspace.right.enabled=\n"
                                    "workspace.right.locked=\"true\"\n"
                                    "workspace.right.width=  275  \n");
    SettingsPreferencesStore edited;
    WorkspacePanelState state(edited);
    EXPECT_EQ(fieldsOf(state, Left), (PanelFields {false, true, true, 360}));
    EXPECT_EQ(fieldsOf(state, Right), (PanelFields {true, true, true, 275}));
}

TEST_F(WorkspacePanelStateTest, EveryChangeIsStoredAsATypedValueAndRestoredAtTheNextStart)
{
    {
        WorkspacePanelState state(preferences);
        state.resizePanel(Left, 300.5);
        state.setPanelExpanded(Right, false);
        state.setPanelLocked(Right, true);
        EXPECT_EQ(preferences.typedValue("workspace.left.width"), QVariant(300.5));
        EXPECT_EQ(preferences.typedValue("workspace.right.locked"), QVariant(true));
    }
    const QByteArray file = test::readFile(test::settingsFile());
    EXPECT_TRUE(file.contains("workspace.left.width=300.5")) << file.toStdString();
    EXPECT_TRUE(file.contains("workspace.right.expanded=false")) << file.toStdString();
    WorkspacePanelState restarted(preferences);
    EXPECT_EQ(fieldsOf(restarted, Left), (PanelFields {true, true, false, 300.5}));
    EXPECT_EQ(fieldsOf(restarted, Right), (PanelFields {true, false, true, 340}));
}

// Operations from a given starting state: the panel afterwards.
struct PanelOperation {
    const char* name;
    WorkspacePanelSide side;
    std::function<void(WorkspacePanelState&)> setUp;
    std::function<void(WorkspacePanelState&)> operation;
    PanelFields expected;
};

class PanelOperationTest : public WorkspacePanelStateTest, public ::testing::WithParamInterface<PanelOperation> { };

TEST_P(PanelOperationTest, FollowsTheLockAndEnabledRules)
{
    const PanelOperation& c = GetParam();
    WorkspacePanelState state(preferences);
    if (c.setUp)
        c.setUp(state);
    c.operation(state);
    EXPECT_EQ(fieldsOf(state, c.side), c.expected);
    WorkspacePanelState reloaded(preferences);
    EXPECT_EQ(fieldsOf(reloaded, c.side), c.expected) << "every field is stored";
}

const auto drag = [](WorkspacePanelSide side, double translation) {
    return [=](WorkspacePanelState& s) { s.resizePanel(side, dividerDragWidth(side, s.width(side), translation)); };
};
const auto lock = [](WorkspacePanelSide side) { return [=](WorkspacePanelState& s) { s.setPanelLocked(side, true); }; };

INSTANTIATE_TEST_SUITE_P(
    Operations, PanelOperationTest,
    ::testing::Values(
        PanelOperation {"DragLeftDividerRightWidensToLimit", Left, {}, drag(Left, 500), {true, true, false, 360}},
        PanelOperation {"DragLeftDividerLeftNarrows", Left, {}, drag(Left, -30), {true, true, false, 210}},
        PanelOperation {"DragRightDividerRightNarrowsToLimit", Right, {}, drag(Right, 500), {true, true, false, 260}},
        PanelOperation {"DragRightDividerLeftWidens", Right, {}, drag(Right, -40), {true, true, false, 380}},
        PanelOperation {"DragWhileLockedDoesNothing", Left, lock(Left), drag(Left, 50), {true, true, true, 240}},
        PanelOperation {"CollapseWhileLockedDoesNothing", Left, lock(Left),
                        [](auto& s) { s.setPanelExpanded(Left, false); }, {true, true, true, 240}},
        PanelOperation {"DisableWhileLockedWorksAndUnlocks", Left, lock(Left), [](auto& s) { s.disablePanel(Left); },
                        {false, false, false, 240}},
        PanelOperation {"SwitchOffWhileLockedUnlocks", Right, lock(Right), [](auto& s) { s.setPanelEnabled(Right, false); },
                        {false, false, false, 340}},
        PanelOperation {"ReenableShowsExpandedAtFormerWidth", Right,
                        [](auto& s) {
                            s.resizePanel(Right, 300);
                            s.disablePanel(Right);
                        },
                        [](auto& s) { s.setPanelEnabled(Right, true); }, {true, true, false, 300}},
        PanelOperation {"ExpandWhileDisabledDoesNothing", Right, [](auto& s) { s.disablePanel(Right); },
                        [](auto& s) { s.setPanelExpanded(Right, true); }, {false, false, false, 340}},
        PanelOperation {"ResizeWhileDisabledDoesNothing", Left, [](auto& s) { s.disablePanel(Left); },
                        [](auto& s) { s.resizePanel(Left, 300); }, {false, false, false, 240}},
        PanelOperation {"LockedCollapsedPanelStaysCollapsed", Left,
                        [](auto& s) {
                            s.setPanelExpanded(Left, false);
                            s.setPanelLocked(Left, true);
                        },
                        [](auto& s) { s.setPanelExpanded(Left, true); }, {true, false, true, 240}},
        PanelOperation {"UnlockThenCollapse", Left, lock(Left),
                        [](auto& s) {
                            s.setPanelLocked(Left, false);
                            s.setPanelExpanded(Left, false);
                        },
                        {true, false, false, 240}},
        PanelOperation {"LockingIsAllowedWhileDisabled", Right, [](auto& s) { s.disablePanel(Right); },
                        [](auto& s) { s.setPanelLocked(Right, true); }, {false, false, true, 340}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkspacePanelStateTest, EachAssignmentIsPublishedForItsSide)
{
    WorkspacePanelState state(preferences);
    QSignalSpy changed(&state, &WorkspacePanelState::panelChanged);
    state.setPanelEnabled(Right, false);
    state.resizePanel(Left, 200);
    state.resizePanel(Right, 300);
    ASSERT_EQ(changed.count(), 4) << "three fields of the right panel, one of the left; a disabled panel is not resized";
    EXPECT_EQ(changed.at(0).at(0).value<WorkspacePanelSide>(), Right);
    EXPECT_EQ(changed.at(3).at(0).value<WorkspacePanelSide>(), Left);
}

TEST_F(WorkspacePanelStateTest, DividerAndRevealButtonTextsFollowTheLock)
{
    WorkspacePanelState state(preferences);
    const auto texts = [&](WorkspacePanelSide side) {
        const WorkspacePanelState::ControlTexts t = state.controlTexts(side);
        return QStringList {t.lockItem, t.collapseItem, t.disableItem, t.lockedLabel, t.lockedHelp, t.revealTitle, t.revealHelp};
    };
    EXPECT_EQ(texts(Left), (QStringList {"Lock Width and Visibility", "Collapse Library Sidebar", "Disable Library Sidebar", "", "",
                                         "Expand Library Sidebar", ""}));
    state.setPanelExpanded(Right, false);
    state.setPanelLocked(Right, true);
    EXPECT_EQ(texts(Right), (QStringList {"Unlock Width and Visibility", "Collapse Now Playing Inspector", "Disable Now Playing Inspector",
                                          "Now Playing Inspector locked", "Unlock Now Playing Inspector to change it",
                                          "Now Playing Inspector collapsed and locked", "Unlock Now Playing Inspector from Workspace"}));
}

TEST(WorkspacePanelTest, DividerDragWidensTowardsTheSongList)
{
    EXPECT_EQ(dividerDragWidth(Left, 240, 25), 265);
    EXPECT_EQ(dividerDragWidth(Right, 340, 25), 315);
    EXPECT_EQ(dividerDragWidth(Right, 340, -60), 400);
    EXPECT_EQ(WorkspacePanelState::panelName(Left), "Library Sidebar");
    EXPECT_EQ(WorkspacePanelState::panelName(Right), "Now Playing Inspector");
}

} // namespace
