#include "FileIO.h"

#include "FileError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::fileio {

namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

FileBytes::FileBytes(std::unique_ptr<char[]> data, std::size_t size, std::size_t capacity)
    : m_data(std::move(data))
    , m_size(size)
    , m_capacity(capacity)
{
}

std::optional<FileBytes> readWholeFile(const QString& path, std::size_t padding)
{
    Descriptor fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;

    // The size is a hint: the file may grow or shrink while we read it.
    std::size_t capacity = static_cast<std::size_t>(info.st_size) + padding;
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t size = 0;
    for (;;) {
        if (capacity - size <= padding) {
            const std::size_t grown = capacity * 2;
            auto bigger = std::make_unique_for_overwrite<char[]>(grown);
            std::copy_n(buffer.get(), size, bigger.get());
            buffer = std::move(bigger);
            capacity = grown;
        }
        const ssize_t got = ::read(fd.get(), buffer.get() + size, capacity - size - padding);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    std::fill_n(buffer.get() + size, capacity - size, '\0');
    return FileBytes(std::move(buffer), size, capacity);
}

void writeFileAtomically(const QString& path, std::string_view bytes)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    QByteArray temporary = nativePath(folder + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));

    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0)
        throw FileError(FileError::Operation::Write, path, errno);

    auto fail = [&](int errorNumber) {
        ::unlink(temporary.constData());
        throw FileError(FileError::Operation::Write, path, errorNumber);
    };

    // mkstemp creates the file private to the user; keep the mode of the file
    // being replaced so a save never changes who may read it.
    struct stat existing {};
    const mode_t mode = ::stat(nativePath(path).constData(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    if (::fchmod(fd.get(), mode) != 0)
        fail(errno);
    if (!writeAll(fd.get(), bytes.data(), bytes.size()))
        fail(errno);
    if (::fsync(fd.get()) != 0)
        fail(errno);
    if (::close(fd.release()) != 0)
        fail(errno);
    if (::rename(temporary.constData(), nativePath(path).constData()) != 0)
        fail(errno);

    // The rename itself lives in the folder's entry table; without this sync a
    // power loss could bring back the old name after we reported success.
    Descriptor folderFd(::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0)
        ::fsync(folderFd.get());
}

bool createEmptyFileIfMissing(const QString& path)
{
    Descriptor fd(::open(nativePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    return fd.get() >= 0;
}

void removeFile(const QString& path)
{
    if (::unlink(nativePath(path).constData()) != 0)
        throw FileError(FileError::Operation::Remove, path, errno);
}

void createFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return;
    if (!QDir().mkpath(path)) {
        // QDir does not report why; ask the system once more for the reason.
        const int reason = ::mkdir(nativePath(path).constData(), 0755) == 0 ? 0 : errno;
        if (reason == 0)
            return;
        throw FileError(FileError::Operation::Create, path, reason);
    }
}

bool exists(const QString& path)
{
    struct stat info {};
    return ::lstat(nativePath(path).constData(), &info) == 0;
}

} // namespace varno::fileio
