#include "OstrelAudioEngine.h"

#include "library/SecurityScopedAccessError.h"
#include "playback/AudioPlaybackError.h"
#include "platform/MediaReader.h"

#include <QFile>

#include <sys/stat.h>

#include <cerrno>

#include <algorithm>
#include <cmath>
#include <limits>

namespace varno {

void AudioEngineDelegate::audioEngine(AudioEngine&, PlaybackState) { }
void AudioEngineDelegate::audioEngine(AudioEngine&, const std::optional<Track>&) { }
void AudioEngineDelegate::audioEngine(AudioEngine&, double) { }
void AudioEngineDelegate::audioEngineDidFinishPlayback(AudioEngine&) { }
void AudioEngineDelegate::audioEngine(AudioEngine&, std::exception_ptr) { }
void AudioEngineDelegate::audioEngineDidStartFollowingTrack(AudioEngine&) { }

namespace {

bool fileExists(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

// Why a player would not start or stopped early. A sound output that went
// away is not the file's fault: saying "unsupported playback format" for a
// sound server that was restarted would send the user after the wrong thing.
AudioPlaybackError playerRefused(const AudioPlayer& player, const Track& track)
{
    if (const std::optional<QString> reason = player.outputFailure())
        return AudioPlaybackError::engineStartFailed(*reason);
    return AudioPlaybackError::invalidFormat(track.fileURL);
}

// Songs of one album in a row are one piece of music: a live set or a
// symphony is joined without a gap and never faded.
bool sameAlbum(const Track& one, const Track& other)
{
    const auto album = [](const Track& track) { return track.album.value_or(QString()).trimmed(); };
    const auto albumArtist = [](const Track& track) {
        const QString artist = track.albumArtist.value_or(QString()).trimmed();
        return artist.isEmpty() ? track.artist.value_or(QString()).trimmed() : artist;
    };
    return !album(one).isEmpty() && album(one).compare(album(other), Qt::CaseInsensitive) == 0
        && albumArtist(one).compare(albumArtist(other), Qt::CaseInsensitive) == 0;
}

float clampVolume(float volume)
{
    if (std::isnan(volume))
        return 0.0f;
    return std::clamp(volume, 0.0f, 1.0f);
}

} // namespace

OstrelAudioEngine::OstrelAudioEngine(std::unique_ptr<AudioPlayerFactory> players)
    : m_players(std::move(players))
{
}

OstrelAudioEngine::~OstrelAudioEngine()
{
    m_following.reset();
    m_replacedFollowing.clear();
    stopProgressTimer();
    delete m_fadeTimer;
    m_fadeTimer = nullptr;
    if (m_audioPlayer) {
        m_audioPlayer->setObserver(nullptr);
        m_audioPlayer->stop();
    }
    m_audioPlayer.reset();
    m_activeSecurityAccess.reset();
}

AudioEngineDelegate* OstrelAudioEngine::delegate() const
{
    if (m_delegateIsObject && !m_delegateObject)
        return nullptr;
    return m_delegate;
}

void OstrelAudioEngine::setDelegate(AudioEngineDelegate* delegate)
{
    m_delegate = delegate;
    m_delegateObject = dynamic_cast<QObject*>(delegate);
    m_delegateIsObject = m_delegateObject != nullptr;
}

double OstrelAudioEngine::duration() const
{
    if (m_audioPlayer)
        return m_audioPlayer->duration();
    if (m_currentTrack)
        return m_currentTrack->duration;
    return 0;
}

double OstrelAudioEngine::progress() const
{
    const double total = duration();
    if (!std::isfinite(total) || total <= 0)
        return 0;
    return std::clamp(m_currentTime / total, 0.0, 1.0);
}

void OstrelAudioEngine::setVolume(float volume)
{
    applyVolume(clampVolume(volume));
}

void OstrelAudioEngine::applyVolume(float volume)
{
    m_outputVolume = volume;
    if (m_audioPlayer)
        m_audioPlayer->setVolume(volume);
    emit volumeChanged();
}

// --- shared steps --------------------------------------------------------

void OstrelAudioEngine::setState(PlaybackState state)
{
    if (m_playbackState == state)
        return;
    m_playbackState = state;
    emit playbackStateChanged();
    if (auto* d = delegate())
        d->audioEngine(*this, state);
}

void OstrelAudioEngine::setCurrentTrack(const std::optional<Track>& track)
{
    m_currentTrack = track;
    emit currentTrackChanged();
    if (auto* d = delegate())
        d->audioEngine(*this, m_currentTrack);
}

void OstrelAudioEngine::setCurrentTime(double seconds)
{
    m_currentTime = seconds;
    emit currentTimeChanged();
}

void OstrelAudioEngine::notifyTime(double seconds)
{
    if (auto* d = delegate())
        d->audioEngine(*this, seconds);
}

void OstrelAudioEngine::fail(std::exception_ptr error)
{
    stopProgressTimer();
    setState(PlaybackState::Failed);
    if (auto* d = delegate())
        d->audioEngine(*this, error);
}

void OstrelAudioEngine::stopProgressTimer()
{
    delete m_progressTimer;
    m_progressTimer = nullptr;
}

void OstrelAudioEngine::startProgressTimer()
{
    stopProgressTimer();
    // A child of the engine: it dies with it and never fires into a gone engine.
    m_progressTimer = new QTimer(this);
    m_progressTimer->setTimerType(Qt::PreciseTimer);
    m_progressTimer->setInterval(kProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &OstrelAudioEngine::syncPosition);
    m_progressTimer->start();
}

void OstrelAudioEngine::syncPosition()
{
    if (!m_audioPlayer)
        return;
    const double total = std::max(0.0, m_audioPlayer->duration());
    const double position = std::clamp(m_audioPlayer->currentTime(), 0.0, total);
    setCurrentTime(position);
    notifyTime(position);
}

// --- loading -------------------------------------------------------------

OstrelAudioEngine::OpenedPlayer OstrelAudioEngine::openPlayer(const Track& track)
{
    OpenedPlayer opened;
    try {
        opened.access = SecurityScopedResource::access(track);
    } catch (const SecurityScopedAccessError&) {
        // Linux grants no access of its own, so a deleted file surfaces as a
        // refused access; telling the user the file is gone is the truth.
        const QString path = track.fileURL.toLocalFile();
        if (!fileExists(path))
            throw AudioPlaybackError::missingFile(track.fileURL);
        // Access is refused to anything but a regular file; a named pipe or
        // a device where the song was is reported as what it is.
        if (const std::optional<NonRegularFileKind> kind = nonRegularFileKind(path))
            throw AudioPlaybackError::unreadableFile(track.fileURL, MediaReadError::notRegularFile(path, *kind).reason());
        throw;
    }
    const FileURL& url = opened.access->url();
    const QByteArray path = QFile::encodeName(opened.access->path());

    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw AudioPlaybackError::missingFile(url);
        // Any other failure of the size query is not the engine's to judge;
        // opening the player will say what is wrong.
    } else if (info.st_size == 0) {
        throw AudioPlaybackError::emptyFile(url);
    }

