#include "TestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "workspace/TrackTableLayoutState.h"

#include <QSignalSpy>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <functional>

using namespace varno;
using ID = TrackTableColumnID;

namespace varno {
void PrintTo(const TrackTableColumnConfiguration& c, std::ostream* os)
{
    *os << rawValue(c.id).toStdString() << '(' << c.width << '/' << c.expandedWidth << (c.isCollapsed ? " collapsed" : "") << ')';
}
} // namespace varno

namespace {

TrackTableColumnConfiguration column(ID id, double width, double expandedWidth, bool collapsed = false)
{
    return {id, width, expandedWidth, collapsed};
}

TrackTableColumnConfiguration defaultColumn(ID id)
{
    return TrackTableColumnConfiguration::defaultFor(id);
}

TrackTableColumns defaultsOf(std::initializer_list<ID> ids)
{
    TrackTableColumns columns;
    for (ID id : ids)
        columns.append(defaultColumn(id));
    return columns;
}

class TrackTableLayoutStateTest : public test::DataFolderTest {
protected:
    std::optional<QByteArray> stored() const { return preferences.value(TrackTableLayoutState::kPreferenceKey); }
    void store(const QByteArray& bytes) { preferences.setValue(TrackTableLayoutState::kPreferenceKey, bytes); }
    // A layout of the given columns, stored and loaded.
    std::unique_ptr<TrackTableLayoutState> layoutWith(const TrackTableColumns& columns)
    {
        store(encodeTrackTableColumns(columns));
        return std::make_unique<TrackTableLayoutState>(preferences);
    }

