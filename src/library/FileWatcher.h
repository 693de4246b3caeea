#pragma once

#include "library/FileSystemChange.h"
#include "storage/FileURL.h"

#include <QObject>

#include <vector>

namespace varno {

// Watches the folders of the library for files being added, changed and
// removed, and reports each change once.
//
// Main thread only. Changes are emitted on the watcher's own thread;
// subscribers reach their own thread through a queued connection, and must
// not block on the main thread while handling a change.
class FileWatcher : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~FileWatcher() override = default;

signals:
    void changeOccurred(varno::FileSystemChange change);

public:
    // The watched folders, in the order they were added, each once.
    virtual std::vector<FileURL> monitoredFolders() const = 0;

    // Adds a folder, with everything below it, to what is watched; a folder
    // already watched is left as it is. May throw.
    virtual void startWatching(const FileURL& folder) = 0;
    // Adds folders without waiting for the watch to be in place: watching a
    // large collection walks thousands of folders, which must not hold the
    // caller. Changes in the first moments may go unreported, as they would
    // before the app started.
    virtual void startWatchingInBackground(const std::vector<FileURL>& folders)
    {
        for (const FileURL& folder : folders)
            startWatching(folder);
    }
    virtual void stopWatching(const FileURL& folder) = 0;

    // Changes that happen while paused are dropped, never reported later.
    virtual void pause() = 0;
    virtual void resume() = 0;
};

} // namespace varno
