#pragma once

#include "workspace/ShortcutContext.h"

#include <functional>

namespace varno {

// The song list's own keys for select all, deselect all and edit, which work
// even where the menu bar's items cannot be reached.
struct TrackListShortcutConfiguration {
    bool isEnabled = false;
    bool canSelect = false;
    bool canDeselect = false;
    bool canEdit = false;
    std::function<void()> selectAll;
    std::function<void()> deselectAll;
    std::function<void()> editSelection;
};

enum class TrackListShortcut { PassOn, SelectAll, DeselectAll, EditSelection };

// What a key press means for the song list. Passed on unless the monitor is
// enabled, its window is active and focus is not where text is typed. Alt
// plays no part; Ctrl+A (or Meta+A) selects all, Ctrl+Shift+A (or
// Meta+Shift+A) deselects, Ctrl+E edits, each only while it can. Repeats
// count like first presses.
TrackListShortcut trackListShortcut(const KeyPress& press, const ShortcutContext& context, const TrackListShortcutConfiguration& configuration);

// Holds the latest configuration, so the list only forwards key presses.
// Main thread only.
class TrackListShortcutMonitor final {
public:
    const TrackListShortcutConfiguration& configuration() const { return m_configuration; }
    void update(TrackListShortcutConfiguration configuration) { m_configuration = std::move(configuration); }

    // Runs the action the press asks for; true when it was consumed.
    bool handleKeyPress(const KeyPress& press, const ShortcutContext& context) const;

private:
    TrackListShortcutConfiguration m_configuration;
};

} // namespace varno
