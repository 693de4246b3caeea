#pragma once

namespace varno {

// How the workspace row (library sidebar, song list, play queue, now-playing
// panel) shares the window's width. The song list is never squeezed below its
// minimum while anything beside it can give way: first the panels narrow
// towards their own minimum widths (the right one first, then the left, then
// the queue), and only when that is not enough is a panel drawn as its reveal
// button for the time being (the right one first). None of this changes what
// is stored: widening the window brings back the widths the user chose.
namespace workspaceRow {

inline constexpr int kCentreMinimumWidth = 420;
inline constexpr int kDividerWidth = 7;
inline constexpr int kRevealWidth = 30;
inline constexpr int kQueueWidth = 320;
inline constexpr int kQueueMinimumWidth = 250;

enum class PanelShape { Hidden, Collapsed, Expanded };

struct PanelDemand {
    PanelShape shape = PanelShape::Expanded;
    // The width the user chose, without the divider.
    int width = 0;
    int minimumWidth = 0;
};

struct Demand {
    int rowWidth = 0;
    PanelDemand left;
    PanelDemand right;
    bool isQueueOpen = false;
};

struct PanelFit {
    // The content width given to an expanded panel (0 otherwise).
    int width = 0;
    // Expanded by choice but drawn as its reveal button for lack of room.
    bool isSqueezedOut = false;

    // What the panel takes from the row: content and divider, its reveal
    // button, or nothing.
    int rowShare(PanelShape shape) const;

    friend bool operator==(const PanelFit&, const PanelFit&) = default;
};

struct Fit {
    PanelFit left;
    PanelFit right;
    // 0 while the queue is closed.
    int queueWidth = 0;
    // What is left for the song list; below kCentreMinimumWidth only when
    // everything else already gave way.
    int centreWidth = 0;

    friend bool operator==(const Fit&, const Fit&) = default;
};

Fit fit(const Demand& demand);

} // namespace workspaceRow
} // namespace varno
