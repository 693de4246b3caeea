#pragma once

#include "ui/InspectedSongState.h"
#include "workspace/AlbumCatalog.h"
#include "ui/window/AboutWindow.h"
#include "ui/ViewEnvironment.h"
#include "ui/WindowEngines.h"
#include "ui/settings/SettingsView.h"
#include "ui/window/FocusRegions.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QUndoStack>
#include <QPointer>

#include <memory>

namespace varno {

class AboutWindow;
class ArtworkAccentFollower;
class DesktopDialogs;
class EditorSheetPresenter;
class FocusRing;
class MainLayoutView;
class MainMenuBarCommands;
class MenuBarBinder;
class SearchPopup;
class ThemeApplier;
class TrackTableLayoutState;
class WindowMemory;
class WorkspacePanelState;

// The main window: the menu bar, the About button and the main layout. It
// observes the engines it is handed and the window state it is given and
// owns none of them. It opens where it was left (on the same screen, kept on
// a visible one) and keeps its placement in `memory` as it moves. Main
// thread only.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 1320;
    static constexpr int kDefaultHeight = 820;

    MainWindow(WindowEngines engines, WorkspacePanelState& panelState, TrackTableLayoutState& trackTableLayout, WindowMemory& memory,
               DesktopDialogs& dialogs, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainLayoutView& layoutView() const { return *m_layout; }
    MainMenuBarCommands& menuCommands() const { return *m_commands; }
    MenuBarBinder& menuBarBinder() const { return *m_menuBinder; }
    InspectedSongState& inspection() { return m_inspection; }
    // The song editors and the rename sheet, shown over this window.
    EditorSheetPresenter& editors() const { return *m_editors; }
    QUndoStack& undoStack() { return m_undoStack; }
    // Opens (or raises) the About window.
    void openAboutWindow();
    AboutWindow* aboutWindow() const { return m_about; }
    // Opens (or raises) the settings sheet.
    void openSettings();
    SettingsView* settingsSheet() const { return m_settings; }
    ThemeApplier& themeApplier() const { return *m_themeApplier; }
    QLineEdit* searchField() const { return m_searchField; }
    // Tab, Shift+Tab, F6 and Shift+F6 move through these parts, in order.
    const FocusRegions& focusRegions() const { return m_focusRegions; }
    // The ring drawn around the control with the keyboard focus.
    FocusRing* focusRing() const { return m_focusRing; }
    SearchPopup* searchResults() const { return m_search; }

protected:
    bool focusNextPrevChild(bool next) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restorePlacement();
    void rememberPlacement();

    WindowEngines m_engines;
    WindowMemory& m_memory;
    DesktopDialogs& m_dialogs;
    InspectedSongState m_inspection;
    // Grouped from the first publication of the library on, so the album
    // screens open on albums already known.
    AlbumCatalog m_albumCatalog;
    // Removals and column changes; undone from the Edit menu.
    QUndoStack m_undoStack;
    MainLayoutView* m_layout = nullptr;
    std::unique_ptr<MainMenuBarCommands> m_commands;
    MenuBarBinder* m_menuBinder = nullptr;
    EditorSheetPresenter* m_editors = nullptr;
    QPointer<AboutWindow> m_about;
    QPointer<SettingsView> m_settings;
    ThemeApplier* m_themeApplier = nullptr;
    ArtworkAccentFollower* m_accentFollower = nullptr;
    QLineEdit* m_searchField = nullptr;
    SearchPopup* m_search = nullptr;
    QWidget* m_toolRow = nullptr;
    FocusRegions m_focusRegions;
    FocusRing* m_focusRing = nullptr;
};

} // namespace varno
