#pragma once

#include "media/WaveformGenerator.h"
#include "platform/Worker.h"

#include <QString>

#include <optional>

namespace varno {

// Main thread only; the cache and the scans run on the "waveform-generator"
// worker, one item at a time in request order, so two songs are never
// scanned at once and a result is cached before the next request looks.
class OstrelWaveformGenerator final : public WaveformGenerator {
public:
    static constexpr int kMinimumPoints = 8;
    static constexpr int kMaximumPoints = 4096;

    // Uses `cacheDirectory` as given, or else "WaveformCache" in the
    // application folder, and creates it. Throws FileError when the folder
    // cannot be made.
    explicit OstrelWaveformGenerator(std::optional<QString> cacheDirectory = std::nullopt);
    // Waits for work already queued: a scan in progress finishes first.
    ~OstrelWaveformGenerator() override;

    OstrelWaveformGenerator(const OstrelWaveformGenerator&) = delete;
    OstrelWaveformGenerator& operator=(const OstrelWaveformGenerator&) = delete;

    QCoro::Task<Waveform> generateWaveform(Track track, int numberOfPoints) override;
    int currentPeakIndex(double progress, int totalPeaks) const override;
    void invalidateCache(const QUuid& trackID) override;
    QCoro::Task<> clearWaveformCache() override;

    const QString& cacheDirectory() const { return m_cacheDirectory; }
    // Blocks until the scan in progress, if any, has finished; its answer
    // then waits on the main thread's queue.
    void waitForIdle() { m_worker.pool()->waitForDone(); }

private:
    QString m_cacheDirectory;
    // Last: destroyed first, so queued work finishes while the rest of the
    // generator still exists.
    SerialWorker m_worker {QStringLiteral("waveform-generator")};
};

} // namespace varno
