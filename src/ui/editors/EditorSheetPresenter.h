#pragma once

#include "storage/Playlist.h"
#include "storage/Track.h"
#include "ui/ViewEnvironment.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

class QDialog;
class QWidget;

namespace varno {

class BulkMetadataEditorSheet;
class PlaylistRenameSheet;
class TrackMetadataBatchCoordinator;
class TrackMetadataEditorSheet;

// Shows the song editors and the rename sheet over the window, one at a time,
// and stores what the single-song editor hands back: the track editor writes
// the fields the user changed, and only then does the sheet close (a refusal
// is shown in the sheet, which stays open). The shared editor's saving belongs to the song list's
// shared-edit coordinator, which the sheet talks to directly.
//
// Main thread only.
class EditorSheetPresenter final : public QObject {
    Q_OBJECT

public:
    EditorSheetPresenter(ViewEnvironment environment, QWidget* window);
    ~EditorSheetPresenter() override;

    // The song's current record is edited (the list's copy may be older).
    void editTrack(const Track& track);
    // Over the coordinator's open batch; nothing when it has none.
    void editShared(TrackMetadataBatchCoordinator& coordinator);
    void renamePlaylist(const Playlist& playlist);

    // The sheet shown now, if it is of that kind.
    TrackMetadataEditorSheet* trackEditor() const;
    BulkMetadataEditorSheet* sharedEditor() const;
    PlaylistRenameSheet* renameSheet() const;

signals:
    // A sheet was opened (tests and screenshots wait for it).
    void sheetOpened(QDialog* sheet);

private:
    void present(QDialog* sheet);
    void closeShownSheet();
    QCoro::Task<> storeTrack(QPointer<TrackMetadataEditorSheet> sheet, Track track);

    ViewEnvironment m_environment;
    QWidget* m_window;
    QPointer<TrackMetadataEditorSheet> m_trackEditor;
    QPointer<BulkMetadataEditorSheet> m_sharedEditor;
    QPointer<PlaylistRenameSheet> m_renameSheet;
};

} // namespace varno
