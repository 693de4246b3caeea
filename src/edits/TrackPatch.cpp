#include "TrackPatch.h"

namespace varno {

namespace {

template<typename T>
void noteChange(OptionalMetadataChange<T>& change, const std::optional<T>& before, const std::optional<T>& after)
{
    if (before != after)
        change = OptionalMetadataChange<T>::set(after);
}

template<typename T>
void noteChange(std::optional<T>& change, const T& before, const T& after)
{
    if (before != after)
        change = after;
}

template<typename T>
void replaceIfSet(OptionalMetadataChange<T>& field, const OptionalMetadataChange<T>& later)
{
    if (!later.isUnchanged())
        field = later;
}

template<typename T>
void replaceIfSet(std::optional<T>& field, const std::optional<T>& later)
{
    if (later)
        field = later;
}

} // namespace

TrackPatch TrackPatch::between(const Track& before, const Track& after)
{
    TrackPatch patch;
    noteChange(patch.title, before.title, after.title);
    // A duration that reads the same is not an edit: NaN never equals
    // itself, and an unchanged record must give an empty patch.
    if (before.duration != after.duration && !(before.duration != before.duration && after.duration != after.duration))
        patch.duration = after.duration;
    noteChange(patch.artist, before.artist, after.artist);
    noteChange(patch.album, before.album, after.album);
    noteChange(patch.albumArtist, before.albumArtist, after.albumArtist);
    noteChange(patch.genre, before.genre, after.genre);
    noteChange(patch.composer, before.composer, after.composer);
    noteChange(patch.comments, before.comments, after.comments);
    noteChange(patch.lyrics, before.lyrics, after.lyrics);
    noteChange(patch.year, before.year, after.year);
    noteChange(patch.trackNumber, before.trackNumber, after.trackNumber);
    noteChange(patch.discNumber, before.discNumber, after.discNumber);
    noteChange(patch.bpm, before.bpm, after.bpm);
    noteChange(patch.rating, before.rating, after.rating);
    return patch;
}

TrackPatch TrackPatch::withRating(std::int64_t rating)
{
    TrackPatch patch;
    patch.rating = rating;
    return patch;
}

TrackPatch TrackPatch::withFavorite(bool favorite)
{
    return withRating(favoriteRating(favorite));
}

bool TrackPatch::isEmpty() const
{
    return *this == TrackPatch();
}

Track TrackPatch::appliedTo(Track track) const
{
    if (title)
        track.title = *title;
    if (duration)
        track.duration = *duration;
    artist.applyTo(track.artist);
    album.applyTo(track.album);
    albumArtist.applyTo(track.albumArtist);
    genre.applyTo(track.genre);
    composer.applyTo(track.composer);
    comments.applyTo(track.comments);
    lyrics.applyTo(track.lyrics);
    year.applyTo(track.year);
    trackNumber.applyTo(track.trackNumber);
    discNumber.applyTo(track.discNumber);
    bpm.applyTo(track.bpm);
    if (rating)
        track.rating = *rating;
    return track;
}

void TrackPatch::merge(const TrackPatch& later)
{
    replaceIfSet(title, later.title);
    replaceIfSet(duration, later.duration);
    replaceIfSet(artist, later.artist);
    replaceIfSet(album, later.album);
    replaceIfSet(albumArtist, later.albumArtist);
    replaceIfSet(genre, later.genre);
    replaceIfSet(composer, later.composer);
    replaceIfSet(comments, later.comments);
    replaceIfSet(lyrics, later.lyrics);
    replaceIfSet(year, later.year);
    replaceIfSet(trackNumber, later.trackNumber);
    replaceIfSet(discNumber, later.discNumber);
    replaceIfSet(bpm, later.bpm);
    replaceIfSet(rating, later.rating);
}

} // namespace varno
