#include "OstrelQueueEngine.h"

#include "playback/AudioPlaybackError.h"

#include <QSet>

#include <algorithm>
#include <utility>

namespace varno {

namespace {

QSet<QUuid> idsOf(const TrackList& tracks)
{
    QSet<QUuid> ids;
    ids.reserve(qsizetype(tracks.size()));
    for (const Track& track : tracks)
        ids.insert(track.id);
    return ids;
}

std::vector<QUuid> idList(const TrackList& tracks)
{
    std::vector<QUuid> ids;
    ids.reserve(tracks.size());
    for (const Track& track : tracks)
        ids.push_back(track.id);
    return ids;
}

TrackList without(TrackList tracks, const std::optional<QUuid>& id)
{
    if (id)
        tracks.removeID(*id);
    return tracks;
}

} // namespace

OstrelQueueEngine::OstrelQueueEngine(DatabaseManager* database)
{
    if (database)
        m_sessionStore = std::make_unique<PlaybackSessionStore>(*database);
    for (auto changed : {&QueueEngine::currentTrackChanged, &QueueEngine::upcomingChanged, &QueueEngine::repeatModeChanged,
                         &QueueEngine::shuffleModeChanged})
        connect(this, changed, this, &OstrelQueueEngine::scheduleFollowingUpdate);
}

OstrelQueueEngine::~OstrelQueueEngine() = default;

// --- published fields ----------------------------------------------------

void OstrelQueueEngine::setCurrentTrack(SharedTrack track)
{
    m_current = std::move(track);
    m_currentTrack = m_current ? std::optional<Track>(*m_current) : std::nullopt;
    emit currentTrackChanged();
}

void OstrelQueueEngine::setUpcoming(TrackList tracks)
{
    m_upcoming = std::move(tracks);
    emit upcomingChanged();
}

void OstrelQueueEngine::setHistory(TrackList tracks)
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
    if (m_isStarting)
        m_noticeWhileStarting = error;
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
    return {m_current, m_upcoming, m_history, m_originalUpcomingOrder, m_playbackOrder};
}

bool OstrelQueueEngine::startPlayback(const Track& track)
{
    if (!m_audioEngine) {
        setLastPlaybackError(std::make_exception_ptr(AudioPlaybackError::audioEngineUnavailable()));
        return false;
    }
    if (m_alreadyStarted) {
        const bool playing = *m_alreadyStarted == track.id;
        m_alreadyStarted.reset();
        if (playing) {
            setLastPlaybackError(nullptr);
            return true;
        }
    }
    m_isStarting = true;
    m_noticeWhileStarting = nullptr;
    try {
        m_audioEngine->play(track);
    } catch (...) {
        m_isStarting = false;
        setLastPlaybackError(std::current_exception());
        return false;
    }
    m_isStarting = false;
    // A start clears the last failure from view, but not what the start
    // itself had to say (the chosen output device is missing).
    setLastPlaybackError(std::exchange(m_noticeWhileStarting, nullptr));
    return true;
}

std::optional<std::size_t> OstrelQueueEngine::startFirstPlayable(const TrackList& candidates, std::size_t from, std::exception_ptr& passedOver)
{
    for (std::size_t at = from; at < candidates.size(); ++at) {
        if (startPlayback(candidates[at])) {
            // The banner keeps saying why the songs before were passed over.
            if (passedOver)
                setLastPlaybackError(passedOver);
            return at;
        }
        passedOver = m_lastPlaybackError;
    }
    return std::nullopt;
}

void OstrelQueueEngine::passOverUpcoming(std::size_t count)
{
    if (count == 0)
        return;
    for (std::size_t i = 0; i < count; ++i)
        m_originalUpcomingOrder.removeID(m_upcoming[i].id);
    m_upcoming = m_upcoming.mid(count);
    emit upcomingChanged();
}

void OstrelQueueEngine::moveOnAfterFailure(std::exception_ptr failure)
{
    // Repeating the song would only fail again: the queue goes on as the
    // "next" command does, and starts over under repeat all.
    if (!m_upcoming.empty())
        advance(false);
    else if (m_repeatMode == RepeatMode::All)
        advance(true);
    if (!m_lastPlaybackError)
        setLastPlaybackError(std::move(failure));
}

void OstrelQueueEngine::rebuildPlaybackOrder()
{
    TrackList order;
    order.reserve(m_history.size() + m_upcoming.size() + 1);
    order.append(m_history);
    if (m_current)
        order.append(m_current);
    order.append(m_upcoming);
    m_playbackOrder = std::move(order);
}

