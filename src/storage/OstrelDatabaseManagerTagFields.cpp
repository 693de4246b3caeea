#include "OstrelDatabaseManager.h"

namespace varno {

TracksFileUpdate OstrelDatabaseManager::fillTagFieldsInTracksFile(const std::vector<TagFieldsFill>& fills) const
{
    // Read, filled and written under one hold of the lock: the fields are
    // filled on the records as they are on disk now, never on copies taken
    // while the files were being read.
    const fileio::FileLock lock = lockState();
    fileio::FileVersion version;
    bool differs = false;
    TrackList stored = storedTracks(version, differs);
    TrackList filled = varno::fillTagFields(stored, fills);
    if (filled.empty()) {
        TracksFileUpdate unchanged;
        unchanged.storedCount = stored.size();
        if (differs) {
            rememberTracks(version, stored);
            unchanged.library = std::move(stored);
        }
        return unchanged;
    }
    TracksFileUpdate update = writeTracks(std::move(stored), version, differs);
    update.filled = std::move(filled);
    return update;
}

QCoro::Task<TracksFileUpdate> OstrelDatabaseManager::fillTagFields(std::vector<TagFieldsFill> fills)
{
    auto work = m_worker.run([this, fills = std::move(fills)] { return fillTagFieldsInTracksFile(fills); });
    co_return co_await work;
}

} // namespace varno
