#include "EditorTestSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "library/LibraryEngine.h"
#include "playlists/PlaylistEngine.h"
#include "storage/OstrelDatabaseManager.h"
#include "ui/MainWindow.h"
#include "ui/editors/BulkMetadataEditorSheet.h"
#include "ui/editors/EditorSheetPresenter.h"
#include "ui/editors/PlaylistRenameSheet.h"
#include "ui/editors/TrackMetadataEditorSheet.h"
#include "ui/sidebar/SidebarPlaylistTree.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/MenuBarBinder.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace varno {
namespace {

using test::await;
using Field = TrackMetadataEditorSheet::Field;

// The real window over the real engines, with songs imported from generated
// files: the editors as the user reaches them.
class EditorsInWindowTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        ui = std::make_unique<test::UiHarness>();
        ui->importSongs(scratch(QStringLiteral("music")), {QStringLiteral("Alpha"), QStringLiteral("Beta")}, test::UiHarness::titleAndArtist,
                        QStringLiteral("formats/tagged.mp3"));
        window = ui->openMainWindow();
        list = window->layoutView().visibleTrackList();
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(test::waitUntil([&] { return list->model().rowCount() == 2; }));
    }

    void TearDown() override
    {
        window.reset();
        ui.reset();
        DataFolderTest::TearDown();
    }

    LibraryEngine& library() { return ui->container->libraryEngine(); }
    EditorSheetPresenter& editors() { return window->editors(); }
    QAction* menuItem(MenuCommand command) { return window->menuBarBinder().action(command); }

    int rowOf(const QString& title)
    {
        for (int row = 0; row < list->model().rowCount(); ++row) {
            if (list->model().trackAt(row).title == title)
                return row;
        }
        return -1;
    }

    Track stored(const QString& title)
    {
        for (const Track& track : library().allTracks()) {
            if (track.title == title)
                return track;
        }
        return {};
    }

    void retype(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

    std::unique_ptr<test::UiHarness> ui;
    std::unique_ptr<MainWindow> window;
    TrackListView* list = nullptr;
};

TEST_F(EditorsInWindowTest, EditMenuOpensTheSongEditorAndSaveStoresTheRecordInTheLibraryFile)
{
    list->table().setFocus();
    list->model().selectOnly(rowOf(QStringLiteral("Alpha")));
    ASSERT_TRUE(test::waitUntil([&] { return menuItem(MenuCommand::EditSelection)->isEnabled(); }));
    EXPECT_EQ(menuItem(MenuCommand::EditSelection)->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    menuItem(MenuCommand::EditSelection)->trigger();

    TrackMetadataEditorSheet* sheet = editors().trackEditor();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->isModal());
    EXPECT_EQ(sheet->field(Field::Title)->text(), QStringLiteral("Alpha"));
    retype(sheet->field(Field::Title), QStringLiteral("Alpha (Remastered)"));
    retype(sheet->field(Field::Year), QStringLiteral("2001"));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);

    ASSERT_TRUE(test::waitUntil([&] { return editors().trackEditor() == nullptr; }));
    const Track saved = stored(QStringLiteral("Alpha (Remastered)"));
    EXPECT_EQ(saved.year, 2001);
    EXPECT_EQ(saved.artist, QStringLiteral("Artist of Alpha"));
    EXPECT_TRUE(test::readFile(appFile(QStringLiteral("tracks.json"))).contains("Alpha (Remastered)"));
    EXPECT_TRUE(test::waitUntil([&] { return rowOf(QStringLiteral("Alpha (Remastered)")) >= 0; }));
}

