#pragma once

#include "storage/FileURL.h"
#include "storage/Track.h"
#include "storage/TrackList.h"
#include "workspace/TrackSortOrder.h"

#include <QCollator>
#include <QUuid>

#include <compare>
#include <cstdint>
#include <vector>

// The order of the song lists: one comparison per sort field, with the rules
// for missing values, and a sort of a whole list that gives the same order.
// Pure functions, callable on any thread with a collator of its own. A large
// list's collation keys are built and ordered half on the calling thread and
// half on a thread of the global pool, when one is free at once.
namespace varno {

// The collator for the user's locale. With no language at all (the C or
// POSIX locale of a bare session) text would sort by code point, capitals
// before every small letter, so the common root collation is used instead.
QCollator trackCollator();

// How `a` compares with `b` on `field`:
// - text (title, artist, album, album artist, genre, format) with the
//   collator; a missing text counts as empty, the format is the extension of
//   the file's path;
// - numbers (year, track number, bitrate, sample rate) numerically, missing
//   counting as 0; durations numerically, NaN before every number;
// - the date added chronologically, missing counting as the most distant
//   past.
std::weak_ordering compareTracks(const Track& a, const Track& b, TrackSortField field, const QCollator& collator);
std::weak_ordering compareTracks(const Track& a, const Track& b, TrackSortField field);

// Whether `a` comes before `b` in a list sorted by `order`. Songs that tie
// on the field are ordered by later keys, always ascending, so that an album
// lists in disc and track order whichever way its column sorts:
// - Album: album artist (the artist when it has none), disc, track, title;
// - Album Artist, Artist, Year: album, disc, track, title;
// - Genre: artist, album, disc, track, title;
// - Track #: album, disc, title;
// - every other field: title.
// Missing numbers count as 0. Songs that still tie are ordered by the text
// of their UUIDs, in both directions, so equal songs never swap places when
// the direction changes.
bool sortPrecedes(const Track& a, const Track& b, const TrackSortOrder& order, const QCollator& collator);
bool sortPrecedes(const Track& a, const Track& b, const TrackSortOrder& order);

// Whether the upper-case hyphenated text of `a` sorts before that of `b`.
bool uuidTextPrecedes(const QUuid& a, const QUuid& b);

// The positions of `tracks` in the order sortPrecedes() gives (copies of one
// song keep their relative order); in the listed order, as they are. Each distinct text is turned into a
// collation key once per sort rather than collated at every comparison; the
// keys are ordered once and the songs placed by their text's rank.
std::vector<std::uint32_t> sortedPositions(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator);
// The same songs, shared rather than copied, in that order.
TrackList sortedTracks(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator);

// A list as shown: its songs in sorted order, and their ids in the same
// order side by side. Clicks and pruning read the ids (TrackSelectionState
// takes them as a span): reading each song's record in sorted order would
// touch memory all over the heap, ten times slower for a large list.
struct ShownTracks {
    TrackList tracks;
    std::vector<QUuid> ids;
};
ShownTracks sortForDisplay(const TrackList& tracks, const TrackSortOrder& order, const QCollator& collator);

// The extension of the URL's path ("flac"), as typed; empty when the file
// name has none.
QString pathExtension(const FileURL& url);

} // namespace varno
