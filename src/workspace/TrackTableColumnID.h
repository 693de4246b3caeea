#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string_view>

namespace varno {

// The song table's data columns. The declaration order is the canonical
// column order: a column shown again returns to its place in it, and the
// column menus list the columns in it.
enum class TrackTableColumnID {
    Title,
    Artist,
    Album,
    AlbumArtist,
    Genre,
    Year,
    TrackNumber,
    Duration,
    Bitrate,
    SampleRate,
    Format,
    DateAdded,
};

inline constexpr std::array kAllTrackTableColumns {
    TrackTableColumnID::Title,       TrackTableColumnID::Artist,     TrackTableColumnID::Album,
    TrackTableColumnID::AlbumArtist, TrackTableColumnID::Genre,      TrackTableColumnID::Year,
    TrackTableColumnID::TrackNumber, TrackTableColumnID::Duration,   TrackTableColumnID::Bitrate,
    TrackTableColumnID::SampleRate,  TrackTableColumnID::Format,     TrackTableColumnID::DateAdded,
};

// The column's fixed properties. Widths are in points.
struct TrackTableColumnTraits {
    // The stored name, also the name of the song field the column sorts by.
    std::string_view rawValue;
    // What the header shows.
    const char* headerTitle;
    double defaultWidth;
    double minimumWidth;
    double maximumWidth;
};

const TrackTableColumnTraits& traitsOf(TrackTableColumnID id);

// The position of the column in the canonical order.
constexpr int canonicalPosition(TrackTableColumnID id)
{
    return static_cast<int>(id);
}

QString rawValue(TrackTableColumnID id);
QString headerTitle(TrackTableColumnID id);
// Absent for a name that is no column of ours ("rating").
std::optional<TrackTableColumnID> trackTableColumnFromRawValue(std::string_view raw);

} // namespace varno
