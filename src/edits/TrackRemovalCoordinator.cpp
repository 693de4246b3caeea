#include "TrackRemovalCoordinator.h"

#include "platform/Error.h"
#include "playback/QueueEngine.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>

namespace varno {

const QString TrackRemovalCoordinator::kBusyMessage =
    QStringLiteral("Wait for the current library operation to finish before removing another track.");

namespace {

const QString kUndoText = QStringLiteral("Remove Track");

// The library's current record of the song, or `track` when it is not
// listed (the removal then fails with its own message).
Track currentRecord(const LibraryEngine& libraryEngine, const Track& track)
{
    const TrackList& tracks = libraryEngine.allTracks();
    const auto listed = std::find_if(tracks.begin(), tracks.end(), [&](const Track& t) { return t.id == track.id; });
    return listed != tracks.end() ? *listed : track;
}

// Removes the song and then drops it from the queue. Touches no coordinator,
// so it can finish safely after the coordinator is gone. The failure's text,
// or nothing on success.
QCoro::Task<std::optional<QString>> removeEverywhere(Track track, RemovalKind kind, QPointer<LibraryEngine> libraryEngine,
                                                     QueueEngine* queueEngine)
{
    if (!libraryEngine)
        co_return std::nullopt;
    std::optional<QString> failure;
    auto removing = libraryEngine->removeTrack(track, kind);
    try {
        co_await removing;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!failure && queueEngine)
        queueEngine->removeTrackFromPlayback(track.id);
    co_return failure;
}

} // namespace

// What an undo entry needs to put the song back and take it out again; shared
// between the command and the operations it starts, which may outlive it.
struct TrackRemovalCoordinator::UndoEntry {
    Track track;
    QPointer<LibraryEngine> libraryEngine;
    QueueEngine* queueEngine = nullptr;
    // Set when an undo could not bring the song back: a redo would have
    // nothing to remove, so the command leaves the stack instead.
    bool restorationFailed = false;
};

class TrackRemovalCoordinator::RemoveTrackCommand final : public QUndoCommand {
public:
    RemoveTrackCommand(TrackRemovalCoordinator* coordinator, std::shared_ptr<UndoEntry> entry)
        : QUndoCommand(kUndoText)
        , m_coordinator(coordinator)
        , m_entry(std::move(entry))
    {
    }

    void undo() override
    {
        if (m_coordinator)
            m_coordinator->undoRemoval(m_entry);
    }

