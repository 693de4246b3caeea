#pragma once

#include <QUuid>

namespace varno {

// The play queue: what plays now, next and before. Main thread only.
//
// Only the operation the library's removal needs is declared so far; the
// queue engine's other operations join it when the engine itself is built.
class QueueEngine {
public:
    virtual ~QueueEngine() = default;

    // Drops the song from the upcoming songs and the history, and stops it
    // when it is the current song. Called once it has left the library.
    virtual void removeTrackFromPlayback(const QUuid& trackID) = 0;
};

} // namespace varno
