#pragma once

namespace varno {

class ArtworkCache;
class AudioEngine;
class LibraryEngine;
class PlaylistEngine;
class QueueEngine;
class RecoveryMessage;
class SearchEngine;
class ThemeEngine;
class ThumbnailGenerator;
class TrackEditor;
class WaveformGenerator;

// What the composition root hands the main window: the engines' interfaces,
// the track editor and the start-up message. The window builds its views'
// environment from these and its own state; it owns none of them.
struct WindowEngines {
    LibraryEngine& libraryEngine;
    AudioEngine& audioEngine;
    QueueEngine& queueEngine;
    PlaylistEngine& playlistEngine;
    SearchEngine& searchEngine;
    ArtworkCache& artworkCache;
    TrackEditor& trackEditor;
    ThumbnailGenerator& thumbnailGenerator;
    WaveformGenerator& waveformGenerator;
    ThemeEngine& themeEngine;
    RecoveryMessage& recoveryMessage;
};

} // namespace varno
