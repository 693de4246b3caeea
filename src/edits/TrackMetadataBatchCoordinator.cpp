#include "TrackMetadataBatchCoordinator.h"

#include "edits/ArtworkBatchTransactionError.h"
#include "edits/TrackEditor.h"
#include "edits/TrackMetadataBatchEditError.h"
#include "platform/Error.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <exception>

namespace varno {

TrackMetadataBatchCoordinator::TrackMetadataBatchCoordinator(TrackEditor& editor, ArtworkCache& artworkCache, QObject* parent)
    : QObject(parent)
    , m_editor(editor)
    , m_artworkCache(artworkCache)
{
}

void TrackMetadataBatchCoordinator::beginEditing(std::vector<Track> selection)
{
    setErrorMessage(std::nullopt);
    setBatch(TrackMetadataBatch {QUuid::createUuid(), std::move(selection)});
}

void TrackMetadataBatchCoordinator::cancelEditing()
{
    setErrorMessage(std::nullopt);
    setBatch(std::nullopt);
}

QCoro::Task<> TrackMetadataBatchCoordinator::save(SharedTrackMetadataPatch patch)
{
    Q_ASSERT(m_batch && !m_isSaving);
    if (!m_batch || m_isSaving)
        co_return;
    // The save works on its own copy: the editor may be closed or reopened
    // while it waits, and must not change the songs it is writing.
    const TrackMetadataBatch batch = *m_batch;
    setErrorMessage(std::nullopt);
    setSaving(true);

    std::exception_ptr failure;
    std::size_t gone = 0;
    try {
        auto work = apply(batch, std::move(patch));
        gone = co_await std::move(work);
    } catch (...) {
        failure = std::current_exception();
    }

    // The outcome is published before isSaving drops, so an observer of the
    // end of the save already sees its result. An edit that reached only
    // some of the songs succeeded: the editor closes first, so whoever shows
    // the message that follows (how many were gone) can tell it from a
    // failure, which leaves the editor open.
    if (failure) {
        setErrorMessage(describe(failure));
    } else {
        if (m_batch && m_batch->id == batch.id)
            setBatch(std::nullopt);
        if (gone > 0)
            setErrorMessage(TrackMetadataBatchEditError::songsNoLongerInLibrary(batch.tracks.size() - gone, gone).description());
    }
    setSaving(false);
}

QCoro::Task<std::size_t> TrackMetadataBatchCoordinator::apply(TrackMetadataBatch batch, SharedTrackMetadataPatch patch)
{
    // Everything needed to undo the edit is captured before anything is
    // written, so an over-large cover snapshot refuses the edit untouched.
    // The library may have changed a selected song since the editor opened
    // (a rating set from the song list, say): the covers are captured for
    // its current record, and the fields are written over whatever the
    // record holds when the write's turn comes.
    TrackMetadataBatchEditState state {m_editor.currentRecords(batch.tracks), std::nullopt};
    if (!patch.artwork.isUnchanged()) {
        auto capture = ArtworkBatchSnapshot::capture(m_artworkCache, state.tracks);
        state.artwork = co_await std::move(capture);
    }
    state.checkMatches(batch, patch.artwork);

    // The songs go first: the library checks the whole update before writing
    // any of it, so a refused update costs no cover writes and needs no undo.
    // Songs another process removed meanwhile are left out of the edit, here
    // and for the covers, rather than failing it for the others.
    const bool recordsChanged = patch.changesTrackRecords();
    std::vector<QUuid> goneIDs;
    if (recordsChanged) {
        const TrackPatch fields = patch.fields();
        std::vector<TrackEditor::Edit> edits;
        edits.reserve(state.tracks.size());
        for (const Track& track : state.tracks)
            edits.push_back({track.id, fields});
        auto update = m_editor.editThoseStillInLibrary(std::move(edits));
        goneIDs = co_await std::move(update);
    } else {
        goneIDs = m_editor.missingFromLibrary(state.tracks);
    }
    const QSet<QUuid> gone(goneIDs.begin(), goneIDs.end());
    if (gone.size() == static_cast<qsizetype>(state.tracks.size()))
        throw TrackMetadataBatchEditError::songsNoLongerInLibrary(0, goneIDs.size());
    std::vector<Track> reached;
    std::vector<Track> patched;
    for (const Track& track : state.tracks) {
        if (gone.contains(track.id))
            continue;
        reached.push_back(track);
        patched.push_back(patch.appliedTo(track));
    }
    if (patch.artwork.isUnchanged())
        co_return goneIDs.size();

    std::exception_ptr artworkFailure;
    try {
        auto replacement = replaceArtwork(*patch.artwork.replacement(), patched, state.artwork->restrictedTo(patched));
        co_await std::move(replacement);
    } catch (...) {
        artworkFailure = std::current_exception();
    }
    if (!artworkFailure)
        co_return goneIDs.size();
    if (!recordsChanged)
        std::rethrow_exception(artworkFailure);

    // The covers are back as they were (or the failure says they are not);
    // the songs written above are put back too, so the batch is either fully
    // edited or not edited at all.
    // Only the fields this edit set are put back, each song's as it was:
    // an edit of other fields that landed meanwhile stays. A song removed
    // since has nothing to put back.
    std::exception_ptr recordsRollbackFailure;
    try {
        std::vector<TrackEditor::Edit> restorations;
        restorations.reserve(reached.size());
        for (std::size_t i = 0; i < reached.size(); ++i)
            restorations.push_back({reached[i].id, TrackPatch::between(patched[i], reached[i])});
        auto restore = m_editor.editThoseStillInLibrary(std::move(restorations));
        co_await std::move(restore);
    } catch (...) {
        recordsRollbackFailure = std::current_exception();
    }
    if (recordsRollbackFailure)
        throw TrackMetadataBatchEditError::rollbackFailed(describe(artworkFailure), describe(recordsRollbackFailure));
    std::rethrow_exception(artworkFailure);
}

QCoro::Task<> TrackMetadataBatchCoordinator::replaceArtwork(QByteArray artwork, std::vector<Track> tracks, ArtworkBatchSnapshot snapshot)
{
    snapshot.checkValidFor(tracks);
    std::exception_ptr updateFailure;
    try {
        for (const Track& track : tracks) {
            auto store = m_artworkCache.storeArtwork(artwork, track);
            co_await std::move(store);
        }
    } catch (...) {
        updateFailure = std::current_exception();
    }
    if (!updateFailure)
        co_return;

    // Every song is put back rather than only those written before the
    // failure: rewriting an untouched cover is harmless, and it leaves no
    // doubt about the song whose write failed.
    std::exception_ptr rollbackFailure;
    try {
        auto restore = snapshot.restore(m_artworkCache, tracks);
        co_await std::move(restore);
    } catch (...) {
        rollbackFailure = std::current_exception();
    }
    if (rollbackFailure)
        throw ArtworkBatchTransactionError::rollbackFailed(describe(updateFailure), describe(rollbackFailure));
    throw ArtworkBatchTransactionError::updateFailed(describe(updateFailure));
}

void TrackMetadataBatchCoordinator::setBatch(std::optional<TrackMetadataBatch> batch)
{
    m_batch = std::move(batch);
    emit batchChanged();
}

void TrackMetadataBatchCoordinator::setErrorMessage(std::optional<QString> message)
{
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void TrackMetadataBatchCoordinator::setSaving(bool saving)
{
    m_isSaving = saving;
    emit isSavingChanged();
}

} // namespace varno