void OstrelQueueEngine::shuffle(TrackList& tracks, std::size_t from)
{
    // Fisher–Yates over tracks[from...].
    if (tracks.size() < from + 2)
        return;
    for (std::size_t i = from; i + 1 < tracks.size(); ++i) {
        std::uniform_int_distribution<std::size_t> pick(i, tracks.size() - 1);
        tracks.swap(i, pick(m_random));
    }
}

void OstrelQueueEngine::dealUpcoming(TrackList& upcoming, const TrackList& original)
{
    if (m_shuffleMode == ShuffleMode::Standard) {
        shuffle(upcoming, 0);
        return;
    }
    const QSet<QUuid> present = idsOf(upcoming);
    TrackList dealt;
    dealt.reserve(upcoming.size());
    for (const SharedTrack& song : original.sharedSongs()) {
        if (present.contains(song->id))
            dealt.append(song);
    }
    upcoming = std::move(dealt);
}

void OstrelQueueEngine::applyShuffleMode()
{
    dealUpcoming(m_upcoming, m_originalUpcomingOrder);
    emit upcomingChanged();
}

std::optional<Track> OstrelQueueEngine::takeNextFromUpcoming()
{
    if (m_upcoming.empty()) {
        setCurrentTrack(nullptr);
        return std::nullopt;
    }
    SharedTrack next = m_upcoming.takeFirst();
    emit upcomingChanged();
    setCurrentTrack(next);
    m_originalUpcomingOrder.removeID(next->id);
    return *next;
}

std::optional<QueueSnapshot> OstrelQueueEngine::restartedQueue()
{
    TrackList order = m_playbackOrder;
    if (order.empty() && m_current) {
        order = m_history;
        order.append(m_current);
    }
    if (order.empty())
        return std::nullopt;
    // A shuffled round is dealt once: the song announced as next is the one
    // that starts the round, so it can be joined to the song before.
    if (m_nextRound && m_nextRound->dealtFrom == order)
        return m_nextRound->queue.currentTrack ? std::optional<QueueSnapshot>(m_nextRound->queue) : std::nullopt;
    // Everything is dealt again (a fresh order under shuffle); the first
    // song becomes current and leaves the unshuffled order too.
    QueueSnapshot restarted;
    restarted.upcoming = order;
    restarted.originalUpcomingOrder = order;
    restarted.playbackOrder = order;
    dealUpcoming(restarted.upcoming, restarted.originalUpcomingOrder);
    if (!restarted.upcoming.empty()) {
        restarted.currentTrack = restarted.upcoming.takeFirst();
        restarted.originalUpcomingOrder.removeID(restarted.currentTrack->id);
    }
    m_nextRound = NextRound {std::move(order), restarted};
    return restarted.currentTrack ? std::optional<QueueSnapshot>(std::move(restarted)) : std::nullopt;
}

void OstrelQueueEngine::insertUpcoming(const TrackList& tracks, bool atFront)
{
    m_upcoming.insert(atFront ? 0 : m_upcoming.size(), tracks);
    emit upcomingChanged();
    m_originalUpcomingOrder.insert(atFront ? 0 : m_originalUpcomingOrder.size(), tracks);
    rebuildPlaybackOrder();
    save();
}

// --- queue operations ----------------------------------------------------

void OstrelQueueEngine::playNow(const TrackList& tracks, int startingAt)
{
    if (tracks.empty())
        return;
    const auto from = std::size_t(std::clamp(startingAt, 0, int(tracks.size()) - 1));
    std::exception_ptr passedOver;
    if (const std::optional<std::size_t> started = startFirstPlayable(tracks, from, passedOver)) {
        // Songs passed over on the way are left out of the history: going
        // back would only fail on them again.
        const std::size_t index = *started;
        m_playbackOrder = tracks;
        setHistory(tracks.mid(0, from));
        setCurrentTrack(tracks.shared(index));
        m_upcoming = tracks.mid(index + 1);
        m_originalUpcomingOrder = m_upcoming;
        // Unshuffled, the upcoming songs already stand in their own order.
        if (m_shuffleMode == ShuffleMode::Standard)
            shuffle(m_upcoming, 0);
        emit upcomingChanged();
    }
    save();
}

void OstrelQueueEngine::playNext(const TrackList& tracks)
{
    if (!tracks.empty())
        insertUpcoming(tracks, true);
}

void OstrelQueueEngine::playLast(const TrackList& tracks)
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

