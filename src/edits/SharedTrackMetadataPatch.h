#pragma once

#include "edits/OptionalMetadataChange.h"
#include "edits/SharedArtworkChange.h"
#include "edits/TrackPatch.h"
#include "storage/Track.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

namespace varno {

// The change a shared metadata edit makes to every song of its batch. Fields
// left unchanged keep each song's own value.
struct SharedTrackMetadataPatch {
    OptionalMetadataChange<QString> artist = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> album = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> albumArtist = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> genre = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<std::int64_t> year = OptionalMetadataChange<std::int64_t>::unchanged();
    OptionalMetadataChange<std::int64_t> discNumber = OptionalMetadataChange<std::int64_t>::unchanged();
    OptionalMetadataChange<QString> composer = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> comments = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<std::int64_t> bpm = OptionalMetadataChange<std::int64_t>::unchanged();
    // Absent leaves every song's rating as it is.
    std::optional<std::int64_t> rating;
    SharedArtworkChange artwork = SharedArtworkChange::unchanged();

    // True when applying the patch would change some song record; the
    // artwork lives in the artwork cache, not in the record.
    bool changesTrackRecords() const
    {
        return !artist.isUnchanged() || !album.isUnchanged() || !albumArtist.isUnchanged() || !genre.isUnchanged()
            || !year.isUnchanged() || !discNumber.isUnchanged() || !composer.isUnchanged() || !comments.isUnchanged()
            || !bpm.isUnchanged() || rating.has_value();
    }

    // True when the patch would change nothing at all, so applying it is
    // pointless.
    bool isEmpty() const { return !changesTrackRecords() && artwork.isUnchanged(); }

    // The song's record with the patch applied.
    Track appliedTo(Track track) const { return fields().appliedTo(std::move(track)); }

    // The fields it sets, as the edit of any one song of the batch.
    TrackPatch fields() const
    {
        TrackPatch patch;
        patch.artist = artist;
        patch.album = album;
        patch.albumArtist = albumArtist;
        patch.genre = genre;
        patch.year = year;
        patch.discNumber = discNumber;
        patch.composer = composer;
        patch.comments = comments;
        patch.bpm = bpm;
        patch.rating = rating;
        return patch;
    }

    friend bool operator==(const SharedTrackMetadataPatch&, const SharedTrackMetadataPatch&) = default;
};

} // namespace varno
