#include "DIContainer.h"

#include <QDeadlineTimer>

#include "platform/Diagnostics.h"
#include "platform/FolderChangeMonitor.h"
#include "library/OstrelFileWatcher.h"
#include "library/OstrelLibraryEngine.h"
#include "library/OstrelMetadataEngine.h"
#include "platform/FileIO.h"
#include "platform/ProcessClock.h"
#include "platform/SettingsPreferencesStore.h"
#include "platform/Worker.h"
#include "storage/StateCodecs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

namespace varno {

Q_LOGGING_CATEGORY(lcBoot, "varno.boot")

DIContainer::DIContainer()
    : DIContainer(makeDefaultAudioPlayerFactory())
{
}

DIContainer::DIContainer(std::unique_ptr<AudioPlayerFactory> players)
    : m_preferences(std::make_unique<SettingsPreferencesStore>())
    // The persistence layer comes first: nothing else is worth building when
    // there is nowhere to keep the library.
    , m_databaseManager(std::make_unique<OstrelDatabaseManager>(*m_preferences))
    , m_fileWatcher(std::make_unique<OstrelFileWatcher>())
    , m_metadataEngine(std::make_unique<OstrelMetadataEngine>())
    , m_artworkCache(std::make_unique<OstrelArtworkCache>(CacheMetrics {536870912, 2147483648}, std::nullopt, m_metadataEngine.get(),
                                                          m_fileWatcher.get()))
    , m_thumbnailGenerator(std::make_unique<OstrelThumbnailGenerator>(*m_artworkCache))
    , m_waveformGenerator(std::make_unique<OstrelWaveformGenerator>())
    , m_metadataCache(std::make_unique<MetadataCache>())
    , m_audioDecoder(std::make_unique<OstrelAudioDecoder>())
    , m_playlistStorage(std::make_unique<OstrelPlaylistStorage>())
    , m_libraryEngine(std::make_unique<OstrelLibraryEngine>(*m_databaseManager, *m_metadataEngine, *m_metadataCache, *m_fileWatcher))
    , m_audioEngine(std::make_unique<OstrelAudioEngine>(std::move(players)))
    , m_queueEngine(std::make_unique<OstrelQueueEngine>(m_databaseManager.get()))
    , m_playlistEngine(std::make_unique<OstrelPlaylistEngine>(*m_playlistStorage, *m_libraryEngine, *m_queueEngine, m_databaseManager.get()))
    , m_searchEngine(std::make_unique<OstrelSearchEngine>())
    , m_themeEngine(std::make_unique<OstrelThemeEngine>(m_preferences.get()))
    , m_trackEditor(std::make_unique<TrackEditor>(*m_libraryEngine, *m_artworkCache))
{
    // The only links between engines: the queue plays through the audio
    // engine, which reports back to the queue. Neither owns the other.
    m_queueEngine->setAudioEngine(m_audioEngine.get());
    // The playback settings the user chose last time, kept as they change.
    m_playbackPreferences = std::make_unique<PlaybackPreferences>(*m_audioEngine, *m_preferences);
    // A missing output device is told in the player bar's banner, where
    // playback's other news goes.
    connect(m_audioEngine.get(), &AudioEngine::outputDeviceMissing, m_queueEngine.get(),
            [this](std::exception_ptr notice) { m_queueEngine->reportPlaybackError(std::move(notice)); });

    connect(&m_recoveryMessage, &RecoveryMessage::changed, this, &DIContainer::recoveryMessageChanged);

    // Search keeps its own copy of what it searches; handing it the shared
    // lists copies no song.
    connect(m_libraryEngine.get(), &LibraryEngine::tracksChanged, m_searchEngine.get(),
            [this] { m_searchEngine->updateTracks(m_libraryEngine->allTracks()); });
    connect(m_playlistEngine.get(), &PlaylistEngine::rootPlaylistsChanged, m_searchEngine.get(),
            [this] { m_searchEngine->updatePlaylists(m_playlistEngine->playlistsInTreeOrder()); });

    m_mediaCacheUpkeep = std::make_unique<MediaCacheUpkeep>(*m_libraryEngine, *m_fileWatcher, *m_waveformGenerator);

    m_stateFolderMonitor = std::make_unique<FolderChangeMonitor>(m_databaseManager->storageDirectory());
    connect(m_stateFolderMonitor.get(), &FolderChangeMonitor::changed, this, [this] { refreshFromStateFiles(); });

    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &DIContainer::saveSessionNow);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive)
                saveSessionNow();
        });
    }

    m_bootTask.emplace(boot());
}

