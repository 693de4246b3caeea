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
//
// A step that starts a song starts it before it changes any list: when the
// song cannot start, the queue is still exactly as it was, with nothing to
// undo. That keeps a step in a queue of 100,000 songs from copying every
// list twice on the GUI thread.

QueueSnapshot OstrelQueueEngine::snapshot() const
{
    return {m_currentTrack, m_upcoming, m_history, m_originalUpcomingOrder, m_playbackOrder};
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
    m_playbackOrder.clear();
    m_playbackOrder.reserve(m_history.size() + m_upcoming.size() + 1);
    m_playbackOrder.insert(m_playbackOrder.end(), m_history.begin(), m_history.end());
    if (m_currentTrack)
        m_playbackOrder.push_back(*m_currentTrack);
    m_playbackOrder.insert(m_playbackOrder.end(), m_upcoming.begin(), m_upcoming.end());
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

void OstrelQueueEngine::dealUpcoming(std::vector<Track>& upcoming, const std::vector<Track>& original)
{
    if (m_shuffleMode == ShuffleMode::Standard) {
        shuffle(upcoming, 0);
        return;
    }
    const QSet<QUuid> present = idsOf(upcoming);
    upcoming.clear();
    for (const Track& track : original) {
        if (present.contains(track.id))
            upcoming.push_back(track);
    }
}

void OstrelQueueEngine::applyShuffleMode()
{
    dealUpcoming(m_upcoming, m_originalUpcomingOrder);
    emit upcomingChanged();
}

std::optional<Track> OstrelQueueEngine::takeNextFromUpcoming()
{
    if (m_upcoming.empty()) {
        setCurrentTrack(std::nullopt);
        return std::nullopt;
    }
    Track next = std::move(m_upcoming.front());
    m_upcoming.erase(m_upcoming.begin());
    emit upcomingChanged();
    setCurrentTrack(next);
    eraseID(m_originalUpcomingOrder, next.id);
    return next;
}

std::optional<QueueSnapshot> OstrelQueueEngine::restartedQueue()
{
    std::vector<Track> order = m_playbackOrder;
    if (order.empty() && m_currentTrack) {
        order = m_history;
        order.push_back(*m_currentTrack);
    }
    if (order.empty())
        return std::nullopt;
    // Everything is dealt again (a fresh order under shuffle); the first
    // song becomes current and leaves the unshuffled order too.
    QueueSnapshot restarted;
    restarted.upcoming = order;
    restarted.originalUpcomingOrder = order;
    restarted.playbackOrder = std::move(order);
    dealUpcoming(restarted.upcoming, restarted.originalUpcomingOrder);
    if (restarted.upcoming.empty())
        return std::nullopt;
    restarted.currentTrack = std::move(restarted.upcoming.front());
    restarted.upcoming.erase(restarted.upcoming.begin());
    eraseID(restarted.originalUpcomingOrder, restarted.currentTrack->id);
    return restarted;
}

void OstrelQueueEngine::insertUpcoming(const std::vector<Track>& tracks, bool atFront)
{
    m_upcoming.insert(atFront ? m_upcoming.begin() : m_upcoming.end(), tracks.begin(), tracks.end());
    emit upcomingChanged();
    m_originalUpcomingOrder.insert(atFront ? m_originalUpcomingOrder.begin() : m_originalUpcomingOrder.end(), tracks.begin(),
                                   tracks.end());
    rebuildPlaybackOrder();
    save();
}

// --- queue operations ----------------------------------------------------

void OstrelQueueEngine::playNow(const std::vector<Track>& tracks, int startingAt)
{
    if (tracks.empty())
        return;
    const auto index = std::size_t(std::clamp(startingAt, 0, int(tracks.size()) - 1));
    if (startPlayback(tracks[index])) {
        const auto start = tracks.begin() + std::ptrdiff_t(index);
        m_playbackOrder = tracks;
        setHistory(std::vector<Track>(tracks.begin(), start));
        setCurrentTrack(tracks[index]);
        m_upcoming.assign(start + 1, tracks.end());
        m_originalUpcomingOrder = m_upcoming;
        // Unshuffled, the upcoming songs already stand in their own order.
        if (m_shuffleMode == ShuffleMode::Standard)
            shuffle(m_upcoming, 0);
        emit upcomingChanged();
    }
    save();
}

void OstrelQueueEngine::playNext(const std::vector<Track>& tracks)
{
    if (!tracks.empty())
        insertUpcoming(tracks, true);
}

void OstrelQueueEngine::playLast(const std::vector<Track>& tracks)
{
    if (tracks.empty())
        return;
    insertUpcoming(tracks, false);
    if (m_shuffleMode == ShuffleMode::Standard) {
        // The song due next stays next; everything after it is dealt again
        // together with the new songs.
        shuffle(m_upcoming, 1);
        emit upcomingChanged();
    }
}

void OstrelQueueEngine::remove(int at)
{
    if (at < 0 || at >= int(m_upcoming.size()))
        return;
    const QUuid id = m_upcoming[std::size_t(at)].id;
    m_upcoming.erase(m_upcoming.begin() + at);
    emit upcomingChanged();
    eraseID(m_originalUpcomingOrder, id);
    rebuildPlaybackOrder();
    save();
}

void OstrelQueueEngine::move(int from, int to)
{
    if (from < 0 || from >= int(m_upcoming.size()))
        return;
    Track moved = std::move(m_upcoming[std::size_t(from)]);
    m_upcoming.erase(m_upcoming.begin() + from);
    const int target = std::clamp(to, 0, int(m_upcoming.size()));
    m_upcoming.insert(m_upcoming.begin() + target, std::move(moved));
    emit upcomingChanged();
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
    eraseID(m_upcoming, trackID);
    emit upcomingChanged();
    eraseID(m_history, trackID);
    emit historyChanged();
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
    if (!m_currentTrack) {
        // The song taken stays current even when it cannot start.
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
        std::optional<QueueSnapshot> restarted = startOver ? restartedQueue() : std::nullopt;
        if (!restarted || !startPlayback(*restarted->currentTrack)) {
            save();
            return std::nullopt;
        }
        // The song that just ended is not kept in the history: the play
        // order begins again.
        setHistory({});
        m_upcoming = std::move(restarted->upcoming);
        emit upcomingChanged();
        m_originalUpcomingOrder = std::move(restarted->originalUpcomingOrder);
        m_playbackOrder = std::move(restarted->playbackOrder);
        setCurrentTrack(restarted->currentTrack);
        save();
        return restarted->currentTrack;
    }

    if (!startPlayback(m_upcoming.front())) {
        save();
        return std::nullopt;
    }
    m_history.push_back(*m_currentTrack);
    emit historyChanged();
    std::optional<Track> next = takeNextFromUpcoming();
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
    if (m_history.empty()) {
        if (m_audioEngine)
            m_audioEngine->seek(0);
        return m_currentTrack;
    }

    if (!startPlayback(m_history.back())) {
        save();
        return std::nullopt;
    }
    Track previous = std::move(m_history.back());
    m_history.pop_back();
    emit historyChanged();
    m_upcoming.insert(m_upcoming.begin(), *m_currentTrack);
    emit upcomingChanged();
    m_originalUpcomingOrder.insert(m_originalUpcomingOrder.begin(), *m_currentTrack);
    setCurrentTrack(previous);
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