TEST_F(EditorsInWindowTest, ARefusedSaveKeepsTheEditorOpenWithTheLibrarysMessage)
{
    const Track beta = stored(QStringLiteral("Beta"));
    editors().editTrack(beta);
    TrackMetadataEditorSheet* sheet = editors().trackEditor();
    ASSERT_NE(sheet, nullptr);
    retype(sheet->field(Field::Title), QStringLiteral("Beta, edited"));
    // The song leaves the library while its editor is open.
    test::await(ui->container->libraryEngine().removeTrack(beta, RemovalKind::KeepFile));
    ASSERT_TRUE(sheet->saveButton()->isEnabled());
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);

    ASSERT_TRUE(test::waitUntil([&] { return sheet->errorMessage().has_value(); }));
    EXPECT_EQ(*sheet->errorMessage(), QStringLiteral("One or more tracks are no longer in the local library."));
    EXPECT_TRUE(sheet->errorLabel()->isVisibleTo(sheet));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(editors().trackEditor(), sheet);
    EXPECT_EQ(sheet->field(Field::Title)->text(), QStringLiteral("Beta, edited"));
    EXPECT_FALSE(ui->container->libraryEngine().allTracks().find(beta.id));
    sheet->reject();
    ASSERT_TRUE(test::waitUntil([&] { return editors().trackEditor() == nullptr; }));
}

// The editor writes what the user changed in it, over the song as the
// library holds it when Save is pressed: edits that land while the sheet is
// open (the right panel's, or another process's that the library took in)
// stay.
TEST_F(EditorsInWindowTest, SavingTheSongEditorKeepsAnEditThatLandedWhileItWasOpen)
{
    editors().editTrack(stored(QStringLiteral("Alpha")));
    TrackMetadataEditorSheet* sheet = editors().trackEditor();
    ASSERT_NE(sheet, nullptr);

    Track inspected = stored(QStringLiteral("Alpha"));
    inspected.genre = QStringLiteral("Jazz");
    inspected.rating = 3;
    await(library().updateTrack(inspected));

    retype(sheet->field(Field::Title), QStringLiteral("Alpha Prime"));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return editors().trackEditor() == nullptr; }));
    const Track saved = stored(QStringLiteral("Alpha Prime"));
    EXPECT_EQ(saved.genre, QStringLiteral("Jazz"));
    EXPECT_EQ(saved.rating, 3);
    EXPECT_EQ(saved.artist, QStringLiteral("Artist of Alpha"));
}

TEST_F(EditorsInWindowTest, SavingTheSongEditorKeepsAnotherProcesssEditTheLibraryTookIn)
{
    editors().editTrack(stored(QStringLiteral("Beta")));
    TrackMetadataEditorSheet* sheet = editors().trackEditor();
    ASSERT_NE(sheet, nullptr);

    OstrelDatabaseManager otherProcess(ui->preferences);
    Track theirs = stored(QStringLiteral("Beta"));
    theirs.album = QStringLiteral("Their Album");
    await(otherProcess.saveTracks({theirs}));
    ASSERT_TRUE(test::waitUntil([&] { return stored(QStringLiteral("Beta")).album == QStringLiteral("Their Album"); }));

    retype(sheet->field(Field::Genre), QStringLiteral("Folk"));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return editors().trackEditor() == nullptr; }));
    const Track saved = stored(QStringLiteral("Beta"));
    EXPECT_EQ(saved.genre, QStringLiteral("Folk"));
    EXPECT_EQ(saved.album, QStringLiteral("Their Album"));
}

TEST_F(EditorsInWindowTest, CtrlEWithTwoSongsSelectedOpensTheSharedEditor)
{
    list->table().setFocus();
    list->model().selectAll();
    ASSERT_TRUE(test::waitUntil([&] { return menuItem(MenuCommand::EditSelection)->isEnabled(); }));
    QTest::keyClick(&list->table(), Qt::Key_E, Qt::ControlModifier);

    BulkMetadataEditorSheet* sheet = editors().sharedEditor();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->songCount(), 2);
    EXPECT_EQ(sheet->applyButton()->text(), QStringLiteral("Apply to 2 Songs"));
    retype(sheet->field(BulkMetadataEditorSheet::Field::Genre), QStringLiteral("Ambient"));
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);

    ASSERT_TRUE(test::waitUntil([&] { return editors().sharedEditor() == nullptr; }));
    EXPECT_FALSE(list->sharedEditCoordinator().batch());
    for (const Track& track : library().allTracks())
        EXPECT_EQ(track.genre, QStringLiteral("Ambient"));
}

