#include "FileIO.h"

#include "FileError.h"
#include "NonRegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <random>
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

FileVersion versionFrom(const struct stat& info)
{
    return FileVersion {true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

} // namespace

QString describeNonRegularFile(unsigned mode)
{
    const std::optional<NonRegularFileKind> kind = nonRegularFileKindOfMode(mode);
    if (kind == NonRegularFileKind::Folder)
        return QStringLiteral("it is a folder, not a file");
    return QStringLiteral("it is %1, not a regular file").arg(kind ? nameWithArticle(*kind) : QStringLiteral("something else"));
}

namespace {

// A name no other file in the folder has, from mkstemp's alphabet so that
// the stale-temporary sweep recognises it.
QByteArray uniqueSiblingName(const QString& path)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device {}());
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kAlphabet)) - 2);
    const QFileInfo target(path);
    QByteArray name = nativePath(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral("."));
    for (int i = 0; i < 6; ++i)
        name.append(kAlphabet[pick(random)]);
    return name;
}

} // namespace

FileVersion versionOf(const QString& path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0)
        return {};
    return versionFrom(info);
}

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
    , m_version(std::exchange(other.m_version, {}))
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
        m_version = std::exchange(other.m_version, {});
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

namespace {

// The file at `path` opened for reading, its status in `info`; -1 when
// nothing is there. Throws FileError when it cannot be opened or is not a
// regular file. Non-blocking, so that a pipe put where a state file belongs
// cannot hold the open; it changes nothing for a regular file.
int openRegularFile(const QString& path, struct stat& info)
{
    Descriptor fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return -1;
        throw FileError(FileError::Operation::Read, path, errno);
    }
    if (::fstat(fd.get(), &info) != 0)
        throw FileError(FileError::Operation::Read, path, errno);
    if (!S_ISREG(info.st_mode))
        throw FileError(FileError::Operation::Read, path, EINVAL, describeNonRegularFile(info.st_mode));
    return fd.release();
}

} // namespace

std::optional<FileBytes> mapWholeFile(const QString& path)
{
    struct stat info {};
    Descriptor fd(openRegularFile(path, info));
    if (fd.get() < 0)
        return std::nullopt;
    const auto fileSize = static_cast<std::size_t>(info.st_size);
    if (fileSize > 0) {
        void* file = ::mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (file != MAP_FAILED) {
            FileBytes bytes = FileBytes::mapped(static_cast<char*>(file), fileSize, fileSize);
            bytes.m_version = versionFrom(info);
            return bytes;
        }
    }
    return readWholeFile(path, 0);
}

std::optional<FileBytes> readWholeFile(const QString& path, std::size_t padding)
{
    struct stat info {};
    Descriptor fd(openRegularFile(path, info));
    if (fd.get() < 0)
        return std::nullopt;
    const FileVersion version = versionFrom(info);

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
            if (file != MAP_FAILED) {
                FileBytes bytes = FileBytes::mapped(static_cast<char*>(file), fileSize, length);
                bytes.m_version = version;
                return bytes;
            }
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
            throw FileError(FileError::Operation::Read, path, errno);
        }
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    std::fill_n(buffer.get() + size, capacity - size, '\0');
    FileBytes bytes(std::move(buffer), size, capacity);
    bytes.m_version = version;
    return bytes;
}

