#include "TestSupport.h"
#include "UiHarness.h"

#include "playback/QueueEngine.h"
#include "ui/MainWindow.h"
#include "ui/player/BottomPlayerView.h"
#include "ui/player/PlayerTransportControls.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/MenuBarBinder.h"
#include "ui/window/WorkspacePanelRegion.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

class WindowKeysTest : public test::DataFolderTest {
protected:
    std::unique_ptr<MainWindow> openWindowWithSongs(test::UiHarness& ui)
    {
        ui.importSongs(scratch(QStringLiteral("music")), {QStringLiteral("One"), QStringLiteral("Two")}, test::UiHarness::titleAndArtist);
        auto window = ui.openMainWindow();
        ui.container->queueEngine().playNow(ui.container->libraryEngine().allTracks(), 0);
        EXPECT_TRUE(test::waitUntil([&] { return window->layoutView().playerBar()->isShowingSong(); }));
        return window;
    }

    static void press(QKeyCombination keys)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        QTest::keyClick(target, keys.key(), keys.keyboardModifiers());
    }

    // Which part of the window holds the keyboard focus.
    static QString focusedPart(MainWindow& window)
    {
        QWidget* focus = QApplication::focusWidget();
        MainLayoutView& layout = window.layoutView();
        const auto holds = [focus](QWidget* part) { return part && (part == focus || part->isAncestorOf(focus)); };
        if (holds(window.searchField()))
            return QStringLiteral("search");
        if (holds(layout.panelRegion(WorkspacePanelSide::Left)))
            return QStringLiteral("sidebar");
        if (layout.visibleTrackList() && holds(&layout.visibleTrackList()->table()))
            return QStringLiteral("song table");
        if (holds(layout.centreWidget()))
            return QStringLiteral("centre");
        if (holds(layout.panelRegion(WorkspacePanelSide::Right)))
            return QStringLiteral("right panel");
        if (holds(layout.playerBar()->transport()->playPauseButton()))
            return QStringLiteral("play button");
        if (holds(layout.playerBar()))
            return QStringLiteral("player bar");
        return focus ? QString::fromLatin1(focus->metaObject()->className()) : QStringLiteral("nothing");
    }
};

TEST_F(WindowKeysTest, QuitInTheFileMenuClosesTheWindowAndWritesTheSessionAsClosingDoes)
{
    test::UiHarness ui;
    auto window = openWindowWithSongs(ui);
    QAction* quit = window->menuBarBinder().action(MenuCommand::Quit);
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->text(), QStringLiteral("Quit"));
    EXPECT_EQ(quit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    QFile::remove(appFolder() + QStringLiteral("/playback_state.json"));

    press(Qt::CTRL | Qt::Key_Q);
    // Closed as by hand: the application ends when its last window closes.
    EXPECT_FALSE(window->isVisible());
    // Leaving the window makes the application inactive, which writes the
    // session at once, as for a window closed by hand.
    EXPECT_TRUE(test::waitUntil([&] { return QFile::exists(appFolder() + QStringLiteral("/playback_state.json")); }));
}

TEST_F(WindowKeysTest, CtrlFGoesToTheSearchFieldAndEscapeLeavesItForTheSongList)
{
    test::UiHarness ui;
    auto window = openWindowWithSongs(ui);
    window->layoutView().sidebar()->settingsButton()->setFocus();
    window->searchField()->setText(QStringLiteral("earlier"));
    press(Qt::CTRL | Qt::Key_F);
    EXPECT_EQ(focusedPart(*window), QStringLiteral("search"));
    EXPECT_EQ(window->searchField()->selectedText(), QStringLiteral("earlier"));

    QTest::keyClicks(window->searchField(), QStringLiteral("One"));
    press(Qt::Key_Escape);
    EXPECT_TRUE(window->searchField()->text().isEmpty());
    EXPECT_EQ(focusedPart(*window), QStringLiteral("song table"));
}

TEST_F(WindowKeysTest, F6AndShiftF6JumpBetweenThePartsOfTheWindowInOrder)
{
    test::UiHarness ui;
    auto window = openWindowWithSongs(ui);
    window->searchField()->setFocus();
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        press(QKeyCombination(Qt::Key_F6));
        visited << focusedPart(*window);
    }
    EXPECT_EQ(visited, (QStringList {"sidebar", "song table", "right panel", "play button", "search"}));
    press(Qt::SHIFT | Qt::Key_F6);
    EXPECT_EQ(focusedPart(*window), QStringLiteral("play button"));
    press(Qt::SHIFT | Qt::Key_F6);
    EXPECT_EQ(focusedPart(*window), QStringLiteral("right panel"));
}

TEST_F(WindowKeysTest, TabLeavesTheSongTableForTheNextPartAndShiftTabComesBack)
{
    test::UiHarness ui;
    auto window = openWindowWithSongs(ui);
    TrackTableView& table = window->layoutView().visibleTrackList()->table();
    table.setFocus();
    press(QKeyCombination(Qt::Key_Tab));
    EXPECT_EQ(focusedPart(*window), QStringLiteral("right panel"));
    press(Qt::SHIFT | Qt::Key_Backtab);
    EXPECT_EQ(focusedPart(*window), QStringLiteral("song table"));

    // Walking forward from the search field passes every part in order and
    // comes round again.
    window->searchField()->setFocus();
    QStringList parts {focusedPart(*window)};
    for (int i = 0; i < 200; ++i) {
        press(QKeyCombination(Qt::Key_Tab));
        if (focusedPart(*window) == QStringLiteral("search"))
            break;
        if (focusedPart(*window) != parts.last())
            parts << focusedPart(*window);
    }
    parts.removeAll(QStringLiteral("QToolButton"));
    parts.removeDuplicates();
    EXPECT_EQ(parts, (QStringList {"search", "sidebar", "centre", "song table", "right panel", "player bar", "play button"}));
}

} // namespace
} // namespace varno
