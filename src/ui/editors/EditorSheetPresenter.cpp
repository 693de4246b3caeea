#include "EditorSheetPresenter.h"

#include "edits/TrackEditor.h"
#include "edits/TrackMetadataBatchCoordinator.h"
#include "library/LibraryEngine.h"
#include "platform/Error.h"
#include "ui/editors/BulkMetadataEditorSheet.h"
#include "ui/editors/PlaylistRenameSheet.h"
#include "ui/editors/TrackMetadataEditorSheet.h"

#include <QWidget>

namespace varno {

EditorSheetPresenter::EditorSheetPresenter(ViewEnvironment environment, QWidget* window)
    : QObject(window)
    , m_environment(environment)
    , m_window(window)
{
}

EditorSheetPresenter::~EditorSheetPresenter() = default;

TrackMetadataEditorSheet* EditorSheetPresenter::trackEditor() const
{
    return m_trackEditor;
}

BulkMetadataEditorSheet* EditorSheetPresenter::sharedEditor() const
{
    return m_sharedEditor;
}

PlaylistRenameSheet* EditorSheetPresenter::renameSheet() const
{
    return m_renameSheet;
}

void EditorSheetPresenter::editTrack(const Track& track)
{
    closeShownSheet();
    const SharedTrack current = m_environment.libraryEngine.allTracks().find(track.id);
    auto* sheet = new TrackMetadataEditorSheet(current ? *current : track, m_environment.artworkCache, m_environment.trackEditor,
                                               m_environment.dialogs, m_window);
    m_trackEditor = sheet;
    connect(sheet, &TrackMetadataEditorSheet::saveRequested, this, [this, sheet](const Track& edited) {
        auto storing = storeTrack(QPointer<TrackMetadataEditorSheet>(sheet), edited);
    });
    present(sheet);
}

QCoro::Task<> EditorSheetPresenter::storeTrack(QPointer<TrackMetadataEditorSheet> sheet, Track track)
{
    // What the user changed since the sheet opened, and only that, is
    // written over the song as the library holds it now: an edit of other
    // fields made meanwhile (the right panel's, another process's) stays.
    const TrackPatch changes = TrackPatch::between(sheet->track(), track);
    sheet->setSaving(true);
    std::optional<QString> failure;
    try {
        auto updating = m_environment.trackEditor.edit(track.id, changes);
        co_await std::move(updating);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    // The window may have gone meanwhile; the sheet is the only thing
    // touched from here on.
    if (!sheet)
        co_return;
    sheet->setSaving(false);
    sheet->setErrorMessage(failure);
    if (!failure)
        sheet->finishSaving();
}

void EditorSheetPresenter::editShared(TrackMetadataBatchCoordinator& coordinator)
{
    if (!coordinator.batch())
        return;
    closeShownSheet();
    auto* sheet = new BulkMetadataEditorSheet(coordinator, m_environment.dialogs, m_window);
    m_sharedEditor = sheet;
    present(sheet);
}

void EditorSheetPresenter::renamePlaylist(const Playlist& playlist)
{
    closeShownSheet();
    auto* sheet = new PlaylistRenameSheet(playlist, m_environment.playlistEngine, m_window);
    m_renameSheet = sheet;
    present(sheet);
}

void EditorSheetPresenter::present(QDialog* sheet)
{
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // open(), not exec(): the window keeps its event loop, so the engines'
    // work goes on while the sheet is shown.
    sheet->open();
    emit sheetOpened(sheet);
}

void EditorSheetPresenter::closeShownSheet()
{
    for (QDialog* shown : {static_cast<QDialog*>(m_trackEditor.data()), static_cast<QDialog*>(m_sharedEditor.data()),
                           static_cast<QDialog*>(m_renameSheet.data())}) {
        if (shown)
            shown->reject();
    }
}

} // namespace varno
