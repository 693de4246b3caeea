#include "playlists/QtDebounceTimer.h"

namespace varno {

QtDebounceTimer::QtDebounceTimer()
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and a text must not pass
    // before its full pause has gone by.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_handler)
            m_handler();
    });
}

void QtDebounceTimer::start(std::chrono::milliseconds delay, std::function<void()> handler)
{
    m_handler = std::move(handler);
    m_timer.start(delay);
}

} // namespace varno
