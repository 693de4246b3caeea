#pragma once

#include "library/FileWatcher.h"

#include <algorithm>
#include <vector>

namespace varno::test {

// A file watcher that watches nothing and remembers which folders it was
// asked to watch. Tests emit changeOccurred() on it themselves.
class RecordingFileWatcher final : public FileWatcher {
public:
    std::vector<FileURL> folders;

    std::vector<FileURL> monitoredFolders() const override { return folders; }
    void startWatching(const FileURL& folder) override { folders.push_back(folder); }
    void stopWatching(const FileURL& folder) override { std::erase(folders, folder); }
    void pause() override {}
    void resume() override {}
};

} // namespace varno::test
