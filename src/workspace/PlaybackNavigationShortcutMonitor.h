#pragma once

#include "workspace/ShortcutContext.h"

#include <functional>

namespace varno {

// The bare left and right arrows step through the queue, unless something in
// the window wants the arrows for itself.
struct PlaybackNavigationShortcutConfiguration {
    bool canPlayPrevious = false;
    bool canPlayNext = false;
    std::function<void()> playPrevious;
    std::function<void()> playNext;
};

enum class PlaybackNavigationShortcut { PassOn, PlayPrevious, PlayNext };

// What a key press means for playback. It is passed on unless the window is
// active with no dialog or modal window open, focus is not in a text field or
// a control (which keep their own arrow keys), it is a first press rather
// than a repeat, and no modifier is held; then the left arrow plays the
// previous song and the right arrow the next one, each only while possible.
PlaybackNavigationShortcut playbackNavigationShortcut(const KeyPress& press, const ShortcutContext& context, bool canPlayPrevious,
                                                      bool canPlayNext);

// Holds the latest configuration of the arrows, so the window only forwards
// key presses. Main thread only.
class PlaybackNavigationShortcutMonitor final {
public:
    const PlaybackNavigationShortcutConfiguration& configuration() const { return m_configuration; }
    void update(PlaybackNavigationShortcutConfiguration configuration) { m_configuration = std::move(configuration); }

    // Runs the action the press asks for; true when the press was consumed
    // and must not reach the rest of the window.
    bool handleKeyPress(const KeyPress& press, const ShortcutContext& context) const;

private:
    PlaybackNavigationShortcutConfiguration m_configuration;
};

} // namespace varno