void OstrelQueueEngine::skipTo(int at)
{
    if (at < 0 || at >= int(m_upcoming.size()))
        return;
    std::exception_ptr passedOver;
    const std::optional<std::size_t> started = startFirstPlayable(m_upcoming, std::size_t(at), passedOver);
    if (!started) {
        save();
        return;
    }
    // What "next" would have put in the history on the way; songs passed
    // over for failing to start are left out of it, as "next" leaves them.
    TrackList history = m_history;
    if (m_current)
        history.append(m_current);
    history.append(m_upcoming.mid(0, std::size_t(at)));
    setHistory(std::move(history));
    // One pass over the unshuffled order, not a search per song skipped: a
    // click deep in a queue of 100,000 songs skips most of them.
    QSet<QUuid> skipped;
    for (std::size_t i = 0; i < *started; ++i)
        skipped.insert(m_upcoming[i].id);
    if (!skipped.isEmpty()) {
        TrackList original;
        original.reserve(m_originalUpcomingOrder.size());
        for (const SharedTrack& song : m_originalUpcomingOrder.sharedSongs()) {
            if (!skipped.contains(song->id))
                original.append(song);
        }
        m_originalUpcomingOrder = std::move(original);
        m_upcoming = m_upcoming.mid(*started);
    }
    takeNextFromUpcoming();
    save();
}

void OstrelQueueEngine::remove(int at)
{
    if (at < 0 || at >= int(m_upcoming.size()))
        return;
    const QUuid id = m_upcoming[std::size_t(at)].id;
    m_upcoming.removeAt(std::size_t(at));
    emit upcomingChanged();
    m_originalUpcomingOrder.removeID(id);
    rebuildPlaybackOrder();
    save();
}

void OstrelQueueEngine::move(int from, int to)
{
    if (from < 0 || from >= int(m_upcoming.size()))
        return;
    SharedTrack moved = m_upcoming.shared(std::size_t(from));
    m_upcoming.removeAt(std::size_t(from));
    const int target = std::clamp(to, 0, int(m_upcoming.size()));
    m_upcoming.insert(std::size_t(target), std::move(moved));
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
    if (m_current)
        m_playbackOrder.append(m_current);
    save();
}