AtomicFile::AtomicFile(const QString& path)
    : m_path(path)
{
    // A file whose owner may not write it was made read-only on purpose
    // (root may write anything, so the permission bit is what counts, not
    // access()); replacing it by rename would quietly undo that. Only a
    // regular file counts: a link in its place is replaced by the rename
    // like anything else, and what it leads to says nothing about the file.
    struct stat existing {};
    const bool replacing = ::lstat(nativePath(path).constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (replacing && !(existing.st_mode & S_IWUSR))
        throw FileError(FileError::Operation::Write, path, EACCES, QStringLiteral("it is read-only; make it writable to save changes"));

    const QFileInfo target(path);
    m_temporary = nativePath(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    m_fd = ::mkstemp(m_temporary.data());
    if (m_fd < 0) {
        m_temporary.clear();
        throw FileError(FileError::Operation::Write, path, errno);
    }
    // mkstemp's mode is cut by the umask, so it is set here whatever the
    // umask: a new file is the user's alone, like the folder it lives in,
    // and a replaced one keeps its mode so a save never changes who may
    // read it.
    const mode_t mode = replacing ? (existing.st_mode & 07777) : 0600;
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

void AtomicFile::copyFrom(int fd, std::uint64_t length)
{
    Q_ASSERT(m_fd >= 0);
    loff_t from = 0;
    while (static_cast<std::uint64_t>(from) < length) {
        const ssize_t copied = ::copy_file_range(fd, &from, m_fd, nullptr, static_cast<std::size_t>(length - static_cast<std::uint64_t>(from)), 0);
        if (copied > 0)
            continue;
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied == 0)
            fail(EIO);
        // File systems that cannot copy in the kernel: through a buffer.
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            fail(errno);
        char buffer[1 << 16];
        while (static_cast<std::uint64_t>(from) < length) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, length - static_cast<std::uint64_t>(from)));
            const ssize_t got = ::pread(fd, buffer, want, from);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                fail(got < 0 ? errno : EIO);
            if (!writeAll(m_fd, buffer, static_cast<std::size_t>(got)))
                fail(errno);
            from += got;
        }
    }
}

void AtomicFile::syncData()
{
    Q_ASSERT(m_fd >= 0);
    if (::fdatasync(m_fd) != 0)
        fail(errno);
}

