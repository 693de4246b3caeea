#include "TrackRowLayout.h"

#include "ui/songs/TrackThumbnailCache.h"

namespace varno::trackRowLayout {

namespace {

constexpr int kThumbnailLeft = 10;
constexpr int kPlayLeft = 46;
constexpr int kFavoriteLeft = 74;
constexpr int kEditLeft = 102;

QRect squareAt(const QRect& cell, int left, int size)
{
    return QRect(cell.left() + left, cell.top() + (cell.height() - size) / 2, size, size);
}

} // namespace

QRect thumbnailRect(const QRect& leadingCell)
{
    return squareAt(leadingCell, kThumbnailLeft, TrackThumbnailCache::kEdge);
}

QRect controlRect(const QRect& leadingCell, TrackRowControl control)
{
    switch (control) {
    case TrackRowControl::Play:
        return squareAt(leadingCell, kPlayLeft, kControlSize);
    case TrackRowControl::Favorite:
        return squareAt(leadingCell, kFavoriteLeft, kControlSize);
    case TrackRowControl::Edit:
        return squareAt(leadingCell, kEditLeft, kControlSize);
    case TrackRowControl::None:
        break;
    }
    return {};
}

TrackRowControl controlAt(const QRect& leadingCell, const QPoint& point)
{
    for (TrackRowControl control : {TrackRowControl::Play, TrackRowControl::Favorite, TrackRowControl::Edit}) {
        if (controlRect(leadingCell, control).contains(point))
            return control;
    }
    return TrackRowControl::None;
}

} // namespace varno::trackRowLayout
