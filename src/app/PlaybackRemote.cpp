#include "PlaybackRemote.h"

#include "media/ArtworkCache.h"
#include "playback/AudioEngine.h"
#include "platform/Error.h"
#include "platform/FileIO.h"
#include "playback/QueueEngine.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

#include <cmath>

namespace varno {

Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

namespace {

qint64 toMicroseconds(double seconds)
{
    return std::isfinite(seconds) && seconds > 0 ? qint64(std::llround(seconds * 1e6)) : 0;
}

QStringList listOf(const std::optional<QString>& text)
{
    if (!text || text->isEmpty())
        return {};
    return {*text};
}

// A position that moved further than the clock allows since the last one
// (or back) was a seek; the progress timer's own steps stay well inside.
constexpr double kJumpTolerance = 0.75;

} // namespace

PlaybackRemote::PlaybackRemote(QDBusConnection connection, MprisIdentity identity, QueueEngine& queue, AudioEngine& audio,
                               ArtworkCache* artwork, QString coverFolder, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_queue(queue)
    , m_audio(audio)
    , m_artwork(artwork)
    , m_coverFolder(std::move(coverFolder))
    , m_hooks(std::move(hooks))
    , m_service(std::make_unique<MprisService>(std::move(connection), *this, std::move(identity)))
{
    for (auto signal : {&QueueEngine::currentTrackChanged, &QueueEngine::upcomingChanged, &QueueEngine::repeatModeChanged,
                        &QueueEngine::shuffleModeChanged})
        connect(&m_queue, signal, this, &PlaybackRemote::scheduleUpdate);
    for (auto signal : {&AudioEngine::playbackStateChanged, &AudioEngine::currentTrackChanged, &AudioEngine::volumeChanged})
        connect(&m_audio, signal, this, &PlaybackRemote::scheduleUpdate);
    connect(&m_audio, &AudioEngine::currentTimeChanged, this, &PlaybackRemote::watchPosition);
    m_service->setState(currentState());
}

PlaybackRemote::~PlaybackRemote()
{
    if (!m_coverFile.isEmpty())
        QFile::remove(m_coverFile);
}

bool PlaybackRemote::publish()
{
    const bool published = m_service->publish();
    if (published)
        update();
    return published;
}

RemotePlayerState PlaybackRemote::currentState() const
{
    RemotePlayerState state;
    switch (m_audio.playbackState()) {
    case PlaybackState::Playing:
    case PlaybackState::Buffering:
        state.status = RemotePlaybackStatus::Playing;
        break;
    case PlaybackState::Paused:
        state.status = RemotePlaybackStatus::Paused;
        break;
    case PlaybackState::Stopped:
    case PlaybackState::Failed:
        state.status = RemotePlaybackStatus::Stopped;
        break;
    }
    switch (m_queue.repeatMode()) {
    case RepeatMode::Off:
        state.loop = RemoteLoopStatus::None;
        break;
    case RepeatMode::Track:
        state.loop = RemoteLoopStatus::Track;
        break;
    case RepeatMode::All:
        state.loop = RemoteLoopStatus::Playlist;
        break;
    }
    // Smart shuffle plays in order, so it reads as off.
    state.shuffle = m_queue.shuffleMode() == ShuffleMode::Standard;
    state.volume = m_audio.volume();

    const std::optional<Track>& current = m_queue.currentTrack() ? m_queue.currentTrack() : m_audio.currentTrack();
    const bool hasUpcoming = !m_queue.upcoming().empty();
    if (current) {
        RemoteTrack track;
        track.id = current->id.toString(QUuid::WithoutBraces);
        track.title = current->title;
        track.artists = listOf(current->artist);
        track.album = current->album.value_or(QString());
        track.albumArtists = listOf(current->albumArtist);
        track.genres = listOf(current->genre);
        if (current->trackNumber && *current->trackNumber > 0 && *current->trackNumber <= INT_MAX)
            track.trackNumber = int(*current->trackNumber);
        const bool loaded = m_audio.currentTrack() && m_audio.currentTrack()->id == current->id;
        track.lengthMicroseconds = toMicroseconds(loaded ? m_audio.duration() : current->duration);
        track.url = QString::fromUtf8(current->fileURL.encoded());
        if (m_coverTrack == current->id)
            track.artUrl = m_coverUrl;
        state.canSeek = track.lengthMicroseconds > 0;
        state.track = std::move(track);
    }
    state.canPlay = current.has_value() || hasUpcoming;
    state.canPause = current.has_value();
    // "Next" with nothing queued moves only when repeat starts the queue
    // over (or repeats the song); "Previous" always restarts or goes back.
    state.canGoNext = hasUpcoming || (current && m_queue.repeatMode() != RepeatMode::Off);
    state.canGoPrevious = current.has_value();
    return state;
}

void PlaybackRemote::scheduleUpdate()
{
    if (m_updateScheduled)
        return;
    m_updateScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        update();
    });
}

void PlaybackRemote::update()
{
    m_service->setState(currentState());
    fetchCover();
}

