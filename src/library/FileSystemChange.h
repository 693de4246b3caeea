#pragma once

#include "storage/FileURL.h"

#include <QMetaType>

#include <utility>

namespace varno {

// One change the file watcher saw below a watched folder.
class FileSystemChange {
public:
    enum class Kind {
        Added,    // A file was created.
        Modified, // A file was changed, or renamed (each name it had is reported).
        Renamed,  // Part of the vocabulary, but no watcher on this system reports it.
        Deleted,  // A file was removed.
    };

    static FileSystemChange added(FileURL url) { return {Kind::Added, std::move(url)}; }
    static FileSystemChange modified(FileURL url) { return {Kind::Modified, std::move(url)}; }
    static FileSystemChange renamed(FileURL from, FileURL to) { return {Kind::Renamed, std::move(to), std::move(from)}; }
    static FileSystemChange deleted(FileURL url) { return {Kind::Deleted, std::move(url)}; }

    Kind kind() const { return m_kind; }
    // The file the change is about; for a rename, its new location.
    const FileURL& url() const { return m_url; }
    // Where a renamed file was before; empty for every other kind.
    const FileURL& previousURL() const { return m_previousURL; }

    friend bool operator==(const FileSystemChange&, const FileSystemChange&) = default;

private:
    FileSystemChange(Kind kind, FileURL url, FileURL previousURL = {})
        : m_kind(kind)
        , m_url(std::move(url))
        , m_previousURL(std::move(previousURL))
    {
    }

    Kind m_kind;
    FileURL m_url;
    FileURL m_previousURL;
};

} // namespace varno

Q_DECLARE_METATYPE(varno::FileSystemChange)
