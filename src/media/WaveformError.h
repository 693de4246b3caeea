#pragma once

#include "platform/Error.h"

namespace varno {

// Why a waveform could not be made. The texts are shown as they stand.
class WaveformError final : public Error {
public:
    enum class Kind { InvalidSourceData, InvalidPointCount, GenerationFailed, ProcessingTimedOut };

    static WaveformError invalidSourceData();
    static WaveformError invalidPointCount();
    static WaveformError generationFailed();
    // Part of the vocabulary for callers that put a time limit on a scan;
    // the generator itself sets none and never raises it.
    static WaveformError processingTimedOut();

    Kind kind() const { return m_kind; }

private:
    WaveformError(Kind kind, const QString& description);

    Kind m_kind;
};

} // namespace varno
