#pragma once

#include "workspace/TrackTableColumnID.h"

#include <QByteArray>
#include <QList>

#include <array>

namespace varno {

// One shown column of the song table. Widths are in points.
struct TrackTableColumnConfiguration {
    TrackTableColumnID id = TrackTableColumnID::Title;
    // The drawn width: kCollapsedWidth while collapsed.
    double width = 0;
    // The width the column returns to when it is expanded again.
    double expandedWidth = 0;
    bool isCollapsed = false;

    // The column at its default width, expanded.
    static TrackTableColumnConfiguration defaultFor(TrackTableColumnID id);

    friend bool operator==(const TrackTableColumnConfiguration&, const TrackTableColumnConfiguration&) = default;
};

// The shown columns, left to right; a column that is absent is hidden.
using TrackTableColumns = QList<TrackTableColumnConfiguration>;

// A collapsed column is drawn as a stub this wide.
inline constexpr double kCollapsedColumnWidth = 48;
// Every row and the header start with this fixed area (play button, artwork);
// it belongs to no column.
inline constexpr double kTrackTableLeadingWidth = 132;

// The columns a new library shows: the ones most lists are read by, which fit
// the default window beside both panels. The others are a right-click on the
// header away.
inline constexpr std::array kDefaultTrackTableColumns {TrackTableColumnID::Title, TrackTableColumnID::Artist,
                                                       TrackTableColumnID::Album, TrackTableColumnID::Duration};

// The default columns in canonical order, at their default widths.
TrackTableColumns defaultTrackTableColumns();

// `width` within the column's limits; a width that is not finite (a damaged
// stored value) becomes the column's default.
double clampedWidth(double width, TrackTableColumnID id);

// What every list goes through before it is shown: the first entry of each
// column wins, widths are clamped and a collapsed column is drawn as its
// stub. Order and collapsed flags are kept; hidden columns stay hidden.
TrackTableColumns normalizedColumns(const TrackTableColumns& columns);

// The stored form: a JSON array of {"id", "width", "expandedWidth",
// "isCollapsed"} objects. Encoding throws json::EncodingError for a width
// that is not finite.
QByteArray encodeTrackTableColumns(const TrackTableColumns& columns);
// Throws json::DecodingError for anything but such an array with all four
// keys in every object and known column names, naming the item at fault.
TrackTableColumns decodeTrackTableColumns(const QByteArray& stored);

} // namespace varno
