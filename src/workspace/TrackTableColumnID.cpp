#include "TrackTableColumnID.h"

namespace varno {

namespace {

// In declaration order of TrackTableColumnID. The default widths of the
// columns shown at first (title, artist, album, duration) add up to what the
// default window leaves the song table beside both panels.
constexpr TrackTableColumnTraits kTraits[] = {
    {"title", "Title", 200, 120, 420},
    {"artist", "Artist", 140, 90, 320},
    {"album", "Album", 140, 90, 320},
    {"albumArtist", "Album Artist", 140, 90, 320},
    {"genre", "Genre", 110, 80, 260},
    {"year", "Year", 70, 64, 160},
    {"trackNumber", "Track #", 70, 64, 160},
    {"duration", "Duration", 72, 64, 160},
    {"bitrate", "Bitrate", 92, 76, 190},
    {"sampleRate", "Sample Rate", 104, 76, 190},
    {"format", "Format", 80, 64, 160},
    {"dateAdded", "Date Added", 130, 80, 260},
};
static_assert(std::size(kTraits) == kAllTrackTableColumns.size());

} // namespace

const TrackTableColumnTraits& traitsOf(TrackTableColumnID id)
{
    return kTraits[canonicalPosition(id)];
}

QString rawValue(TrackTableColumnID id)
{
    const std::string_view raw = traitsOf(id).rawValue;
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

QString headerTitle(TrackTableColumnID id)
{
    return QString::fromUtf8(traitsOf(id).headerTitle);
}

std::optional<TrackTableColumnID> trackTableColumnFromRawValue(std::string_view raw)
{
    for (TrackTableColumnID id : kAllTrackTableColumns) {
        if (traitsOf(id).rawValue == raw)
            return id;
    }
    return std::nullopt;
}

} // namespace varno
