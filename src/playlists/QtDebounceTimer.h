#pragma once

#include "playlists/DebounceTimer.h"

#include <QTimer>

namespace varno {

// A single-shot QTimer on the thread that creates it. Destroying it cancels
// a pending call, so an engine that owns one is never called once gone.
class QtDebounceTimer final : public DebounceTimer {
public:
    QtDebounceTimer();

    void start(std::chrono::milliseconds delay, std::function<void()> handler) override;

private:
    QTimer m_timer;
    std::function<void()> m_handler;
};

} // namespace varno
