#pragma once

#include "platform/MediaReader.h"

namespace varno {

// TagLib reads tags, audio properties and pictures; FFmpeg's libavformat
// takes over for what TagLib cannot open (raw ADTS AAC, odd containers), so
// every supported extension yields a duration and a sample rate.
class TagLibMediaReader final : public MediaReader {
public:
    MediaAsset read(const QString& path) const override;
    std::vector<MediaItem> readTags(const QString& path) const override;
    std::optional<QByteArray> firstArtwork(const QString& path) const override;
};

} // namespace varno