    try {
        opened.player = m_players->makePlayer(opened.access->path());
    } catch (const AudioOutputError& error) {
        throw AudioPlaybackError::engineStartFailed(error.description());
    } catch (const MediaReadError& error) {
        throw AudioPlaybackError::unreadableFile(url, error.reason());
    } catch (const std::exception& error) {
        throw AudioPlaybackError::unreadableFile(url, describe(error));
    }

    const double total = opened.player->duration();
    if (!std::isfinite(total) || total <= 0)
        throw AudioPlaybackError::emptyFile(url);

    opened.player->setObserver(this);
    opened.player->setVolume(m_outputVolume);
    opened.player->setLoudnessGain(loudnessFor(track, m_currentTrack));
    return opened;
}

void OstrelAudioEngine::load(const Track& track, bool autoplay, double startTime)
{
    const PlaybackState previousState = m_playbackState;
    std::exception_ptr failure;
    OpenedPlayer opened;
    try {
        opened = openPlayer(track);
        const double total = opened.player->duration();
        const double start = std::min(std::isfinite(startTime) && startTime > 0 ? startTime : 0.0, total);
        opened.player->setCurrentTime(start);

        setState(PlaybackState::Buffering);
        if (!opened.player->prepareToPlay() || (autoplay && !opened.player->play()))
            throw playerRefused(*opened.player, track);
        if (const std::optional<QString> missing = m_players->takeMissingDevice())
            emit outputDeviceMissing(std::make_exception_ptr(AudioPlaybackError::outputDeviceMissing(*missing)));

        if (m_audioPlayer) {
            m_audioPlayer->setObserver(nullptr);
            m_audioPlayer->stop();
        }
        stopProgressTimer();
        // What was to follow the old song is the queue's to name again.
        m_following.reset();
        m_replacedFollowing.clear();
        m_wantedFollowing.reset();
        if (m_currentTrack && m_currentTrack->id != track.id)
            m_previousTrack = m_currentTrack;
        m_audioPlayer = std::move(opened.player);
        m_activeSecurityAccess = std::move(opened.access);

        setCurrentTime(start);
        setCurrentTrack(track);
        notifyTime(start);

        if (autoplay) {
            startProgressTimer();
            setState(PlaybackState::Playing);
        } else {
            setState(PlaybackState::Paused);
        }
        return;
    } catch (...) {
        failure = std::current_exception();
    }

    if (opened.player) {
        opened.player->setObserver(nullptr);
        opened.player->stop();
    }
    opened = {};
    setState(previousState == PlaybackState::Playing ? PlaybackState::Playing : PlaybackState::Failed);
    if (auto* d = delegate())
        d->audioEngine(*this, failure);
    std::rethrow_exception(failure);
}

void OstrelAudioEngine::play(const Track& track)
{
    load(track, true, 0);
}

void OstrelAudioEngine::restore(const Track& track, double at)
{
    load(track, false, at);
}

// --- transport -----------------------------------------------------------

void OstrelAudioEngine::resume()
{
    if (!m_currentTrack)
        return;
    if (m_audioPlayer) {
        const double end = m_audioPlayer->duration() - kEndTolerance;
        if ((end > 0 && m_currentTime >= end) || (end <= 0 && m_currentTime >= 0)) {
            m_audioPlayer->setCurrentTime(0);
            setCurrentTime(0);
        }
        if (!m_audioPlayer->play()) {
            fail(std::make_exception_ptr(playerRefused(*m_audioPlayer, *m_currentTrack)));
            return;
        }
        startProgressTimer();
        setState(PlaybackState::Playing);
        return;
    }
    try {
        load(*m_currentTrack, true, m_currentTime);
    } catch (...) {
        fail(std::current_exception());
    }
}

void OstrelAudioEngine::pause()
{
    if (m_playbackState != PlaybackState::Playing)
        return;
    syncPosition();
    if (m_audioPlayer)
        m_audioPlayer->pause();
    stopProgressTimer();
    setState(PlaybackState::Paused);
}

void OstrelAudioEngine::togglePlayback()
{
    if (m_playbackState == PlaybackState::Playing)
        pause();
    else
        resume();
}

void OstrelAudioEngine::stop()
{
    if (m_audioPlayer) {
        m_audioPlayer->stop();
        m_audioPlayer->setCurrentTime(0);
    }
    stopProgressTimer();
    setCurrentTime(0);
    notifyTime(0);
    setState(PlaybackState::Stopped);
}

void OstrelAudioEngine::clearQueue()
{
    stop();
    m_queue.clear();
    emit queueChanged();
    m_currentIndex = 0;
    if (m_audioPlayer)
        m_audioPlayer->setObserver(nullptr);
    m_following.reset();
    m_replacedFollowing.clear();
    m_wantedFollowing.reset();
    m_audioPlayer.reset();
    m_activeSecurityAccess.reset();
    setCurrentTrack(std::nullopt);
}

void OstrelAudioEngine::setQueue(const std::vector<Track>& tracks, int startAt)
{
    m_queue = tracks;
    emit queueChanged();
    if (tracks.empty()) {
        clearQueue();
        return;
    }
    m_currentIndex = std::clamp(startAt, 0, int(tracks.size()) - 1);
    setCurrentTrack(m_queue[m_currentIndex]);
}

void OstrelAudioEngine::appendToQueue(const Track& track)
{
    m_queue.push_back(track);
    emit queueChanged();
}

void OstrelAudioEngine::playAt(int index)
{
    m_currentIndex = index;
    try {
        play(m_queue[index]);
    } catch (...) {
        fail(std::current_exception());
    }
}

void OstrelAudioEngine::nextTrack()
{
    if (m_currentIndex + 1 < int(m_queue.size()))
        playAt(m_currentIndex + 1);
    else
        stop();
}

void OstrelAudioEngine::previousTrack()
{
    if (m_currentTime > 3.0 || m_currentIndex == 0)
        seek(0);
    else
        playAt(m_currentIndex - 1);
}

void OstrelAudioEngine::seek(double to)
{
    if (!m_currentTrack || !std::isfinite(to))
        return;
    double total = m_audioPlayer ? m_audioPlayer->duration() : m_currentTrack->duration;
    if (!std::isfinite(total) || total < 0)
        total = 0;
    const double target = std::clamp(to, 0.0, total);
    if (m_audioPlayer)
        m_audioPlayer->setCurrentTime(target);
    setCurrentTime(target);
    notifyTime(target);
}

// --- volume --------------------------------------------------------------

void OstrelAudioEngine::fade(double duration, float targetVolume)
{
    delete m_fadeTimer;
    m_fadeTimer = nullptr;

    const float target = clampVolume(targetVolume);
    const double stepsExact = duration / kFadeStepSeconds;
    // A fade that cannot be cut into a countable number of steps (an
    // infinite or absurd duration) lands at once, like one of no length.
    if (!(duration > 0) || !std::isfinite(stepsExact) || stepsExact >= double(std::numeric_limits<std::int64_t>::max())) {
        applyVolume(target);
        return;
    }
    const std::int64_t steps = std::max<std::int64_t>(1, std::int64_t(stepsExact));
    const double interval = duration / double(steps);
    const float start = m_outputVolume;

    m_fadeTimer = new QTimer(this);
    m_fadeTimer->setTimerType(Qt::PreciseTimer);
    m_fadeTimer->setInterval(std::max(1, int(std::lround(interval * 1000))));
    auto step = std::make_shared<std::int64_t>(0);
    QTimer* timer = m_fadeTimer;
    connect(timer, &QTimer::timeout, this, [this, timer, step, steps, start, target] {
        ++*step;
        const double fraction = std::min(1.0, double(*step) / double(steps));
        applyVolume(clampVolume(float(start + (target - start) * fraction)));
        if (*step >= steps) {
            if (m_fadeTimer == timer)
                m_fadeTimer = nullptr;
            timer->deleteLater();
            timer->stop();
        }
    });
    m_fadeTimer->start();
}

std::vector<AudioEngine::OutputDevice> OstrelAudioEngine::outputDevices() const
{
    std::vector<OutputDevice> devices;
    for (const audio::OutputDevice& device : m_players->devices())
        devices.push_back({device.id, device.description});
    return devices;
}

void OstrelAudioEngine::setOutputDevice(const QString& id)
{
    // A device that is not there now is still the choice: the output plays
    // to the default one until it comes back.
    if (!id.isEmpty() && outputDevices().empty())
        throw AudioPlaybackError::outputDeviceRoutingUnavailable();
    m_outputDevice = id;
    m_players->setDevice(id);
    emit playbackSettingsChanged();
}

// --- the song that follows ---------------------------------------------

void OstrelAudioEngine::setFollowingTrack(const std::optional<Track>& track)
{
    m_wantedFollowing = track;
    applyFollowing();
}

void OstrelAudioEngine::setGaplessEnabled(bool enabled)
{
    m_isGaplessEnabled = enabled;
    applyFollowing();
    emit playbackSettingsChanged();
}

void OstrelAudioEngine::setCrossfadeDuration(double seconds)
{
    m_crossfadeDuration = std::isfinite(seconds) ? std::clamp(seconds, 0.0, kMaxCrossfade) : 0.0;
    applyFollowing();
    emit playbackSettingsChanged();
}

void OstrelAudioEngine::setReplayGainEnabled(bool enabled)
{
    if (enabled != isReplayGainEnabled())
        setReplayGainMode(enabled ? ReplayGainMode::Track : ReplayGainMode::Off);
}

void OstrelAudioEngine::setReplayGainMode(ReplayGainMode mode)
{
    m_replayGainMode = mode;
    if (m_audioPlayer && m_currentTrack)
        m_audioPlayer->setLoudnessGain(loudnessFor(*m_currentTrack, m_previousTrack));
    applyFollowing();
    emit playbackSettingsChanged();
}

LoudnessGain OstrelAudioEngine::loudnessFor(const Track& track, const std::optional<Track>& neighbour) const
{
    switch (m_replayGainMode) {
    case ReplayGainMode::Off:
        return LoudnessGain::Off;
    case ReplayGainMode::Track:
        return LoudnessGain::Track;
    case ReplayGainMode::Album:
        return neighbour && sameAlbum(track, *neighbour) ? LoudnessGain::Album : LoudnessGain::Track;
    }
    return LoudnessGain::Off;
}

void OstrelAudioEngine::dropFollowing()
{
    if (m_following && m_audioPlayer)
        m_audioPlayer->setFollowing(std::nullopt);
    retireFollowing();
}

void OstrelAudioEngine::retireFollowing()
{
    if (!m_following)
        return;
    // A few are plenty: only the last one decoded can still start.
    if (m_replacedFollowing.size() >= 4)
        m_replacedFollowing.erase(m_replacedFollowing.begin());
    m_replacedFollowing.push_back(std::move(*m_following));
    m_following.reset();
}

void OstrelAudioEngine::applyFollowing()
{
    if (!m_audioPlayer || !m_currentTrack || !m_wantedFollowing) {
        dropFollowing();
        return;
    }
    const Track& next = *m_wantedFollowing;
    const bool oneAlbum = sameAlbum(*m_currentTrack, next);
    const double crossfade = oneAlbum ? 0.0 : m_crossfadeDuration;
    if (!m_isGaplessEnabled && !(crossfade > 0)) {
        dropFollowing();
        return;
    }
    const LoudnessGain gain = loudnessFor(next, m_currentTrack);
    if (m_following && m_following->track.id == next.id && m_following->crossfadeSeconds == crossfade && m_following->gain == gain)
        return;

    Following following {next, nullptr, crossfade, gain};
    try {
        following.access = SecurityScopedResource::access(next);
        m_audioPlayer->setFollowing(FollowingSong {following.access->path(), gain, crossfade});
    } catch (const std::exception&) {
        // Not joined, then: when the song is due the queue starts it as
        // usual, and that start reports what is wrong with the file.
        dropFollowing();
        return;
    }
    retireFollowing();
    m_following = std::move(following);
}

void OstrelAudioEngine::audioPlayerDidStartFollowingSong(AudioPlayer& player, const QString& path)
{
    if (&player != m_audioPlayer.get())
        return;
    std::optional<Following> found;
    if (m_following && m_following->access->path() == path) {
        found = std::move(m_following);
        m_following.reset();
    }
    for (auto it = m_replacedFollowing.rbegin(); !found && it != m_replacedFollowing.rend(); ++it) {
        if (it->access->path() == path)
            found = std::move(*it);
    }
    m_replacedFollowing.clear();
    if (!found)
        return;
    // What was to follow is the queue's to name again, after the step.
    if (m_following && m_audioPlayer)
        m_audioPlayer->setFollowing(std::nullopt);
    m_following.reset();
    m_wantedFollowing.reset();
    Following started = std::move(*found);
    m_previousTrack = m_currentTrack;
    m_activeSecurityAccess = std::move(started.access);
    const double position = std::clamp(player.currentTime(), 0.0, std::max(0.0, player.duration()));
    setCurrentTime(position);
    setCurrentTrack(started.track);
    notifyTime(position);
    if (auto* d = delegate())
        d->audioEngineDidStartFollowingTrack(*this);
}

// --- end of a song -------------------------------------------------------

void OstrelAudioEngine::audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully)
{
    if (&player != m_audioPlayer.get())
        return;
    if (successfully) {
        setCurrentTime(player.duration());
        stopProgressTimer();
        setState(PlaybackState::Stopped);
        if (auto* d = delegate())
            d->audioEngineDidFinishPlayback(*this);
    } else if (m_currentTrack) {
        fail(std::make_exception_ptr(playerRefused(player, *m_currentTrack)));
    }
}

} // namespace varno
