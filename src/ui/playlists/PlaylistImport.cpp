#include "PlaylistImport.h"

#include "library/AudioImportSupport.h"
#include "library/LibraryEngine.h"
#include "platform/Worker.h"
#include "playlists/PlaylistEngine.h"

#include <QFileInfo>
#include <QHash>

namespace varno {

QCoro::Task<std::vector<FileURL>> importableAudioFiles(std::vector<FileURL> urls)
{
    // A folder may be named like a song ("album.flac"), so the disk is asked;
    // on a worker, since a drop of thousands of files on a slow disk would
    // otherwise hold the window.
    auto checking = runOn(QThreadPool::globalInstance(), [urls = std::move(urls)]() mutable {
        std::erase_if(urls, [](const FileURL& url) {
            return !AudioImportSupport::isSupportedAudioURL(url) || QFileInfo(url.toLocalFile()).isDir();
        });
        return std::move(urls);
    });
    co_return co_await std::move(checking);
}

TrackList librarySongsAt(const TrackList& library, const std::vector<FileURL>& urls)
{
    QHash<FileURL, std::size_t> position;
    position.reserve(static_cast<qsizetype>(urls.size()));
    for (const FileURL& url : urls) {
        if (!position.contains(url))
            position.insert(url, static_cast<std::size_t>(position.size()));
    }
    std::vector<QList<SharedTrack>> found(static_cast<std::size_t>(position.size()));
    for (const SharedTrack& song : library.sharedSongs()) {
        const auto at = position.constFind(song->fileURL);
        if (at != position.constEnd())
            found[*at].append(song);
    }
    TrackList songs;
    for (QList<SharedTrack>& atURL : found) {
        for (SharedTrack& song : atURL)
            songs.append(std::move(song));
    }
    return songs;
}

QCoro::Task<bool> importIntoPlaylist(LibraryEngine& library, PlaylistEngine& playlists, QUuid playlistID, std::vector<FileURL> urls)
{
    auto checking = importableAudioFiles(std::move(urls));
    std::vector<FileURL> files = co_await std::move(checking);
    if (files.empty())
        co_return false;
    auto importing = library.importFiles(files);
    co_await std::move(importing);
    TrackList songs = librarySongsAt(library.allTracks(), files);
    auto adding = playlists.addTracks(std::move(songs), playlistID);
    co_await std::move(adding);
    co_return true;
}

} // namespace varno
