#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

// Whole-file reads and atomic whole-file writes: the only way state files are
// touched. Callable from any thread; each call works on its own descriptors.
namespace varno::fileio {

// Which version of a file is on disk. Every atomic write makes a new inode,
// so two reads that see the same version saw the same content; a version
// that changed means somebody replaced the file.
struct FileVersion {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;

    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// The version at `path` now; a missing file is a version of its own.
FileVersion versionOf(const QString& path);

// What an item that is not a regular file is, for messages: "it is a named
// pipe, not a regular file", given its st_mode.
QString describeNonRegularFile(unsigned mode);

// The bytes of one file followed by at least `padding` readable zero bytes,
// so a SIMD parser may read past the end without a copy. Large files are
// mapped rather than copied. Move-only.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(std::unique_ptr<char[]> data, std::size_t size, std::size_t capacity);
    ~FileBytes();
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;

    const char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool isEmpty() const { return m_size == 0; }
    std::string_view view() const { return {m_data, m_size}; }
    // The version of the file the bytes were read from.
    const FileVersion& version() const { return m_version; }

private:
    friend std::optional<FileBytes> readWholeFile(const QString&, std::size_t);
    friend std::optional<FileBytes> mapWholeFile(const QString&);
    static FileBytes mapped(char* data, std::size_t size, std::size_t mappedLength);
    void release();

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    // Non-zero when m_data is a mapping of this many bytes, else heap memory.
    std::size_t m_mappedLength = 0;
    FileVersion m_version;
};

inline constexpr std::size_t kReadPadding = 64;

// Reads a whole file. Absent only when nothing exists at `path`; a file that
// is there but cannot be read (no permission, a folder, a pipe or a device,
// an I/O error) throws FileError with the reason, so that nobody mistakes an
// unreadable library for an empty one. Never blocks on a pipe.
std::optional<FileBytes> readWholeFile(const QString& path, std::size_t padding = kReadPadding);

// A whole file mapped, its pages read from disk only as they are first
// touched, so that a reader of a few parts of a large file pays for those
// parts alone; read instead when the system refuses the mapping. Absent and
// thrown as readWholeFile(). Only for files replaced by rename, never
// truncated in place: a mapped file that shrinks faults its reader.
std::optional<FileBytes> mapWholeFile(const QString& path);

// Replaces `path` with `bytes` so that a crash or a kill at any moment leaves
// either the old or the new content: a temporary file in the same folder is
// written, synced and renamed over the old one, then the folder is synced.
// A file the user made read-only is never replaced. A new file is readable
// by its owner alone (0600) whatever the umask; a replaced one keeps its
// mode. A symbolic link at `path` is replaced, never written through.
// Throws FileError.
FileVersion writeFileAtomically(const QString& path, std::string_view bytes);

// The streaming form of writeFileAtomically, for content produced piece by
// piece: written to a temporary file in the target's folder ("." + the
// file's name + "." + six characters) and moved into place by commit().
// Destroyed without commit(), it removes the temporary file and the target
// is untouched. Refuses, before writing anything, to replace a file whose
// owner may not write it. Throws FileError.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);
    // Appends the first `length` bytes of the open file `fd`, copied by the
    // kernel without passing through this process.
    void copyFrom(int fd, std::uint64_t length);
    // Puts what was written so far on disk now, so that the commit has only
    // the rest to sync.
    void syncData();
    // `beforeReplacing` runs once the new content is safely on disk and just
    // before it takes the old file's place: the moment to keep a backup of
    // the old version, which a failed write therefore never touches.
    FileVersion commit(const std::function<void()>& beforeReplacing = {});

private:
    [[noreturn]] void fail(int errorNumber);

    QString m_path;
    QByteArray m_temporary;
    int m_fd = -1;
};

// The next version of a file holding one JSON array, begun ahead of time:
// the array as it is on disk, copied by the kernel and synced, without its
// closing bracket. Appending elements later then costs what they take, not
// what the whole file takes. The caller checks, under whatever lock guards
// the file, that it is still `replaces` before completing it.
struct PreparedArrayAppend {
    FileVersion replaces;
    // Whether the copied array holds any element, so the next one needs a
    // comma before it.
    bool hasElements = false;
    std::unique_ptr<AtomicFile> file;
};

// Absent when the file is not the version `expected` any more, or does not
// end in an array's closing bracket. A 0-byte file counts as an empty array.
// Throws FileError when the new file cannot be written.
std::optional<PreparedArrayAppend> prepareArrayAppend(const QString& path, const FileVersion& expected);

// Makes `to` hold what `from` holds now, replacing `to` atomically. A hard
// link costs no copy; where the file system refuses links the bytes are
// copied. Leaves no temporary behind when it fails. Throws FileError.
void keepCopyAtomically(const QString& from, const QString& to);

// Removes what a killed process left of its atomic writes in `folder`: the
// temporaries of the files named in `names`, and nothing else. Only safe
// while no other writer of those files can be running.
void removeStaleTemporaries(const QString& folder, const QStringList& names);

// Renames a file that cannot be used to a name beside it that says so
// ("playback_state.json.damaged-20261206-142501"), so that writing a new
// one loses nothing. Returns the new path. Throws FileError.
QString moveAside(const QString& path);

// Creates an empty file, readable by its owner alone, when nothing exists
// at `path` (a link there counts as something). Returns false when
// something was there already or the file could not be created.
bool createEmptyFileIfMissing(const QString& path);

// Removes a file. Throws FileError (for example when it does not exist).
void removeFile(const QString& path);

// Creates a folder and its missing parents, each one for its owner alone
// (0700) whatever the umask. A folder already there is left as it is.
// Throws FileError.
void createFolder(const QString& path);

// Makes `path` a folder only its owner may enter: creates it as
// createFolder does, or, when it is there already and ours, takes away
// what others may do in it. A folder of another user is neither used nor
// changed: that throws FileError, as does anything that is not a folder.
void createPrivateFolder(const QString& path);

bool exists(const QString& path);

} // namespace varno::fileio
