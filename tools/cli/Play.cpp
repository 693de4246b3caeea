#include "CliCommand.h"
#include "CliLibrary.h"

#include "app/PlaybackRemote.h"
#include "library/AudioImportSupport.h"
#include "platform/Error.h"
#include "platform/MediaReader.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"
#include "platform/SettingsPreferencesStore.h"
#include "workspace/PlaybackPreferences.h"

#include <QCoroSignal>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace varno::cli {

namespace {

QString clock(double seconds)
{
    const int whole = seconds > 0 ? static_cast<int>(seconds) : 0;
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString stateText(PlaybackState state)
{
    switch (state) {
    case PlaybackState::Stopped:
        return QStringLiteral("Stopped");
    case PlaybackState::Buffering:
        return QStringLiteral("Loading");
    case PlaybackState::Playing:
        return QStringLiteral("Playing");
    case PlaybackState::Paused:
        return QStringLiteral("Paused");
    case PlaybackState::Failed:
        return QStringLiteral("Failed");
    }
    return {};
}

QString songLabel(const Track& track)
{
    QString label = track.title;
    if (track.artist)
        label += QStringLiteral(" \u2014 ") + *track.artist;
    return label;
}

// Keys arrive one by one without echo while the command runs; the terminal
// is put back on exit, and on Ctrl-C, which still interrupts.
class RawTerminal final {
public:
    RawTerminal()
    {
        if (::tcgetattr(STDIN_FILENO, &s_saved) != 0)
            return;
        termios raw = s_saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        s_active = true;
        std::signal(SIGINT, &RawTerminal::interrupted);
        std::signal(SIGTERM, &RawTerminal::interrupted);
    }
    ~RawTerminal() { restore(); }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

private:
    static void restore()
    {
        if (s_active)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &s_saved);
        s_active = false;
    }
    static void interrupted(int signal)
    {
        restore();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }

    static inline termios s_saved {};
    static inline volatile std::sig_atomic_t s_active = 0;
};

// Plays the songs through the queue engine until the queue runs out or the
// user quits, and reports how it ended through finished().
class PlaySession final : public QObject {
    Q_OBJECT

public:
    PlaySession(Console console, bool interactive)
        : m_console(console)
        , m_onTerminal(::isatty(::fileno(console.out)) == 1)
    {
        m_queue.setAudioEngine(&m_audio);
        // The desktop's media keys and player widget control this player
        // too; quitting from there ends the command like 'q'.
        MprisIdentity identity;
        identity.busName = QStringLiteral("varno");
        identity.identity = QStringLiteral("VARNO MUSIC");
        PlaybackRemote::Hooks hooks;
        hooks.quit = [this] { QTimer::singleShot(0, this, [this] { finish(0); }); };
        m_remote = std::make_unique<PlaybackRemote>(QDBusConnection::sessionBus(), std::move(identity), m_queue, m_audio, nullptr, QString(),
                                                    std::move(hooks));
        m_remote->publish();
        connect(&m_audio, &AudioEngine::playbackStateChanged, this, [this] {
            // The queue hears of a song's end right after this signal; look
            // once it has had its say.
            QTimer::singleShot(0, this, &PlaySession::checkProgress);
            drawStatus();
        });
        connect(&m_audio, &AudioEngine::currentTrackChanged, this, &PlaySession::announceSong);
        connect(&m_audio, &AudioEngine::currentTimeChanged, this, &PlaySession::drawStatusThrottled);
        if (interactive) {
            m_terminal = std::make_unique<RawTerminal>();
            m_keys = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
            connect(m_keys.get(), &QSocketNotifier::activated, this, &PlaySession::readKey);
        }
    }

    QueueEngine& queue() { return m_queue; }

    // Starts the first song from `from` on that can start; false when none
    // could.
    bool start(const TrackList& songs, int from = 0)
    {
        for (int i = from; i < int(songs.size()); ++i) {
            m_queue.playNow(songs, i);
            if (m_queue.currentTrack()) {
                m_played = true;
                return true;
            }
            reportError();
        }
        return false;
    }

    // Whether a song is playing; the reason it is not has been said.
    bool isPlaying()
    {
        if (m_queue.currentTrack()) {
            m_played = true;
            return true;
        }
        reportError();
        return false;
    }

signals:
    void finished(int status);

private:
    void reportError()
    {
        const std::exception_ptr error = m_queue.lastPlaybackError();
        if (!error)
            return;
        clearStatus();
        m_console.errorLine(describe(error));
        m_queue.clearReportedErrors();
    }