    void redo() override
    {
        // QUndoStack::push() calls redo() at once, but the removal being
        // registered has already happened.
        if (!std::exchange(m_pushed, true))
            return;
        if (m_entry->restorationFailed) {
            setObsolete(true);
            return;
        }
        if (m_coordinator)
            m_coordinator->redoRemoval(m_entry);
    }

private:
    QPointer<TrackRemovalCoordinator> m_coordinator;
    std::shared_ptr<UndoEntry> m_entry;
    bool m_pushed = false;
};

TrackRemovalCoordinator::TrackRemovalCoordinator(LibraryEngine& libraryEngine, QueueEngine* queueEngine, QUndoStack* undoStack,
                                                 QObject* parent)
    : QObject(parent)
    , m_libraryEngine(&libraryEngine)
    , m_queueEngine(queueEngine)
    , m_undoStack(undoStack)
    // Waiting operations are resumed through the application, not through
    // the coordinator: an undo asked for just before the song list goes
    // still ends, rather than waiting for ever.
    , m_gate(std::make_shared<AsyncGate>(QCoreApplication::instance()))
{
}

TrackRemovalCoordinator::~TrackRemovalCoordinator() = default;

void TrackRemovalCoordinator::setPendingPermanentDeletion(std::optional<Track> track)
{
    m_pendingPermanentDeletion = std::move(track);
    emit pendingPermanentDeletionChanged();
}

void TrackRemovalCoordinator::setErrorMessage(std::optional<QString> message)
{
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void TrackRemovalCoordinator::setInFlightTrackID(std::optional<QUuid> id)
{
    m_inFlightTrackID = id;
    emit inFlightTrackIDChanged();
}

void TrackRemovalCoordinator::requestPermanentDeletion(const Track& track)
{
    setPendingPermanentDeletion(track);
}

void TrackRemovalCoordinator::cancelPermanentDeletion()
{
    setPendingPermanentDeletion(std::nullopt);
}

void TrackRemovalCoordinator::clearErrorMessage()
{
    setErrorMessage(std::nullopt);
}

QCoro::Task<> TrackRemovalCoordinator::confirmPermanentDeletion()
{
    if (!m_pendingPermanentDeletion)
        co_return;
    Track track = std::move(*m_pendingPermanentDeletion);
    setPendingPermanentDeletion(std::nullopt);
    // A permanent deletion cannot be undone: the file is gone.
    auto removal = startRemoval(std::move(track), RemovalKind::DeleteFile, UndoRegistration::Skip);
    co_await removal;
}

void TrackRemovalCoordinator::finish(const std::optional<QString>& failure)
{
    if (failure)
        setErrorMessage(*failure);
    setInFlightTrackID(std::nullopt);
}

QCoro::Task<> TrackRemovalCoordinator::startRemoval(Track track, RemovalKind kind, UndoRegistration undo)
{
    // A restoration by undo counts as a running library operation too.
    if (m_inFlightTrackID || isBusy()) {
        setErrorMessage(kBusyMessage);
        co_return;
    }
    setInFlightTrackID(track.id);
    setErrorMessage(std::nullopt);
    if (!m_libraryEngine) {
        finish(std::nullopt);
        co_return;
    }

    const QPointer<TrackRemovalCoordinator> self(this);
    const std::shared_ptr<AsyncGate> gate = m_gate;
    auto entry = std::make_shared<UndoEntry>();
    entry->track = currentRecord(*m_libraryEngine, track);
    entry->libraryEngine = m_libraryEngine;
    entry->queueEngine = m_queueEngine;
    std::optional<QString> failure;
    {
        // Nothing runs, so the turn is ours at once; holding it makes an
        // undo or redo asked for meanwhile wait for this removal.
        const AsyncGate::Hold turn = co_await gate->enter();
        auto removing = removeEverywhere(entry->track, kind, entry->libraryEngine, entry->queueEngine);
        failure = co_await removing;
        if (!self)
            co_return;
        if (!failure && undo == UndoRegistration::Register && m_undoStack)
            m_undoStack->push(new RemoveTrackCommand(this, std::move(entry)));
    }
    // The turn has ended before the coordinator says it is idle, so that
    // whoever reacts to that may start the next removal at once.
    finish(failure);
}

QCoro::Task<> TrackRemovalCoordinator::undoRemoval(std::shared_ptr<UndoEntry> entry)
{
    const QPointer<TrackRemovalCoordinator> self(this);
    const std::shared_ptr<AsyncGate> gate = m_gate;
    std::optional<QString> failure;
    {
        const AsyncGate::Hold turn = co_await gate->enter();
        if (!self || !entry->libraryEngine)
            co_return;
        auto restoring = entry->libraryEngine->restoreTrack(entry->track);
        try {
            co_await restoring;
        } catch (const std::exception& error) {
            failure = describe(error);
        }
        entry->restorationFailed = failure.has_value();
    }
    if (self && failure)
        setErrorMessage(*failure);
}

QCoro::Task<> TrackRemovalCoordinator::redoRemoval(std::shared_ptr<UndoEntry> entry)
{
    const QPointer<TrackRemovalCoordinator> self(this);
    const std::shared_ptr<AsyncGate> gate = m_gate;
    std::optional<QString> failure;
    {
        const AsyncGate::Hold turn = co_await gate->enter();
        if (!self || !entry->libraryEngine)
            co_return;
        setInFlightTrackID(entry->track.id);
        setErrorMessage(std::nullopt);
        // The next undo puts back the record as it is now, edits included.
        entry->track = currentRecord(*entry->libraryEngine, entry->track);
        auto removing = removeEverywhere(entry->track, RemovalKind::KeepFile, entry->libraryEngine, entry->queueEngine);
        failure = co_await removing;
        if (!self)
            co_return;
    }
    finish(failure);
}

} // namespace varno
