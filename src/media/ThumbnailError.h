#pragma once

#include "platform/Error.h"

namespace varno {

// Why a thumbnail could not be made.
class ThumbnailError final : public Error {
public:
    enum class Kind { InvalidSourceData, ScaleFailed, ProcessingTimedOut };

    static ThumbnailError invalidSourceData() { return {Kind::InvalidSourceData, QStringLiteral("The raw image data is corrupted or formatted incorrectly.")}; }
    static ThumbnailError scaleFailed() { return {Kind::ScaleFailed, QStringLiteral("Failed to downscale the image to the requested dimensions.")}; }
    static ThumbnailError processingTimedOut()
    {
        return {Kind::ProcessingTimedOut, QStringLiteral("Thumbnail generation timed out in the background queue.")};
    }

    Kind kind() const { return m_kind; }

private:
    ThumbnailError(Kind kind, const QString& description)
        : Error(description)
        , m_kind(kind)
    {
    }

    Kind m_kind;
};

} // namespace varno
