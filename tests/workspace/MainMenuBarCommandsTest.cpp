#include "FakeEngines.h"
#include "TestSupport.h"

#include "platform/Error.h"
#include "platform/SettingsPreferencesStore.h"
#include "workspace/MainMenuBarCommands.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace varno;

namespace {

constexpr auto Left = WorkspacePanelSide::Left;
constexpr auto Right = WorkspacePanelSide::Right;

// An item as a line: its title, "(off)" when disabled, "[x]" or "[ ]" for
// toggles.
QString describeItem(const MenuItem& item)
{
    QString line = item.title;
    if (item.isChecked)
        line += *item.isChecked ? QStringLiteral(" [x]") : QStringLiteral(" [ ]");
    if (!item.isEnabled)
        line += QStringLiteral(" (off)");
    return line;
}

// Members are public so the cases' set-up functions can reach them.
QString nameOf(TrackListSelectionCommand command)
{
    switch (command) {
    case TrackListSelectionCommand::SelectAll: return QStringLiteral("select all");
    case TrackListSelectionCommand::DeselectAll: return QStringLiteral("deselect all");
    case TrackListSelectionCommand::EditSelection: return QStringLiteral("edit selection");
    }
    return {};
}

class MainMenuBarCommandsTest : public test::DataFolderTest {
public:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        panels = std::make_unique<WorkspacePanelState>(preferences);
        MainMenuBarCommands::Shell shell;
        shell.openAboutWindow = [this] { shellCalls << QStringLiteral("about"); };
        shell.importPlaylist = [this] { shellCalls << QStringLiteral("import playlist"); };
        shell.chooseFolders = [this] {
            shellCalls << QStringLiteral("choose folders");
            return chosenFolders;
        };
        shell.showWarning = [this](const QString& message, const QString& informative) {
            shellCalls << QStringLiteral("warning: ") + message + QStringLiteral(" / ") + informative;
        };
        shell.quit = [this] { shellCalls << QStringLiteral("quit"); };
        shell.focusSearch = [this] { shellCalls << QStringLiteral("focus search"); };
        menu = std::make_unique<MainMenuBarCommands>(shell, library, audio, queue, *panels);
    }

    QString line(MenuCommand command) const { return describeItem(menu->item(command)); }

    void focusListOf(qsizetype songs, qsizetype selected)
    {
        list = std::make_unique<TrackListSelectionCommandTarget>();
        list->setTrackCount(songs);
        list->setSelectionCount(selected);
        menu->setTrackListSelectionCommands(list.get());
    }

    void playSomething(PlaybackState state)
    {
        audio.setCurrentTrack(test::makeTrack(QStringLiteral("Current")));
        audio.setPlaybackState(state);
    }

    SettingsPreferencesStore preferences;
    test::FakeLibrary library;
    test::FakeAudioEngine audio;
    test::RecordingQueue queue;
    std::unique_ptr<WorkspacePanelState> panels;
    std::unique_ptr<TrackListSelectionCommandTarget> list;
    std::unique_ptr<MainMenuBarCommands> menu;
    QStringList shellCalls;
    std::vector<FileURL> chosenFolders;
};

TEST_F(MainMenuBarCommandsTest, MenusTitlesAndKeysInOrder)
{
    QStringList lines;
    for (const Menu& m : menu->menus()) {
        for (const MenuItem& item : m.items) {
            lines << m.title + QStringLiteral(": ") + (item.startsGroup ? QStringLiteral("--- ") : QString()) + item.title
                         + (item.shortcut.isEmpty() ? QString() : QStringLiteral(" [") + item.shortcut.toString() + QLatin1Char(']'));
        }
    }
    EXPECT_EQ(lines, (QStringList {
                         "File: Add Folder to Library... [Ctrl+Shift+O]",
                         "File: Import Playlist…",
                         "File: --- Rescan Library Folders [Ctrl+Shift+R]",
                         "File: --- Quit [Ctrl+Q]",
                         "Edit: Find in Library [Ctrl+F]",
                         "Edit: --- Select All Songs [Ctrl+A]",
                         "Edit: Deselect All Songs [Ctrl+Shift+A]",
                         "Edit: Edit Selected Song Metadata… [Ctrl+E]",
                         "Playback: Play [Space]",
                         "Playback: Next Track [Ctrl+Right]",
                         "Playback: Previous Track [Ctrl+Left]",
                         "Workspace: Enable Library Sidebar",
                         "Workspace: Show Library Sidebar [Ctrl+Shift+L]",
                         "Workspace: Lock Library Sidebar",
                         "Workspace: --- Enable Now Playing Inspector",
                         "Workspace: Show Now Playing Inspector [Ctrl+Shift+I]",
                         "Workspace: Lock Now Playing Inspector",
                         "Help: About VARNO MUSIC",
                     }));
}

