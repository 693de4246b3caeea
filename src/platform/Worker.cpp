#include "Worker.h"

#include <memory>

namespace varno::detail {

ResumeQueue::ResumeQueue()
    : m_bulkTimer(new QTimer(this))
{
    m_bulkTimer->setInterval(1);
    m_bulkTimer->setTimerType(Qt::PreciseTimer);
    connect(m_bulkTimer, &QTimer::timeout, this, &ResumeQueue::drain);
}

ResumeQueue* ResumeQueue::forCurrentThread()
{
    thread_local std::unique_ptr<ResumeQueue> queue = std::make_unique<ResumeQueue>();
    return queue.get();
}

void ResumeQueue::expect()
{
    bool bulk = false;
    {
        const std::lock_guard lock(m_mutex);
        bulk = ++m_inFlight >= kBulkThreshold;
    }
    if (bulk && !m_bulkTimer->isActive())
        m_bulkTimer->start();
}

void ResumeQueue::push(std::coroutine_handle<> coroutine)
{
    bool postDrain = false;
    {
        const std::lock_guard lock(m_mutex);
        m_ready.push_back(coroutine);
        --m_inFlight;
        // In bulk the timer collects; the last hops of a burst (and every
        // lone hop) are resumed at once.
        if (m_inFlight < kBulkThreshold && !m_drainPosted) {
            m_drainPosted = true;
            postDrain = true;
        }
    }
    if (postDrain)
        QMetaObject::invokeMethod(this, &ResumeQueue::drain, Qt::QueuedConnection);
}

bool ResumeQueue::isIdle()
{
    const std::lock_guard lock(m_mutex);
    return m_inFlight == 0 && m_ready.empty();
}

void ResumeQueue::drain()
{
    // Work that finishes while this batch resumes joins the next round of the
    // loop instead of posting another event and waking the thread again.
    std::vector<std::coroutine_handle<>> batch;
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            batch.clear();
            batch.swap(m_ready);
            if (batch.empty()) {
                m_drainPosted = false;
                if (m_inFlight < kBulkThreshold)
                    m_bulkTimer->stop();
                return;
            }
        }
        for (const std::coroutine_handle<> coroutine : batch)
            coroutine.resume();
    }
}

} // namespace varno::detail
