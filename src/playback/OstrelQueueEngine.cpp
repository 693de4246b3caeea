#include "OstrelQueueEngine.h"

#include "playback/AudioPlaybackError.h"

#include <QSet>

#include <algorithm>

namespace varno {

namespace {

QSet<QUuid> idsOf(const std::vector<Track>& tracks)
{
    QSet<QUuid> ids;
    ids.reserve(qsizetype(tracks.size()));
    for (const Track& track : tracks)
        ids.insert(track.id);
    return ids;
}

std::vector<QUuid> idList(const std::vector<Track>& tracks)
{
    std::vector<QUuid> ids;
    ids.reserve(tracks.size());
    for (const Track& track : tracks)
        ids.push_back(track.id);
    return ids;
}

void eraseID(std::vector<Track>& tracks, const QUuid& id)
{
    std::erase_if(tracks, [&](const Track& track) { return track.id == id; });
}

std::vector<Track> without(const std::vector<Track>& tracks, const std::optional<QUuid>& id)
{
    if (!id)
        return tracks;
    std::vector<Track> kept;
    kept.reserve(tracks.size());
    for (const Track& track : tracks) {
        if (track.id != *id)
            kept.push_back(track);
    }
    return kept;
}

} // namespace

OstrelQueueEngine::OstrelQueueEngine(DatabaseManager* database)
{
    if (database)
        m_sessionStore = std::make_unique<PlaybackSessionStore>(*database);
}

OstrelQueueEngine::~OstrelQueueEngine() = default;

// --- published fields ----------------------------------------------------

void OstrelQueueEngine::setCurrentTrack(const std::optional<Track>& track)
{
    m_currentTrack = track;
    emit currentTrackChanged();
}

void OstrelQueueEngine::setUpcoming(std::vector<Track> tracks)
{
    m_upcoming = std::move(tracks);
    emit upcomingChanged();
}

void OstrelQueueEngine::setHistory(std::vector<Track> tracks)
{
    m_history = std::move(tracks);
    emit historyChanged();
}

void OstrelQueueEngine::setLastPlaybackError(std::exception_ptr error)
{
    m_lastPlaybackError = std::move(error);
    emit lastPlaybackErrorChanged();
}

void OstrelQueueEngine::setLastPersistenceError(std::exception_ptr error)
{
    m_lastPersistenceError = std::move(error);
    emit lastPersistenceErrorChanged();
}

void OstrelQueueEngine::clearReportedErrors()
{
    setLastPlaybackError(nullptr);
    setLastPersistenceError(nullptr);
}

void OstrelQueueEngine::reportPlaybackError(std::exception_ptr error)
{
    setLastPlaybackError(std::move(error));
}

void OstrelQueueEngine::setRepeatMode(RepeatMode mode)
{
    const bool changed = mode != m_repeatMode;
    m_repeatMode = mode;
    emit repeatModeChanged();
    if (changed && !m_isRestoringSession)
        save();
}

void OstrelQueueEngine::setShuffleMode(ShuffleMode mode)
{
    const bool changed = mode != m_shuffleMode;
    m_shuffleMode = mode;
    emit shuffleModeChanged();
    if (!changed)
        return;
    applyShuffleMode();
    if (!m_isRestoringSession)
        save();
}

void OstrelQueueEngine::setAudioEngine(AudioEngine* engine)
{
    m_audioEngine = engine;
    if (engine)
        engine->setDelegate(this);
}

// --- shared steps --------------------------------------------------------

QueueSnapshot OstrelQueueEngine::takeSnapshot() const
{
    return {m_currentTrack, m_upcoming, m_history, m_originalUpcomingOrder, m_playbackOrder};
}

void OstrelQueueEngine::restoreSnapshot(const QueueSnapshot& snapshot)
{
    setCurrentTrack(snapshot.currentTrack);
    setUpcoming(snapshot.upcoming);
    setHistory(snapshot.history);
    m_originalUpcomingOrder = snapshot.originalUpcomingOrder;
    m_playbackOrder = snapshot.playbackOrder;
}

bool OstrelQueueEngine::startPlayback(const Track& track)
{
    if (!m_audioEngine) {
        setLastPlaybackError(std::make_exception_ptr(AudioPlaybackError::audioEngineUnavailable()));
        return false;
    }
    try {
        m_audioEngine->play(track);
    } catch (...) {
        setLastPlaybackError(std::current_exception());
        return false;
    }
    setLastPlaybackError(nullptr);
    return true;
}

void OstrelQueueEngine::rebuildPlaybackOrder()
{
    std::vector<Track> order;
    order.reserve(m_history.size() + m_upcoming.size() + 1);
    order.insert(order.end(), m_history.begin(), m_history.end());
    if (m_currentTrack)
        order.push_back(*m_currentTrack);
    order.insert(order.end(), m_upcoming.begin(), m_upcoming.end());
    m_playbackOrder = std::move(order);
}

void OstrelQueueEngine::shuffle(std::vector<Track>& tracks, std::size_t from)
{
    // Fisher–Yates over tracks[from...].
    if (tracks.size() < from + 2)
        return;
    for (std::size_t i = from; i + 1 < tracks.size(); ++i) {
        std::uniform_int_distribution<std::size_t> pick(i, tracks.size() - 1);
        std::swap(tracks[i], tracks[pick(m_random)]);
    }
}

void OstrelQueueEngine::applyShuffleMode()
{
    if (m_shuffleMode == ShuffleMode::Standard) {
        std::vector<Track> shuffled = m_upcoming;
        shuffle(shuffled, 0);
        setUpcoming(std::move(shuffled));
        return;
    }
    const QSet<QUuid> present = idsOf(m_upcoming);
    std::vector<Track> ordered;
    ordered.reserve(m_upcoming.size());
    for (const Track& track : m_originalUpcomingOrder) {
        if (present.contains(track.id))
            ordered.push_back(track);
    }
    setUpcoming(std::move(ordered));
}

std::optional<Track> OstrelQueueEngine::takeNextFromUpcoming()
{
    if (m_upcoming.empty()) {
        setCurrentTrack(std::nullopt);
        return std::nullopt;
    }
    std::vector<Track> rest(m_upcoming.begin() + 1, m_upcoming.end());
    Track next = m_upcoming.front();
    setUpcoming(std::move(rest));
    setCurrentTrack(next);
    eraseID(m_originalUpcomingOrder, next.id);
    return next;
}

bool OstrelQueueEngine::restartFromPlaybackOrder()
{
    std::vector<Track> order = m_playbackOrder;
    if (order.empty() && m_currentTrack) {
        order = m_history;
        order.push_back(*m_currentTrack);
    }
    if (order.empty())
        return false;
    setHistory({});
    setUpcoming(order);
    m_originalUpcomingOrder = order;
    applyShuffleMode();
    return !m_upcoming.empty();
}

// --- queue operations ----------------------------------------------------

void OstrelQueueEngine::playNow(const std::vector<Track>& tracks, int startingAt)
{
    if (tracks.empty())
        return;
    const QueueSnapshot snapshot = takeSnapshot();
    const auto index = std::size_t(std::clamp(startingAt, 0, int(tracks.size()) - 1));

    m_playbackOrder = tracks;
    setHistory(std::vector<Track>(tracks.begin(), tracks.begin() + std::ptrdiff_t(index)));
    setCurrentTrack(tracks[index]);
    setUpcoming(std::vector<Track>(tracks.begin() + std::ptrdiff_t(index) + 1, tracks.end()));
    m_originalUpcomingOrder = m_upcoming;
    applyShuffleMode();

    if (!startPlayback(*m_currentTrack))
        restoreSnapshot(snapshot);
    save();
}

void OstrelQueueEngine::playNext(const std::vector<Track>& tracks)
{
    if (tracks.empty())
        return;
    std::vector<Track> upcoming = tracks;
    upcoming.insert(upcoming.end(), m_upcoming.begin(), m_upcoming.end());
    setUpcoming(std::move(upcoming));
    m_originalUpcomingOrder.insert(m_originalUpcomingOrder.begin(), tracks.begin(), tracks.end());
    rebuildPlaybackOrder();
    save();
}

void OstrelQueueEngine::playLast(const std::vector<Track>& tracks)
{
    if (tracks.empty())
        return;
    std::vector<Track> upcoming = m_upcoming;
    upcoming.insert(upcoming.end(), tracks.begin(), tracks.end());
    setUpcoming(std::move(upcoming));
    m_originalUpcomingOrder.insert(m_originalUpcomingOrder.end(), tracks.begin(), tracks.end());
    rebuildPlaybackOrder();
    save();
    if (m_shuffleMode == ShuffleMode::Standard) {
        // The song due next stays next; everything after it is dealt again
        // together with the new songs.
        std::vector<Track> reshuffled = m_upcoming;
        shuffle(reshuffled, 1);
        setUpcoming(std::move(reshuffled));
    }
}

void OstrelQueueEngine::remove(int at)
{
    if (at < 0 || at >= int(m_upcoming.size()))
        return;
    std::vector<Track> upcoming = m_upcoming;
    const QUuid id = upcoming[std::size_t(at)].id;
    upcoming.erase(upcoming.begin() + at);
    setUpcoming(std::move(upcoming));
    eraseID(m_originalUpcomingOrder, id);
    rebuildPlaybackOrder();
    save();
}

void OstrelQueueEngine::move(int from, int to)
{
    if (from < 0 || from >= int(m_upcoming.size()))
        return;
    std::vector<Track> upcoming = m_upcoming;
    Track moved = upcoming[std::size_t(from)];
    upcoming.erase(upcoming.begin() + from);
    const int target = std::clamp(to, 0, int(upcoming.size()));
    upcoming.insert(upcoming.begin() + target, std::move(moved));
    setUpcoming(std::move(upcoming));
    // A hand-made order becomes the order shuffle returns to.
    m_originalUpcomingOrder = m_upcoming;
    rebuildPlaybackOrder();
    save();
}

void OstrelQueueEngine::clearUpcoming()
{
    setUpcoming({});
    m_originalUpcomingOrder.clear();
    m_playbackOrder.clear();
    if (m_currentTrack)
        m_playbackOrder.push_back(*m_currentTrack);
    save();
}

void OstrelQueueEngine::removeTrackFromPlayback(const QUuid& trackID)
{
    const bool wasCurrent = m_currentTrack && m_currentTrack->id == trackID;
    setUpcoming(without(m_upcoming, trackID));
    setHistory(without(m_history, trackID));
    eraseID(m_originalUpcomingOrder, trackID);
    eraseID(m_playbackOrder, trackID);
    if (wasCurrent) {
        setCurrentTrack(std::nullopt);
        if (m_audioEngine)
            m_audioEngine->clearQueue();
    }
    save();
}

std::optional<Track> OstrelQueueEngine::advanceToNext()
{
    return advance(false);
}

std::optional<Track> OstrelQueueEngine::advance(bool automatic)
{
    const QueueSnapshot snapshot = takeSnapshot();

    if (!m_currentTrack) {
        std::optional<Track> next = takeNextFromUpcoming();
        if (!next)
            return std::nullopt;
        return startPlayback(*next) ? next : std::nullopt;
    }

    if (automatic && m_repeatMode == RepeatMode::Track) {
        const Track again = *m_currentTrack;
        return startPlayback(again) ? std::optional<Track>(again) : std::nullopt;
    }

    if (m_upcoming.empty()) {
        const bool startOver = m_repeatMode == RepeatMode::All || (!automatic && m_repeatMode == RepeatMode::Track);
        if (!startOver) {
            save();
            return std::nullopt;
        }
        std::optional<Track> next;
        if (restartFromPlaybackOrder())
            next = takeNextFromUpcoming();
        if (!next) {
            save();
            return std::nullopt;
        }
        if (!startPlayback(*next)) {
            restoreSnapshot(snapshot);
            save();
            return std::nullopt;
        }
        save();
        return next;
    }

    std::vector<Track> history = m_history;
    history.push_back(*m_currentTrack);
    setHistory(std::move(history));
    std::optional<Track> next = takeNextFromUpcoming();
    if (!startPlayback(*next)) {
        restoreSnapshot(snapshot);
        save();
        return std::nullopt;
    }
    save();
    return next;
}

std::optional<Track> OstrelQueueEngine::returnToPrevious()
{
    return goBack(true);
}

std::optional<Track> OstrelQueueEngine::playPreviousSong()
{
    return goBack(false);
}

std::optional<Track> OstrelQueueEngine::goBack(bool restartRule)
{
    if (!m_currentTrack)
        return std::nullopt;
    if (restartRule && m_audioEngine && m_audioEngine->currentTime() > kRestartThreshold) {
        m_audioEngine->seek(0);
        return m_currentTrack;
    }

    const QueueSnapshot snapshot = takeSnapshot();
    if (m_history.empty()) {
        if (m_audioEngine)
            m_audioEngine->seek(0);
        return m_currentTrack;
    }
    std::vector<Track> history = m_history;
    Track previous = history.back();
    history.pop_back();
    setHistory(std::move(history));

    std::vector<Track> upcoming {*m_currentTrack};
    upcoming.insert(upcoming.end(), m_upcoming.begin(), m_upcoming.end());
    setUpcoming(std::move(upcoming));
    m_originalUpcomingOrder.insert(m_originalUpcomingOrder.begin(), *m_currentTrack);
    setCurrentTrack(previous);

    if (!startPlayback(previous)) {
        restoreSnapshot(snapshot);
        save();
        return std::nullopt;
    }
    save();
    return previous;
}

// --- the saved session ---------------------------------------------------

void OstrelQueueEngine::restorePlaybackSession(const std::optional<Track>& currentTrack,
                                               const std::vector<Track>& upcoming, const std::vector<Track>& history,
                                               RepeatMode repeatMode, ShuffleMode shuffleMode,
                                               const std::optional<std::vector<Track>>& playbackOrder)
{
    m_isRestoringSession = true;
    const std::optional<QUuid> currentID = currentTrack ? std::optional<QUuid>(currentTrack->id) : std::nullopt;

    setCurrentTrack(currentTrack);
    setUpcoming(without(upcoming, currentID));
    setHistory(without(history, currentID));
    m_originalUpcomingOrder = m_upcoming;

    std::vector<Track> fallback = m_history;
    if (m_currentTrack)
        fallback.push_back(*m_currentTrack);
    fallback.insert(fallback.end(), m_upcoming.begin(), m_upcoming.end());

    std::optional<std::vector<Track>> kept;
    if (playbackOrder) {
        QSet<QUuid> known = idsOf(m_upcoming) + idsOf(m_history);
        std::vector<Track> order;
        bool holdsCurrent = false;
        for (const Track& track : *playbackOrder) {
            const bool isCurrent = currentID && track.id == *currentID;
            if (isCurrent || known.contains(track.id)) {
                holdsCurrent = holdsCurrent || isCurrent;
                order.push_back(track);
            }
        }
        if (holdsCurrent)
            kept = std::move(order);
    }
    m_playbackOrder = kept ? std::move(*kept) : std::move(fallback);

    setRepeatMode(repeatMode);
    setShuffleMode(shuffleMode);
    m_isRestoringSession = false;
}

PlaybackStateSnapshot OstrelQueueEngine::makeSnapshot() const
{
    PlaybackStateSnapshot snapshot;
    if (m_currentTrack)
        snapshot.currentTrackID = m_currentTrack->id;
    snapshot.upcomingTrackIDs = idList(m_upcoming);
    snapshot.historyTrackIDs = idList(m_history);
    snapshot.playbackOrderTrackIDs = idList(m_playbackOrder);
    snapshot.repeatMode = rawValue(m_repeatMode);
    snapshot.shuffleMode = rawValue(m_shuffleMode);
    if (m_audioEngine) {
        snapshot.currentTime = m_audioEngine->currentTime();
        snapshot.isPlaying = m_audioEngine->isPlaying();
        snapshot.volume = m_audioEngine->volume();
    }
    snapshot.savedAt = Timestamp::now();
    return snapshot;
}

void OstrelQueueEngine::savePlaybackState(bool synchronously)
{
    if (!m_sessionStore)
        return;
    const PlaybackStateSnapshot snapshot = makeSnapshot();
    if (synchronously) {
        setLastPersistenceError(m_sessionStore->saveNow(snapshot));
        return;
    }
    QPointer<OstrelQueueEngine> self(this);
    m_sessionStore->save(snapshot, [self](std::exception_ptr error) {
        if (self)
            self->setLastPersistenceError(std::move(error));
    });
}

// --- the audio engine's notifications ------------------------------------

void OstrelQueueEngine::audioEngine(AudioEngine&, PlaybackState)
{
    save();
}

void OstrelQueueEngine::audioEngine(AudioEngine&, const std::optional<Track>&)
{
    save();
}

void OstrelQueueEngine::audioEngine(AudioEngine&, double)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_lastPeriodicSave && now - *m_lastPeriodicSave < std::chrono::duration<double>(kPeriodicSaveInterval))
        return;
    m_lastPeriodicSave = now;
    save();
}

void OstrelQueueEngine::audioEngineDidFinishPlayback(AudioEngine&)
{
    advance(true);
    save();
}

void OstrelQueueEngine::audioEngine(AudioEngine&, std::exception_ptr didFailWith)
{
    setLastPlaybackError(std::move(didFailWith));
    save();
}

} // namespace varno
