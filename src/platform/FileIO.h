#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

// Whole-file reads and atomic whole-file writes: the only way state files are
// touched. Callable from any thread; each call works on its own descriptors.
namespace varno::fileio {

// The bytes of one file followed by at least `padding` readable bytes, so a
// SIMD parser may read past the end without a copy.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(std::unique_ptr<char[]> data, std::size_t size, std::size_t capacity);

    const char* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool isEmpty() const { return m_size == 0; }
    std::string_view view() const { return {m_data.get(), m_size}; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
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

// Creates an empty file when nothing exists at `path`. Returns false when
// something was there already or the file could not be created.
bool createEmptyFileIfMissing(const QString& path);

// Removes a file. Throws FileError (for example when it does not exist).
void removeFile(const QString& path);

// Creates a folder and its missing parents. Throws FileError.
void createFolder(const QString& path);

bool exists(const QString& path);

} // namespace varno::fileio
