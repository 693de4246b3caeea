#include "Worker.h"

#include <memory>

namespace varno::detail {

ResumeQueue* ResumeQueue::forCurrentThread()
{
    thread_local std::unique_ptr<ResumeQueue> queue = std::make_unique<ResumeQueue>();
    return queue.get();
}

void ResumeQueue::push(std::coroutine_handle<> coroutine)
{
    bool postDrain = false;
    {
        const std::lock_guard lock(m_mutex);
        m_ready.push_back(coroutine);
        postDrain = !std::exchange(m_drainPosted, true);
    }
    if (postDrain)
        QMetaObject::invokeMethod(this, &ResumeQueue::drain, Qt::QueuedConnection);
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
                return;
            }
        }
        for (const std::coroutine_handle<> coroutine : batch)
            coroutine.resume();
    }
}

} // namespace varno::detail
