#pragma once

#include "library/LibraryEngine.h"
#include "platform/AsyncGate.h"
#include "storage/Track.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <memory>
#include <optional>

class QUndoStack;

namespace varno {

class QueueEngine;

// Runs the removals the song list asks for, one at a time: it holds the song
// awaiting confirmation of permanent deletion, registers undo for removals
// from the player, tells the queue that a song is gone and publishes the text
// of the last failure. Owned by the song list, which gives it the engines and
// the window's undo stack when it makes it.
//
// Main thread only.
class TrackRemovalCoordinator final : public QObject {
    Q_OBJECT

public:
    // Whether a removal can be undone through the undo stack.
    enum class UndoRegistration { Skip, Register };

    // "Wait for the current library operation to finish before removing
    // another track."
    static const QString kBusyMessage;

    // Without a queue engine the queue is not told; without an undo stack
    // no removal can be undone.
    TrackRemovalCoordinator(LibraryEngine& libraryEngine, QueueEngine* queueEngine, QUndoStack* undoStack, QObject* parent = nullptr);
    ~TrackRemovalCoordinator() override;

    // The song whose permanent deletion waits for the user's confirmation.
    const std::optional<Track>& pendingPermanentDeletion() const { return m_pendingPermanentDeletion; }
    // The last failure, for the song list to show.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    // The song whose removal is running; absent when idle.
    const std::optional<QUuid>& inFlightTrackID() const { return m_inFlightTrackID; }

    void requestPermanentDeletion(const Track& track);
    void cancelPermanentDeletion();
    // Clears the request and deletes that song and its file, without undo.
    // Does nothing when no deletion is pending.
    QCoro::Task<> confirmPermanentDeletion();

    // Called when the failure alert is dismissed.
    void clearErrorMessage();

    // Starts removing `track`; refused with kBusyMessage while another
    // removal, or an undo or redo of one, runs. On success the queue drops
    // the song and, when asked for and a stack is given, "Remove Track" is
    // pushed on the undo stack. The task ends with the removal and never
    // throws: failures are published in errorMessage(). Callers may drop it;
    // the removal runs on.
    QCoro::Task<> startRemoval(Track track, RemovalKind kind, UndoRegistration undo);

signals:
    void pendingPermanentDeletionChanged();
    void errorMessageChanged();
    void inFlightTrackIDChanged();

private:
    class RemoveTrackCommand;
    struct UndoEntry;

    void setPendingPermanentDeletion(std::optional<Track> track);
    void setErrorMessage(std::optional<QString> message);
    void setInFlightTrackID(std::optional<QUuid> id);

    bool isBusy() const { return m_gate->isBusy(); }
    // Ends a removal: publishes its failure, if any, and becomes idle.
    void finish(const std::optional<QString>& failure);

    QCoro::Task<> undoRemoval(std::shared_ptr<UndoEntry> entry);
    QCoro::Task<> redoRemoval(std::shared_ptr<UndoEntry> entry);

    std::optional<Track> m_pendingPermanentDeletion;
    std::optional<QString> m_errorMessage;
    std::optional<QUuid> m_inFlightTrackID;
    QPointer<LibraryEngine> m_libraryEngine;
    QueueEngine* m_queueEngine;
    QPointer<QUndoStack> m_undoStack;
    // Removals are refused while anything runs, but undo and redo cannot be
    // (the stack has already moved), so they wait their turn here: an undo
    // and a quick redo of the same song then reach the library in order.
    // Shared with the operations in flight, which may end after the
    // coordinator is gone.
    std::shared_ptr<AsyncGate> m_gate;
};

} // namespace varno
