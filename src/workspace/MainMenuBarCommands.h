#pragma once

#include "library/LibraryEngine.h"
#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "storage/FileURL.h"
#include "workspace/TrackListSelectionCommandTarget.h"
#include "workspace/WorkspacePanelState.h"

#include <QCoroTask>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace varno {

// Every item of the menu bar.
enum class MenuCommand {
    About,
    AddFolder,
    ImportPlaylist,
    RescanLibrary,
    Quit,
    FindInLibrary,
    SelectAllSongs,
    DeselectAllSongs,
    EditSelection,
    PlayPause,
    NextTrack,
    PreviousTrack,
    EnableLibrarySidebar,
    ShowLibrarySidebar,
    LockLibrarySidebar,
    EnableNowPlayingInspector,
    ShowNowPlayingInspector,
    LockNowPlayingInspector,
};

// One item as the menu bar draws it.
struct MenuItem {
    MenuCommand command = MenuCommand::About;
    QString title;
    // Empty when the item has no key.
    QKeySequence shortcut;
    bool isEnabled = true;
    // Present for toggles: whether the check mark shows.
    std::optional<bool> isChecked;
    // A separator goes before the item.
    bool startsGroup = false;

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

struct Menu {
    QString title;
    QList<MenuItem> items;

    friend bool operator==(const Menu&, const Menu&) = default;
};

// The menu bar as data: menus in order, each item's title, key, enabled state
// and check mark, recomputed whenever the audio engine, the panels or the
// focused song list publish a change; menusChanged() follows each change. The
// window draws it and calls trigger() when an item is chosen. Keys follow the
// desktop's conventions: Ctrl where other systems use Command.
//
// Main thread only. The folder import and the rescan run as tasks on the main
// thread, so the menu stays responsive meanwhile.
class MainMenuBarCommands final : public QObject {
    Q_OBJECT

public:
    // What the menu needs from the window: dialogs it cannot show itself.
    struct Shell {
        // Opens the About window.
        std::function<void()> openAboutWindow;
        // A modal chooser of one or more folders; empty when cancelled.
        std::function<std::vector<FileURL>()> chooseFolders;
        // Chooses playlist files and makes playlists of them.
        std::function<void()> importPlaylist;
        // A modal warning with one "OK" button.
        std::function<void(const QString& message, const QString& informativeText)> showWarning;
        // A modal notice with one "OK" button, for news that is no failure.
        std::function<void(const QString& message, const QString& informativeText)> showNotice;
        // Closes the window, which ends the application as closing it by
        // hand does.
        std::function<void()> quit;
        // Puts the keyboard focus in the search field, its text selected.
        std::function<void()> focusSearch;
    };

    // "The folder could not be added"
    static const QString kAddFolderFailedMessage;

    MainMenuBarCommands(Shell shell, LibraryEngine& libraryEngine, AudioEngine& audioEngine, QueueEngine& queueEngine,
                        WorkspacePanelState& panelState, QObject* parent = nullptr);
    ~MainMenuBarCommands() override;

    const QList<Menu>& menus() const { return m_menus; }
    const MenuItem& item(MenuCommand command) const;

    // The song list that has focus, or none. Not owned; a list that goes
    // away is forgotten.
    TrackListSelectionCommandTarget* trackListSelectionCommands() const { return m_trackListSelectionCommands; }
    void setTrackListSelectionCommands(TrackListSelectionCommandTarget* target);

    // Runs the item's action; a disabled item does nothing.
    void trigger(MenuCommand command);

    // Adds the folders to the library and says how it went: nothing when
    // every song came in; a notice with the number added and what was
    // skipped and why when some came in; a warning headed
    // kAddFolderFailedMessage when none could, or the import failed. What
    // "Add Folder to Library..." runs once folders are chosen.
    QCoro::Task<> addFolders(std::vector<FileURL> folders);

signals:
    void menusChanged();

private:
    QList<Menu> buildMenus() const;
    void refresh();
    void run(MenuCommand command);
    QCoro::Task<> rescanLibrary();

    Shell m_shell;
    LibraryEngine& m_libraryEngine;
    AudioEngine& m_audioEngine;
    QueueEngine& m_queueEngine;
    WorkspacePanelState& m_panelState;
    QPointer<TrackListSelectionCommandTarget> m_trackListSelectionCommands;
    QList<QMetaObject::Connection> m_targetConnections;
    QList<Menu> m_menus;
};

} // namespace varno
