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

// The fraction of the strip under the pointer, 0…1; 0 when x or the width
// is not a positive finite number.
double seekFraction(double x, double width);

} // namespace varno::player
