#pragma once

#include "workspace/TrackTableColumnID.h"

#include <QString>

namespace varno {

// What a song list can be sorted by: the song field behind each table column,
// in the same order and with the same names.
enum class TrackSortField {
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

// The field a column sorts by.
constexpr TrackSortField sortFieldOf(TrackTableColumnID column)
{
    return static_cast<TrackSortField>(canonicalPosition(column));
}

constexpr TrackTableColumnID columnOf(TrackSortField field)
{
    return static_cast<TrackTableColumnID>(static_cast<int>(field));
}

// "title", "albumArtist", …
inline QString rawValue(TrackSortField field)
{
    return rawValue(columnOf(field));
}

// How one song list is sorted. Each list keeps its own while it is on
// screen; nothing is stored. A new list sorts by title, ascending.
struct TrackSortOrder {
    TrackSortField field = TrackSortField::Title;
    bool ascending = true;
    // The songs in the order their list gives them (a playlist's own order,
    // shown as "#"); field and direction then say nothing.
    bool asListed = false;

    static TrackSortOrder listed() { return {TrackSortField::Title, true, true}; }

    // A click on a column's header: the sort column again reverses the
    // direction, another column (or any, from the listed order) sorts by
    // its field ascending.
    void sortByColumn(TrackTableColumnID column)
    {
        const TrackSortField clicked = sortFieldOf(column);
        if (asListed) {
            *this = {clicked, true, false};
        } else if (clicked == field) {
            ascending = !ascending;
        } else {
            field = clicked;
            ascending = true;
        }
    }

    friend bool operator==(const TrackSortOrder&, const TrackSortOrder&) = default;
};

} // namespace varno
