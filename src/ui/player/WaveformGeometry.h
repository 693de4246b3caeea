#pragma once

#include <QRectF>

#include <vector>

// The geometry of the player bar's waveform strip: how many bars fit, where
// each one stands, how tall it is and whether it has been played.
namespace varno::player {

// Values drawn while a song's peaks are not known: a gentle fixed ripple.
const std::vector<float>& placeholderPeaks();
inline constexpr int kPlaceholderCount = 96;

struct WaveformBar {
    QRectF rect;
    // Where the bar stands in the song, 0…1.
    double position = 0;
    bool played = false;
};

// One bar per 3 px of width, at most one per value, at least one; each bar
// 56 % of its slot (1.0 to 2.4 px) and centred in it, its height the value
// (at least 0.08) × 82 % of the height, at least 2 px, centred vertically.
// A bar is played when its position is at or before `progress` (clamped
// into 0…1). Empty `values` draw the placeholder ripple.
std::vector<WaveformBar> waveformBars(const std::vector<float>& values, double width, double height, double progress);

// How the bars of `valueCount` values share a strip `width` wide (an empty
// count is the placeholder's), and how many of them are played at
// `progress`: only a change of that count changes what the strip shows, so
// a playing song repaints one bar's slot every few seconds, not the strip
// every tick.
struct BarSlots {
    long long bars = 0;
    double slot = 0;

    long long playedCount(double progress) const;
    // The strip's columns from bar `first` up to, not including, `end`.
    QRectF span(long long first, long long end, double height) const;
};
BarSlots barSlots(std::size_t valueCount, double width);

// The fraction of the strip under the pointer, 0…1; 0 when x or the width
// is not a positive finite number.
double seekFraction(double x, double width);

} // namespace varno::player
