#pragma once

#include "edits/SharedTrackMetadataPatch.h"
#include "edits/TrackMetadataBatch.h"
#include "edits/TrackMetadataBatchEditState.h"
#include "storage/Track.h"
#include "media/ArtworkCache.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace varno {

class TrackEditor;

// Drives the shared metadata editor: which songs it edits, whether a save is
// running and why the last one failed. A save writes the changed fields of
// every song through the track editor, in its turn with every other edit,
// and the shared cover through the artwork cache, and undoes both when a
// later step fails.
//
// Main thread only; a save suspends while the library and the cache work.
class TrackMetadataBatchCoordinator final : public QObject {
    Q_OBJECT

public:
    TrackMetadataBatchCoordinator(TrackEditor& editor, ArtworkCache& artworkCache, QObject* parent = nullptr);

    // The songs being edited; the editor is shown while this is present.
    const std::optional<TrackMetadataBatch>& batch() const { return m_batch; }
    // The description of the last failed save, or of one that left out songs
    // no longer in the library.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool isSaving() const { return m_isSaving; }

    // Opens the editor over the selected songs, as a new batch with no error.
    void beginEditing(std::vector<Track> selection);
    // Closes the editor. A save still running finishes, but leaves whatever
    // editor is shown by then alone.
    void cancelEditing();

    // Applies `patch` to every song of the shown batch that is still in the
    // library. Success closes the editor; when some songs were gone it also
    // publishes in errorMessage how many were saved and how many were gone.
    // A failure is published in errorMessage and the editor stays open with
    // everything written so far undone. Never throws. Must not be called
    // without a batch or while a save runs.
    QCoro::Task<> save(SharedTrackMetadataPatch patch);

signals:
    void batchChanged();
    void errorMessageChanged();
    void isSavingChanged();

private:
    void setBatch(std::optional<TrackMetadataBatch> batch);
    void setErrorMessage(std::optional<QString> message);
    void setSaving(bool saving);

    // Returns how many songs of the batch were no longer in the library and
    // were left out; throws when that is all of them.
    QCoro::Task<std::size_t> apply(TrackMetadataBatch batch, SharedTrackMetadataPatch patch);
    QCoro::Task<> replaceArtwork(QByteArray artwork, std::vector<Track> tracks, ArtworkBatchSnapshot snapshot);

    TrackEditor& m_editor;
    ArtworkCache& m_artworkCache;
    std::optional<TrackMetadataBatch> m_batch;
    std::optional<QString> m_errorMessage;
    bool m_isSaving = false;
};

} // namespace varno
