#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace varno {

// What a walk of folders found, as plain paths and texts.
struct FolderWalk {
    // What the walk does with a file it meets, judged by its path alone.
    enum class Choice {
        // Left out without a word (covers, playlists, notes beside music).
        Skip,
        // Listed in `mentioned` and never looked at further.
        Mention,
        // Looked at: a regular file is listed in `files`; anything else that
        // carries such a name is a failure.
        Take,
    };

    // The files taken, in enumeration order.
    std::vector<QString> files;
    // The files mentioned, in enumeration order.
    QStringList mentioned;
    // "name: reason" for every item that cannot be taken at all: a name that
    // is not valid UTF-8, a path longer than the system allows, a pipe, a
    // device or a socket, a link that leads to itself, to a loop or nowhere,
    // and for folders that cannot be opened (no permission, too deep) or
    // whose own name is not valid UTF-8.
    QStringList failures;
};

// Walks `folders` and everything below them with the system's own directory
// calls: Qt's iterator quietly drops names that are not valid UTF-8 and
// folders too deep to open, and callers must be able to say so. Hidden files
// and folders are skipped; links are looked through to what they name, but a
// link to a folder is not followed, so a loop cannot trap the walk; a folder
// that cannot be opened contributes nothing but its failure (one that does
// not exist, not even that). `choose` is asked about files only, on the
// calling thread.
//
// Blocks on the disk: call it on a worker. Callable from any thread.
FolderWalk walkFolders(const std::vector<QString>& folders, const std::function<FolderWalk::Choice(const QString& path)>& choose);

// Why `path` is a symbolic link that leads to no file, in the words a walk
// uses for one ("the link leads to itself or to a loop"); absent when it is
// not a link or leads somewhere. Blocks on the disk; callable from any
// thread.
std::optional<QString> describeBrokenLink(const QString& path);

} // namespace varno
