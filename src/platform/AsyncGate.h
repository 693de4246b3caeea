#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <coroutine>
#include <deque>
#include <utility>

namespace varno {

// Lets one coroutine of a thread through at a time, the others in the order
// they arrived: operations that read, suspend and then write keep the
// read-modify-write whole, as they would if they blocked. Single-threaded:
// every holder and waiter runs on the thread that owns the gate.
//
//     const AsyncGate::Hold hold = co_await m_gate.enter();
class AsyncGate {
public:
    class Hold {
    public:
        explicit Hold(AsyncGate* gate)
            : m_gate(gate)
        {
        }
        Hold(Hold&& other) noexcept
            : m_gate(std::exchange(other.m_gate, nullptr))
        {
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold()
        {
            if (m_gate)
                m_gate->leave();
        }

    private:
        AsyncGate* m_gate;
    };

    class Entry {
    public:
        explicit Entry(AsyncGate& gate)
            : m_gate(gate)
        {
        }
        bool await_ready() const noexcept
        {
            if (m_gate.m_busy)
                return false;
            m_gate.m_busy = true;
            return true;
        }
        void await_suspend(std::coroutine_handle<> waiting) { m_gate.m_waiting.push_back(waiting); }
        Hold await_resume() { return Hold(&m_gate); }

    private:
        AsyncGate& m_gate;
    };

    // Waiters are resumed through `context`'s thread; once it is destroyed
    // nobody waiting is resumed.
    explicit AsyncGate(QObject* context)
        : m_context(context)
    {
    }

    Entry enter() { return Entry(*this); }
    bool isBusy() const { return m_busy; }

private:
    void leave()
    {
        if (m_waiting.empty()) {
            m_busy = false;
            return;
        }
        // The next holder is resumed from the event loop, not from inside the
        // one leaving, so a long queue never nests resumptions on the stack.
        if (!m_context)
            return;
        const std::coroutine_handle<> next = m_waiting.front();
        m_waiting.pop_front();
        QMetaObject::invokeMethod(m_context.data(), [next] { next.resume(); }, Qt::QueuedConnection);
    }

    QPointer<QObject> m_context;
    bool m_busy = false;
    std::deque<std::coroutine_handle<>> m_waiting;
};

} // namespace varno
