#pragma once

#include "edits/OptionalMetadataChange.h"
#include "storage/Track.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace varno {

// What one edit changes in a song's record, field by field. Fields it does
// not name keep whatever the record holds when the edit is written, so two
// edits of different fields of one song (the right panel's and the song
// editor's, or this process's and another's that the library took in) both
// stay. The file's own facts (its location, access grant, bit rate, sample
// rate, date added) are never edited.
struct TrackPatch {
    std::optional<QString> title;
    std::optional<double> duration;
    OptionalMetadataChange<QString> artist = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> album = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> albumArtist = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> genre = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> composer = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> comments = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<QString> lyrics = OptionalMetadataChange<QString>::unchanged();
    OptionalMetadataChange<std::int64_t> year = OptionalMetadataChange<std::int64_t>::unchanged();
    OptionalMetadataChange<std::int64_t> trackNumber = OptionalMetadataChange<std::int64_t>::unchanged();
    OptionalMetadataChange<std::int64_t> discNumber = OptionalMetadataChange<std::int64_t>::unchanged();
    OptionalMetadataChange<std::int64_t> bpm = OptionalMetadataChange<std::int64_t>::unchanged();
    std::optional<std::int64_t> rating;

    // The editable fields in which `after` differs from `before`, each with
    // its value in `after`: what an editor that opened on `before` changed.
    static TrackPatch between(const Track& before, const Track& after);
    static TrackPatch withRating(std::int64_t rating);
    // Marks the song a favourite or takes it out (favoriteRating in Track.h).
    static TrackPatch withFavorite(bool favorite);

    bool isEmpty() const;
    // `track` with the patch's fields written over it.
    Track appliedTo(Track track) const;
    // The fields `later` names replace this patch's: edits typed one after
    // the other and written together.
    void merge(const TrackPatch& later);

    friend bool operator==(const TrackPatch&, const TrackPatch&) = default;
};

} // namespace varno
