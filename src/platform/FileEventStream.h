#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

namespace varno {

// A system source of file changes below a set of folders, delivered in
// batches: every path that changed during one latency window appears once,
// with everything that happened to it in that window. The file watcher depends
// on this interface so its rules can be driven without a real file system.
//
// start, stop and the destructor are called on one thread, which runs a Qt
// event loop; batches are delivered on that same thread.
class FileEventStream {
public:
    enum class Flag : unsigned {
        Created = 0x1,
        Removed = 0x2,
        Renamed = 0x4,
        Modified = 0x8,
    };
    Q_DECLARE_FLAGS(Flags, Flag)

    struct Event {
        QString path;
        Flags flags;

        friend bool operator==(const Event&, const Event&) = default;
    };

    using Batch = std::vector<Event>;
    using BatchHandler = std::function<void(const Batch&)>;

    virtual ~FileEventStream() = default;

    // Starts reporting changes below `folders` (whole trees) from now on; what
    // happened before is never replayed. Events are held for `latency` after
    // the first one of a window and then handed to `handler` together. False
    // when no stream could be created; the reason has been logged.
    virtual bool start(const QStringList& folders, std::chrono::milliseconds latency, BatchHandler handler) = 0;

    // Stops reporting. Events still held are dropped and `handler` is never
    // called again. Does nothing when the stream is not running.
    virtual void stop() = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FileEventStream::Flags)

} // namespace varno
