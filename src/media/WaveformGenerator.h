#pragma once

#include "media/Waveform.h"
#include "storage/Track.h"

#include <QCoroTask>
#include <QUuid>

namespace varno {

// Turns a song's audio file into a fixed number of normalised peaks for the
// player bar's seekable waveform, and keeps every result in a cache folder
// so that each song and resolution is scanned once.
//
// Main thread only; file work runs on the generator's own serial worker.
class WaveformGenerator {
public:
    virtual ~WaveformGenerator() = default;

    // The song's peaks at `numberOfPoints` (8 to 4096) points, from the
    // cache when it holds them. Throws WaveformError (a count out of range,
    // before any file is touched; a file without usable audio), the access
    // errors of SecurityScopedResource, AudioPlaybackError::missingFile
    // when the file is gone, and the media layer's MediaReadError.
    virtual QCoro::Task<Waveform> generateWaveform(Track track, int numberOfPoints) = 0;

    // The index of the peak to highlight at `progress` (a fraction of the
    // song) among `totalPeaks`: 0 for no peaks or a progress that is not a
    // number, the last index at the end.
    virtual int currentPeakIndex(double progress, int totalPeaks) const = 0;

    // Removes every cached resolution of one song. Returns at once; the
    // files go on the worker, before any request made after this call.
    virtual void invalidateCache(const QUuid& trackID) = 0;

    // Removes every file in the cache folder; finishes when they are gone.
    // Never throws: a file that cannot be removed is logged.
    virtual QCoro::Task<> clearWaveformCache() = 0;
};

} // namespace varno
