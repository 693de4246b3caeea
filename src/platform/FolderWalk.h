#pragma once

#include <QString>
#include <QStringList>

#include <functional>
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
    // device or a socket, and for folders too deep to open or whose own name
    // is not valid UTF-8.
    QStringList failures;
};

// Walks `folders` and everything below them with the system's own directory
// calls: Qt's iterator quietly drops names that are not valid UTF-8 and
// folders too deep to open, and callers must be able to say so. Hidden files
// and folders are skipped; links are looked through to what they name, but a
// link to a folder is not followed, so a loop cannot trap the walk; a folder
// that cannot be read contributes nothing. `choose` is asked about files
// only, on the calling thread.
//
// Blocks on the disk: call it on a worker. Callable from any thread.
FolderWalk walkFolders(const std::vector<QString>& folders, const std::function<FolderWalk::Choice(const QString& path)>& choose);

} // namespace varno
