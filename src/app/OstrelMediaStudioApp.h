#pragma once

#include <QStringList>

#include <memory>
#include <optional>

namespace varno {

class DIContainer;
class DesktopDialogs;
class FileOpenHandler;
class MainWindow;
class PlaybackRemote;
class SingleInstance;
class PreferencesStore;
class TrackTableLayoutState;
class WindowMemory;
class WorkspacePanelState;

// The application value: holds the composition root and the main window for
// the life of the process. Main thread only; a QApplication must exist.
class OstrelMediaStudioApp final {
public:
    OstrelMediaStudioApp();
    ~OstrelMediaStudioApp();

    // Builds the container (ending the process on a critical boot failure),
    // shows the main window, publishes the player on the session bus and
    // opens `arguments` (files and folders, as paths or file URLs). When an
    // app over the same library already runs, it is handed the files
    // instead and the status this process should end with is returned.
    std::optional<int> start(const QStringList& arguments = {});

    // Brings the window to the front, also from a minimised state.
    void raiseWindow();

    DIContainer& container();
    // The window's own state, kept in the user's preferences; made on first
    // use and kept for the life of the process.
    WorkspacePanelState& panelState();
    TrackTableLayoutState& trackTableLayout();
    WindowMemory& windowMemory();
    // Null until start().
    MainWindow* mainWindow() const { return m_mainWindow.get(); }

private:
    PreferencesStore& preferences();

    std::unique_ptr<DIContainer> m_container;
    std::unique_ptr<PreferencesStore> m_preferences;
    std::unique_ptr<WorkspacePanelState> m_panelState;
    std::unique_ptr<TrackTableLayoutState> m_trackTableLayout;
    std::unique_ptr<WindowMemory> m_windowMemory;
    std::unique_ptr<DesktopDialogs> m_dialogs;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<FileOpenHandler> m_fileOpener;
    // Goes before the window and the engines: it observes both.
    std::unique_ptr<PlaybackRemote> m_remote;
    // Declared after the container so it is destroyed first: views observe
    // the engines and must go before them.
    std::unique_ptr<MainWindow> m_mainWindow;
};

} // namespace varno
