#include "Waveform.h"

#include <QHashFunctions>

namespace varno {

size_t qHash(const Waveform& waveform, size_t seed) noexcept
{
    return qHashMulti(seed, qHashRange(waveform.peaks.begin(), waveform.peaks.end()), waveform.trackID);
}

} // namespace varno
