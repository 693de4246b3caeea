#pragma once

#include "platform/Worker.h"
#include "storage/DatabaseManager.h"

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace varno {

// Writes the playback session off the main thread, one write at a time in
// request order, on its own serial worker ("playback-session"). Called from
// the main thread; completions run there too, in request order.
//
// A save asked for while an earlier one still waits for the worker replaces
// that one's snapshot: one song change announces itself several times, and a
// queue of 100,000 songs makes a file of megabytes. Every completion still
// runs, with the result of the write that carried its snapshot or a later one.
class PlaybackSessionStore final {
public:
    // Receives the write's error, or a null pointer after a successful write.
    using Completion = std::function<void(std::exception_ptr)>;
    // Builds the snapshot on the worker, just before it is written, so the
    // caller hands over shared lists instead of walking them itself.
    using SnapshotMaker = std::function<PlaybackStateSnapshot()>;

    explicit PlaybackSessionStore(DatabaseManager& database);
    // Writes already requested still happen; their completions still run if
    // the main thread's event loop does.
    ~PlaybackSessionStore();

    PlaybackSessionStore(const PlaybackSessionStore&) = delete;
    PlaybackSessionStore& operator=(const PlaybackSessionStore&) = delete;

    // Queues a write and returns at once.
    void save(const PlaybackStateSnapshot& snapshot, Completion completion = {});
    void save(SnapshotMaker snapshot, Completion completion = {});
    // Writes now, after every earlier request, and blocks until done: for the
    // moment the window stops being active or the app quits.
    std::exception_ptr saveNow(const PlaybackStateSnapshot& snapshot);
    std::exception_ptr saveNow(SnapshotMaker snapshot);

private:
    struct Waiting {
        SnapshotMaker snapshot;
        std::vector<Completion> completions;
    };
    // Shared with the queued write, which may run after the store is gone.
    struct Pending {
        std::mutex mutex;
        std::optional<Waiting> waiting;
    };

    DatabaseManager& m_database;
    std::shared_ptr<Pending> m_pending = std::make_shared<Pending>();
    SerialWorker m_queue {QStringLiteral("playback-session")};
};

} // namespace varno
