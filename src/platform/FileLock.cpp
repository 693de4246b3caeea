#include "FileLock.h"

#include "platform/FileError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace varno::fileio {

namespace {

int openLockFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw FileError(FileError::Operation::Create, path, errno);
    return fd;
}

bool tryLock(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

QString describeWait(std::chrono::milliseconds waited)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    const QString span = seconds >= 1 ? QStringLiteral("%1 seconds").arg(seconds) : QStringLiteral("%1 ms").arg(waited.count());
    return QStringLiteral("Another VARNO MUSIC process kept the library busy for %1, so nothing was changed. "
                          "Try again when it has finished.")
        .arg(span);
}

} // namespace

LockTimeoutError::LockTimeoutError(std::chrono::milliseconds waited)
    : Error(describeWait(waited))
{
}

FileLock FileLock::acquire(const QString& path, std::chrono::milliseconds wait)
{
    const int fd = openLockFile(path);
    if (tryLock(fd))
        return FileLock(fd);
    // flock has no timed form; polling with a growing pause costs nothing
    // while the other writer finishes, and a writer rarely holds it long.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(pause);
        if (tryLock(fd))
            return FileLock(fd);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    ::close(fd);
    throw LockTimeoutError(wait);
}

std::optional<FileLock> FileLock::tryAcquire(const QString& path)
{
    const int fd = openLockFile(path);
    if (tryLock(fd))
        return FileLock(fd);
    ::close(fd);
    return std::nullopt;
}

FileLock::~FileLock()
{
    // Closing the only descriptor of the open file releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

std::chrono::milliseconds stateLockWait()
{
    bool ok = false;
    const int configured = qEnvironmentVariableIntValue("VARNO_STATE_LOCK_WAIT_MS", &ok);
    return std::chrono::milliseconds(ok && configured >= 0 ? configured : 30000);
}

} // namespace varno::fileio
