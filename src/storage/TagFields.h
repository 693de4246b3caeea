#pragma once

#include "storage/TrackList.h"

#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <vector>

namespace varno {

// The fields of a song that its file's tags give besides the texts: the
// year, the track and disc numbers, the comments and the BPM. Songs imported
// before these were read lack them, and a rescan fills them in.
struct TagFields {
    std::optional<std::int64_t> year;
    std::optional<std::int64_t> trackNumber;
    std::optional<std::int64_t> discNumber;
    std::optional<QString> comments;
    std::optional<std::int64_t> bpm;

    friend bool operator==(const TagFields&, const TagFields&) = default;
};

// What the tags of one song's file gave, for its record.
struct TagFieldsFill {
    QUuid id;
    TagFields fields;
};

// Fills each field the record lacks from `fields` and marks the record's
// tag fields as read. A value the record holds is the user's and is kept.
void fillTagFields(Track& record, const TagFields& fields);

// Fills, in `library`, the records the fills name that are not marked yet,
// each field by field as the record stands in `library`; marked records and
// fills for songs `library` does not hold are passed over. Returns the new
// records, in library order; `library` holds them in place of the old ones.
TrackList fillTagFields(TrackList& library, const std::vector<TagFieldsFill>& fills);

} // namespace varno
