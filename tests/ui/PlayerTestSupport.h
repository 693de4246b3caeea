#pragma once

#include "UiHarness.h"

#include "fixtures/FixtureGenerator.h"
#include "media/WaveformError.h"
#include "media/ThumbnailGenerator.h"
#include "media/WaveformGenerator.h"
#include "ui/ViewEnvironment.h"

#include <QCoroFuture>
#include <QFileInfo>
#include <QFuture>
#include <QPromise>
#include <QScopeGuard>
#include <QTest>

#include <memory>
#include <vector>

namespace varno::test {

// A waveform generator whose answers the test hands out, one request at a
// time and in any order, to see what the bar does with late answers.
class ControllableWaveforms final : public WaveformGenerator {
public:
    struct Request {
        Track track;
        int numberOfPoints = 0;
        std::shared_ptr<QPromise<void>> gate;
        std::shared_ptr<std::optional<Waveform>> result;
    };

    std::vector<Request> requests;

    QCoro::Task<Waveform> generateWaveform(Track track, int numberOfPoints) override
    {
        Request request {track, numberOfPoints, std::make_shared<QPromise<void>>(), std::make_shared<std::optional<Waveform>>()};
        request.gate->start();
        QFuture<void> opened = request.gate->future();
        const std::shared_ptr<std::optional<Waveform>> result = request.result;
        requests.push_back(std::move(request));
        co_await opened;
        if (!*result)
            throw WaveformError::generationFailed();
        co_return **result;
    }

    // Answers request `index` with peaks.
    void answer(std::size_t index, std::vector<float> peaks)
    {
        Request& request = requests.at(index);
        *request.result = Waveform {std::move(peaks), request.track.id};
        request.gate->finish();
    }
    // Fails request `index`.
    void fail(std::size_t index) { requests.at(index).gate->finish(); }
    // Ends every request still open, so no task is left waiting; the
    // waiting tasks resume once events are processed (settle()).
    void failAll()
    {
        for (Request& request : requests) {
            if (!request.gate->future().isFinished())
                request.gate->finish();
        }
    }

    int currentPeakIndex(double, int) const override { return 0; }
    void invalidateCache(const QUuid&) override { }
    QCoro::Task<> clearWaveformCache() override { co_return; }
};

// Passes requests on to the real engines and counts those not finished:
// the engines' tasks assume the engines outlive them, so a test waits for
// them to end before the container goes.
class TrackedThumbnails final : public ThumbnailGenerator {
public:
    explicit TrackedThumbnails(ThumbnailGenerator& inner)
        : m_inner(inner)
    {
    }

    int pending = 0;

    QCoro::Task<QByteArray> generateThumbnail(QByteArray imageData, QSize size) override
    {
        ++pending;
        const auto done = qScopeGuard([this] { --pending; });
        auto making = m_inner.generateThumbnail(std::move(imageData), size);
        co_return co_await making;
    }
    QCoro::Task<std::optional<QByteArray>> thumbnail(Track track, QSize size, std::stop_token cancel) override
    {
        ++pending;
        const auto done = qScopeGuard([this] { --pending; });
        auto fetching = m_inner.thumbnail(std::move(track), size, cancel);
        co_return co_await fetching;
    }
    std::chrono::milliseconds timeLimit() const override { return m_inner.timeLimit(); }
    void setTimeLimit(std::chrono::milliseconds limit) override { m_inner.setTimeLimit(limit); }

private:
    ThumbnailGenerator& m_inner;
};

class TrackedWaveforms final : public WaveformGenerator {
public:
    explicit TrackedWaveforms(WaveformGenerator& inner)
        : m_inner(inner)
    {
    }

    int pending = 0;

    QCoro::Task<Waveform> generateWaveform(Track track, int numberOfPoints) override
    {
        ++pending;
        const auto done = qScopeGuard([this] { --pending; });
        auto generating = m_inner.generateWaveform(std::move(track), numberOfPoints);
        co_return co_await generating;
    }
    int currentPeakIndex(double progress, int totalPeaks) const override { return m_inner.currentPeakIndex(progress, totalPeaks); }
    void invalidateCache(const QUuid& trackID) override { m_inner.invalidateCache(trackID); }
    QCoro::Task<> clearWaveformCache() override { return m_inner.clearWaveformCache(); }

private:
    WaveformGenerator& m_inner;
};

// The harness's environment with some engines replaced.
struct EnvironmentOverrides {
    AudioEngine* audioEngine = nullptr;
    QueueEngine* queueEngine = nullptr;
    WaveformGenerator* waveformGenerator = nullptr;
    ThumbnailGenerator* thumbnailGenerator = nullptr;
};

inline ViewEnvironment environmentWith(UiHarness& harness, const EnvironmentOverrides& overrides)
{
    const ViewEnvironment base = harness.environment();
    return ViewEnvironment {base.libraryEngine,
                            overrides.audioEngine ? *overrides.audioEngine : base.audioEngine,
                            overrides.queueEngine ? *overrides.queueEngine : base.queueEngine,
                            base.playlistEngine,
                            base.searchEngine,
                            base.artworkCache,
                            base.trackEditor,
                            overrides.thumbnailGenerator ? *overrides.thumbnailGenerator : base.thumbnailGenerator,
                            overrides.waveformGenerator ? *overrides.waveformGenerator : base.waveformGenerator,
                            base.themeEngine,
                            base.trackTableLayout,
                            base.panelState,
                            base.inspection,
                            base.albumCatalog,
                            base.dialogs};
}

// A song record for a real audio file written to `path`: a sine of
// `seconds`, with a cover when one is given.
inline Track writeSong(const QString& path, const QString& title, std::optional<QString> artist, double seconds,
                       const std::optional<QByteArray>& cover = std::nullopt)
{
    fixtures::Signal signal;
    signal.seconds = seconds;
    fixtures::Tags tags;
    tags.title = title;
    tags.artist = artist;
    std::vector<fixtures::Picture> pictures;
    if (cover)
        pictures.push_back({*cover, QStringLiteral("image/jpeg")});
    fixtures::writeAudioFile(path, fixtures::Format::Wav, signal, tags, pictures);
    Track track = makeTrack(title);
    track.fileURL = FileURL::fromLocalFile(path);
    track.filename = QFileInfo(path).fileName();
    track.artist = std::move(artist);
    track.duration = seconds;
    return track;
}

// Runs queued events (deferred model refreshes, finished tasks).
inline void settle()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// Waits for the tracked requests, then runs what they queued.
inline void waitForRequests(const int& pending)
{
    EXPECT_TRUE(waitUntil([&] { return pending == 0; })) << pending << " requests never finished";
    settle();
}

} // namespace varno::test
