#pragma once

#include "library/FileWatcher.h"
#include "platform/FileEventStream.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>

namespace varno {

// The file watcher over one event stream covering every watched folder. Each
// change to the folder list replaces the stream; changes are never replayed,
// so what happens while the stream is replaced, stopped or paused is not
// reported.
//
// Main thread only. The stream runs, and changes are emitted, on the
// watcher's own thread ("FileWatcherQueue"); calls that replace the stream
// wait for that thread, so no change from an old stream is emitted once they
// return.
class OstrelFileWatcher final : public FileWatcher {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultLatency {1000};

    // Watches through inotify.
    OstrelFileWatcher();
    explicit OstrelFileWatcher(std::unique_ptr<FileEventStream> stream, std::chrono::milliseconds latency = defaultLatency);
    ~OstrelFileWatcher() override;

    std::vector<FileURL> monitoredFolders() const override { return m_folders; }
    void startWatching(const FileURL& folder) override;
    void startWatchingInBackground(const std::vector<FileURL>& folders) override;
    void stopWatching(const FileURL& folder) override;
    void pause() override;
    void resume() override;

private:
    void rebuildStream(bool wait = true);
    void handleBatch(const FileEventStream::Batch& batch);
    template<typename Work>
    void runOnQueue(Work work);

    std::vector<FileURL> m_folders;
    const std::chrono::milliseconds m_latency;
    // The only state the stream's callbacks read; everything else belongs to
    // the main thread.
    std::atomic<bool> m_paused {false};

    // The context and the stream live on the queue. The destructor tears them
    // down in order: the stream on the queue, then the queue, then the context.
    QThread m_queue;
    std::unique_ptr<QObject> m_queueContext;
    std::unique_ptr<FileEventStream> m_stream;
};

} // namespace varno
