#pragma once

#include <QCoroFuture>
#include <QCoroTask>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace varno {

// Runs `work` on `pool` and resumes the awaiting coroutine on the thread it was
// awaited from (the main thread for engines). An exception thrown by `work`
// reaches the awaiting coroutine with its type intact; QtConcurrent would
// otherwise wrap it into an opaque QUnhandledException. The result travels
// behind a shared pointer so a large value (a whole library) is moved, never
// copied, on its way back.
template<typename Work>
auto runOn(QThreadPool* pool, Work work) -> QCoro::Task<std::invoke_result_t<Work&>>
{
    using Result = std::invoke_result_t<Work&>;
    struct Outcome {
        std::exception_ptr error;
        std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value {};
    };

    // The future is a named local: g++ 12 mishandles the lifetime of
    // temporaries with destructors inside a co_await expression.
    auto future = QtConcurrent::run(pool, [work = std::move(work)]() mutable {
        auto result = std::make_shared<Outcome>();
        try {
            if constexpr (std::is_void_v<Result>)
                work();
            else
                result->value.emplace(work());
        } catch (...) {
            result->error = std::current_exception();
        }
        return result;
    });
    const std::shared_ptr<Outcome> outcome = co_await future;
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<Result>)
        co_return std::move(*outcome->value);
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
    explicit SerialWorker(const QString& name)
    {
        m_pool.setObjectName(name);
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(-1);
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
