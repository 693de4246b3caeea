#include "FileLock.h"

#include "platform/FileError.h"
#include "platform/FileIO.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <cerrno>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace varno::fileio {

namespace {

int openLockFile(const QString& path)
{
    // O_NOFOLLOW: a link planted at the lock's name would otherwise make us
    // create or lock whatever it leads to. O_NONBLOCK keeps a named pipe in
    // its place from holding the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            throw FileError(FileError::Operation::Open, path, ELOOP, QStringLiteral("it is a symbolic link, which the lock never follows; remove it"));
        throw FileError(FileError::Operation::Open, path, errno);
    }
    struct stat info {};
    const int reason = ::fstat(fd, &info) == 0 ? 0 : errno;
    const auto refuse = [&](int errorNumber, const QString& why) {
        ::close(fd);
        if (why.isEmpty())
            throw FileError(FileError::Operation::Open, path, errorNumber);
        throw FileError(FileError::Operation::Open, path, errorNumber, why);
    };
    if (reason != 0)
        refuse(reason, {});
    if (!S_ISREG(info.st_mode))
        refuse(EINVAL, describeNonRegularFile(info.st_mode));
    // Another user's file is theirs to lock whenever they like, so it cannot
    // keep our writers apart; ours is closed to others, as older versions
    // made it readable by everybody and anyone who can open it can lock it.
    if (info.st_uid != ::geteuid())
        refuse(EPERM, QStringLiteral("it belongs to another user (uid %1)").arg(info.st_uid));
    if ((info.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        refuse(errno, {});
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

// The effective user of a running process, from /proc; absent when it has
// ended or cannot be seen from here.
std::optional<uid_t> userOfProcess(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("Uid:"))
            continue;
        // Real, effective, saved and file-system user.
        const QList<QByteArray> ids = line.mid(4).simplified().split(' ');
        bool ok = false;
        const uint uid = ids.value(1).toUInt(&ok);
        return ok ? std::optional<uid_t>(uid) : std::nullopt;
    }
    return std::nullopt;
}

// A user other than us with a process that holds a flock on the file open
// at `fd`, as the kernel lists the holders in /proc/locks:
// "1: FLOCK  ADVISORY  WRITE 8965 fe:00:10952873 0 EOF", the device's
// numbers in hexadecimal; a waiting process has "->" after the number.
// Absent when every holder we can see is ours, or none can be seen.
std::optional<uid_t> otherUserHolding(int fd)
{
    struct stat info {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(fd, &info) != 0 || !locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        const QList<QByteArray> file = fields[5].split(':');
        bool majorOk = false, minorOk = false, inodeOk = false;
        if (file.size() != 3 || file[0].toUInt(&majorOk, 16) != major(info.st_dev) || file[1].toUInt(&minorOk, 16) != minor(info.st_dev)
            || file[2].toULongLong(&inodeOk) != info.st_ino || !majorOk || !minorOk || !inodeOk)
            continue;
        const std::optional<uid_t> holder = userOfProcess(fields[4].toLongLong());
        if (holder && *holder != ::geteuid())
            return holder;
    }
    return std::nullopt;
}

QString describeSpan(std::chrono::milliseconds waited)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    return seconds >= 1 ? QStringLiteral("%1 seconds").arg(seconds) : QStringLiteral("%1 ms").arg(waited.count());
}

} // namespace

LockTimeoutError::LockTimeoutError(const QString& description)
    : Error(description)
{
}

LockTimeoutError LockTimeoutError::byOurProcess(std::chrono::milliseconds waited)
{
    return LockTimeoutError(QStringLiteral("Another VARNO MUSIC process kept the library busy for %1, so nothing was changed. "
                                           "Try again when it has finished.")
                                .arg(describeSpan(waited)));
}

LockTimeoutError LockTimeoutError::byAnotherUser(std::chrono::milliseconds waited, unsigned uid)
{
    return LockTimeoutError(QStringLiteral("The library is kept busy by another user's process (uid %1), so nothing was changed after "
                                           "waiting %2. Only that user or an administrator can end it.")
                                .arg(uid)
                                .arg(describeSpan(waited)));
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
    // Another user's process can hold the lock only when it opened the file
    // before it was closed to others, or runs as the administrator; blaming
    // "another VARNO MUSIC process" would send the user looking among their
    // own for a process they cannot find.
    const std::optional<uid_t> otherUser = otherUserHolding(fd);
    ::close(fd);
    if (otherUser)
        throw LockTimeoutError::byAnotherUser(wait, *otherUser);
    throw LockTimeoutError::byOurProcess(wait);
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
