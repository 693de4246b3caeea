#pragma once

#include "platform/FileEventStream.h"

#include <QHash>
#include <QMap>

#include <memory>

class QSocketNotifier;
class QTimer;

namespace varno {

// The file event stream of Linux, over inotify. One inotify instance watches
// every folder of every tree: new subfolders are watched as they appear (and
// what they already hold is reported as created), subfolders removed or moved
// away stop being watched. Events are coalesced per path over the latency
// window. Symbolic links below a watched folder are not followed.
//
// Reaching the kernel's limit on watches is logged once per process, with how
// to raise it; the folders watched so far keep being watched.
//
// Every call, and every batch, happens on the thread that called start.
class InotifyEventStream final : public FileEventStream {
public:
    InotifyEventStream();
    ~InotifyEventStream() override;

    InotifyEventStream(const InotifyEventStream&) = delete;
    InotifyEventStream& operator=(const InotifyEventStream&) = delete;

    bool start(const QStringList& folders, std::chrono::milliseconds latency, BatchHandler handler) override;
    void stop() override;

private:
    enum class Walk { Quiet, ReportContents };
    enum class Watch { Added, AlreadyWatched, Failed, LimitReached };

    void readEvents();
    void handleEvent(int wd, quint32 mask, const QString& name);
    void watchTree(const QString& folder, Walk walk);
    Watch addWatch(const QString& folder);
    void unwatchTree(const QString& folder);
    void forgetWatch(int wd);
    void record(const QString& path, Flags flags);
    void deliver();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTimer> m_latencyTimer;
    BatchHandler m_handler;
    QStringList m_roots;

    // Both directions of the watch table. Paths are kept sorted so everything
    // below a folder is one contiguous range.
    QHash<int, QString> m_pathByWatch;
    QMap<QString, int> m_watchByPath;

    // The batch being gathered: each path once, in the order first seen.
    Batch m_pending;
    QHash<QString, qsizetype> m_pendingIndex;

    bool m_overflowReported = false;
};

} // namespace varno
