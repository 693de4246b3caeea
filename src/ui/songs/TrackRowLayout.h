#pragma once

#include <QPoint>
#include <QRect>

namespace varno {

// The clickable parts of a row's leading area.
enum class TrackRowControl { None, Play, Favorite, Edit };

// Where things sit in a song table's row. The leading area (the first
// column, as wide as the layout's leading width) holds, left to right, the
// cover, the play/pause button, the heart and the edit button.
namespace trackRowLayout {

inline constexpr int kRowHeight = 44;
inline constexpr int kHeaderHeight = 30;
inline constexpr int kCellPadding = 8;
inline constexpr int kControlSize = 26;
inline constexpr int kGlyphSize = 14;

QRect thumbnailRect(const QRect& leadingCell);
QRect controlRect(const QRect& leadingCell, TrackRowControl control);
TrackRowControl controlAt(const QRect& leadingCell, const QPoint& point);

} // namespace trackRowLayout

} // namespace varno