// What the items read after a given state of the engines, panels and list.
struct MenuStateCase {
    const char* name;
    std::function<void(MainMenuBarCommandsTest&)> setUp;
    std::vector<std::pair<MenuCommand, const char*>> expected;
};

class MenuStateTest : public MainMenuBarCommandsTest, public ::testing::WithParamInterface<MenuStateCase> { };

TEST_P(MenuStateTest, TitlesAndEnabledStates)
{
    GetParam().setUp(*this);
    for (const auto& [command, expected] : GetParam().expected)
        EXPECT_EQ(line(command), QString::fromUtf8(expected)) << static_cast<int>(command);
}

INSTANTIATE_TEST_SUITE_P(
    States, MenuStateTest,
    ::testing::Values(
        MenuStateCase {"NoFocusedList", [](auto&) {},
                       {{MenuCommand::SelectAllSongs, "Select All Songs (off)"},
                        {MenuCommand::DeselectAllSongs, "Deselect All Songs (off)"},
                        {MenuCommand::EditSelection, "Edit Selected Song Metadata… (off)"},
                        {MenuCommand::AddFolder, "Add Folder to Library..."},
                        {MenuCommand::ImportPlaylist, "Import Playlist…"},
                        {MenuCommand::About, "About VARNO MUSIC"}}},
        MenuStateCase {"TenSongsNoneSelected", [](auto& f) { f.focusListOf(10, 0); },
                       {{MenuCommand::SelectAllSongs, "Select All Songs"},
                        {MenuCommand::DeselectAllSongs, "Deselect All Songs (off)"},
                        {MenuCommand::EditSelection, "Edit Selected Song Metadata… (off)"}}},
        MenuStateCase {"EmptyList", [](auto& f) { f.focusListOf(0, 0); }, {{MenuCommand::SelectAllSongs, "Select All Songs (off)"}}},
        MenuStateCase {"OneSelected", [](auto& f) { f.focusListOf(10, 1); },
                       {{MenuCommand::DeselectAllSongs, "Deselect All Songs"}, {MenuCommand::EditSelection, "Edit Selected Song Metadata…"}}},
        MenuStateCase {"TwoSelected", [](auto& f) { f.focusListOf(10, 2); },
                       {{MenuCommand::EditSelection, "Edit Shared Metadata for Selected Songs…"}}},
        MenuStateCase {"NothingLoaded", [](auto&) {},
                       {{MenuCommand::PlayPause, "Play (off)"}, {MenuCommand::NextTrack, "Next Track (off)"},
                        {MenuCommand::PreviousTrack, "Previous Track (off)"}}},
        MenuStateCase {"Playing", [](auto& f) { f.playSomething(PlaybackState::Playing); },
                       {{MenuCommand::PlayPause, "Pause"}, {MenuCommand::NextTrack, "Next Track"}, {MenuCommand::PreviousTrack, "Previous Track"}}},
        MenuStateCase {"Paused", [](auto& f) { f.playSomething(PlaybackState::Paused); }, {{MenuCommand::PlayPause, "Play"}}},
        MenuStateCase {"Buffering", [](auto& f) { f.playSomething(PlaybackState::Buffering); }, {{MenuCommand::PlayPause, "Play"}}},
        MenuStateCase {"PanelsAsAtFirstStart", [](auto&) {},
                       {{MenuCommand::EnableLibrarySidebar, "Enable Library Sidebar [x]"},
                        {MenuCommand::ShowLibrarySidebar, "Show Library Sidebar [x]"},
                        {MenuCommand::LockLibrarySidebar, "Lock Library Sidebar [ ]"}}},
        MenuStateCase {"LeftLockedAndCollapsed",
                       [](auto& f) {
                           f.panels->setPanelExpanded(Left, false);
                           f.panels->setPanelLocked(Left, true);
                       },
                       {{MenuCommand::ShowLibrarySidebar, "Show Library Sidebar [ ] (off)"},
                        {MenuCommand::LockLibrarySidebar, "Lock Library Sidebar [x]"},
                        {MenuCommand::ShowNowPlayingInspector, "Show Now Playing Inspector [x]"}}},
        MenuStateCase {"RightDisabled", [](auto& f) { f.panels->setPanelEnabled(Right, false); },
                       {{MenuCommand::EnableNowPlayingInspector, "Enable Now Playing Inspector [ ]"},
                        {MenuCommand::ShowNowPlayingInspector, "Show Now Playing Inspector [ ] (off)"},
                        {MenuCommand::LockNowPlayingInspector, "Lock Now Playing Inspector [ ] (off)"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainMenuBarCommandsTest, RecomputedWhenWhatItReadsIsPublished)
{
    QSignalSpy changed(menu.get(), &MainMenuBarCommands::menusChanged);
    playSomething(PlaybackState::Playing);
    EXPECT_EQ(line(MenuCommand::PlayPause), "Pause");
    panels->setPanelLocked(Right, true);
    EXPECT_EQ(line(MenuCommand::LockNowPlayingInspector), "Lock Now Playing Inspector [x]");
    focusListOf(5, 0);
    list->setSelectionCount(3);
    EXPECT_EQ(line(MenuCommand::EditSelection), "Edit Shared Metadata for Selected Songs…");
    const int afterChanges = static_cast<int>(changed.count());
    EXPECT_GE(afterChanges, 4);

    // Assignments that change no item publish nothing.
    audio.setPlaybackState(PlaybackState::Playing);
    list->setTrackCount(6);
    EXPECT_EQ(changed.count(), afterChanges);

    // A list that goes away is no longer the target.
    list.reset();
    EXPECT_EQ(menu->trackListSelectionCommands(), nullptr);
    EXPECT_EQ(line(MenuCommand::EditSelection), "Edit Selected Song Metadata… (off)");
    EXPECT_EQ(changed.count(), afterChanges + 1);
}

// Choosing an item: what reaches the engines, the panels, the list or the
// window.
struct ActionCase {
    const char* name;
    std::function<void(MainMenuBarCommandsTest&)> setUp;
    MenuCommand command;
    std::function<QStringList(MainMenuBarCommandsTest&)> observed;
    QStringList expected;
};

class ActionTest : public MainMenuBarCommandsTest, public ::testing::WithParamInterface<ActionCase> { };

TEST_P(ActionTest, RunsTheItemsAction)
{
    const ActionCase& c = GetParam();
    if (c.setUp)
        c.setUp(*this);
    std::vector<TrackListSelectionCommand> sent;
    if (list)
        QObject::connect(list.get(), &TrackListSelectionCommandTarget::commandSent, [&](auto command) { sent.push_back(command); });
    menu->trigger(c.command);
    QStringList observed = c.observed(*this);
    for (TrackListSelectionCommand command : sent)
        observed << QStringLiteral("list: ") + nameOf(command);
    EXPECT_EQ(observed, c.expected);
}

QStringList audioRequests(MainMenuBarCommandsTest& f) { return f.audio.requests; }
QStringList queueSteps(MainMenuBarCommandsTest& f) { return f.queue.steps; }
QStringList panelOf(MainMenuBarCommandsTest& f, WorkspacePanelSide side)
{
    return {f.panels->isEnabled(side) ? "enabled" : "disabled", f.panels->isExpanded(side) ? "expanded" : "collapsed",
            f.panels->isLocked(side) ? "locked" : "unlocked"};
}
QStringList leftPanel(MainMenuBarCommandsTest& f) { return panelOf(f, Left); }
QStringList rightPanel(MainMenuBarCommandsTest& f) { return panelOf(f, Right); }
QStringList shell(MainMenuBarCommandsTest& f) { return f.shellCalls; }
QStringList library(MainMenuBarCommandsTest& f)
{
    QStringList out = f.shellCalls;
    for (const auto& folders : f.library.addedFolders) {
        for (const FileURL& folder : folders)
            out << QStringLiteral("add ") + folder.toLocalFile();
    }
    if (f.library.rescans)
        out << QStringLiteral("rescans %1").arg(f.library.rescans);
    return out;
}

const auto playing = [](MainMenuBarCommandsTest& f) { f.playSomething(PlaybackState::Playing); };
const auto paused = [](MainMenuBarCommandsTest& f) { f.playSomething(PlaybackState::Paused); };
const auto listOfTen = [](MainMenuBarCommandsTest& f) { f.focusListOf(10, 2); };
const auto chooseTwo = [](MainMenuBarCommandsTest& f) {
    f.chosenFolders = {FileURL::fromLocalFile("/music/a"), FileURL::fromLocalFile("/music/b")};
};

INSTANTIATE_TEST_SUITE_P(
    Actions, ActionTest,
    ::testing::Values(
        ActionCase {"PauseWhilePlaying", playing, MenuCommand::PlayPause, audioRequests, {"pause"}},
        ActionCase {"ResumeWhilePaused", paused, MenuCommand::PlayPause, audioRequests, {"resume"}},
        ActionCase {"PlayDisabledBeforeAnySong", {}, MenuCommand::PlayPause, audioRequests, {}},
        ActionCase {"NextTrack", paused, MenuCommand::NextTrack, queueSteps, {"next"}},
        ActionCase {"PreviousTrackWithRestartRule", playing, MenuCommand::PreviousTrack, queueSteps, {"previous"}},
        ActionCase {"NextDisabledBeforeAnySong", {}, MenuCommand::NextTrack, queueSteps, {}},
        ActionCase {"SelectAll", listOfTen, MenuCommand::SelectAllSongs, shell, {"list: select all"}},
        ActionCase {"DeselectAll", listOfTen, MenuCommand::DeselectAllSongs, shell, {"list: deselect all"}},
        ActionCase {"EditSelection", listOfTen, MenuCommand::EditSelection, shell, {"list: edit selection"}},
        ActionCase {"EditWithoutSelectionDoesNothing", [](auto& f) { f.focusListOf(10, 0); }, MenuCommand::EditSelection, shell, {}},
        ActionCase {"DisableLibrarySidebar", {}, MenuCommand::EnableLibrarySidebar, leftPanel, {"disabled", "collapsed", "unlocked"}},
        ActionCase {"EnableLibrarySidebar", [](auto& f) { f.panels->disablePanel(Left); }, MenuCommand::EnableLibrarySidebar, leftPanel,
                    {"enabled", "expanded", "unlocked"}},
        ActionCase {"HideInspector", {}, MenuCommand::ShowNowPlayingInspector, rightPanel, {"enabled", "collapsed", "unlocked"}},
        ActionCase {"ShowLockedInspectorDoesNothing", [](auto& f) { f.panels->setPanelLocked(Right, true); },
                    MenuCommand::ShowNowPlayingInspector, rightPanel, {"enabled", "expanded", "locked"}},
        ActionCase {"LockInspector", {}, MenuCommand::LockNowPlayingInspector, rightPanel, {"enabled", "expanded", "locked"}},
        ActionCase {"UnlockSidebar", [](auto& f) { f.panels->setPanelLocked(Left, true); }, MenuCommand::LockLibrarySidebar, leftPanel,
                    {"enabled", "expanded", "unlocked"}},
        ActionCase {"About", {}, MenuCommand::About, shell, {"about"}},
        ActionCase {"Quit", {}, MenuCommand::Quit, shell, {"quit"}},
        ActionCase {"FindInLibrary", {}, MenuCommand::FindInLibrary, shell, {"focus search"}},
        ActionCase {"ImportPlaylist", {}, MenuCommand::ImportPlaylist, shell, {"import playlist"}},
        ActionCase {"Rescan", {}, MenuCommand::RescanLibrary, library, {"rescans 1"}},
        ActionCase {"AddFolders", chooseTwo, MenuCommand::AddFolder, library, {"choose folders", "add /music/a", "add /music/b"}},
        ActionCase {"AddFoldersCancelled", {}, MenuCommand::AddFolder, library, {"choose folders"}},
        ActionCase {"AddFoldersFails",
                    [](auto& f) {
                        chooseTwo(f);
                        f.library.failAddFolders = [] { throw Error(QStringLiteral("The disk is full.")); };
                    },
                    MenuCommand::AddFolder, library,
                    {"choose folders", "warning: The folder could not be added / The disk is full.", "add /music/a", "add /music/b"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainMenuBarCommandsTest, AddingFoldersCanBeAwaited)
{
    library.failAddFolders = [] { throw Error(QStringLiteral("No such folder")); };
    test::await(menu->addFolders({FileURL::fromLocalFile("/gone")}));
    EXPECT_EQ(shellCalls, QStringList {"warning: The folder could not be added / No such folder"});
}

} // namespace