QCoro::Task<> DIContainer::refreshFromStateFiles()
{
    ++m_refreshesInFlight;
    auto library = m_libraryEngine->refreshIfChangedElsewhere();
    auto playlists = m_playlistEngine->refreshIfChangedElsewhere();
    co_await library;
    co_await playlists;
    // The container outlives the refresh: finishBackgroundWork waits for it.
    --m_refreshesInFlight;
}

void DIContainer::finishBackgroundWork()
{
    // No new look at the state folder, and the looks already started end
    // before the engines go.
    m_stateFolderMonitor.reset();
    // An import still running (a drop, an open-with) stops after the file
    // it reads; what it imported so far is kept.
    if (m_libraryEngine->importProgress().active)
        m_libraryEngine->cancelImport();
    // Every coroutine waiting for a worker of this thread is let resume and
    // end: one left suspended would never be freed. Bounded, so a worker
    // stuck on a dead network share cannot hold the quit forever.
    QDeadlineTimer deadline(10000);
    detail::ResumeQueue* hops = detail::ResumeQueue::forCurrentThread();
    while ((m_refreshesInFlight > 0 || !hops->isIdle()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // An answer may start more work (a cover read, then its thumbnail; a
    // changed folder looked at, then its new files read), so rounds go on
    // while work that finished waits to be resumed. Every pool is waited for
    // before looking, so work still running is not taken for none.
    for (int round = 0;; ++round) {
        m_waveformGenerator->waitForIdle();
        m_artworkCache->waitForIdle();
        m_libraryEngine->waitForIdle();
        m_metadataEngine->waitForIdle();
        // Short jobs of the views and engines (decoding a preview, reading a
        // picked cover) whose coroutines wait for them.
        QThreadPool::globalInstance()->waitForDone();
        if (round >= 3 && (hops->isIdle() || deadline.hasExpired()))
            break;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

bool DIContainer::isStateFolderCheckPending() const
{
    return m_stateFolderMonitor && m_stateFolderMonitor->isPending();
}

void DIContainer::saveSessionNow()
{
    // Before the boot restore has run, the live queue is still empty and
    // would overwrite the saved session with nothing.
    if (m_bootFinished)
        m_queueEngine->savePlaybackState(true);
}

// Members go in reverse order: the engines that use the database manager
// before the manager itself, whose destructor waits for its worker.
DIContainer::~DIContainer() = default;

std::unique_ptr<DIContainer> DIContainer::createOrExit()
{
    try {
        return std::make_unique<DIContainer>();
    } catch (const std::exception& error) {
        const QByteArray line = QStringLiteral("CRITICAL BOOT FAILURE: Failed to initialize Studio graph: %1\n").arg(describe(error)).toUtf8();
        std::fputs(line.constData(), stderr);
        std::fflush(stderr);
        std::exit(1);
    }
}

void DIContainer::setRecoveryMessage(const std::optional<QString>& message)
{
    m_recoveryMessage.set(message);
}

WindowEngines DIContainer::windowEngines()
{
    return WindowEngines {*m_libraryEngine,       *m_audioEngine,       *m_queueEngine, *m_playlistEngine,
                          *m_searchEngine,        *m_artworkCache,      *m_trackEditor, *m_thumbnailGenerator,
                          *m_waveformGenerator,   *m_themeEngine,       m_recoveryMessage};
}

QCoro::Task<> DIContainer::boot()
{
    // The container may be destroyed while a step is suspended (a window
    // closed during start-up); every resumption checks before touching it.
    QPointer<DIContainer> self(this);
    co_await loadLibrary();
    if (!self)
        co_return;
    co_await restorePlaybackSession();
    if (!self)
        co_return;
    co_await runDemoBootstrap();
    if (!self)
        co_return;
    // The playlists load beside the library; start-up is over when they are in.
    auto playlists = m_playlistEngine->waitForPendingOperations();
    co_await playlists;
    if (!self)
        co_return;
    // Said after the rest, each on a line of its own below what the session
    // restore had to say. Playlists that are there but cannot be read would
    // otherwise show as none, and unreadable preferences as defaults.
    const auto addLine = [this](const QString& line) {
        const std::optional<QString>& earlier = m_recoveryMessage.message();
        setRecoveryMessage(earlier ? *earlier + QLatin1Char('\n') + line : line);
    };
    if (const std::optional<QString>& error = m_playlistEngine->loadError())
        addLine(QStringLiteral("Playlists could not be loaded: ") + *error);
    if (const std::optional<QString> problem = m_preferences->problem())
        addLine(*problem + QStringLiteral(" Changes made now last until you quit; the file is left as it is."));
    m_bootFinished = true;
    emit bootFinished();
}

QCoro::Task<> DIContainer::loadLibrary()
{
    // The engine reports a failed load itself and keeps an empty library.
    QPointer<DIContainer> self(this);
    auto loading = m_libraryEngine->loadLibraryFromDisk();
    co_await loading;
    // The saved session names songs of the library that could not be read;
    // it stays on disk as it is for a later start that can read them.
    if (self && m_libraryEngine->loadError())
        m_queueEngine->setKeepsSavedSession(true);
    // One line anyone can time start-up by.
    if (self && !m_libraryEngine->loadError())
        qCInfo(lcBoot).noquote() << QStringLiteral("library loaded: %1 songs, %2 ms after the process started")
                                        .arg(m_libraryEngine->allTracks().size())
                                        .arg(millisecondsSinceProcessStart());
}

QCoro::Task<> DIContainer::restorePlaybackSession()
{
    const QString statePath = m_databaseManager->playbackStateFileURL().toLocalFile();
    PlaybackStateSnapshot snapshot;
    try {
        // A session file that is there but cannot be read is reported like
        // one that does not decode; only a missing or empty one is silent.
        const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(statePath);
        if (!bytes || bytes->isEmpty())
            co_return;
        snapshot = json::decodePlaybackStateSnapshot(*bytes, "playback_state.json");
    } catch (const std::exception& error) {
        setRecoveryMessage(QStringLiteral("Playback could not be restored: ") + describe(error));
        m_queueEngine->reportPlaybackError(std::current_exception());
        co_return;
    }

    // The library holds the songs when it loaded; otherwise the tracks file
    // is read again, any failure counting as an empty library.
    TrackList fromFile;
    const TrackList* songs = &m_libraryEngine->allTracks();
    if (songs->empty()) {
        QPointer<DIContainer> self(this);
        try {
            fromFile = co_await m_databaseManager->loadAllTracks();
        } catch (const std::exception&) {
            fromFile.clear();
        }
        if (!self)
            co_return;
        songs = &fromFile;
    }

    std::optional<RestoredPlaybackSession> session = resolvePlaybackSession(snapshot, *songs);
    if (!session) {
        setRecoveryMessage(kLastTrackUnavailableMessage);
        co_return;
    }
    m_queueEngine->restorePlaybackSession(session->currentTrack, session->upcoming, session->history, session->repeatMode,
                                          session->shuffleMode, session->playbackOrder);
    m_audioEngine->setVolume(session->volume);
    // A restored session never starts sounding by itself: the song waits,
    // paused at the saved time.
    try {
        m_audioEngine->restore(*session->currentTrack, session->currentTime);
    } catch (const std::exception& error) {
        setRecoveryMessage(QStringLiteral("Playback could not be restored: ") + describe(error));
        m_queueEngine->reportPlaybackError(std::current_exception());
        co_return;
    }
    qCDebug(lcBoot) << "restored session with current song" << session->currentTrack->title;
}

std::optional<QString> DIContainer::demoSampleFile()
{
    const QDir home = QDir::home();
    for (const char* candidate : {"Music/Audio Music Apps/Samples/QUICK SAMPLER/ANALOG A.wav",
                                  "Music/Audio Music Apps/Samples/QUICK SAMPLER/ANALOG B.wav"}) {
        const QString path = home.filePath(QString::fromUtf8(candidate));
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

QCoro::Task<> DIContainer::runDemoBootstrap()
{
    if (!m_libraryEngine->allTracks().empty())
        co_return;
    const std::optional<QString> sample = demoSampleFile();
    if (!sample)
        co_return;
    const FileURL url = FileURL::fromLocalFile(*sample);
    QPointer<DIContainer> self(this);
    try {
        std::vector<FileURL> files {url};
        auto importing = m_libraryEngine->importFiles(std::move(files));
        co_await importing;
    } catch (const std::exception& error) {
        printDiagnostic(QStringLiteral("Demo playback bootstrap failed: ") + describe(error));
        co_return;
    }
    if (!self)
        co_return;
    const TrackList& songs = m_libraryEngine->allTracks();
    const auto found = std::find_if(songs.begin(), songs.end(), [&](const Track& t) { return t.fileURL == url; });
    if (found == songs.end())
        co_return;
    TrackList demo;
    demo.append(found.shared());
    m_queueEngine->playNow(demo, 0);
}

} // namespace varno