    // Moves on, stepping over songs that cannot start. False at the end.
    bool advancePastFailures()
    {
        for (;;) {
            if (m_queue.advanceToNext()) {
                m_played = true;
                return true;
            }
            if (!m_queue.lastPlaybackError() || m_queue.upcoming().empty())
                return false;
            reportError();
            m_queue.remove(0);
        }
    }

    void checkProgress()
    {
        const PlaybackState state = m_audio.playbackState();
        if (state == PlaybackState::Playing || state == PlaybackState::Buffering || state == PlaybackState::Paused)
            return;
        if (m_queue.lastPlaybackError()) {
            // The song broke off, or the next one could not start.
            reportError();
            if (advancePastFailures())
                return;
            reportError();
        }
        finish(m_played ? 0 : 1);
    }

    void finish(int status)
    {
        if (m_done)
            return;
        m_done = true;
        clearStatus();
        m_keys.reset();
        m_terminal.reset();
        m_remote.reset();
        m_audio.clearQueue();
        emit finished(status);
    }

    void readKey()
    {
        char key = 0;
        if (::read(STDIN_FILENO, &key, 1) != 1) {
            m_keys.reset(); // end of input: keep playing without keys
            return;
        }
        switch (key) {
        case ' ':
            m_audio.togglePlayback();
            break;
        case 'n':
            if (!advancePastFailures())
                reportError();
            break;
        case 'p':
            if (!m_queue.returnToPrevious())
                reportError();
            break;
        case 'r':
            m_queue.setRepeatMode(m_queue.repeatMode() == RepeatMode::Off     ? RepeatMode::All
                                  : m_queue.repeatMode() == RepeatMode::All ? RepeatMode::Track
                                                                            : RepeatMode::Off);
            break;
        case 's':
            m_queue.setShuffleMode(m_queue.shuffleMode() == ShuffleMode::Standard ? ShuffleMode::Off : ShuffleMode::Standard);
            break;
        case 'q':
            finish(0);
            return;
        default:
            return;
        }
        drawStatus();
    }

    void announceSong()
    {
        const std::optional<Track>& song = m_audio.currentTrack();
        if (!song || m_onTerminal)
            return;
        // In a pipe or a file, one line per song instead of a live line.
        m_console.line(QStringLiteral("Playing: %1 (%2)").arg(songLabel(*song), clock(m_audio.duration())));
    }

    void drawStatusThrottled()
    {
        if (!m_lastDraw.isValid() || m_lastDraw.elapsed() >= 250)
            drawStatus();
    }

    void drawStatus()
    {
        if (!m_onTerminal || m_done)
            return;
        m_lastDraw.start();
        const std::optional<Track>& song = m_audio.currentTrack();
        QString line = QStringLiteral("%1  %2 / %3").arg(stateText(m_audio.playbackState()), clock(m_audio.currentTime()), clock(m_audio.duration()));
        if (song)
            line += QStringLiteral("  ") + songLabel(*song);
        if (m_queue.repeatMode() != RepeatMode::Off)
            line += QStringLiteral("  [repeat %1]").arg(rawValue(m_queue.repeatMode()));
        if (m_queue.shuffleMode() == ShuffleMode::Standard)
            line += QStringLiteral("  [shuffle]");
        std::fputs(("\r\x1b[2K" + line).toUtf8().constData(), m_console.out);
        std::fflush(m_console.out);
    }

    void clearStatus()
    {
        if (!m_onTerminal)
            return;
        std::fputs("\r\x1b[2K", m_console.out);
        std::fflush(m_console.out);
    }

    Console m_console;
    bool m_onTerminal;
    // The app's session stays the app's: the CLI's queue saves nothing.
    OstrelAudioEngine m_audio {makeDefaultAudioPlayerFactory()};
    // The user's playback settings (gapless, crossfade, ReplayGain, device)
    // apply here as in the app.
    SettingsPreferencesStore m_preferences;
    PlaybackPreferences m_playbackPreferences {m_audio, m_preferences};
    OstrelQueueEngine m_queue;
    std::unique_ptr<PlaybackRemote> m_remote;
    std::unique_ptr<RawTerminal> m_terminal;
    std::unique_ptr<QSocketNotifier> m_keys;
    QElapsedTimer m_lastDraw;
    bool m_played = false;
    bool m_done = false;
};

} // namespace

