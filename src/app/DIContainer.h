#pragma once

#include "app/MediaCacheUpkeep.h"
#include "app/PlaybackSessionRestore.h"
#include "edits/TrackEditor.h"
#include "library/FileWatcher.h"
#include "library/LibraryEngine.h"
#include "library/OstrelLibraryEngine.h"
#include "library/MetadataEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "media/OstrelArtworkCache.h"
#include "media/OstrelThemeEngine.h"
#include "media/OstrelThumbnailGenerator.h"
#include "media/OstrelWaveformGenerator.h"
#include "playback/OstrelAudioDecoder.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"
#include "playlists/OstrelPlaylistEngine.h"
#include "playlists/OstrelPlaylistStorage.h"
#include "playlists/OstrelSearchEngine.h"
#include "platform/PreferencesStore.h"
#include "storage/MetadataCache.h"
#include "storage/OstrelDatabaseManager.h"
#include "ui/WindowEngines.h"
#include "workspace/PlaybackPreferences.h"
#include "workspace/RecoveryMessage.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

namespace varno {

class FolderChangeMonitor;

// The composition root: creates every engine once, wires them, runs the boot
// task and publishes the one user-facing recovery message. Main thread only.
//
// Engines are added here in their fixed construction order as they land:
// database manager, file watcher, metadata engine, artwork cache, waveform
// generator, metadata cache, audio decoder, playlist storage, library engine,
// audio engine, queue engine, playlist engine, theme engine. The thumbnail
// generator follows the artwork cache it works for, the search engine, fed
// from the library's and the playlists' published lists, follows the
// playlist engine, and the track editor, which writes through the library
// and the artwork cache, comes last.
//
// The getters hand out the engines' interfaces: what only the concrete
// classes offer is for the container's own wiring.
class DIContainer final : public QObject {
    Q_OBJECT

public:
    // Builds everything and starts the boot task without waiting for it.
    // Throws what the persistence layer throws when it cannot be built.
    // Sound goes to the output VARNO_AUDIO_OUTPUT selects, or through
    // `players` when given.
    DIContainer();
    explicit DIContainer(std::unique_ptr<AudioPlayerFactory> players);
    ~DIContainer() override;

    // For the app: builds the container or, when the persistence layer cannot
    // be built, writes the critical boot failure line and ends the process
    // with status 1 before any window exists.
    static std::unique_ptr<DIContainer> createOrExit();

    const std::optional<QString>& recoveryMessage() const { return m_recoveryMessage.message(); }
    void dismissRecoveryMessage() { m_recoveryMessage.dismiss(); }

    DatabaseManager& databaseManager() { return *m_databaseManager; }
    FileWatcher& fileWatcher() { return *m_fileWatcher; }
    MetadataEngine& metadataEngine() { return *m_metadataEngine; }
    ArtworkCache& artworkCache() { return *m_artworkCache; }
    ThumbnailGenerator& thumbnailGenerator() { return *m_thumbnailGenerator; }
    WaveformGenerator& waveformGenerator() { return *m_waveformGenerator; }
    ThemeEngine& themeEngine() { return *m_themeEngine; }
    MetadataCache& metadataCache() { return *m_metadataCache; }
    LibraryEngine& libraryEngine() { return *m_libraryEngine; }
    AudioDecoder& audioDecoder() { return *m_audioDecoder; }
    AudioEngine& audioEngine() { return *m_audioEngine; }
    QueueEngine& queueEngine() { return *m_queueEngine; }
    PlaylistStorage& playlistStorage() { return *m_playlistStorage; }
    PlaylistEngine& playlistEngine() { return *m_playlistEngine; }
    SearchEngine& searchEngine() { return *m_searchEngine; }
    TrackEditor& trackEditor() { return *m_trackEditor; }
    // What the main window shows and calls.
    WindowEngines windowEngines();

    bool isBootFinished() const { return m_bootFinished; }
    // Before the engines go at exit: lets work running on their threads end
    // and its answers be delivered, so no coroutine is left suspended
    // (its frame would never be freed). The views must be gone already.
    void finishBackgroundWork();
    // Whether a change of the state folder is waiting to be looked at.
    bool isStateFolderCheckPending() const;

    // The first sample file under the home folder that exists, if any.
    static std::optional<QString> demoSampleFile();

signals:
    void recoveryMessageChanged();
    void bootFinished();

private:
    void setRecoveryMessage(const std::optional<QString>& message);
    QCoro::Task<> boot();
    QCoro::Task<> loadLibrary();
    QCoro::Task<> restorePlaybackSession();
    QCoro::Task<> runDemoBootstrap();
    QCoro::Task<> refreshFromStateFiles();
    // Writes the session before the app loses focus or quits, so a crash or
    // a kill afterwards loses nothing.
    void saveSessionNow();

    RecoveryMessage m_recoveryMessage;
    std::unique_ptr<PreferencesStore> m_preferences;
    std::unique_ptr<OstrelDatabaseManager> m_databaseManager;
    std::unique_ptr<FileWatcher> m_fileWatcher;
    std::unique_ptr<OstrelMetadataEngine> m_metadataEngine;
    std::unique_ptr<OstrelArtworkCache> m_artworkCache;
    std::unique_ptr<OstrelThumbnailGenerator> m_thumbnailGenerator;
    std::unique_ptr<OstrelWaveformGenerator> m_waveformGenerator;
    std::unique_ptr<MetadataCache> m_metadataCache;
    std::unique_ptr<OstrelAudioDecoder> m_audioDecoder;
    std::unique_ptr<OstrelPlaylistStorage> m_playlistStorage;
    std::unique_ptr<OstrelLibraryEngine> m_libraryEngine;
    std::unique_ptr<OstrelAudioEngine> m_audioEngine;
    std::unique_ptr<OstrelQueueEngine> m_queueEngine;
    std::unique_ptr<OstrelPlaylistEngine> m_playlistEngine;
    std::unique_ptr<OstrelSearchEngine> m_searchEngine;
    std::unique_ptr<OstrelThemeEngine> m_themeEngine;
    std::unique_ptr<TrackEditor> m_trackEditor;
    // Other processes (the command-line tool) may change the state files;
    // when the folder changes the library checks whether it must reload.
    std::unique_ptr<FolderChangeMonitor> m_stateFolderMonitor;
    std::unique_ptr<MediaCacheUpkeep> m_mediaCacheUpkeep;
    // After the audio engine, whose settings it keeps; it goes first.
    std::unique_ptr<PlaybackPreferences> m_playbackPreferences;

    bool m_bootFinished = false;
    int m_refreshesInFlight = 0;
    std::optional<QCoro::Task<>> m_bootTask;
};

} // namespace varno
