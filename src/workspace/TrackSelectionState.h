#pragma once

#include "storage/TrackList.h"

#include <QFlags>
#include <QSet>
#include <QUuid>

#include <optional>
#include <span>

namespace varno {

// The keys held during a click on a row, as the selection reads them. The
// values are those of the click-modifier bits (toggle 1, range 2).
enum class SelectionClick {
    // Ctrl (Command elsewhere): toggle one song, or add a range to the
    // selection.
    Toggle = 0x1,
    // Shift: select the range from the anchor.
    Range = 0x2,
};
Q_DECLARE_FLAGS(SelectionClicks, SelectionClick)
Q_DECLARE_OPERATORS_FOR_FLAGS(SelectionClicks)

// From the keyboard's modifiers: Ctrl toggles, Shift selects a range; Alt
// and Meta play no part in selection.
SelectionClicks selectionClicks(Qt::KeyboardModifiers modifiers);

// The selected songs of one list and the song that ranges are measured from.
// A plain value: each list owns one while it is on screen.
struct TrackSelectionState {
    QSet<QUuid> selectedIDs;
    std::optional<QUuid> anchorID;

    // A click on the row of `id`. `ordered` is the list as shown, sorted.
    // Shift with an anchor selects from the anchor to `id` (with Ctrl added
    // to the selection) and leaves the anchor; otherwise `id` becomes the
    // anchor and the whole selection (with Ctrl: toggled). Songs no longer
    // shown leave the selection first.
    void selectTrack(const QUuid& id, const TrackList& ordered, SelectionClicks clicks);
    void selectTrack(const QUuid& id, std::span<const QUuid> ordered, SelectionClicks clicks);

    // Keeps only the selected songs still shown; an anchor no longer shown
    // moves to one of them (or goes when none is left).
    void pruneSelection(const TrackList& visible);
    void pruneSelection(std::span<const QUuid> visible);
    void pruneSelection(const QSet<QUuid>& visible);

    // Takes one song out; when it was the anchor, the anchor moves to a
    // remaining selected song.
    void deselect(const QUuid& id);

    // The whole list selected. The anchor stays where it was.
    void selectAll(const TrackList& shown);
    // Nothing selected, no anchor.
    void clear();

    bool isSelected(const QUuid& id) const { return selectedIDs.contains(id); }

    friend bool operator==(const TrackSelectionState&, const TrackSelectionState&) = default;
};

// The look of a row: whether its song is the current song ("active") and
// whether it is selected.
enum class TrackRowVisualState { Idle, Selected, Active, ActiveSelected };

constexpr TrackRowVisualState trackRowVisualState(bool isActive, bool isSelected)
{
    if (isActive)
        return isSelected ? TrackRowVisualState::ActiveSelected : TrackRowVisualState::Active;
    return isSelected ? TrackRowVisualState::Selected : TrackRowVisualState::Idle;
}

} // namespace varno
