#include "TestSupport.h"

#include "workspace/TrackListSelectionCommandTarget.h"
#include "workspace/TrackSelectionState.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <set>

using namespace varno;

namespace {

constexpr int kHidden = -1;

// Rows 0–9 of a list, and one song that is not shown (kHidden).
class Rows {
public:
    Rows()
    {
        for (int i = 0; i < 10; ++i)
            m_list.append(std::make_shared<const Track>(test::makeTrack(QStringLiteral("Row %1").arg(i))));
    }

    const TrackList& list() const { return m_list; }
    QUuid id(int row) const { return row == kHidden ? m_hidden : m_list[static_cast<std::size_t>(row)].id; }

    TrackSelectionState state(std::set<int> rows, std::optional<int> anchor) const
    {
        TrackSelectionState state;
        for (int row : rows)
            state.selectedIDs.insert(id(row));
        if (anchor)
            state.anchorID = id(*anchor);
        return state;
    }

    // The selected rows, for messages that read like the cases.
    std::set<int> rowsOf(const TrackSelectionState& state) const
    {
        std::set<int> rows;
        for (const QUuid& selected : state.selectedIDs) {
            for (int row = kHidden; row < 10; ++row) {
                if (id(row) == selected)
                    rows.insert(row);
            }
        }
        return rows;
    }

private:
    TrackList m_list;
    QUuid m_hidden = QUuid::createUuid();
};

const SelectionClicks kPlain;
const SelectionClicks kToggle = SelectionClick::Toggle;
const SelectionClicks kRange = SelectionClick::Range;
const SelectionClicks kToggleRange = SelectionClick::Toggle | SelectionClick::Range;

struct ClickCase {
    const char* name;
    std::set<int> selected;
    std::optional<int> anchor;
    int clicked;
    SelectionClicks clicks;
    std::set<int> expected;
    std::optional<int> expectedAnchor;
};

class ClickTest : public ::testing::TestWithParam<ClickCase> { };

TEST_P(ClickTest, SelectsByTheClickRules)
{
    const ClickCase& c = GetParam();
    const Rows rows;
    const TrackSelectionState expected = rows.state(c.expected, c.expectedAnchor);

    TrackSelectionState bySongs = rows.state(c.selected, c.anchor);
    bySongs.selectTrack(rows.id(c.clicked), rows.list(), c.clicks);
    EXPECT_EQ(rows.rowsOf(bySongs), c.expected);
    EXPECT_EQ(bySongs, expected);

    std::vector<QUuid> ids;
    for (const Track& track : rows.list())
        ids.push_back(track.id);
    TrackSelectionState byIDs = rows.state(c.selected, c.anchor);
    byIDs.selectTrack(rows.id(c.clicked), ids, c.clicks);
    EXPECT_EQ(byIDs, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, ClickTest,
    ::testing::Values(
        ClickCase {"PlainClickSelectsOneAndAnchors", {}, {}, 3, kPlain, {3}, 3},
        ClickCase {"PlainClickReplacesSelection", {1, 2, 5}, 2, 7, kPlain, {7}, 7},
        ClickCase {"ShiftClickDown", {3}, 3, 7, kRange, {3, 4, 5, 6, 7}, 3},
        ClickCase {"ShiftClickUpFromAnchor", {3, 4, 5, 6, 7}, 3, 1, kRange, {1, 2, 3}, 3},
        ClickCase {"ShiftClickOnAnchor", {2, 8}, 5, 5, kRange, {5}, 5},
        ClickCase {"ShiftClickWithoutAnchorIsPlain", {}, {}, 4, kRange, {4}, 4},
        ClickCase {"CtrlClickAdds", {3}, 3, 5, kToggle, {3, 5}, 5},
        ClickCase {"CtrlClickRemoves", {3, 5}, 5, 3, kToggle, {5}, 3},
        ClickCase {"CtrlClickLastSelectedLeavesNone", {3}, 3, 3, kToggle, {}, 3},
        ClickCase {"ShiftCtrlClickAddsRange", {1}, 5, 8, kToggleRange, {1, 5, 6, 7, 8}, 5},
        ClickCase {"ShiftCtrlClickWithoutAnchorToggles", {1}, {}, 8, kToggleRange, {1, 8}, 8},
        ClickCase {"HiddenSongsLeaveBeforeToggle", {kHidden, 2}, 2, 4, kToggle, {2, 4}, 4},
        ClickCase {"HiddenAnchorMovesToFirstSelectedShown", {kHidden, 6, 2}, kHidden, 8, kRange, {2, 3, 4, 5, 6, 7, 8}, 2},
        ClickCase {"HiddenAnchorAndNothingElseIsPlain", {kHidden}, kHidden, 6, kRange, {6}, 6},
        ClickCase {"ClickOnSongNotShownSelectsIt", {2}, 2, kHidden, kRange, {kHidden}, kHidden}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackSelectionTest, KeyboardModifiersGiveTheClickBits)
{
    struct Case {
        Qt::KeyboardModifiers modifiers;
        int bits;
    };
    for (const Case& c : {Case {Qt::NoModifier, 0}, Case {Qt::ControlModifier, 1}, Case {Qt::ShiftModifier, 2},
                          Case {Qt::ShiftModifier | Qt::ControlModifier, 3}, Case {Qt::AltModifier, 0}, Case {Qt::MetaModifier, 0},
                          Case {Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier, 2}})
        EXPECT_EQ(selectionClicks(c.modifiers).toInt(), c.bits) << c.modifiers.toInt();
}

TEST(TrackSelectionTest, FilteringAwayTheAnchorKeepsTheOtherShownSongs)
{
    const Rows rows;
    const TrackList filtered = rows.list().mid(4);
    std::vector<QUuid> filteredIDs;
    for (const Track& track : filtered)
        filteredIDs.push_back(track.id);
    QSet<QUuid> filteredSet(filteredIDs.begin(), filteredIDs.end());

    TrackSelectionState bySongs = rows.state({2, 3, 8, 5}, 3);
    bySongs.pruneSelection(filtered);
    EXPECT_EQ(bySongs, rows.state({5, 8}, 5)) << "the anchor moves to the first selected song shown";

    TrackSelectionState byIDs = rows.state({2, 3, 8, 5}, 3);
    byIDs.pruneSelection(filteredIDs);
    EXPECT_EQ(byIDs, bySongs);

    TrackSelectionState bySet = rows.state({2, 3, 8, 5}, 3);
    bySet.pruneSelection(filteredSet);
    EXPECT_EQ(rows.rowsOf(bySet), (std::set<int> {5, 8}));
    EXPECT_TRUE(bySet.anchorID == rows.id(5) || bySet.anchorID == rows.id(8));

    TrackSelectionState nothingLeft = rows.state({1}, 1);
    nothingLeft.pruneSelection(filtered);
    EXPECT_EQ(nothingLeft, TrackSelectionState {});

    TrackSelectionState onlyAnchorLeft = rows.state({}, 6);
    onlyAnchorLeft.pruneSelection(filtered);
    EXPECT_EQ(onlyAnchorLeft, rows.state({}, 6)) << "an anchor still shown stays with nothing selected";
    onlyAnchorLeft.pruneSelection(rows.list().mid(0, 3));
    EXPECT_EQ(onlyAnchorLeft, TrackSelectionState {});

    TrackSelectionState anchorShownUnselected = rows.state({9, 1}, 6);
    anchorShownUnselected.pruneSelection(filtered);
    EXPECT_EQ(anchorShownUnselected, rows.state({9}, 6));
}

// Large selections go through the table of seen songs: a few songs leaving
// are removed in place, many leaving rebuild the set, copies of a song in
// the list count once.
TEST(TrackSelectionTest, PruningLargeSelectionsKeepsExactlyTheSongsShown)
{
    std::vector<QUuid> ids(5000);
    for (QUuid& id : ids)
        id = QUuid::createUuid();
    struct Case {
        std::size_t shownFrom;
        std::size_t shownTo;
    };
    for (const Case& c : {Case {0, 5000}, Case {100, 5000}, Case {0, 300}, Case {4999, 5000}, Case {0, 0}}) {
        TrackSelectionState state;
        state.selectedIDs = QSet<QUuid>(ids.begin(), ids.end());
        state.anchorID = ids[50];
        std::vector<QUuid> shown(ids.begin() + static_cast<std::ptrdiff_t>(c.shownFrom), ids.begin() + static_cast<std::ptrdiff_t>(c.shownTo));
        if (!shown.empty())
            shown.push_back(shown.front());
        const TrackSelectionState copy = state;
        state.pruneSelection(shown);
        EXPECT_EQ(state.selectedIDs, QSet<QUuid>(shown.begin(), shown.end())) << c.shownFrom << "-" << c.shownTo;
        EXPECT_EQ(state.anchorID, c.shownFrom <= 50 && c.shownTo > 50 ? std::optional(ids[50])
                                  : shown.empty()                     ? std::nullopt
                                                                      : std::optional(shown.front()));
        EXPECT_EQ(copy.selectedIDs.size(), 5000) << "a copy taken before keeps its songs";
    }
}

TEST(TrackSelectionTest, DeselectingTheAnchorMovesItToARemainingSong)
{
    const Rows rows;
    TrackSelectionState state = rows.state({1, 4}, 4);
    state.deselect(rows.id(4));
    EXPECT_EQ(state, rows.state({1}, 1));
    state.deselect(rows.id(7));
    EXPECT_EQ(state, rows.state({1}, 1));
    state.deselect(rows.id(1));
    EXPECT_EQ(state, TrackSelectionState {});
}

TEST(TrackSelectionTest, SelectAllKeepsTheAnchorAndClearForgetsIt)
{
    const Rows rows;
    TrackSelectionState state = rows.state({2}, 2);
    state.selectAll(rows.list());
    EXPECT_EQ(state, rows.state({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 2));
    state.selectTrack(rows.id(4), rows.list(), kRange);
    EXPECT_EQ(rows.rowsOf(state), (std::set<int> {2, 3, 4}));
    state.clear();
    EXPECT_EQ(state, TrackSelectionState {});
}

TEST(TrackSelectionTest, RowLookCombinesActiveAndSelected)
{
    EXPECT_EQ(trackRowVisualState(false, false), TrackRowVisualState::Idle);
    EXPECT_EQ(trackRowVisualState(false, true), TrackRowVisualState::Selected);
    EXPECT_EQ(trackRowVisualState(true, false), TrackRowVisualState::Active);
    EXPECT_EQ(trackRowVisualState(true, true), TrackRowVisualState::ActiveSelected);
}

TEST(TrackSelectionTest, CommandTargetPublishesCountsAndPassesCommandsOn)
{
    TrackListSelectionCommandTarget target;
    QSignalSpy tracks(&target, &TrackListSelectionCommandTarget::trackCountChanged);
    QSignalSpy selection(&target, &TrackListSelectionCommandTarget::selectionCountChanged);
    QSignalSpy commands(&target, &TrackListSelectionCommandTarget::commandSent);
    target.setTrackCount(10);
    target.setSelectionCount(2);
    target.send(TrackListSelectionCommand::EditSelection);
    EXPECT_EQ(target.trackCount(), 10);
    EXPECT_EQ(target.selectionCount(), 2);
    EXPECT_EQ(tracks.count(), 1);
    EXPECT_EQ(selection.count(), 1);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).value<TrackListSelectionCommand>(), TrackListSelectionCommand::EditSelection);
}

} // namespace
