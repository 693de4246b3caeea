#include "TrackMetadataBatchCoordinator.h"

#include "library/ArtworkBatchTransactionError.h"
#include "library/TrackMetadataBatchEditError.h"
#include "platform/Error.h"

#include <QHash>
#include <QUuid>

#include <exception>

namespace varno {

TrackMetadataBatchCoordinator::TrackMetadataBatchCoordinator(LibraryEngine& library, ArtworkCache& artworkCache, QObject* parent)
    : QObject(parent)
    , m_library(library)
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
    try {
        auto work = apply(batch, std::move(patch));
        co_await std::move(work);
    } catch (...) {
        failure = std::current_exception();
    }

    // The outcome is published before isSaving drops, so an observer of the
    // end of the save already sees its result.
    if (failure)
        setErrorMessage(describe(failure));
    else if (m_batch && m_batch->id == batch.id)
        setBatch(std::nullopt);
    setSaving(false);
}

std::vector<Track> TrackMetadataBatchCoordinator::currentRecords(const std::vector<Track>& tracks) const
{
    // The library may have changed a selected song since the editor opened
    // (a rating set from the song list, say); patching its current record
    // keeps that change. A song gone from the library keeps the selected
    // record, so the library reports it as missing.
    // The selection is hashed and the library scanned once: an edit of a
    // few songs costs no table of the whole library.
    QHash<QUuid, std::size_t> wanted;
    for (std::size_t i = 0; i < tracks.size(); ++i)
        wanted.insert(tracks[i].id, i);
    std::vector<Track> current = tracks;
    for (const Track& song : m_library.allTracks()) {
        const auto found = wanted.constFind(song.id);
        if (found == wanted.constEnd())
            continue;
        current[*found] = song;
        wanted.erase(found);
        if (wanted.isEmpty())
            break;
    }
    return current;
}

QCoro::Task<> TrackMetadataBatchCoordinator::apply(TrackMetadataBatch batch, SharedTrackMetadataPatch patch)
{
    // Everything needed to undo the edit is captured before anything is
    // written, so an over-large cover snapshot refuses the edit untouched.
    TrackMetadataBatchEditState state {currentRecords(batch.tracks), std::nullopt};
    if (!patch.artwork.isUnchanged()) {
        auto capture = ArtworkBatchSnapshot::capture(m_artworkCache, state.tracks);
        state.artwork = co_await std::move(capture);
    }
    state.checkMatches(batch, patch.artwork);

    // The songs go first: the library checks the whole update before writing
    // any of it, so a refused update costs no cover writes and needs no undo.
    std::vector<Track> patched;
    patched.reserve(state.tracks.size());
    for (const Track& track : state.tracks)
        patched.push_back(patch.appliedTo(track));
    const bool recordsChanged = patch.changesTrackRecords();
    if (recordsChanged) {
        auto update = m_library.updateTracks(patched);
        co_await std::move(update);
    }
    if (patch.artwork.isUnchanged())
        co_return;

    std::exception_ptr artworkFailure;
    try {
        auto replacement = replaceArtwork(*patch.artwork.replacement(), patched, *state.artwork);
        co_await std::move(replacement);
    } catch (...) {
        artworkFailure = std::current_exception();
    }
    if (!artworkFailure)
        co_return;
    if (!recordsChanged)
        std::rethrow_exception(artworkFailure);

    // The covers are back as they were (or the failure says they are not);
    // the songs written above are put back too, so the batch is either fully
    // edited or not edited at all.
    std::exception_ptr recordsRollbackFailure;
    try {
        auto restore = m_library.updateTracks(state.tracks);
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
