#pragma once

#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>
#include <QSize>

#include <chrono>
#include <optional>
#include <stop_token>

namespace varno {

// Small square pictures of songs' covers for the rows of song lists, made on
// worker threads and kept in the artwork cache under the thumbnail names, so
// each size of each cover is made once.
//
// Main thread only; decoding and scaling run on the generator's workers.
class ThumbnailGenerator {
public:
    virtual ~ThumbnailGenerator() = default;

    // `imageData` scaled with smooth filtering to fill `size` exactly (the
    // middle of a cover of another shape), as PNG bytes. Throws
    // ThumbnailError.
    virtual QCoro::Task<QByteArray> generateThumbnail(QByteArray imageData, QSize size) = 0;

    // The song's thumbnail at `size`: the stored one, or one made from its
    // cover and stored. Nothing when the song has no usable cover, or when
    // `cancel` was requested first (a row that left the screen): a request
    // cancelled before its turn costs no decoding. Never throws.
    virtual QCoro::Task<std::optional<QByteArray>> thumbnail(Track track, QSize size, std::stop_token cancel = {}) = 0;

    // How long one picture may take; one that takes longer is dropped with
    // ThumbnailError::processingTimedOut rather than shown late.
    virtual std::chrono::milliseconds timeLimit() const = 0;
    virtual void setTimeLimit(std::chrono::milliseconds limit) = 0;
};

} // namespace varno
