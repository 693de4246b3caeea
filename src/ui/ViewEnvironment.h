#pragma once

namespace varno {

class AlbumCatalog;
class ArtworkCache;
class AudioEngine;
class DesktopDialogs;
class InspectedSongState;
class LibraryEngine;
class PlaylistEngine;
class QueueEngine;
class SearchEngine;
class ThemeEngine;
class ThumbnailGenerator;
class TrackEditor;
class TrackTableLayoutState;
class WaveformGenerator;
class WorkspacePanelState;

// What every view may read and call: the engines, the window's own state and
// the desktop's dialogs. The main window builds one from the composition root
// and hands it down; tests build one over fakes. Views keep references only,
// they never own what is in here. Main thread only.
struct ViewEnvironment {
    LibraryEngine& libraryEngine;
    AudioEngine& audioEngine;
    QueueEngine& queueEngine;
    PlaylistEngine& playlistEngine;
    SearchEngine& searchEngine;
    ArtworkCache& artworkCache;
    // Every edit of a song's record or cover goes through it.
    TrackEditor& trackEditor;
    ThumbnailGenerator& thumbnailGenerator;
    WaveformGenerator& waveformGenerator;
    ThemeEngine& themeEngine;
    TrackTableLayoutState& trackTableLayout;
    WorkspacePanelState& panelState;
    // The inspected song, shared by the song lists and the inspector.
    InspectedSongState& inspection;
    // The library's albums, grouped once for both album screens.
    AlbumCatalog& albumCatalog;
    DesktopDialogs& dialogs;
};

} // namespace varno
