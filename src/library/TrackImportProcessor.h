#pragma once

#include "library/MetadataEngine.h"
#include "library/TrackImportResult.h"

#include <QCoroTask>

namespace varno {

// Turns one audio file into one new song record: saves a bookmark for it,
// reads its metadata and builds the record. Keeps no state, so one processor
// serves any number of concurrent imports. Main thread only; the metadata is
// read on the metadata engine's workers.
class TrackImportProcessor {
public:
    explicit TrackImportProcessor(MetadataEngine& metadataEngine)
        : m_metadataEngine(metadataEngine)
    {
    }

    // Throws SecurityScopedAccessError, the metadata engine's errors or
    // TrackError.
    QCoro::Task<Track> makeTrack(FileURL url, QString fallbackTitle);
    // Never throws: a failure becomes "name: reason".
    QCoro::Task<TrackImportResult> importTrack(FileURL url, QString fallbackTitle);

private:
    MetadataEngine& m_metadataEngine;
};

} // namespace varno
