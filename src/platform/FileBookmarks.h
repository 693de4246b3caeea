#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Saved access to user files. Linux has no access grants: a bookmark is an
// opaque, versioned record from which the file can be found again (its path,
// plus its device and inode numbers so a moved file can be traced later), and
// "starting access" never grants anything. Callable from any thread.
namespace varno::bookmarks {

// Thrown with the system's reason ("No such file or directory").
class BookmarkError final : public Error {
public:
    explicit BookmarkError(const QString& reason)
        : Error(reason)
    {
    }
};

// The bookmark of an existing file or folder. Throws BookmarkError.
QByteArray create(const QString& path);

// What a bookmark records.
struct Record {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
};

// Decodes a bookmark without touching the file system. Throws BookmarkError
// for bytes that are not a bookmark of a known version.
Record decode(const QByteArray& bookmark);

// The path a bookmark leads to now: the recorded path while something is
// there. Throws BookmarkError with the system's reason otherwise.
QString resolve(const QByteArray& bookmark);

// Access grants do not exist here: starting always reports "not granted",
// so nothing must be ended later.
bool startAccessing(const QString& path);
void stopAccessing(const QString& path);

// Why this process may not read `path` as a regular file, in the system's
// words ("Permission denied", "No such file or directory", "Is a
// directory"); nothing when it may.
std::optional<QString> unreadableFileReason(const QString& path);

} // namespace varno::bookmarks