QCoro::Task<int> playSongs(QStringList arguments, Console console)
{
    Library library;
    auto loading = library.engine.loadLibraryFromDisk();
    co_await loading;

    // Each argument is a song's id or an audio file; files the library does
    // not hold yet are imported first, in one batch.
    struct Wanted {
        std::optional<QUuid> id;
        FileURL url;
    };
    std::vector<Wanted> wanted;
    std::vector<FileURL> toImport;
    const auto inLibrary = [&](const FileURL& url) {
        const auto& songs = library.engine.allTracks();
        return std::find_if(songs.begin(), songs.end(), [&](const Track& t) { return t.fileURL == url; }) != songs.end();
    };
    for (const QString& argument : arguments) {
        const QUuid id = QUuid::fromString(argument);
        if (!id.isNull()) {
            wanted.push_back({id, {}});
            continue;
        }
        const QFileInfo info(argument);
        if (!info.exists()) {
            console.errorLine(QStringLiteral("varno-cli: %1: No such file or song").arg(argument));
            co_return 1;
        }
        // Like a missing file, a file the import would refuse or leave out
        // without a word (one of a type it does not take) stops the command
        // here, with its reason.
        if (const std::optional<NonRegularFileKind> kind = nonRegularFileKind(argument)) {
            console.errorLine(MediaReadError::notRegularFile(argument, *kind).description());
            co_return 1;
        }
        if (!AudioImportSupport::isSupportedAudioPath(argument)) {
            console.errorLine(QStringLiteral("varno-cli: %1: the file type is not supported; supported types: %2")
                                  .arg(argument, AudioImportSupport::supportedAudioExtensions().join(QStringLiteral(", "))));
            co_return 1;
        }
        const FileURL url = FileURL::fromLocalFile(info.absoluteFilePath());
        wanted.push_back({std::nullopt, url});
        if (!inLibrary(url) && std::find(toImport.begin(), toImport.end(), url) == toImport.end())
            toImport.push_back(url);
    }
    if (!toImport.empty()) {
        try {
            auto importing = library.engine.importFiles(std::move(toImport));
            co_await importing;
        } catch (const std::exception& error) {
            // The files that did import still play.
            console.errorLine(describe(error));
        }
    }

    TrackList songs;
    for (const Wanted& item : wanted) {
        const auto& all = library.engine.allTracks();
        const auto found = std::find_if(all.begin(), all.end(), [&](const Track& t) {
            return item.id ? t.id == *item.id : t.fileURL == item.url;
        });
        if (found != all.end())
            songs.append(found.shared());
        else if (item.id)
            console.errorLine(QStringLiteral("varno-cli: no song has the id %1").arg(item.id->toString(QUuid::WithoutBraces).toUpper()));
    }
    if (songs.empty())
        co_return 1;

    PlaySession session(console, ::isatty(STDIN_FILENO) == 1);
    if (!session.start(songs))
        co_return 1;
    const int status = co_await qCoro(&session, &PlaySession::finished);
    co_return status;
}

QCoro::Task<int> playPlaylist(QString id, Console console)
{
    const std::optional<QUuid> playlistID = parseID(id, QStringLiteral("playlist"), console);
    if (!playlistID)
        co_return 1;
    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library)
        co_return 1;
    PlaySession session(console, ::isatty(STDIN_FILENO) == 1);
    const std::unique_ptr<PlaylistShelf> shelf = co_await openPlaylists(*library, session.queue(), console);
    if (!shelf)
        co_return 1;

    const TrackList songs = shelf->engine.getTracks(*playlistID);
    try {
        auto queuing = shelf->engine.queuePlaylist(*playlistID);
        co_await queuing;
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    if (songs.empty()) {
        const std::optional<Playlist> playlist = shelf->engine.getPlaylist(*playlistID);
        console.errorLine(playlist && !playlist->trackIDs.isEmpty() ? QStringLiteral("varno-cli: none of the playlist's songs is in the library")
                                                                    : QStringLiteral("varno-cli: the playlist has no songs"));
        co_return 1;
    }
    // The first song could not start: the queue is as it was, so step over
    // it like play does.
    if (!session.isPlaying() && !session.start(songs, 1))
        co_return 1;
    const int status = co_await qCoro(&session, &PlaySession::finished);
    co_return status;
}

} // namespace varno::cli

#include "Play.moc"
