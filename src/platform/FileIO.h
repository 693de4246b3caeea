#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

// Whole-file reads and atomic whole-file writes: the only way state files are
// touched. Callable from any thread; each call works on its own descriptors.
namespace varno::fileio {

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

private:
    friend std::optional<FileBytes> readWholeFile(const QString&, std::size_t);
    static FileBytes mapped(char* data, std::size_t size, std::size_t mappedLength);
    void release();

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    // Non-zero when m_data is a mapping of this many bytes, else heap memory.
    std::size_t m_mappedLength = 0;
};

inline constexpr std::size_t kReadPadding = 64;

// Reads a whole file. Absent when it cannot be read for any reason (missing,
// no permission, a folder); state files treat that as "nothing stored".
std::optional<FileBytes> readWholeFile(const QString& path, std::size_t padding = kReadPadding);

// Replaces `path` with `bytes` so that a crash or a kill at any moment leaves
// either the old or the new content: a temporary file in the same folder is
// written, synced and renamed over the old one, then the folder is synced.
// Throws FileError.
void writeFileAtomically(const QString& path, std::string_view bytes);

// The streaming form of writeFileAtomically, for content produced piece by
// piece: written to a temporary file in the target's folder and moved into
// place by commit(). Destroyed without commit(), it removes the temporary
// file and the target is untouched. Throws FileError.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);
    void commit();

private:
    [[noreturn]] void fail(int errorNumber);

    QString m_path;
    QByteArray m_temporary;
    int m_fd = -1;
};

// Makes `to` hold what `from` holds now, replacing `to` atomically. A hard
// link costs no copy; where the file system refuses links the bytes are
// copied. Throws FileError.
void keepCopyAtomically(const QString& from, const QString& to);

// Creates an empty file when nothing exists at `path`. Returns false when
// something was there already or the file could not be created.
bool createEmptyFileIfMissing(const QString& path);

// Removes a file. Throws FileError (for example when it does not exist).
void removeFile(const QString& path);

// Creates a folder and its missing parents. Throws FileError.
void createFolder(const QString& path);

bool exists(const QString& path);

} // namespace varno::fileio
