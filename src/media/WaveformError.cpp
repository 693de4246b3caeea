#include "WaveformError.h"

namespace varno {

WaveformError::WaveformError(Kind kind, const QString& description)
    : Error(description)
    , m_kind(kind)
{
}

WaveformError WaveformError::invalidSourceData()
{
    return {Kind::InvalidSourceData, QStringLiteral("The audio file data is corrupted or cannot be processed.")};
}

WaveformError WaveformError::invalidPointCount()
{
    return {Kind::InvalidPointCount, QStringLiteral("The requested waveform resolution is invalid.")};
}

WaveformError WaveformError::generationFailed()
{
    return {Kind::GenerationFailed, QStringLiteral("Failed to generate waveform from audio data.")};
}

WaveformError WaveformError::processingTimedOut()
{
    return {Kind::ProcessingTimedOut, QStringLiteral("Waveform generation timed out in the background queue.")};
}

} // namespace varno
