#include "TrackSelectionState.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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

// Which selected songs a list shows: a flat table of the selected ids with
// a seen mark, probed once per song shown. Ids are random already, so the
// hash is a multiply; one probe is a fraction of a QSet lookup into a large
// selection, and a selection the list still shows whole is left untouched.
class SeenTable {
public:
    explicit SeenTable(const QSet<QUuid>& ids)
    {
        std::size_t capacity = 16;
        while (capacity < static_cast<std::size_t>(ids.size()) * 2)
            capacity *= 2;
        m_slots.resize(capacity);
        m_mask = capacity - 1;
        for (const QUuid& id : ids) {
            std::size_t i = slotOf(id);
            while (m_slots[i].used)
                i = (i + 1) & m_mask;
            m_slots[i] = {id, true, false};
        }
    }

    // Marks `id` seen; false when it is not in the table.
    bool markSeen(const QUuid& id)
    {
        for (std::size_t i = slotOf(id);; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (!slot.used)
                return false;
            if (slot.id == id) {
                m_seen += !slot.seen;
                slot.seen = true;
                return true;
            }
        }
    }

    std::size_t seenCount() const { return m_seen; }

    template<typename Visit>
    void forEach(bool seen, Visit&& visit) const
    {
        for (const Slot& slot : m_slots) {
            if (slot.used && slot.seen == seen)
                visit(slot.id);
        }
    }

private:
    struct Slot {
        QUuid id;
        bool used = false;
        bool seen = false;
    };

    std::size_t slotOf(const QUuid& id) const
    {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        std::memcpy(&high, &id, sizeof high);
        std::memcpy(&low, reinterpret_cast<const char*>(&id) + sizeof high, sizeof low);
        return static_cast<std::size_t>(((high ^ (low * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull) >> 20) & m_mask;
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_seen = 0;
};

// The anchor that replaces one that is gone: the first selected song in list
// order, so the choice does not depend on how the set is laid out.
template<typename IDs>
void prune(TrackSelectionState& state, const IDs& visible)
{
    if (state.selectedIDs.isEmpty()) {
        // An anchor with nothing selected (the last selected song was
        // Ctrl-clicked away) stays while it is shown.
        if (state.anchorID) {
            bool shown = false;
            for (std::size_t i = 0; i < visible.size() && !shown; ++i)
                shown = visible[i] == *state.anchorID;
            if (!shown)
                state.anchorID.reset();
        }
        return;
    }
    SeenTable table(state.selectedIDs);
    bool anchorShown = false;
    std::optional<QUuid> firstKept;
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const QUuid& id = visible[i];
        if (state.anchorID && id == *state.anchorID)
            anchorShown = true;
        if (table.markSeen(id) && !firstKept)
            firstKept = id;
    }
    const std::size_t kept = table.seenCount();
    const std::size_t gone = static_cast<std::size_t>(state.selectedIDs.size()) - kept;
    // Removing a few songs in place is cheapest, unless the set is shared
    // (a copy of the state was taken) and removing would copy it whole.
    if (gone > 0 && gone <= kept / 8 && state.selectedIDs.isDetached()) {
        table.forEach(false, [&](const QUuid& id) { state.selectedIDs.remove(id); });
    } else if (gone > 0) {
        QSet<QUuid> shown;
        shown.reserve(static_cast<qsizetype>(kept));
        table.forEach(true, [&](const QUuid& id) { shown.insert(id); });
        state.selectedIDs = std::move(shown);
    }
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
