#pragma once

#include "library/FileSystemChange.h"
#include "library/FileWatcher.h"
#include "library/OstrelLibraryEngine.h"
#include "media/WaveformGenerator.h"

#include <QObject>
#include <QSet>
#include <QTimer>

namespace varno {

// Keeps the waveform cache true to the library: a song that left it, or
// whose file changed on disk, loses its cached peaks, so the player bar never
// draws a waveform of audio that is not there any more. Covers are left
// alone: a cover the user chose lives only in the artwork cache, and a song
// put back after a removal must find it again.
//
// Main thread only.
class MediaCacheUpkeep final : public QObject {
    Q_OBJECT

public:
    MediaCacheUpkeep(OstrelLibraryEngine& library, FileWatcher& watcher, WaveformGenerator& waveforms, QObject* parent = nullptr);

    // How long file changes are gathered before the songs they touch are
    // looked up: a file being written reports many changes.
    static constexpr std::chrono::milliseconds kQuietPeriod {1000};

private:
    void libraryChanged(const TrackListChange& change);
    void fileChanged(const FileSystemChange& change);
    void invalidateChangedFiles();

    OstrelLibraryEngine& m_library;
    WaveformGenerator& m_waveforms;
    // The list before the latest change, to know which songs a removal took.
    TrackList m_known;
    QSet<FileURL> m_changedFiles;
    QTimer m_quiet;
};

} // namespace varno