    SettingsPreferencesStore preferences;
    QUndoStack undoStack;
};

TEST_F(TrackTableLayoutStateTest, FirstStartShowsTheMostUsefulColumnsAtTheirDefaultWidthsAndStoresNothing)
{
    TrackTableLayoutState layout(preferences);
    EXPECT_EQ(layout.columns(), defaultTrackTableColumns());
    EXPECT_EQ(layout.visibleColumnIDs(), (QList<ID> {ID::Title, ID::Artist, ID::Album, ID::Duration}));
    EXPECT_TRUE(layout.isDefaultLayout());
    EXPECT_EQ(layout.recoveryMessage(), std::nullopt);
    // What the default window leaves the table beside both panels holds it.
    EXPECT_EQ(layout.totalWidth(), 132 + 200 + 140 + 140 + 72);
    EXPECT_EQ(stored(), std::nullopt);
}

TEST_F(TrackTableLayoutStateTest, StoredFormIsTheColumnsAsAJsonArray)
{
    TrackTableLayoutState layout(preferences);
    layout.setColumnVisible(ID::Title, false, nullptr);
    layout.toggleColumnCollapsed(ID::Artist, nullptr);
    layout.resizeColumn(ID::Album, 200.5);
    ASSERT_TRUE(stored());
    EXPECT_TRUE(stored()->startsWith(R"([{"id":"artist","width":48,"expandedWidth":140,"isCollapsed":true},)"
                                     R"({"id":"album","width":200.5,"expandedWidth":200.5,"isCollapsed":false},)"));
    EXPECT_EQ(TrackTableLayoutState(preferences).columns(), layout.columns());
}

// Damaged stored layouts: what loads, and whether the user is told.
struct StoredLayoutCase {
    const char* name;
    QByteArray stored;
    TrackTableColumns expected;
    bool reportsInvalidLayout;
};

class StoredLayoutTest : public TrackTableLayoutStateTest, public ::testing::WithParamInterface<StoredLayoutCase> { };

TEST_P(StoredLayoutTest, LoadsRepairedOrDefaultLayout)
{
    const StoredLayoutCase& c = GetParam();
    store(c.stored);
    TrackTableLayoutState layout(preferences);
    EXPECT_EQ(layout.columns(), c.expected);
    EXPECT_EQ(layout.recoveryMessage(), c.reportsInvalidLayout ? std::optional(TrackTableLayoutState::kInvalidLayoutMessage) : std::nullopt);
    // Loading never writes; the first change stores a clean value.
    EXPECT_EQ(stored(), c.stored);
    layout.restoreDefaultLayout(nullptr);
    layout.setColumnVisible(ID::Album, false, nullptr);
    EXPECT_EQ(decodeTrackTableColumns(*stored()), layout.columns());
}

const TrackTableColumns kAllDefaults = defaultTrackTableColumns();

INSTANTIATE_TEST_SUITE_P(
    DamagedValues, StoredLayoutTest,
    ::testing::Values(
        StoredLayoutCase {"UnknownColumn", R"([{"id":"rating","width":80,"expandedWidth":80,"isCollapsed":false}])", kAllDefaults, true},
        StoredLayoutCase {"TooWideAndTooNarrow",
                          R"([{"id":"title","width":1000,"expandedWidth":1000,"isCollapsed":false},)"
                          R"({"id":"artist","width":10,"expandedWidth":-5,"isCollapsed":false}])",
                          {column(ID::Title, 420, 420), column(ID::Artist, 90, 90)}, false},
        StoredLayoutCase {"DuplicateKeepsTheFirst",
                          R"([{"id":"artist","width":100,"expandedWidth":100,"isCollapsed":false},)"
                          R"({"id":"year","width":70,"expandedWidth":70,"isCollapsed":false},)"
                          R"({"id":"artist","width":300,"expandedWidth":300,"isCollapsed":true}])",
                          {column(ID::Artist, 100, 100), column(ID::Year, 70, 70)}, false},
        StoredLayoutCase {"CollapsedIsDrawnAsStub", R"([{"id":"album","width":300,"expandedWidth":900,"isCollapsed":true}])",
                          {column(ID::Album, 48, 320, true)}, false},
        StoredLayoutCase {"OutOfRangeNumberIsNotFinite", R"([{"id":"genre","width":1e400,"expandedWidth":-1e400,"isCollapsed":false}])",
                          {column(ID::Genre, 110, 110)}, false},
        StoredLayoutCase {"KeysInAnyOrderUnknownKeysIgnored",
                          R"([{"isCollapsed":false,"note":"x","expandedWidth":99,"width":99,"id":"format"}])", {column(ID::Format, 99, 99)}, false},
        StoredLayoutCase {"EmptyListStaysEmpty", "[]", {}, false},
        StoredLayoutCase {"WidthOfWrongType", R"([{"id":"title","width":"wide","expandedWidth":220,"isCollapsed":false}])", kAllDefaults, true},
        StoredLayoutCase {"CollapsedFlagOfWrongType", R"([{"id":"title","width":220,"expandedWidth":220,"isCollapsed":1}])", kAllDefaults, true},
        StoredLayoutCase {"MissingKey", R"([{"id":"title","width":220,"expandedWidth":220}])", kAllDefaults, true},
        StoredLayoutCase {"ObjectInsteadOfArray", R"({"id":"title","width":220,"expandedWidth":220,"isCollapsed":false})", kAllDefaults, true},
        StoredLayoutCase {"NotJson", "columns: title, artist", kAllDefaults, true},
        StoredLayoutCase {"TrailingGarbage", "[] []", kAllDefaults, true},
        StoredLayoutCase {"Empty", "", kAllDefaults, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrackTableLayoutStateTest, DecodingErrorNamesTheItemAndKey)
{
    const QString text = test::errorText([] {
        decodeTrackTableColumns(R"([{"id":"title","width":220,"expandedWidth":220,"isCollapsed":false},{"id":"rating"}])");
    });
    EXPECT_EQ(text, R"(trackTable.columnLayout.v1: item 1: key "id": unknown column "rating")");
}

TEST_F(TrackTableLayoutStateTest, ValueWrittenByHandIntoTheSettingsFileFallsBackToTheDefault)
{
    test::writeSettingsFile("[General]\ntrackTable.columnLayout.v1=widths are 220 and 150\n");
    SettingsPreferencesStore fresh;
    TrackTableLayoutState layout(fresh);
    EXPECT_EQ(layout.columns(), defaultTrackTableColumns());
    EXPECT_EQ(layout.recoveryMessage(), TrackTableLayoutState::kInvalidLayoutMessage);
    QSignalSpy dismissed(&layout, &TrackTableLayoutState::recoveryMessageChanged);
    layout.dismissRecoveryMessage();
    EXPECT_EQ(layout.recoveryMessage(), std::nullopt);
    EXPECT_EQ(dismissed.count(), 1);
}

// Every undoable operation: the layout after it, the action name on the
// stack, and undo and redo going back and forth between the two layouts.
struct OperationCase {
    const char* name;
    TrackTableColumns before;
    std::function<void(TrackTableLayoutState&, QUndoStack*)> operation;
    TrackTableColumns after;
    QString actionName;
};

class LayoutOperationTest : public TrackTableLayoutStateTest, public ::testing::WithParamInterface<OperationCase> { };

TEST_P(LayoutOperationTest, AppliesStoresAndRegistersUndo)
{
    const OperationCase& c = GetParam();
    auto layout = layoutWith(c.before);
    QSignalSpy published(layout.get(), &TrackTableLayoutState::columnsChanged);

    c.operation(*layout, &undoStack);
    EXPECT_EQ(layout->columns(), c.after);
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(decodeTrackTableColumns(*stored()), c.after);
    ASSERT_EQ(undoStack.count(), 1);
    EXPECT_EQ(undoStack.undoText(), c.actionName);

    undoStack.undo();
    EXPECT_EQ(layout->columns(), c.before);
    EXPECT_EQ(decodeTrackTableColumns(*stored()), c.before);
    EXPECT_EQ(undoStack.redoText(), c.actionName);

    undoStack.redo();
    EXPECT_EQ(layout->columns(), c.after);
    EXPECT_EQ(published.count(), 3);
}

const TrackTableColumns kTitleArtistYear = defaultsOf({ID::Title, ID::Artist, ID::Year});

INSTANTIATE_TEST_SUITE_P(
    Operations, LayoutOperationTest,
    ::testing::Values(
        OperationCase {"HideColumn", kTitleArtistYear,
                       [](auto& layout, auto* stack) { layout.setColumnVisible(ID::Artist, false, stack); },
                       defaultsOf({ID::Title, ID::Year}), "Remove Song Column"},
        OperationCase {"ShowColumnInItsCanonicalPlace", kTitleArtistYear,
                       [](auto& layout, auto* stack) { layout.setColumnVisible(ID::Genre, true, stack); },
                       defaultsOf({ID::Title, ID::Artist, ID::Genre, ID::Year}), "Show Song Column"},
        OperationCase {"ShowColumnAfterAllOthers", defaultsOf({ID::Year, ID::Title}),
                       [](auto& layout, auto* stack) { layout.setColumnVisible(ID::DateAdded, true, stack); },
                       defaultsOf({ID::Year, ID::Title, ID::DateAdded}), "Show Song Column"},
        OperationCase {"MoveLeftLandsBeforeTarget", kTitleArtistYear,
                       [](auto& layout, auto* stack) { layout.moveColumn(ID::Year, ID::Title, stack); },
                       defaultsOf({ID::Year, ID::Title, ID::Artist}), "Reorder Song Columns"},
        OperationCase {"MoveRightLandsAfterTarget", kTitleArtistYear,
                       [](auto& layout, auto* stack) { layout.moveColumn(ID::Title, ID::Year, stack); },
                       defaultsOf({ID::Artist, ID::Year, ID::Title}), "Reorder Song Columns"},
        OperationCase {"Collapse", {column(ID::Album, 200, 150)},
                       [](auto& layout, auto* stack) { layout.toggleColumnCollapsed(ID::Album, stack); },
                       {column(ID::Album, 48, 200, true)}, "Toggle Song Column"},
        OperationCase {"Expand", {column(ID::Album, 48, 200, true)},
                       [](auto& layout, auto* stack) { layout.toggleColumnCollapsed(ID::Album, stack); },
                       {column(ID::Album, 200, 200)}, "Toggle Song Column"},
        OperationCase {"ResetCollapsedColumnExpandsIt", {column(ID::Album, 48, 300, true)},
                       [](auto& layout, auto* stack) { layout.resetColumnWidth(ID::Album, stack); },
                       {defaultColumn(ID::Album)}, "Reset Song Column Width"},
        OperationCase {"RestoreDefaults", {},
                       [](auto& layout, auto* stack) { layout.restoreDefaultLayout(stack); },
                       defaultTrackTableColumns(), "Restore Song Columns"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrackTableLayoutStateTest, CollapsingAndExpandingRestoresTheWidth)
{
    auto layout = layoutWith({column(ID::Album, 200, 200)});
    layout->toggleColumnCollapsed(ID::Album, &undoStack);
    layout->toggleColumnCollapsed(ID::Album, &undoStack);
    EXPECT_EQ(layout->columns(), TrackTableColumns {column(ID::Album, 200, 200)});
    EXPECT_EQ(undoStack.count(), 2);
}

// Requests that change nothing: nothing is published, stored or registered.
TEST_F(TrackTableLayoutStateTest, OperationsThatChangeNothingLeaveNoTrace)
{
    TrackTableLayoutState layout(preferences);
    layout.setColumnVisible(ID::Genre, false, nullptr);
    preferences.remove(TrackTableLayoutState::kPreferenceKey);
    QSignalSpy published(&layout, &TrackTableLayoutState::columnsChanged);

    layout.setColumnVisible(ID::Title, true, &undoStack);
    layout.setColumnVisible(ID::Genre, false, &undoStack);
    layout.toggleColumnCollapsed(ID::Genre, &undoStack);
    layout.resetColumnWidth(ID::Title, &undoStack);
    layout.moveColumn(ID::Title, ID::Title, &undoStack);
    layout.moveColumn(ID::Genre, ID::Title, &undoStack);
    layout.resizeColumn(ID::Genre, 200);
    layout.registerResizeUndo(layout.columns(), TrackTableLayoutState::kResizeActionName, &undoStack);

    EXPECT_EQ(published.count(), 0);
    EXPECT_EQ(undoStack.count(), 0);
    EXPECT_EQ(stored(), std::nullopt);
}

TEST_F(TrackTableLayoutStateTest, OperationsWithoutAStackRegisterNothing)
{
    TrackTableLayoutState layout(preferences);
    layout.setColumnVisible(ID::Title, false, nullptr);
    layout.toggleColumnCollapsed(ID::Artist, nullptr);
    const TrackTableColumns before = layout.columns();
    layout.resizeColumn(ID::Album, 250);
    layout.registerResizeUndo(before, TrackTableLayoutState::kResizeActionName, nullptr);
    EXPECT_EQ(undoStack.count(), 0);
    EXPECT_FALSE(layout.isColumnVisible(ID::Title));
}

TEST_F(TrackTableLayoutStateTest, LiveResizePublishesAndStoresEveryStepAndUndoesAsOneAction)
{
    auto layout = layoutWith({column(ID::Title, 220, 220), column(ID::Artist, 48, 150, true)});
    const TrackTableColumns atStart = layout->columns();
    QSignalSpy published(layout.get(), &TrackTableLayoutState::columnsChanged);

    for (double width : {60.0, 200.0, 280.0, 500.0})
        layout->resizeColumn(ID::Artist, width);
    EXPECT_EQ(published.count(), 4);
    EXPECT_EQ(layout->columns()[1], column(ID::Artist, 320, 320));
    EXPECT_EQ(decodeTrackTableColumns(*stored()), layout->columns());
    EXPECT_EQ(undoStack.count(), 0);

    layout->registerResizeUndo(atStart, TrackTableLayoutState::kResizeActionName, &undoStack);
    EXPECT_EQ(undoStack.undoText(), "Resize Song Column");
    undoStack.undo();
    EXPECT_EQ(layout->columns(), atStart);
    undoStack.redo();
    EXPECT_EQ(layout->columns()[1], column(ID::Artist, 320, 320));
}

TEST_F(TrackTableLayoutStateTest, HidingEveryColumnLeavesTheLeadingAreaAndRestoreBringsTheDefaultsBack)
{
    TrackTableLayoutState layout(preferences);
    for (ID id : kAllTrackTableColumns)
        layout.setColumnVisible(id, false, &undoStack);
    EXPECT_TRUE(layout.columns().isEmpty());
    EXPECT_EQ(layout.totalWidth(), 132);
    EXPECT_FALSE(layout.isDefaultLayout());

    layout.restoreDefaultLayout(&undoStack);
    EXPECT_EQ(layout.visibleColumnIDs(), QList<ID>(kDefaultTrackTableColumns.begin(), kDefaultTrackTableColumns.end()));
    EXPECT_TRUE(layout.isDefaultLayout());
    // One step per shown column hidden, and the restore.
    EXPECT_EQ(undoStack.count(), 5);
}

TEST_F(TrackTableLayoutStateTest, UndoOutlivingTheLayoutDoesNothing)
{
    auto layout = std::make_unique<TrackTableLayoutState>(preferences);
    layout->setColumnVisible(ID::Title, false, &undoStack);
    layout.reset();
    undoStack.undo();
    undoStack.redo();
    EXPECT_EQ(decodeTrackTableColumns(*stored()).size(), 3);
}

TEST(TrackTableColumnTest, ClampingUsesTheColumnsLimitsAndDefaultForNonFinite)
{
    struct Case {
        ID id;
        double width;
        double expected;
    };
    for (const Case& c : {Case {ID::Title, 1000, 420}, Case {ID::Title, 10, 120}, Case {ID::Year, 100, 100},
                          Case {ID::SampleRate, std::numeric_limits<double>::quiet_NaN(), 104},
                          Case {ID::DateAdded, -std::numeric_limits<double>::infinity(), 130}, Case {ID::Bitrate, 76, 76}})
        EXPECT_EQ(clampedWidth(c.width, c.id), c.expected) << rawValue(c.id).toStdString() << " " << c.width;
}

TEST(TrackTableColumnTest, RawValuesAndTitlesRoundTrip)
{
    for (ID id : kAllTrackTableColumns)
        EXPECT_EQ(trackTableColumnFromRawValue(rawValue(id).toStdString()), id);
    EXPECT_EQ(headerTitle(ID::TrackNumber), "Track #");
    EXPECT_EQ(rawValue(ID::AlbumArtist), "albumArtist");
    EXPECT_EQ(trackTableColumnFromRawValue("rating"), std::nullopt);
}

} // namespace
