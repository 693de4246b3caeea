#pragma once

#include "platform/Error.h"

#include <QString>

#include <chrono>
#include <optional>

namespace varno::fileio {

// The other process did not let go of the lock in time.
class LockTimeoutError final : public Error {
public:
    // Another process of this user, such as varno-cli or a second app.
    static LockTimeoutError byOurProcess(std::chrono::milliseconds waited);
    // A process of another user, which this user cannot end.
    static LockTimeoutError byAnotherUser(std::chrono::milliseconds waited, unsigned uid);

private:
    explicit LockTimeoutError(const QString& description);
};

// An exclusive advisory lock (flock) on one file, held from construction to
// destruction. Every process that changes the state files takes the same one
// for each whole read-modify-write, so two writers never interleave and the
// second one works on what the first one wrote.
//
// Each lock opens the file anew: flock belongs to an open file description,
// so two threads of one process exclude each other too. The file is made
// the user's alone (0600); a symbolic link in its place, or a file of
// another user, is refused rather than used, since whoever can open the
// lock file can keep every writer waiting. Blocking; callable from any
// thread but the GUI thread.
class FileLock {
public:
    // Waits at most `wait` for the lock. Throws LockTimeoutError, or
    // FileError when the lock file cannot be opened, created or trusted.
    static FileLock acquire(const QString& path, std::chrono::milliseconds wait);
    // Absent when another holder has it now.
    static std::optional<FileLock> tryAcquire(const QString& path);

    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(int fd)
        : m_fd(fd)
    {
    }

    int m_fd = -1;
};

// How long writers wait for each other: VARNO_STATE_LOCK_WAIT_MS when set
// (tests shorten it), else 30 seconds. A write holds the lock for well under
// a second even at 100,000 songs, so only a stuck process makes anyone wait
// that long.
std::chrono::milliseconds stateLockWait();

} // namespace varno::fileio
