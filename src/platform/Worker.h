#pragma once

#include <QCoroTask>
#include <QMetaObject>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <mutex>
#include <vector>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace varno {

namespace detail {

// Coroutines waiting to resume on one thread. Workers push finished
// coroutines from any thread; the owning thread resumes them in batches.
//
// A lone hop is resumed by an event posted at once. While many hops from this
// thread are in flight (an import reading thousands of files), finished ones
// are collected and resumed by a one-millisecond timer instead: a wake-up per
// file would cost the thread more than the work it hands out. One per thread,
// created on first use and destroyed with the thread.
class ResumeQueue final : public QObject {
public:
    ResumeQueue();
    static ResumeQueue* forCurrentThread();

    // On the owning thread, when a hop is handed out.
    void expect();
    // From any thread, when a hop has finished.
    void push(std::coroutine_handle<> coroutine);
    // Whether no hop from this thread is out or waiting to resume.
    bool isIdle();

private:
    void drain();

    static constexpr int kBulkThreshold = 4;

    std::mutex m_mutex;
    std::vector<std::coroutine_handle<>> m_ready;
    int m_inFlight = 0;
    bool m_drainPosted = false;
    QTimer* m_bulkTimer;
};

// Awaiting it runs `work` on `pool`; the awaiting coroutine is resumed by an
// event posted to the thread it suspended on. Cheaper per call than a QFuture
// with its watcher, which matters when thousands of files are read at once.
template<typename Work>
class PoolAwaiter {
public:
    using Result = std::invoke_result_t<Work&>;

    PoolAwaiter(QThreadPool* pool, Work work)
        : m_pool(pool)
        , m_work(std::move(work))
    {
    }

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> awaiting)
    {
        ResumeQueue* home = ResumeQueue::forCurrentThread();
        home->expect();
        // The awaiter lives in the suspended coroutine's frame until it is
        // resumed, so the worker may write its result straight into it.
        m_pool->start([this, awaiting, home] {
            try {
                if constexpr (std::is_void_v<Result>)
                    m_work();
                else
                    m_value.emplace(m_work());
            } catch (...) {
                m_error = std::current_exception();
            }
            home->push(awaiting);
        });
    }

    Result await_resume()
    {
        if (m_error)
            std::rethrow_exception(m_error);
        if constexpr (!std::is_void_v<Result>)
            return std::move(*m_value);
    }

private:
    QThreadPool* m_pool;
    Work m_work;
    std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> m_value {};
    std::exception_ptr m_error;
};

} // namespace detail

// Runs `work` on `pool` and resumes the awaiting coroutine on the thread it was
// awaited from (the main thread for engines). An exception thrown by `work`
// reaches the awaiting coroutine with its type intact (QtConcurrent would
// wrap it into an opaque QUnhandledException), and a large result (a whole
// library) is moved, never copied, on its way back.
template<typename Work>
auto runOn(QThreadPool* pool, Work work) -> QCoro::Task<std::invoke_result_t<Work&>>
{
    // A named local: g++ 12 mishandles the lifetime of temporaries with
    // destructors inside a co_await expression.
    detail::PoolAwaiter<Work> awaiter(pool, std::move(work));
    if constexpr (std::is_void_v<std::invoke_result_t<Work&>>)
        co_await awaiter;
    else
        co_return co_await awaiter;
}

// Callers: build the task in a named local and then co_await it. g++ 12
// destroys non-trivial temporaries of a co_await expression (a lambda with
// captured values passed as an argument) twice.
//
// A long-lived serial queue: work items run one at a time, in the order they
// were queued, on one dedicated thread. The owner destroys it after the last
// item it cares about; the destructor waits for queued work to finish.
class SerialWorker final {
public:
    // With an idle expiry the thread ends after that long without work (and
    // with it whatever it keeps per thread, such as a parser's buffers); the
    // next item starts a new one. Order is kept either way.
    explicit SerialWorker(const QString& name, std::chrono::milliseconds idleExpiry = std::chrono::milliseconds(-1))
    {
        m_pool.setObjectName(name);
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(static_cast<int>(idleExpiry.count()));
    }
    ~SerialWorker() { m_pool.waitForDone(); }

    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    QThreadPool* pool() { return &m_pool; }

    template<typename Work>
    auto run(Work work) { return runOn(&m_pool, std::move(work)); }

private:
    QThreadPool m_pool;
};

} // namespace varno
