#pragma once

#include "TestSupport.h"

#include <csignal>
#include <functional>
#include <optional>
#include <sys/fsuid.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varno::test {

// "nobody": a user no test runs as. Only root can act as another user, so
// the tests that need one skip without it.
inline constexpr uid_t kOtherUser = 65534;

inline bool canActAsAnotherUser()
{
    return ::geteuid() == 0;
}

// A forked child of the test, which runs `body` and ends with what it
// returns. Only plain system calls belong in the body: the child is a copy
// of a process with many threads, of which only this one goes on.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body)
        : m_pid(::fork())
    {
        if (m_pid == 0)
            ::_exit(body());
    }
    ~ChildProcess()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }

    // The child's exit code once it has ended, running the event loop while
    // it works; absent when it was still running at the deadline or was
    // killed.
    std::optional<int> exitCode(std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        waitUntil(
            [&] {
                int status = 0;
                if (!m_status && ::waitpid(m_pid, &status, WNOHANG) == m_pid)
                    m_status = status;
                return m_status.has_value();
            },
            timeout);
        if (!m_status || !WIFEXITED(*m_status))
            return std::nullopt;
        return WEXITSTATUS(*m_status);
    }

private:
    pid_t m_pid;
    std::optional<int> m_status;
};

// Called in a forked child run as root: from now on other processes see the
// child as kOtherUser (its effective uid, which /proc and a socket's peer
// credentials report), while its file-system uid stays root's, so it still
// reaches files and sockets inside folders private to the test.
inline bool actAsAnotherUserKeepingFileAccess()
{
    if (::seteuid(kOtherUser) != 0)
        return false;
    ::setfsuid(0);
    return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == 0;
}

} // namespace varno::test
