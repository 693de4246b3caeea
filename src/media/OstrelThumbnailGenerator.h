#pragma once

#include "media/ArtworkCache.h"
#include "media/ThumbnailGenerator.h"

#include <QThreadPool>

namespace varno {

// Over the artwork cache: covers come from it and thumbnails go into it.
// Pictures are decoded at a reduced size where the format allows (a JPEG's
// decoder skips the detail a small picture cannot show), never above the
// limits a picked artwork file has.
class OstrelThumbnailGenerator final : public ThumbnailGenerator {
public:
    explicit OstrelThumbnailGenerator(ArtworkCache& artworkCache);
    ~OstrelThumbnailGenerator() override;

    QCoro::Task<QByteArray> generateThumbnail(QByteArray imageData, QSize size) override;
    QCoro::Task<std::optional<QByteArray>> thumbnail(Track track, QSize size, std::stop_token cancel = {}) override;

    std::chrono::milliseconds timeLimit() const override { return m_timeLimit; }
    void setTimeLimit(std::chrono::milliseconds limit) override { m_timeLimit = limit; }

    // The blocking form, for any thread.
    static QByteArray scale(const QByteArray& imageData, QSize size, std::chrono::milliseconds timeLimit, const std::stop_token& cancel = {});

private:
    ArtworkCache& m_artworkCache;
    std::chrono::milliseconds m_timeLimit {2000};
    // Last: waits for pictures still being made.
    QThreadPool m_workers;
};

} // namespace varno
