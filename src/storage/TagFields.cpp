#include "TagFields.h"

#include <QHash>

#include <memory>

namespace varno {

namespace {

template<typename T>
void fillAbsent(std::optional<T>& field, const std::optional<T>& value)
{
    if (!field)
        field = value;
}

} // namespace

void fillTagFields(Track& record, const TagFields& fields)
{
    fillAbsent(record.year, fields.year);
    fillAbsent(record.trackNumber, fields.trackNumber);
    fillAbsent(record.discNumber, fields.discNumber);
    fillAbsent(record.comments, fields.comments);
    fillAbsent(record.bpm, fields.bpm);
    record.tagFieldsRead = true;
}

TrackList fillTagFields(TrackList& library, const std::vector<TagFieldsFill>& fills)
{
    QHash<QUuid, const TagFields*> byID;
    byID.reserve(static_cast<qsizetype>(fills.size()));
    for (const TagFieldsFill& fill : fills)
        byID.insert(fill.id, &fill.fields);
    TrackList filled;
    for (std::size_t i = 0; i < library.size() && !byID.isEmpty(); ++i) {
        const Track& stored = library[i];
        // Only the first record of an id is filled; a hand-edited file may
        // hold later copies, which are left alone.
        const TagFields* fields = byID.take(stored.id);
        if (!fields || stored.tagFieldsRead)
            continue;
        auto record = std::make_shared<Track>(stored);
        fillTagFields(*record, *fields);
        library.replace(i, record);
        filled.append(std::move(record));
    }
    return filled;
}

} // namespace varno
