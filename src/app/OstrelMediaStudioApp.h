#pragma once

#include <memory>

namespace varno {

class DIContainer;
class DesktopDialogs;
class MainWindow;
class PreferencesStore;
class TrackTableLayoutState;
class WorkspacePanelState;

// The application value: holds the composition root and the main window for
// the life of the process. Main thread only; a QApplication must exist.
class OstrelMediaStudioApp final {
public:
    OstrelMediaStudioApp();
    ~OstrelMediaStudioApp();

    // Builds the container (ending the process on a critical boot failure)
    // and shows the main window.
    void start();

    DIContainer& container();
    // The window's own state, kept in the user's preferences; made on first
    // use and kept for the life of the process.
    WorkspacePanelState& panelState();
    TrackTableLayoutState& trackTableLayout();
    // Null until start().
    MainWindow* mainWindow() const { return m_mainWindow.get(); }

private:
    PreferencesStore& preferences();

    std::unique_ptr<DIContainer> m_container;
    std::unique_ptr<PreferencesStore> m_preferences;
    std::unique_ptr<WorkspacePanelState> m_panelState;
    std::unique_ptr<TrackTableLayoutState> m_trackTableLayout;
    std::unique_ptr<DesktopDialogs> m_dialogs;
    // Declared after the container so it is destroyed first: views observe
    // the engines and must go before them.
    std::unique_ptr<MainWindow> m_mainWindow;
};

} // namespace varno