void OstrelQueueEngine::removeTrackFromPlayback(const QUuid& trackID)
{
    const bool wasCurrent = m_current && m_current->id == trackID;
    m_upcoming.removeID(trackID);
    emit upcomingChanged();
    m_history.removeID(trackID);
    emit historyChanged();
    m_originalUpcomingOrder.removeID(trackID);
    m_playbackOrder.removeID(trackID);
    if (wasCurrent) {
        setCurrentTrack(nullptr);
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
    if (!m_current) {
        // The first song that starts becomes current; when none does, the
        // song taken stays current all the same.
        std::exception_ptr passedOver;
        if (const std::optional<std::size_t> started = startFirstPlayable(m_upcoming, 0, passedOver)) {
            passOverUpcoming(*started);
            return takeNextFromUpcoming();
        }
        takeNextFromUpcoming();
        return std::nullopt;
    }

    if (automatic && m_repeatMode == RepeatMode::Track) {
        const SharedTrack again = m_current;
        return startPlayback(*again) ? std::optional<Track>(*again) : std::nullopt;
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
        m_nextRound.reset();
        setHistory({});
        m_upcoming = std::move(restarted->upcoming);
        emit upcomingChanged();
        m_originalUpcomingOrder = std::move(restarted->originalUpcomingOrder);
        m_playbackOrder = std::move(restarted->playbackOrder);
        setCurrentTrack(restarted->currentTrack);
        save();
        return *restarted->currentTrack;
    }

    std::exception_ptr passedOver;
    const std::optional<std::size_t> started = startFirstPlayable(m_upcoming, 0, passedOver);
    if (!started) {
        save();
        return std::nullopt;
    }
    m_history.append(m_current);
    emit historyChanged();
    passOverUpcoming(*started);
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
    if (!m_current)
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
    SharedTrack previous = m_history.shared(m_history.size() - 1);
    m_history.removeLast();
    emit historyChanged();
    m_upcoming.insert(0, m_current);
    emit upcomingChanged();
    m_originalUpcomingOrder.insert(0, m_current);
    setCurrentTrack(previous);
    save();
    return *previous;
}

// --- the saved session ---------------------------------------------------

void OstrelQueueEngine::restorePlaybackSession(const SharedTrack& currentTrack, const TrackList& upcoming,
                                               const TrackList& history, RepeatMode repeatMode, ShuffleMode shuffleMode,
                                               const std::optional<TrackList>& playbackOrder)
{
    m_isRestoringSession = true;
    const std::optional<QUuid> currentID = currentTrack ? std::optional<QUuid>(currentTrack->id) : std::nullopt;

    setCurrentTrack(currentTrack);
    setUpcoming(without(upcoming, currentID));
    setHistory(without(history, currentID));
    m_originalUpcomingOrder = m_upcoming;

    TrackList fallback = m_history;
    if (m_current)
        fallback.append(m_current);
    fallback.append(m_upcoming);

    std::optional<TrackList> kept;
    if (playbackOrder) {
        QSet<QUuid> known = idsOf(m_upcoming) + idsOf(m_history);
        TrackList order;
        bool holdsCurrent = false;
        for (const SharedTrack& song : playbackOrder->sharedSongs()) {
            const bool isCurrent = currentID && song->id == *currentID;
            if (isCurrent || known.contains(song->id)) {
                holdsCurrent = holdsCurrent || isCurrent;
                order.append(song);
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

std::function<PlaybackStateSnapshot()> OstrelQueueEngine::makeSnapshot() const
{
    // Everything but the identifiers is read now; the lists are copied as
    // they stand (a pointer each, shared) and walked on the worker.
    PlaybackStateSnapshot snapshot;
    if (m_current)
        snapshot.currentTrackID = m_current->id;
    snapshot.repeatMode = rawValue(m_repeatMode);
    snapshot.shuffleMode = rawValue(m_shuffleMode);
    if (m_audioEngine) {
        snapshot.currentTime = m_audioEngine->currentTime();
        snapshot.isPlaying = m_audioEngine->isPlaying();
        snapshot.volume = m_audioEngine->volume();
    }
    snapshot.savedAt = Timestamp::now();
    return [snapshot, upcoming = m_upcoming, history = m_history, order = m_playbackOrder]() mutable {
        snapshot.upcomingTrackIDs = idList(upcoming);
        snapshot.historyTrackIDs = idList(history);
        snapshot.playbackOrderTrackIDs = idList(order);
        return snapshot;
    };
}

void OstrelQueueEngine::savePlaybackState(bool synchronously)
{
    if (!m_sessionStore || m_keepsSavedSession)
        return;
    std::function<PlaybackStateSnapshot()> snapshot = makeSnapshot();
    if (synchronously) {
        setLastPersistenceError(m_sessionStore->saveNow(std::move(snapshot)));
        return;
    }
    QPointer<OstrelQueueEngine> self(this);
    m_sessionStore->save(std::move(snapshot), [self](std::exception_ptr error) {
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

void OstrelQueueEngine::audioEngineDidStartFollowingTrack(AudioEngine& engine)
{
    if (!engine.currentTrack())
        return;
    // The queue steps on as at a song's end; the step finds its song already
    // playing. When the lists changed too late for the engine to hear of it,
    // the step starts the song it picks the usual way.
    m_alreadyStarted = engine.currentTrack()->id;
    advance(true);
    if (m_alreadyStarted) {
        // Nothing was due after the song that ended: the queue ends there,
        // as it would have without the join.
        m_alreadyStarted.reset();
        engine.stop();
    }
    save();
}

std::optional<Track> OstrelQueueEngine::followingTrack()
{
    if (!m_current)
        return std::nullopt;
    if (m_repeatMode == RepeatMode::Track)
        return *m_current;
    if (!m_upcoming.empty())
        return m_upcoming[0];
    if (m_repeatMode != RepeatMode::All)
        return std::nullopt;
    if (const std::optional<QueueSnapshot> restarted = restartedQueue())
        return *restarted->currentTrack;
    return std::nullopt;
}

void OstrelQueueEngine::scheduleFollowingUpdate()
{
    if (m_followingUpdatePending)
        return;
    m_followingUpdatePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_followingUpdatePending = false;
            if (m_audioEngine && !m_isRestoringSession)
                m_audioEngine->setFollowingTrack(followingTrack());
        },
        Qt::QueuedConnection);
}

void OstrelQueueEngine::audioEngine(AudioEngine&, std::exception_ptr didFailWith)
{
    setLastPlaybackError(didFailWith);
    // A song that fails while it plays does not end playback: the next one
    // that starts takes over.
    if (!m_isStarting && !m_isRestoringSession && m_current)
        moveOnAfterFailure(std::move(didFailWith));
    save();
}

} // namespace varno
