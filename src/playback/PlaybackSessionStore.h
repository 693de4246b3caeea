#pragma once

#include "platform/Worker.h"
#include "storage/DatabaseManager.h"

#include <exception>
#include <functional>

namespace varno {

// Writes the playback session off the main thread, one write at a time in
// request order, on its own serial worker ("playback-session"). Called from
// the main thread; completions run there too. Keeps no snapshot between calls.
class PlaybackSessionStore final {
public:
    // Receives the write's error, or a null pointer after a successful write.
    using Completion = std::function<void(std::exception_ptr)>;

    explicit PlaybackSessionStore(DatabaseManager& database);
    // Writes already requested still happen; their completions still run if
    // the main thread's event loop does.
    ~PlaybackSessionStore();

    PlaybackSessionStore(const PlaybackSessionStore&) = delete;
    PlaybackSessionStore& operator=(const PlaybackSessionStore&) = delete;

    // Queues a write and returns at once.
    void save(const PlaybackStateSnapshot& snapshot, Completion completion = {});
    // Writes now, after every earlier request, and blocks until done: for the
    // moment the window stops being active or the app quits.
    std::exception_ptr saveNow(const PlaybackStateSnapshot& snapshot);

private:
    DatabaseManager& m_database;
    SerialWorker m_queue {QStringLiteral("playback-session")};
};

} // namespace varno
