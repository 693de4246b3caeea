#pragma once

#include <chrono>
#include <functional>

namespace varno {

// The pause a typed query waits for. A search engine restarts it on every
// keystroke; tests drive a manual one instead of waiting for real time.
class DebounceTimer {
public:
    virtual ~DebounceTimer() = default;

    // Calls `handler` once `delay` has passed since the latest start(). A
    // start() before then replaces the pending call rather than adding one.
    virtual void start(std::chrono::milliseconds delay, std::function<void()> handler) = 0;
};

} // namespace varno
