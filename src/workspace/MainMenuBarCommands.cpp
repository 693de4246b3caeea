#include "MainMenuBarCommands.h"

#include "platform/Error.h"
#include "workspace/ImportReport.h"

#include <QLoggingCategory>

#include <exception>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcWorkspace, "varno.workspace")

QKeySequence keys(QKeyCombination combination)
{
    return QKeySequence(combination);
}

struct PanelCommands {
    WorkspacePanelSide side;
    MenuCommand enable;
    MenuCommand show;
    MenuCommand lock;
};

constexpr PanelCommands kPanelCommands[] = {
    {WorkspacePanelSide::Left, MenuCommand::EnableLibrarySidebar, MenuCommand::ShowLibrarySidebar, MenuCommand::LockLibrarySidebar},
    {WorkspacePanelSide::Right, MenuCommand::EnableNowPlayingInspector, MenuCommand::ShowNowPlayingInspector,
     MenuCommand::LockNowPlayingInspector},
};

} // namespace

const QString MainMenuBarCommands::kAddFolderFailedMessage = QStringLiteral("The folder could not be added");

MainMenuBarCommands::MainMenuBarCommands(Shell shell, LibraryEngine& libraryEngine, AudioEngine& audioEngine, QueueEngine& queueEngine,
                                         WorkspacePanelState& panelState, QObject* parent)
    : QObject(parent)
    , m_shell(std::move(shell))
    , m_libraryEngine(libraryEngine)
    , m_audioEngine(audioEngine)
    , m_queueEngine(queueEngine)
    , m_panelState(panelState)
{
    // Only what the titles and enabled states read is observed: the library
    // and the queue are acted on but shape no item.
    connect(&m_audioEngine, &AudioEngine::playbackStateChanged, this, &MainMenuBarCommands::refresh);
    connect(&m_audioEngine, &AudioEngine::currentTrackChanged, this, &MainMenuBarCommands::refresh);
    connect(&m_panelState, &WorkspacePanelState::panelChanged, this, &MainMenuBarCommands::refresh);
    m_menus = buildMenus();
}

MainMenuBarCommands::~MainMenuBarCommands() = default;

const MenuItem& MainMenuBarCommands::item(MenuCommand command) const
{
    for (const Menu& menu : m_menus) {
        for (const MenuItem& entry : menu.items) {
            if (entry.command == command)
                return entry;
        }
    }
    Q_UNREACHABLE();
    return m_menus.front().items.front();
}

void MainMenuBarCommands::setTrackListSelectionCommands(TrackListSelectionCommandTarget* target)
{
    if (target == m_trackListSelectionCommands)
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_targetConnections))
        disconnect(connection);
    m_targetConnections.clear();
    m_trackListSelectionCommands = target;
    if (target) {
        m_targetConnections = {
            connect(target, &TrackListSelectionCommandTarget::trackCountChanged, this, &MainMenuBarCommands::refresh),
            connect(target, &TrackListSelectionCommandTarget::selectionCountChanged, this, &MainMenuBarCommands::refresh),
            // The pointer is already cleared when this arrives.
            connect(target, &QObject::destroyed, this, &MainMenuBarCommands::refresh),
        };
    }
    refresh();
}

void MainMenuBarCommands::trigger(MenuCommand command)
{
    // The window may still show an item that was disabled a moment ago.
    if (item(command).isEnabled)
        run(command);
}

QList<Menu> MainMenuBarCommands::buildMenus() const
{
    const TrackListSelectionCommandTarget* list = m_trackListSelectionCommands;
    const qsizetype songs = list ? list->trackCount() : 0;
    const qsizetype selected = list ? list->selectionCount() : 0;
    const bool hasSong = m_audioEngine.currentTrack().has_value();

    Menu file {QStringLiteral("File"), {}};
    file.items = {
        {MenuCommand::AddFolder, QStringLiteral("Add Folder to Library..."), keys(Qt::CTRL | Qt::SHIFT | Qt::Key_O), true, {}, false},
        {MenuCommand::ImportPlaylist, QStringLiteral("Import Playlist\u2026"), {}, true, {}, false},
        {MenuCommand::RescanLibrary, QStringLiteral("Rescan Library Folders"), keys(Qt::CTRL | Qt::SHIFT | Qt::Key_R), true, {}, true},
        {MenuCommand::Quit, QStringLiteral("Quit"), keys(Qt::CTRL | Qt::Key_Q), true, {}, true},
    };

    // The separator before the song items closes the text-editing group
    // (undo, cut, copy, paste) the window puts first.
    Menu edit {QStringLiteral("Edit"), {}};
    edit.items = {
        {MenuCommand::FindInLibrary, QStringLiteral("Find in Library"), keys(Qt::CTRL | Qt::Key_F), true, {}, false},
        {MenuCommand::SelectAllSongs, QStringLiteral("Select All Songs"), keys(Qt::CTRL | Qt::Key_A), songs > 0, {}, true},
        {MenuCommand::DeselectAllSongs, QStringLiteral("Deselect All Songs"), keys(Qt::CTRL | Qt::SHIFT | Qt::Key_A), selected > 0, {}, false},
        {MenuCommand::EditSelection,
         selected >= 2 ? QStringLiteral("Edit Shared Metadata for Selected Songs…") : QStringLiteral("Edit Selected Song Metadata…"),
         keys(Qt::CTRL | Qt::Key_E), selected > 0, {}, false},
    };

    Menu playback {QStringLiteral("Playback"), {}};
    playback.items = {
        {MenuCommand::PlayPause, m_audioEngine.isPlaying() ? QStringLiteral("Pause") : QStringLiteral("Play"), QKeySequence(Qt::Key_Space),
         hasSong, {}, false},
        {MenuCommand::NextTrack, QStringLiteral("Next Track"), keys(Qt::CTRL | Qt::Key_Right), hasSong, {}, false},
        {MenuCommand::PreviousTrack, QStringLiteral("Previous Track"), keys(Qt::CTRL | Qt::Key_Left), hasSong, {}, false},
    };

    Menu workspace {QStringLiteral("Workspace"), {}};
    for (const PanelCommands& panel : kPanelCommands) {
        const QString name = WorkspacePanelState::panelName(panel.side);
        const bool enabled = m_panelState.isEnabled(panel.side);
        const QKeySequence showKey = keys(Qt::CTRL | Qt::SHIFT | (panel.side == WorkspacePanelSide::Left ? Qt::Key_L : Qt::Key_I));
        workspace.items.append({panel.enable, QStringLiteral("Enable ") + name, {}, true, enabled, panel.side == WorkspacePanelSide::Right});
        // Showing goes through the lock like the divider and the reveal button
        // do, so the item is off while it could not take effect.
        workspace.items.append({panel.show, QStringLiteral("Show ") + name, showKey, m_panelState.canChange(panel.side),
                                m_panelState.isExpanded(panel.side), false});
        // A disabled panel has nothing to lock, and disabling it unlocks it.
        workspace.items.append({panel.lock, QStringLiteral("Lock ") + name, {}, enabled, m_panelState.isLocked(panel.side), false});
    }

    Menu help {QStringLiteral("Help"), {}};
    help.items = {{MenuCommand::About, QStringLiteral("About VARNO MUSIC"), {}, true, {}, false}};

    return {file, edit, playback, workspace, help};
}