FileVersion AtomicFile::commit(const std::function<void()>& beforeReplacing)
{
    Q_ASSERT(m_fd >= 0);
    if (::fsync(m_fd) != 0)
        fail(errno);
    // The rename keeps the inode and the times, so this is the version the
    // target will have.
    struct stat info {};
    if (::fstat(m_fd, &info) != 0)
        fail(errno);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        fail(errno);
    if (beforeReplacing)
        beforeReplacing();
    if (::rename(m_temporary.constData(), nativePath(m_path).constData()) != 0)
        fail(errno);
    m_temporary.clear();

    // The rename itself lives in the folder's entry table; without this sync a
    // power loss could bring back the old name after we reported success.
    Descriptor folder(::open(nativePath(QFileInfo(m_path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
    return versionFrom(info);
}

std::optional<PreparedArrayAppend> prepareArrayAppend(const QString& path, const FileVersion& expected)
{
    const Descriptor fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || versionFrom(info) != expected)
        return std::nullopt;

    PreparedArrayAppend prepared;
    prepared.replaces = expected;
    std::uint64_t keep = 0;
    if (info.st_size > 0) {
        // The closing bracket is the last thing but white space; what comes
        // before it, white space aside, says whether the array is empty.
        char tail[4096];
        const auto length = static_cast<std::size_t>(std::min<off_t>(info.st_size, sizeof tail));
        const off_t start = info.st_size - static_cast<off_t>(length);
        if (::pread(fd.get(), tail, length, start) != static_cast<ssize_t>(length))
            return std::nullopt;
        const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
        std::size_t end = length;
        while (end > 0 && isSpace(tail[end - 1]))
            --end;
        if (end == 0 || tail[end - 1] != ']')
            return std::nullopt;
        std::size_t before = end - 1;
        while (before > 0 && isSpace(tail[before - 1]))
            --before;
        if (before == 0 && start > 0)
            return std::nullopt;
        prepared.hasElements = before > 0 && tail[before - 1] != '[';
        keep = static_cast<std::uint64_t>(start) + (end - 1);
    }
    prepared.file = std::make_unique<AtomicFile>(path);
    if (keep > 0)
        prepared.file->copyFrom(fd.get(), keep);
    else
        prepared.file->write("[");
    prepared.file->syncData();
    return prepared;
}

FileVersion writeFileAtomically(const QString& path, std::string_view bytes)
{
    AtomicFile file(path);
    file.write(bytes);
    return file.commit();
}

void keepCopyAtomically(const QString& from, const QString& to)
{
    // The link is made under a fresh name and renamed over the old copy, so
    // `to` always holds one whole version.
    const QByteArray source = nativePath(from);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temporary = uniqueSiblingName(to);
        if (::link(source.constData(), temporary.constData()) != 0) {
            if (errno == EEXIST)
                continue;
            if (errno == EPERM || errno == EXDEV || errno == EOPNOTSUPP || errno == EMLINK)
                break;
            throw FileError(FileError::Operation::Write, to, errno);
        }
        if (::rename(temporary.constData(), nativePath(to).constData()) == 0) {
            // When `to` already was this very file, the rename does nothing
            // and leaves the fresh name behind.
            ::unlink(temporary.constData());
            return;
        }
        const int reason = errno;
        ::unlink(temporary.constData());
        throw FileError(FileError::Operation::Write, to, reason);
    }
    // The file system has no hard links: copy the bytes instead.
    const std::optional<FileBytes> bytes = readWholeFile(from);
    if (!bytes)
        throw FileError(FileError::Operation::Read, from, ENOENT);
    AtomicFile copy(to);
    copy.write(bytes->view());
    copy.commit();
}

void removeStaleTemporaries(const QString& folder, const QStringList& names)
{
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(nativePath(folder).constData()), &::closedir);
    if (!directory)
        return;
    std::vector<QByteArray> stale;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string_view name(entry->d_name);
        // "." + a state file's name + "." + six characters of mkstemp's.
        if (name.size() < 9 || name.front() != '.' || name[name.size() - 7] != '.')
            continue;
        const std::string_view base = name.substr(1, name.size() - 8);
        const std::string_view suffix = name.substr(name.size() - 6);
        const bool known = std::any_of(names.begin(), names.end(), [&](const QString& n) { return QFile::encodeName(n).toStdString() == base; });
        const bool generated = std::all_of(suffix.begin(), suffix.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
        if (known && generated)
            stale.push_back(nativePath(folder) + '/' + QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    }
    for (const QByteArray& path : stale)
        ::unlink(path.constData());
}

QString moveAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    if (::rename(nativePath(path).constData(), nativePath(aside).constData()) != 0)
        throw FileError(FileError::Operation::Write, path, errno);
    return aside;
}

bool createEmptyFileIfMissing(const QString& path)
{
    // O_EXCL never follows a link; the umask may only take bits away, and
    // the file must be exactly the user's alone.
    Descriptor fd(::open(nativePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return false;
    ::fchmod(fd.get(), 0600);
    return true;
}

void removeFile(const QString& path)
{
    if (::unlink(nativePath(path).constData()) != 0)
        throw FileError(FileError::Operation::Remove, path, errno);
}

void createFolder(const QString& path)
{
    const QByteArray native = nativePath(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    struct stat info {};
    if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return;
    // Each missing folder on the way is made the user's alone, as XDG asks
    // of the folders under a data home: the library and its caches are
    // nobody else's business, whatever the umask says.
    for (qsizetype slash = native.indexOf('/', 1);; slash = native.indexOf('/', slash + 1)) {
        const QByteArray folder = slash < 0 ? native : native.left(slash);
        if (::mkdir(folder.constData(), 0700) == 0)
            ::chmod(folder.constData(), 0700);
        else if (errno != EEXIST)
            throw FileError(FileError::Operation::Create, path, errno);
        if (slash < 0)
            break;
    }
    if (::stat(native.constData(), &info) != 0)
        throw FileError(FileError::Operation::Create, path, errno);
    if (!S_ISDIR(info.st_mode))
        throw FileError(FileError::Operation::Create, path, ENOTDIR);
}

void createPrivateFolder(const QString& path)
{
    createFolder(path);
    // Checked and changed through one descriptor, so that what is checked is
    // what is changed even if the name is swapped in between.
    Descriptor folder(::open(nativePath(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        throw FileError(FileError::Operation::Open, path, errno);
    struct stat info {};
    if (::fstat(folder.get(), &info) != 0)
        throw FileError(FileError::Operation::Open, path, errno);
    if (info.st_uid != ::geteuid())
        throw FileError(FileError::Operation::Open, path, EPERM, QStringLiteral("it belongs to another user (uid %1)").arg(info.st_uid));
    if ((info.st_mode & 07777) != 0700 && ::fchmod(folder.get(), 0700) != 0)
        throw FileError(FileError::Operation::Write, path, errno);
}

bool exists(const QString& path)
{
    struct stat info {};
    return ::lstat(nativePath(path).constData(), &info) == 0;
}

} // namespace varno::fileio