// Another process removed one of the songs while the shared editor was
// open: the edit is saved to the other, and the alert says so without
// calling it a failure.
TEST_F(EditorsInWindowTest, ASharedEditOverASongRemovedElsewhereIsSavedToTheRestAndSaysSo)
{
    list->table().setFocus();
    list->model().selectAll();
    ASSERT_TRUE(test::waitUntil([&] { return menuItem(MenuCommand::EditSelection)->isEnabled(); }));
    QTest::keyClick(&list->table(), Qt::Key_E, Qt::ControlModifier);
    BulkMetadataEditorSheet* sheet = editors().sharedEditor();
    ASSERT_NE(sheet, nullptr);

    OstrelDatabaseManager otherProcess(ui->preferences);
    await(otherProcess.deleteTracks(TrackList {stored(QStringLiteral("Beta"))}));

    retype(sheet->field(BulkMetadataEditorSheet::Field::Genre), QStringLiteral("Ambient"));
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return !ui->dialogs.shown.isEmpty(); }));
    EXPECT_EQ(ui->dialogs.shown.last().title, QStringLiteral("Some Songs Were Not Changed"));
    EXPECT_EQ(ui->dialogs.shown.last().message, QStringLiteral("The changes were saved to 1 song; 1 song is no longer in the library."));
    EXPECT_EQ(editors().sharedEditor(), nullptr);
    EXPECT_EQ(stored(QStringLiteral("Alpha")).genre, QStringLiteral("Ambient"));
    ASSERT_TRUE(test::waitUntil([&] { return library().allTracks().size() == 1; }));
}

TEST_F(EditorsInWindowTest, TheSongListsContextMenuOpensTheEditors)
{
    const int row = rowOf(QStringLiteral("Beta"));
    QMenu* menu = list->makeContextMenu(row);
    QAction* edit = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == QStringLiteral("Edit Metadata…"))
            edit = action;
    }
    ASSERT_NE(edit, nullptr);
    edit->trigger();
    delete menu;
    ASSERT_NE(editors().trackEditor(), nullptr);
    EXPECT_EQ(editors().trackEditor()->track().title, QStringLiteral("Beta"));
    editors().trackEditor()->reject();
    ASSERT_TRUE(test::waitUntil([&] { return editors().trackEditor() == nullptr; }));

    // With both songs selected the item edits them together.
    list->model().selectAll();
    menu = list->makeContextMenu(row);
    QAction* shared = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == QStringLiteral("Edit Shared Metadata for 2 Songs…"))
            shared = action;
    }
    ASSERT_NE(shared, nullptr);
    shared->trigger();
    delete menu;
    ASSERT_NE(editors().sharedEditor(), nullptr);
    // Cancel ends the list's batch.
    QTest::mouseClick(editors().sharedEditor()->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(list->sharedEditCoordinator().batch());
}

TEST_F(EditorsInWindowTest, RenameFromTheSidebarOpensTheRenameSheet)
{
    PlaylistEngine& playlists = ui->container->playlistEngine();
    const Playlist mix = await(playlists.createPlaylist(QStringLiteral("Mix")));
    SidebarView* sidebar = window->layoutView().sidebar();
    ASSERT_TRUE(test::waitUntil([&] { return sidebar->playlistItem(mix.id) != nullptr; }));
    QTreeWidget* tree = sidebar->playlistTree();
    const QPoint at = tree->visualItemRect(sidebar->playlistItem(mix.id)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    menu->actions().first()->trigger();
    menu->close();

    PlaylistRenameSheet* sheet = editors().renameSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->playlist().id, mix.id);
    retype(sheet->nameField(), QStringLiteral("Evening"));
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return editors().renameSheet() == nullptr; }));
    EXPECT_EQ(playlists.getPlaylist(mix.id)->name, QStringLiteral("Evening"));
}

} // namespace
} // namespace varno
