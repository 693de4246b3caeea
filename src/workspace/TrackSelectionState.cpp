#include "TrackSelectionState.h"

#include <algorithm>

namespace varno {

namespace {

// The list as a sequence of ids, whether it comes as songs or as ids.
struct SongIDs {
    const TrackList& songs;
    std::size_t size() const { return songs.size(); }
    const QUuid& operator[](std::size_t i) const { return songs[i].id; }
};

struct PlainIDs {
    std::span<const QUuid> ids;
    std::size_t size() const { return ids.size(); }
    const QUuid& operator[](std::size_t i) const { return ids[i]; }
};

// The anchor that replaces one that is gone: the first selected song in list
// order, so the choice does not depend on how the set is laid out.
template<typename IDs>
void prune(TrackSelectionState& state, const IDs& visible)
{
    if (state.selectedIDs.isEmpty()) {
        state.anchorID.reset();
        return;
    }
    QSet<QUuid> kept;
    kept.reserve(std::min<qsizetype>(state.selectedIDs.size(), static_cast<qsizetype>(visible.size())));
    bool anchorShown = false;
    std::optional<QUuid> firstKept;
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const QUuid& id = visible[i];
        if (state.anchorID && id == *state.anchorID)
            anchorShown = true;
        if (state.selectedIDs.contains(id)) {
            kept.insert(id);
            if (!firstKept)
                firstKept = id;
        }
    }
    if (kept.size() != state.selectedIDs.size())
        state.selectedIDs = std::move(kept);
    if (state.anchorID && !anchorShown)
        state.anchorID = firstKept;
}

template<typename IDs>
void select(TrackSelectionState& state, const QUuid& id, const IDs& ordered, SelectionClicks clicks)
{
    const bool toggle = clicks.testFlag(SelectionClick::Toggle);
    if (!clicks.testFlag(SelectionClick::Range) && !toggle) {
        // Whatever pruning would keep is replaced anyway.
        state.selectedIDs = {id};
        state.anchorID = id;
        return;
    }
    std::optional<std::size_t> anchorAt;
    std::optional<std::size_t> clickedAt;
    for (std::size_t i = 0; i < ordered.size() && !(anchorAt && clickedAt); ++i) {
        if (!anchorAt && state.anchorID && ordered[i] == *state.anchorID)
            anchorAt = i;
        if (!clickedAt && ordered[i] == id)
            clickedAt = i;
    }
    // A plain range or click replaces the selection, so only a toggle, a
    // range added with Ctrl, or an anchor that is gone (and is replaced from
    // the songs kept) needs the pruned selection.
    if (toggle || (state.anchorID && !anchorAt)) {
        prune(state, ordered);
        if (state.anchorID && !anchorAt) {
            for (std::size_t i = 0; i < ordered.size(); ++i) {
                if (ordered[i] == *state.anchorID) {
                    anchorAt = i;
                    break;
                }
            }
        }
    }
    if (clicks.testFlag(SelectionClick::Range) && anchorAt && clickedAt) {
        const std::size_t first = std::min(*anchorAt, *clickedAt);
        const std::size_t last = std::max(*anchorAt, *clickedAt);
        if (!toggle) {
            state.selectedIDs.clear();
            state.selectedIDs.reserve(static_cast<qsizetype>(last - first + 1));
        }
        for (std::size_t i = first; i <= last; ++i)
            state.selectedIDs.insert(ordered[i]);
        return;
    }
    state.anchorID = id;
    if (!toggle) {
        state.selectedIDs = {id};
    } else if (!state.selectedIDs.remove(id)) {
        state.selectedIDs.insert(id);
    }
}

} // namespace

SelectionClicks selectionClicks(Qt::KeyboardModifiers modifiers)
{
    SelectionClicks clicks;
    if (modifiers.testFlag(Qt::ControlModifier))
        clicks |= SelectionClick::Toggle;
    if (modifiers.testFlag(Qt::ShiftModifier))
        clicks |= SelectionClick::Range;
    return clicks;
}

void TrackSelectionState::selectTrack(const QUuid& id, const TrackList& ordered, SelectionClicks clicks)
{
    select(*this, id, SongIDs {ordered}, clicks);
}

void TrackSelectionState::selectTrack(const QUuid& id, std::span<const QUuid> ordered, SelectionClicks clicks)
{
    select(*this, id, PlainIDs {ordered}, clicks);
}

void TrackSelectionState::pruneSelection(const TrackList& visible)
{
    prune(*this, SongIDs {visible});
}

void TrackSelectionState::pruneSelection(std::span<const QUuid> visible)
{
    prune(*this, PlainIDs {visible});
}

void TrackSelectionState::pruneSelection(const QSet<QUuid>& visible)
{
    selectedIDs.intersect(visible);
    if (anchorID && !visible.contains(*anchorID))
        anchorID = selectedIDs.isEmpty() ? std::nullopt : std::optional<QUuid>(*selectedIDs.cbegin());
}

void TrackSelectionState::deselect(const QUuid& id)
{
    selectedIDs.remove(id);
    if (anchorID == id)
        anchorID = selectedIDs.isEmpty() ? std::nullopt : std::optional<QUuid>(*selectedIDs.cbegin());
}

void TrackSelectionState::selectAll(const TrackList& shown)
{
    QSet<QUuid> all;
    all.reserve(static_cast<qsizetype>(shown.size()));
    for (const Track& track : shown)
        all.insert(track.id);
    selectedIDs = std::move(all);
}

void TrackSelectionState::clear()
{
    selectedIDs.clear();
    anchorID.reset();
}

} // namespace varno
