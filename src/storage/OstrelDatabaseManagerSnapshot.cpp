// The library's snapshot as the manager keeps it: read instead of the JSON
// while it names the file on disk, and made anew after each read or write
// of the file. The rest of the manager is in OstrelDatabaseManager.cpp.

#include "OstrelDatabaseManager.h"

#include "storage/StateCodecs.h"
#include "storage/TrackSnapshot.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varno {

namespace {

constexpr std::string_view kTracksFile = "tracks.json";

fileio::FileBytes readOrEmpty(const QString& path)
{
    std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path);
    return bytes ? std::move(*bytes) : fileio::FileBytes();
}

} // namespace

// The snapshot is written without the state lock (it is a cache, and each
// copy names the library version it was made from), so a start cannot tell
// a killed write's temporary from one another process is writing right now.
// Only those old enough to be certainly dead are removed.
void OstrelDatabaseManager::removeStaleSnapshotTemporaries() const
{
    const QFileInfo snapshot(m_snapshotPath);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-15 * 60);
    const QFileInfoList found = QDir(snapshot.path()).entryInfoList({QLatin1Char('.') + snapshot.fileName() + QStringLiteral(".*")},
                                                                    QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& temporary : found) {
        if (temporary.lastModified().toUTC() < before)
            QFile::remove(temporary.filePath());
    }
}

void OstrelDatabaseManager::rememberTracks(const fileio::FileVersion& version, const TrackList& tracks, bool fromSnapshot) const
{
    bool start = false;
    {
        const std::lock_guard guard(m_versionMutex);
        m_tracksVersion = version;
        m_knownTracks = tracks;
        // An empty library parses in no time; a snapshot of it would only
        // cost a file.
        if (!fromSnapshot && version.exists && !tracks.empty()) {
            m_pendingSnapshot.emplace(version, tracks);
            m_snapshotQueuedAt = std::chrono::steady_clock::now();
            start = !std::exchange(m_snapshotWriterRunning, true);
        }
    }
    if (start)
        m_snapshotThread.start([this] { writeSnapshotsWhenIdle(); });
}

void OstrelDatabaseManager::writeSnapshotsWhenIdle() const
{
    std::unique_lock lock(m_versionMutex);
    while (m_pendingSnapshot) {
        const auto due = m_snapshotQueuedAt + kSnapshotIdle;
        if (!m_snapshotWantedNow && std::chrono::steady_clock::now() < due) {
            m_snapshotWake.wait_until(lock, due);
            continue;
        }
        std::optional<std::pair<fileio::FileVersion, TrackList>> pending;
        pending.swap(m_pendingSnapshot);
        lock.unlock();
        if (fileio::versionOf(m_tracksPath) == pending->first)
            snapshot::write(m_snapshotPath, pending->second, pending->first);
        pending.reset();
        lock.lock();
    }
    m_snapshotWriterRunning = false;
}

void OstrelDatabaseManager::waitForSnapshot() const
{
    {
        const std::lock_guard guard(m_versionMutex);
        m_snapshotWantedNow = true;
    }
    m_snapshotWake.notify_all();
    m_snapshotThread.waitForDone();
    const std::lock_guard guard(m_versionMutex);
    m_snapshotWantedNow = false;
}

std::unique_ptr<snapshot::Mapping> OstrelDatabaseManager::mapSnapshot() const
{
    const fileio::FileVersion current = fileio::versionOf(m_tracksPath);
    if (!current.exists || current.size == 0)
        return nullptr;
    return snapshot::Mapping::open(m_snapshotPath, current);
}

TrackList OstrelDatabaseManager::readTracksFile() const
{
    // The snapshot is checked against the file as it is now; should another
    // process replace the file right after, this read is simply an older
    // version, which the next check of the version notices as it would
    // after a parse.
    const fileio::FileVersion current = fileio::versionOf(m_tracksPath);
    if (current.exists && current.size > 0) {
        if (std::optional<TrackList> tracks = snapshot::read(m_snapshotPath, current)) {
            rememberTracks(current, *tracks, true);
            return std::move(*tracks);
        }
    }
    const fileio::FileBytes bytes = readOrEmpty(m_tracksPath);
    TrackList tracks = json::decodeTrackList(bytes, kTracksFile);
    rememberTracks(bytes.version(), tracks);
    return tracks;
}

} // namespace varno
