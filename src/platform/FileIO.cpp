#include "FileIO.h"

#include "FileError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <utility>
#include <fcntl.h>
#include <sys/mman.h>
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
    : m_data(data.release())
    , m_size(size)
    , m_capacity(capacity)
{
}

FileBytes FileBytes::mapped(char* data, std::size_t size, std::size_t mappedLength)
{
    FileBytes bytes;
    bytes.m_data = data;
    bytes.m_size = size;
    bytes.m_capacity = mappedLength;
    bytes.m_mappedLength = mappedLength;
    return bytes;
}

FileBytes::~FileBytes()
{
    release();
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
    , m_mappedLength(std::exchange(other.m_mappedLength, 0))
{
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_mappedLength = std::exchange(other.m_mappedLength, 0);
    }
    return *this;
}

void FileBytes::release()
{
    if (!m_data)
        return;
    if (m_mappedLength)
        ::munmap(m_data, m_mappedLength);
    else
        delete[] m_data;
    m_data = nullptr;
}

std::optional<FileBytes> readWholeFile(const QString& path, std::size_t padding)
{
    Descriptor fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;

    // Big files (a large library) are mapped: no copy, and no fresh memory to
    // touch. The mapping sits in a slightly larger anonymous region so the
    // padding past the end reads as zeros. State files are replaced by rename,
    // never truncated in place, so the mapped file cannot shrink under us.
    constexpr std::size_t kMapThreshold = 4 << 20;
    const auto fileSize = static_cast<std::size_t>(info.st_size);
    if (fileSize >= kMapThreshold) {
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t length = (fileSize + padding + page - 1) / page * page;
        void* region = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region != MAP_FAILED) {
            void* file = ::mmap(region, fileSize, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd.get(), 0);
            if (file != MAP_FAILED)
                return FileBytes::mapped(static_cast<char*>(file), fileSize, length);
            ::munmap(region, length);
        }
        // Fall through to reading when mapping is refused.
    }

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

AtomicFile::AtomicFile(const QString& path)
    : m_path(path)
{
    const QFileInfo target(path);
    m_temporary = nativePath(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    m_fd = ::mkstemp(m_temporary.data());
    if (m_fd < 0) {
        m_temporary.clear();
        throw FileError(FileError::Operation::Write, path, errno);
    }
    // mkstemp creates the file private to the user; keep the mode of the file
    // being replaced so a save never changes who may read it.
    struct stat existing {};
    const mode_t mode = ::stat(nativePath(path).constData(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    if (::fchmod(m_fd, mode) != 0)
        fail(errno);
}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

void AtomicFile::fail(int errorNumber)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.constData());
    m_temporary.clear();
    throw FileError(FileError::Operation::Write, m_path, errorNumber);
}

void AtomicFile::write(std::string_view bytes)
{
    Q_ASSERT(m_fd >= 0);
    if (!writeAll(m_fd, bytes.data(), bytes.size()))
        fail(errno);
}

void AtomicFile::commit()
{
    Q_ASSERT(m_fd >= 0);
    if (::fsync(m_fd) != 0)
        fail(errno);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        fail(errno);
    if (::rename(m_temporary.constData(), nativePath(m_path).constData()) != 0)
        fail(errno);
    m_temporary.clear();

    // The rename itself lives in the folder's entry table; without this sync a
    // power loss could bring back the old name after we reported success.
    Descriptor folder(::open(nativePath(QFileInfo(m_path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
}

void writeFileAtomically(const QString& path, std::string_view bytes)
{
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

void keepCopyAtomically(const QString& from, const QString& to)
{
    const QFileInfo target(to);
    QByteArray temporary = nativePath(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    // mkstemp only reserves a unique name; the link takes its place.
    Descriptor reserved(::mkstemp(temporary.data()));
    if (reserved.get() < 0)
        throw FileError(FileError::Operation::Write, to, errno);
    ::unlink(temporary.constData());
    if (::link(nativePath(from).constData(), temporary.constData()) == 0) {
        if (::rename(temporary.constData(), nativePath(to).constData()) == 0)
            return;
        const int reason = errno;
        ::unlink(temporary.constData());
        throw FileError(FileError::Operation::Write, to, reason);
    }
    const std::optional<FileBytes> bytes = readWholeFile(from);
    if (!bytes)
        throw FileError(FileError::Operation::Read, from, errno);
    writeFileAtomically(to, bytes->view());
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
