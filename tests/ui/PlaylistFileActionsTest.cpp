#include "TestSupport.h"
#include "UiHarness.h"
#include "ViewTestSupport.h"

#include "playlists/PlaylistEngine.h"
#include "ui/MainWindow.h"
#include "ui/playlists/PlaylistFileActions.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/MenuBarBinder.h"
#include "workspace/MainMenuBarCommands.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace varno {
namespace {

class PlaylistFileActionsTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
        window = harness->openMainWindow(test::UiHarness::Readiness::Exposed);
    }
    void TearDown() override
    {
        window.reset();
        harness.reset();
        DataFolderTest::TearDown();
    }

    SidebarView& sidebar() { return *window->layoutView().sidebar(); }
    PlaylistEngine& playlists() { return harness->container->playlistEngine(); }
    test::FakeDialogs& dialogs() { return harness->dialogs; }

    // A playlist file beside a copy of a tagged song, with a missing file and
    // a stream too.
    QString writePlaylistFile(const QString& name)
    {
        const QString folder = scratch(QStringLiteral("lists"));
        QDir().mkpath(folder);
        QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.flac")), folder + QStringLiteral("/song.flac"));
        const QString path = folder + QLatin1Char('/') + name;
        test::writeFile(path, "#EXTM3U\nsong.flac\nmissing.mp3\nhttps://radio.example/live\n");
        return path;
    }

    // Runs `action` until the imports it starts have run their course.
    template<typename Action>
    void importing(Action&& action)
    {
        QSignalSpy finished(sidebar().playlistFiles(), &PlaylistFileActions::importsFinished);
        action();
        ASSERT_TRUE(test::waitUntil([&] { return finished.count() == 1; }));
        test::await(playlists().waitForPendingOperations());
    }

    std::unique_ptr<test::UiHarness> harness;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(PlaylistFileActionsTest, FileImportPlaylistMakesAPlaylistOfTheChosenFileAndListsWhatItSkippedInOneMessage)
{
    const QString file = writePlaylistFile(QStringLiteral("Road Trip.m3u8"));
    dialogs().fileAnswers.push_back({FileURL::fromLocalFile(file)});
    QAction* item = window->menuBarBinder().action(MenuCommand::ImportPlaylist);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("Import Playlist…"));
    importing([&] { item->trigger(); });

    ASSERT_EQ(playlists().rootPlaylists().size(), 1);
    const Playlist made = playlists().rootPlaylists()[0];
    EXPECT_EQ(made.name, QStringLiteral("Road Trip"));
    EXPECT_EQ(test::titlesOf(playlists().getTracks(made.id)), QStringList {QStringLiteral("Tagged Title")});
    EXPECT_TRUE(test::readFile(appFile(QStringLiteral("playlist_records.json"))).contains("\"name\":\"Road Trip\""));
    ASSERT_EQ(dialogs().shown.size(), 2);
    EXPECT_EQ(dialogs().shown[0].title, QStringLiteral("Import Playlist"));
    EXPECT_EQ(dialogs().shown[1].kind, QStringLiteral("warning"));
    EXPECT_EQ(dialogs().shown[1].title, QStringLiteral("Some entries of the playlist were skipped"));
    EXPECT_EQ(dialogs().shown[1].message, QStringLiteral("2 entries of \u201CRoad Trip.m3u8\u201D were skipped:\n"
                                                         "missing.mp3 (no such file)\n"
                                                         "https://radio.example/live (a stream, not a file)"));
    // The playlist made is the one shown.
    EXPECT_EQ(sidebar().selection(), NavigationDestination::playlist(made.id));
}

TEST_F(PlaylistFileActionsTest, APlaylistFileDroppedOnTheSidebarBecomesAPlaylistAndOtherFilesAreLeftAlone)
{
    const QString file = writePlaylistFile(QStringLiteral("Dropped.pls"));
    test::writeFile(file, "[playlist]\nFile1=song.flac\n");
    importing([&] { test::dropFiles(&sidebar(), {file, test::fixturePath(QStringLiteral("formats/tagged.mp3"))}); });
    EXPECT_EQ(test::namesOf(playlists().rootPlaylists()), QStringList {QStringLiteral("Dropped")});
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_EQ(harness->container->libraryEngine().allTracks().size(), 1u);
}

TEST_F(PlaylistFileActionsTest, ExportWritesTheChosenFileAndSaysWhyWhenItCannot)
{
    const QString file = writePlaylistFile(QStringLiteral("Mix.m3u"));
    importing([&] { sidebar().playlistFiles()->importFiles({FileURL::fromLocalFile(file)}); });
    const Playlist mix = playlists().rootPlaylists().at(0);

    const QString target = scratch(QStringLiteral("Mix.m3u8"));
    dialogs().saveAnswers.push_back(FileURL::fromLocalFile(target));
    QSignalSpy exported(sidebar().playlistFiles(), &PlaylistFileActions::exported);
    sidebar().playlistFiles()->chooseAndExport(mix);
    ASSERT_TRUE(test::waitUntil([&] { return exported.count() == 1; }));
    EXPECT_EQ(dialogs().shown.last().kind, QStringLiteral("save"));
    EXPECT_EQ(dialogs().shown.last().message, QStringLiteral("Mix.m3u8"));
    EXPECT_TRUE(test::readFile(target).startsWith("#EXTM3U\n#EXTINF:2,Tagged Artist - Tagged Title\n"));

    dialogs().saveAnswers.push_back(FileURL::fromLocalFile(scratch(QStringLiteral("no/such/folder/Mix.m3u8"))));
    sidebar().playlistFiles()->chooseAndExport(mix);
    ASSERT_TRUE(test::waitUntil([&] { return dialogs().shown.last().kind == QStringLiteral("warning"); }));
    EXPECT_EQ(dialogs().shown.last().title, QStringLiteral("The playlist could not be exported"));
}

} // namespace varno
