// Removal of songs from the library and their return by undo. Kept apart from
// OstrelLibraryEngine.cpp because it is the only part of the engine that
// deletes user files.

#include "OstrelLibraryEngine.h"

#include "library/AudioImportSupport.h"
#include "library/LibraryTrackRemovalError.h"
#include "library/SecurityScopedResource.h"
#include "platform/FileBookmarks.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/Worker.h"
#include "storage/DatabaseError.h"

#include <QFile>
#include <QThreadPool>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace varno {

namespace {

// What is at the place a permanent deletion would remove.
enum class DeletionTarget { Missing, AudioFile, NotAudio };

// The location SecurityScopedResource::access(track) will open: the path the
// bookmark records, or the song's own URL. A bookmark that cannot be decoded
// is left for access() to report.
FileURL accessLocation(const Track& track)
{
    if (track.securityScopedBookmark) {
        try {
            return FileURL::fromLocalFile(bookmarks::decode(*track.securityScopedBookmark).path);
        } catch (const bookmarks::BookmarkError&) {
        }
    }
    return track.fileURL;
}

bool isMissing(int errorNumber)
{
    return errorNumber == ENOENT || errorNumber == ENOTDIR;
}

// Only a regular file with an audio extension may be deleted. A symbolic link
// counts as what it points at, and deleting it removes the link alone, never
// the file behind it. Throws FileError when the item cannot be examined.
DeletionTarget inspectDeletionTarget(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        if (isMissing(errno))
            return DeletionTarget::Missing;
        throw FileError(FileError::Operation::Read, path, errno);
    }
    if (S_ISLNK(info.st_mode) && ::stat(native.constData(), &info) != 0) {
        if (isMissing(errno))
            return DeletionTarget::Missing;
        throw FileError(FileError::Operation::Read, path, errno);
    }
    if (!S_ISREG(info.st_mode) || !AudioImportSupport::isSupportedAudioPath(path))
        return DeletionTarget::NotAudio;
    return DeletionTarget::AudioFile;
}

bool somethingExistsAt(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

QCoro::Task<> OstrelLibraryEngine::removeTrack(Track track, RemovalKind kind)
{
    // The library's own record is the one written back, evicted and accessed:
    // the caller's copy may predate an edit.
    const SharedTrack listed = m_tracks.find(track.id);
    if (!listed)
        throw DatabaseError::entityNotFound(QStringLiteral("Track not found in the local library."));
    const Track& song = *listed;

    // Opening access is only a readability check on Linux, which would report
    // a vanished file or a folder as lost permission; the location is examined
    // first so that each case gets its own message. The access is held until
    // the file is gone.
    std::unique_ptr<SecurityScopedResource> access;
    if (kind == RemovalKind::DeleteFile) {
        const FileURL location = accessLocation(song);
        switch (inspectDeletionTarget(location.toLocalFile())) {
        case DeletionTarget::Missing:
            throw LibraryTrackRemovalError::restorationFileMissing(location);
        case DeletionTarget::NotAudio:
            throw LibraryTrackRemovalError::invalidDeletionTarget(location);
        case DeletionTarget::AudioFile:
            break;
        }
        access = SecurityScopedResource::access(song);
    }

    TrackList entry;
    entry.append(listed);
    auto deleting = m_database.deleteTracks(entry);
    const TracksFileUpdate update = co_await deleting;

    if (access) {
        // Unlinking never removes a folder, so one that took the file's place
        // after the check above survives; deleting a large file can take a
        // while on some file systems, hence the worker.
        const QString path = access->path();
        std::optional<QString> deletionError;
        auto unlinking = runOn(QThreadPool::globalInstance(), [path] { fileio::removeFile(path); });
        try {
            co_await unlinking;
        } catch (const std::exception& error) {
            deletionError = describe(error);
        }
        if (deletionError) {
            // The list and the index still hold the song; only the tracks file
            // has to get its entry back.
            std::optional<QString> rollbackError;
            auto rollingBack = m_database.saveTracks(entry);
            try {
                co_await rollingBack;
            } catch (const std::exception& error) {
                rollbackError = describe(error);
            }
            if (rollbackError)
                throw LibraryTrackRemovalError::rollbackFailed(access->url(), *deletionError, *rollbackError);
            throw LibraryTrackRemovalError::fileDeletionFailed(access->url(), *deletionError);
        }
    }

    if (update.library) {
        auto adopting = adoptLibrary(*update.library);
        co_await adopting;
    }
    auto evicting = m_metadataCache.evict(song);
    co_await evicting;
    // Filtered from the list as it is now: other operations may have changed
    // it while the files were written.
    TrackList remaining = m_tracks;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0, old = 0; i < remaining.size(); ++old) {
        if (remaining[i].id == song.id) {
            remaining.removeAt(i);
            positions.push_back(old);
        } else {
            ++i;
        }
    }
    if (!positions.empty())
        setTracks(std::move(remaining), TrackListChange::removed(std::move(positions)));
}

QCoro::Task<> OstrelLibraryEngine::restoreTrack(Track track)
{
    // As for deletion, a vanished file is told apart from refused access
    // before access is opened.
    const FileURL location = accessLocation(track);
    if (!somethingExistsAt(location.toLocalFile()))
        throw LibraryTrackRemovalError::restorationFileMissing(location);
    const std::unique_ptr<SecurityScopedResource> access = SecurityScopedResource::access(track);

    TrackList entry;
    entry.append(std::make_shared<const Track>(std::move(track)));
    // Put back whether or not the file still lists it, unlike an edit.
    auto saving = m_database.saveTracks(entry);
    const TracksFileUpdate update = co_await saving;
    if (update.library) {
        auto adopting = adoptLibrary(*update.library);
        co_await adopting;
    }
    auto indexing = m_metadataCache.insert(entry);
    co_await indexing;

    TrackList tracks = m_tracks;
    const qsizetype listed = tracks.indexOf(entry.front().id);
    if (listed >= 0) {
        tracks.replace(static_cast<std::size_t>(listed), entry.shared(0));
        setTracks(std::move(tracks), TrackListChange::updated({static_cast<std::size_t>(listed)}));
    } else {
        tracks.append(entry.shared(0));
        const std::size_t position = tracks.size() - 1;
        setTracks(std::move(tracks), TrackListChange::inserted({position}));
    }
}

} // namespace varno
