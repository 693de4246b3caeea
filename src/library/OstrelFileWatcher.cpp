#include "OstrelFileWatcher.h"

#include "platform/InotifyEventStream.h"

#include <QMetaObject>

#include <algorithm>

namespace varno {

OstrelFileWatcher::OstrelFileWatcher()
    : OstrelFileWatcher(std::make_unique<InotifyEventStream>())
{
}

OstrelFileWatcher::OstrelFileWatcher(std::unique_ptr<FileEventStream> stream, std::chrono::milliseconds latency)
    : m_latency(latency)
    , m_queueContext(std::make_unique<QObject>())
    , m_stream(std::move(stream))
{
    Q_ASSERT(m_stream);
    qRegisterMetaType<FileSystemChange>();
    m_queue.setObjectName(QStringLiteral("FileWatcherQueue"));
    m_queueContext->moveToThread(&m_queue);
    m_queue.start();
}

// The stream is stopped and destroyed on the queue, where it was started and
// where its timers live; only then may the queue end.
OstrelFileWatcher::~OstrelFileWatcher()
{
    runOnQueue([this] { m_stream.reset(); });
    m_queue.quit();
    m_queue.wait();
    m_queueContext.reset();
}

// Runs `work` on the queue and waits for it. A subscriber that calls back into
// the watcher from the queue itself (a direct connection) runs it in place
// rather than waiting on itself.
template<typename Work>
void OstrelFileWatcher::runOnQueue(Work work)
{
    if (QThread::currentThread() == &m_queue)
        work();
    else
        QMetaObject::invokeMethod(m_queueContext.get(), std::move(work), Qt::BlockingQueuedConnection);
}

void OstrelFileWatcher::startWatching(const FileURL& folder)
{
    if (std::find(m_folders.begin(), m_folders.end(), folder) != m_folders.end())
        return;
    m_folders.push_back(folder);
    rebuildStream();
}

void OstrelFileWatcher::startWatchingInBackground(const std::vector<FileURL>& folders)
{
    bool added = false;
    for (const FileURL& folder : folders) {
        if (std::find(m_folders.begin(), m_folders.end(), folder) != m_folders.end())
            continue;
        m_folders.push_back(folder);
        added = true;
    }
    if (added)
        rebuildStream(false);
}

void OstrelFileWatcher::stopWatching(const FileURL& folder)
{
    std::erase(m_folders, folder);
    rebuildStream();
}

void OstrelFileWatcher::pause()
{
    m_paused = true;
}

void OstrelFileWatcher::resume()
{
    m_paused = false;
}

// One stream covers every folder, so any change to the list replaces it. The
// new stream starts from now: nothing that happened in between is replayed.
void OstrelFileWatcher::rebuildStream(bool wait)
{
    QStringList paths;
    for (const FileURL& folder : m_folders)
        paths.append(folder.toLocalFile());

    auto rebuild = [this, paths] {
        m_stream->stop();
        if (paths.isEmpty())
            return;
        // A stream that cannot be created has logged why; the watcher goes on
        // without one and reports nothing until the list changes again.
        m_stream->start(paths, m_latency, [this](const FileEventStream::Batch& batch) { handleBatch(batch); });
    };
    // Later rebuilds queue behind this one, so the last list always wins.
    if (wait)
        runOnQueue(std::move(rebuild));
    else
        QMetaObject::invokeMethod(m_queueContext.get(), std::move(rebuild), Qt::QueuedConnection);
}

// Runs on the queue. A removal outranks a creation in the same window: a file
// created and deleted before the batch came is gone. A rename is reported as
// a modification of each path the stream names.
void OstrelFileWatcher::handleBatch(const FileEventStream::Batch& batch)
{
    if (m_paused)
        return;
    for (const FileEventStream::Event& event : batch) {
        using Flag = FileEventStream::Flag;
        if (event.flags & Flag::Removed)
            emit changeOccurred(FileSystemChange::deleted(FileURL::fromLocalFile(event.path)));
        else if (event.flags & Flag::Created)
            emit changeOccurred(FileSystemChange::added(FileURL::fromLocalFile(event.path)));
        else if (event.flags & (Flag::Renamed | Flag::Modified))
            emit changeOccurred(FileSystemChange::modified(FileURL::fromLocalFile(event.path)));
    }
}

} // namespace varno
