#pragma once

#include <QString>

#include <optional>

namespace varno {

// File-system items other than regular files. Media is only ever read from
// regular files: opening a named pipe waits for a writer that may never come,
// and a device such as /dev/zero yields bytes without end.
enum class NonRegularFileKind { Folder, NamedPipe, CharacterDevice, BlockDevice, Socket };

// What `path` leads to, links followed, when that is not a regular file.
// Absent for a regular file, and for a path where nothing can be looked up:
// opening it then reports the system's reason. Asks stat(), which returns at
// once even for a named pipe. Callable from any thread.
std::optional<NonRegularFileKind> nonRegularFileKind(const QString& path);

// The same for an st_mode already at hand.
std::optional<NonRegularFileKind> nonRegularFileKindOfMode(unsigned mode);

// The kind with its article, for messages: "a named pipe".
QString nameWithArticle(NonRegularFileKind kind);

} // namespace varno