void MainMenuBarCommands::refresh()
{
    QList<Menu> menus = buildMenus();
    if (menus == m_menus)
        return;
    m_menus = std::move(menus);
    emit menusChanged();
}

void MainMenuBarCommands::run(MenuCommand command)
{
    const auto send = [this](TrackListSelectionCommand listCommand) {
        if (m_trackListSelectionCommands)
            m_trackListSelectionCommands->send(listCommand);
    };
    switch (command) {
    case MenuCommand::About:
        if (m_shell.openAboutWindow)
            m_shell.openAboutWindow();
        return;
    case MenuCommand::AddFolder: {
        std::vector<FileURL> folders = m_shell.chooseFolders ? m_shell.chooseFolders() : std::vector<FileURL>();
        if (folders.empty())
            return;
        // Dropped, not awaited: the task runs on by itself and reports its
        // own failure.
        auto adding = addFolders(std::move(folders));
        return;
    }
    case MenuCommand::ImportPlaylist:
        if (m_shell.importPlaylist)
            m_shell.importPlaylist();
        return;
    case MenuCommand::RescanLibrary: {
        auto rescanning = rescanLibrary();
        return;
    }
    case MenuCommand::Quit:
        if (m_shell.quit)
            m_shell.quit();
        return;
    case MenuCommand::FindInLibrary:
        if (m_shell.focusSearch)
            m_shell.focusSearch();
        return;
    case MenuCommand::SelectAllSongs:
        send(TrackListSelectionCommand::SelectAll);
        return;
    case MenuCommand::DeselectAllSongs:
        send(TrackListSelectionCommand::DeselectAll);
        return;
    case MenuCommand::EditSelection:
        send(TrackListSelectionCommand::EditSelection);
        return;
    case MenuCommand::PlayPause:
        if (m_audioEngine.isPlaying())
            m_audioEngine.pause();
        else
            m_audioEngine.resume();
        return;
    case MenuCommand::NextTrack:
        m_queueEngine.advanceToNext();
        return;
    case MenuCommand::PreviousTrack:
        m_queueEngine.returnToPrevious();
        return;
    default:
        break;
    }
    for (const PanelCommands& panel : kPanelCommands) {
        if (command == panel.enable)
            m_panelState.setPanelEnabled(panel.side, !m_panelState.isEnabled(panel.side));
        else if (command == panel.show)
            m_panelState.setPanelExpanded(panel.side, !m_panelState.isExpanded(panel.side));
        else if (command == panel.lock)
            m_panelState.setPanelLocked(panel.side, !m_panelState.isLocked(panel.side));
    }
}

QCoro::Task<> MainMenuBarCommands::addFolders(std::vector<FileURL> folders)
{
    const QPointer<MainMenuBarCommands> self(this);
    std::exception_ptr failure;
    ImportSummary summary;
    try {
        auto adding = m_libraryEngine.importPaths(std::move(folders), {});
        summary = co_await std::move(adding);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        if (failure)
            qCWarning(lcWorkspace) << "Adding folders failed after the menu was gone:" << describe(failure);
        co_return;
    }
    if (failure) {
        if (m_shell.showWarning)
            m_shell.showWarning(kAddFolderFailedMessage, describe(failure));
        co_return;
    }
    // Songs added beside files skipped are news, not a failure.
    const ImportReport report = reportImport(summary, kAddFolderFailedMessage);
    if (report.kind == ImportReport::Kind::Failure && m_shell.showWarning)
        m_shell.showWarning(report.message, report.details);
    else if (report.kind == ImportReport::Kind::Notice && m_shell.showNotice)
        m_shell.showNotice(report.message, report.details);
}

QCoro::Task<> MainMenuBarCommands::rescanLibrary()
{
    // Nothing is shown for a rescan; the library publishes what it finds.
    try {
        auto rescanning = m_libraryEngine.rescanLibrary();
        co_await std::move(rescanning);
    } catch (const std::exception& error) {
        qCWarning(lcWorkspace) << "Rescanning the library folders failed:" << describe(error);
    }
}

} // namespace varno
