#pragma once

#include "storage/FileURL.h"

#include <QByteArray>
#include <QCoroTask>
#include <QSize>

#include <cstdint>

namespace varno {

// What an image file the user picks as artwork may be.
inline constexpr std::int64_t kMaximumArtworkFileBytes = 26214400;
inline constexpr int kMaximumArtworkFileMegabytes = 25;
inline constexpr int kMaximumArtworkEdge = 16384;
inline constexpr std::int64_t kMaximumArtworkPixels = 100000000;

// Whether a picture of this size may be decoded: positive, and within the
// edge and pixel limits.
inline bool fitsArtworkLimits(QSize size)
{
    return size.isValid() && !size.isEmpty() && size.width() <= kMaximumArtworkEdge && size.height() <= kMaximumArtworkEdge
           && std::int64_t(size.width()) * size.height() <= kMaximumArtworkPixels;
}

// Reads a picked image file on a worker and checks it can safely become
// artwork: size, that it is an image, and its dimensions, read from the
// image's header without decoding it. Throws ArtworkFileError.
QCoro::Task<QByteArray> loadArtworkFile(FileURL url);

// The checks on bytes already read. Throws ArtworkFileError.
void validateArtworkData(const QByteArray& data);

} // namespace varno