void PlaybackRemote::watchPosition()
{
    const double position = m_audio.currentTime();
    const QUuid track = m_audio.currentTrack() ? m_audio.currentTrack()->id : QUuid();
    const double elapsed = m_sinceLastPosition.isValid() ? m_sinceLastPosition.elapsed() / 1000.0 : 0;
    const double expected = m_lastPosition + (m_audio.isPlaying() ? elapsed : 0);
    const bool jumped = m_seekRequested
                        || (track == m_positionTrack && (position < m_lastPosition - 0.05 || std::abs(position - expected) > kJumpTolerance));
    m_positionTrack = track;
    m_lastPosition = position;
    m_sinceLastPosition.start();
    if (jumped)
        m_service->announceSeek(toMicroseconds(position));
}

void PlaybackRemote::fetchCover()
{
    const std::optional<Track>& current = m_queue.currentTrack();
    if (!m_artwork || !current || current->id == m_coverTrack)
        return;
    m_coverTrack = current->id;
    m_coverUrl.clear();
    const Track song = *current;
    QPointer<PlaybackRemote> self(this);
    // Detached: the task owns itself and checks, when the cache answers,
    // that this object still wants the cover.
    [](QPointer<PlaybackRemote> self, QPointer<ArtworkCache> artwork, Track song) -> QCoro::Task<> {
        auto retrieving = artwork->retrieveArtwork(song);
        const std::optional<QByteArray> bytes = co_await retrieving;
        if (!self || !bytes || self->m_coverTrack != song.id)
            co_return;
        QBuffer buffer;
        buffer.setData(*bytes);
        buffer.open(QIODevice::ReadOnly);
        const QByteArray format = QImageReader::imageFormat(&buffer);
        if (format.isEmpty())
            co_return;
        const QString path = QDir(self->m_coverFolder)
                                 .filePath(QStringLiteral("cover-%1.%2").arg(song.id.toString(QUuid::WithoutBraces), QString::fromLatin1(format)));
        auto* watcher = new QFutureWatcher<bool>(self.data());
        QObject::connect(watcher, &QFutureWatcher<bool>::finished, self.data(), [self, watcher, path, id = song.id] {
            watcher->deleteLater();
            if (!watcher->result() || self->m_coverTrack != id) {
                QFile::remove(path);
                return;
            }
            if (!self->m_coverFile.isEmpty() && self->m_coverFile != path)
                QFile::remove(self->m_coverFile);
            self->m_coverFile = path;
            self->m_coverUrl = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
            self->scheduleUpdate();
        });
        watcher->setFuture(QtConcurrent::run([path, folder = self->m_coverFolder, data = *bytes] {
            // A new file in a folder only we may enter, renamed over the
            // name: whatever was left at that name, a link included, is
            // replaced, never written through.
            try {
                fileio::createPrivateFolder(folder);
                fileio::writeFileAtomically(path, std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
                return true;
            } catch (const Error& error) {
                qCWarning(lcDesktop).noquote() << "the cover for the desktop's player controls could not be written:" << error.description();
                return false;
            }
        }));
    }(self, m_artwork, song);
}

qint64 PlaybackRemote::positionMicroseconds() const
{
    return toMicroseconds(m_audio.currentTime());
}

void PlaybackRemote::raise()
{
    if (m_hooks.raise)
        m_hooks.raise();
}

void PlaybackRemote::quit()
{
    if (m_hooks.quit)
        m_hooks.quit();
}

void PlaybackRemote::play()
{
    if (m_queue.currentTrack())
        m_audio.resume();
    else
        m_queue.advanceToNext();
}

void PlaybackRemote::pause()
{
    m_audio.pause();
}

void PlaybackRemote::playPause()
{
    if (m_audio.isPlaying())
        m_audio.pause();
    else
        play();
}

void PlaybackRemote::stop()
{
    m_audio.stop();
}

void PlaybackRemote::next()
{
    m_queue.advanceToNext();
}

void PlaybackRemote::previous()
{
    m_queue.returnToPrevious();
}

void PlaybackRemote::setPosition(qint64 position)
{
    // Announced however short the jump; the engine says nothing when the
    // position does not change, and then neither does this.
    m_seekRequested = true;
    m_audio.seek(position / 1e6);
    m_seekRequested = false;
}

void PlaybackRemote::openUris(const QStringList& uris)
{
    if (m_hooks.openUris)
        m_hooks.openUris(uris);
}

void PlaybackRemote::setLoopStatus(RemoteLoopStatus loop)
{
    switch (loop) {
    case RemoteLoopStatus::None:
        m_queue.setRepeatMode(RepeatMode::Off);
        break;
    case RemoteLoopStatus::Track:
        m_queue.setRepeatMode(RepeatMode::Track);
        break;
    case RemoteLoopStatus::Playlist:
        m_queue.setRepeatMode(RepeatMode::All);
        break;
    }
}

void PlaybackRemote::setShuffle(bool shuffle)
{
    m_queue.setShuffleMode(shuffle ? ShuffleMode::Standard : ShuffleMode::Off);
}

void PlaybackRemote::setVolume(double volume)
{
    m_audio.setVolume(float(volume));
    // The audio engine does not keep its volume; the session does.
    m_queue.savePlaybackState(false);
}

} // namespace varno
