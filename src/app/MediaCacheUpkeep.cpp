#include "MediaCacheUpkeep.h"

namespace varno {

MediaCacheUpkeep::MediaCacheUpkeep(OstrelLibraryEngine& library, FileWatcher& watcher, WaveformGenerator& waveforms, QObject* parent)
    : QObject(parent)
    , m_library(library)
    , m_waveforms(waveforms)
    , m_known(library.allTracks())
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietPeriod);
    connect(&m_quiet, &QTimer::timeout, this, &MediaCacheUpkeep::invalidateChangedFiles);
    connect(&library, &LibraryEngine::tracksChanged, this, &MediaCacheUpkeep::libraryChanged);
    // The watcher reports on its own thread; the context object brings each
    // change here.
    connect(&watcher, &FileWatcher::changeOccurred, this, &MediaCacheUpkeep::fileChanged, Qt::QueuedConnection);
}

void MediaCacheUpkeep::libraryChanged(const TrackListChange& change)
{
    TrackList now = m_library.allTracks();
    if (change.kind == TrackListChange::Kind::Removed) {
        for (const std::size_t position : change.positions) {
            if (position < m_known.size())
                m_waveforms.invalidateCache(m_known[position].id);
        }
    } else if (change.kind == TrackListChange::Kind::Reset && !m_known.empty()) {
        // Another process changed the library: whatever is gone from it.
        QSet<QUuid> kept;
        kept.reserve(qsizetype(now.size()));
        for (const Track& song : now)
            kept.insert(song.id);
        for (const Track& song : m_known) {
            if (!kept.contains(song.id))
                m_waveforms.invalidateCache(song.id);
        }
    }
    m_known = std::move(now);
}

void MediaCacheUpkeep::fileChanged(const FileSystemChange& change)
{
    if (change.kind() != FileSystemChange::Kind::Modified)
        return;
    m_changedFiles.insert(change.url());
    m_quiet.start();
}

void MediaCacheUpkeep::invalidateChangedFiles()
{
    const QSet<FileURL> changed = std::exchange(m_changedFiles, {});
    const QHash<FileURL, SharedTrack> songs = m_library.songsAt(changed);
    for (const SharedTrack& song : songs)
        m_waveforms.invalidateCache(song->id);
}

} // namespace varno
