#include "UiHarness.h"
#include "ViewTestSupport.h"

#include "playlists/PlaylistEngine.h"
#include "ui/playlists/SmartPlaylistSetupView.h"
#include "ui/sidebar/NewPlaylistForm.h"
#include "ui/sidebar/SidebarPlaylistTree.h"
#include "ui/sidebar/SidebarRow.h"
#include "ui/sidebar/SidebarRowPainter.h"
#include "ui/sidebar/SidebarView.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>

#include <optional>

#include <memory>

namespace varno {
namespace {

using Kind = NavigationDestination::Kind;

QAction* menuItem(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList menuTexts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

class SidebarViewTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
        environment.emplace(harness->environment());
        sidebar = std::make_unique<SidebarView>(*environment);
        sidebar->resize(sidebar::kSidebarWidth, 720);
        sidebar->show();
    }
    void TearDown() override
    {
        sidebar.reset();
        environment.reset();
        harness.reset();
        test::DataFolderTest::TearDown();
    }

    PlaylistEngine& playlists() { return harness->container->playlistEngine(); }
    Playlist create(const QString& name) { return test::await(playlists().createPlaylist(name)); }

    QStringList rowNames() const
    {
        QStringList names;
        QTreeWidget* tree = sidebar->playlistTree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            names << tree->topLevelItem(i)->text(0);
        return names;
    }

    NewPlaylistForm& form() const { return *sidebar->newPlaylistForm(); }
    QLineEdit* nameField() const { return form().findChild<QLineEdit*>(QStringLiteral("newPlaylistName")); }
    QLabel* errorLabel() const { return form().findChild<QLabel*>(QStringLiteral("newPlaylistError")); }
    QAbstractButton* formButton(const QString& text) const
    {
        for (QAbstractButton* button : form().findChildren<QAbstractButton*>()) {
            if (button->text() == text)
                return button;
        }
        return nullptr;
    }
    // Clicks the plus button and the item of its menu.
    void chooseFromPlusMenu(const QString& item)
    {
        QTest::mouseClick(sidebar->newPlaylistButton(), Qt::LeftButton);
        QMenu* menu = sidebar->newPlaylistMenu();
        ASSERT_TRUE(menu->isVisible());
        QAction* action = menuItem(*menu, item);
        ASSERT_NE(action, nullptr) << item.toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        EXPECT_FALSE(menu->isVisible());
    }
    void openForm() { chooseFromPlusMenu(SidebarView::kNewPlaylist); }
    void openFormAndType(const QString& name)
    {
        openForm();
        QTest::keyClicks(nameField(), name);
    }

    std::unique_ptr<test::UiHarness> harness;
    std::optional<ViewEnvironment> environment;
    std::unique_ptr<SidebarView> sidebar;
};

TEST_F(SidebarViewTest, StartsWithNoRowSelected)
{
    EXPECT_FALSE(sidebar->selection().has_value());
    for (const Kind kind : {Kind::Songs, Kind::RecentlyAdded, Kind::RecentlyPlayed, Kind::TopRated, Kind::Favorites})
        EXPECT_FALSE(sidebar->fixedRow(kind)->isSelected());
    EXPECT_TRUE(sidebar->playlistTree()->selectedItems().isEmpty());
    EXPECT_FALSE(form().isVisible());
}

TEST_F(SidebarViewTest, EachFixedRowSelectsItsScreenAndAloneIsDrawnSelected)
{
    const struct {
        const char* objectName;
        QString label;
        NavigationDestination destination;
    } rows[] = {
        {"sidebarRow.songs", QStringLiteral("All Songs"), NavigationDestination::songs()},
        {"sidebarRow.recentlyAdded", QStringLiteral("Recently Added"), NavigationDestination::recentlyAdded()},
        {"sidebarRow.recentlyPlayed", QStringLiteral("Recently Played"), NavigationDestination::recentlyPlayed()},
        {"sidebarRow.topRated", QStringLiteral("Top Rated"), NavigationDestination::topRated()},
        {"sidebarRow.favorites", QStringLiteral("Favorites"), NavigationDestination::favorites()},
    };
    QSignalSpy changes(sidebar.get(), &SidebarView::selectionChanged);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.objectName);
        auto* widget = sidebar->findChild<SidebarRow*>(QString::fromLatin1(row.objectName));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->text(), row.label);
        QTest::mouseClick(widget, Qt::LeftButton);
        EXPECT_EQ(sidebar->selection(), row.destination);
        for (SidebarRow* other : sidebar->findChildren<SidebarRow*>())
            EXPECT_EQ(other->isSelected(), other == widget) << other->objectName().toStdString();
    }
    EXPECT_EQ(changes.count(), 5);
    // Clicking the row already shown changes nothing.
    QTest::mouseClick(sidebar->fixedRow(Kind::Favorites), Qt::LeftButton);
    EXPECT_EQ(changes.count(), 5);
}

TEST_F(SidebarViewTest, PlaylistRowsFollowChangesMadeElsewhere)
{
    const Playlist road = create(QStringLiteral("Road Trip"));
    create(QStringLiteral("Ambient"));
    EXPECT_EQ(rowNames(), (QStringList {QStringLiteral("Road Trip"), QStringLiteral("Ambient")}));

    test::await(playlists().rename(road.id, QStringLiteral("Zydeco")));
    EXPECT_EQ(rowNames(), (QStringList {QStringLiteral("Ambient"), QStringLiteral("Zydeco")}));

    test::await(playlists().deletePlaylist(road.id));
    EXPECT_EQ(rowNames(), QStringList {QStringLiteral("Ambient")});
    EXPECT_EQ(sidebar->playlistItem(road.id), nullptr);
}

TEST_F(SidebarViewTest, PlaylistAndFolderRowsSelectTheirOwnDestination)
{
    const Playlist mix = create(QStringLiteral("Mix"));
    const Playlist smart = test::await(playlists().createSmartPlaylist(QStringLiteral("Jazz"), QStringLiteral("Genre contains Jazz")));
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));

    test::clickItem(sidebar->playlistTree(), sidebar->playlistItem(folder.id));
    EXPECT_EQ(sidebar->selection(), NavigationDestination::folder(folder.id));
    test::clickItem(sidebar->playlistTree(), sidebar->playlistItem(smart.id));
    EXPECT_EQ(sidebar->selection(), NavigationDestination::playlist(smart.id));
    test::clickItem(sidebar->playlistTree(), sidebar->playlistItem(mix.id));
    EXPECT_EQ(sidebar->selection(), NavigationDestination::playlist(mix.id));
    EXPECT_TRUE(sidebar->playlistItem(mix.id)->isSelected());

    // Choosing a fixed screen takes the selection off the playlist rows.
    QTest::mouseClick(sidebar->fixedRow(Kind::TopRated), Qt::LeftButton);
    EXPECT_TRUE(sidebar->playlistTree()->selectedItems().isEmpty());

    // The window may choose too, and the row follows.
    sidebar->setSelection(NavigationDestination::playlist(smart.id));
    EXPECT_TRUE(sidebar->playlistItem(smart.id)->isSelected());
    EXPECT_FALSE(sidebar->fixedRow(Kind::TopRated)->isSelected());
}

TEST_F(SidebarViewTest, SelectedPlaylistStaysDrawnSelectedWhenTheRowsAreRebuilt)
{
    const Playlist mix = create(QStringLiteral("Mix"));
    test::clickItem(sidebar->playlistTree(), sidebar->playlistItem(mix.id));
    QSignalSpy changes(sidebar.get(), &SidebarView::selectionChanged);

    create(QStringLiteral("Another"));
    test::await(playlists().loadPlaylists());

    EXPECT_TRUE(sidebar->playlistItem(mix.id)->isSelected());
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(SidebarViewTest, CreatingWithABlankNameDoesNothing)
{
    openFormAndType(QStringLiteral("   "));
    ASSERT_TRUE(form().isVisible());
    QTest::mouseClick(formButton(NewPlaylistForm::kCreate), Qt::LeftButton);
    QTest::keyClick(nameField(), Qt::Key_Return);
    test::await(playlists().waitForPendingOperations());

    EXPECT_TRUE(form().isVisible());
    EXPECT_TRUE(playlists().rootPlaylists().isEmpty());
}

TEST_F(SidebarViewTest, CreatingTrimsTheNameClosesTheFormAndSelectsNothing)
{
    openFormAndType(QStringLiteral("  Road Trip \t"));
    EXPECT_EQ(nameField()->placeholderText(), QStringLiteral("Playlist name"));
    QTest::keyClick(nameField(), Qt::Key_Return);

    ASSERT_TRUE(test::waitUntil([&] { return !form().isVisible(); }));
    EXPECT_EQ(test::namesOf(playlists().rootPlaylists()), QStringList {QStringLiteral("Road Trip")});
    EXPECT_EQ(rowNames(), QStringList {QStringLiteral("Road Trip")});
    EXPECT_FALSE(sidebar->selection().has_value());

    // The next form starts empty.
    openForm();
    EXPECT_EQ(nameField()->text(), QString());
}

TEST_F(SidebarViewTest, AFailedCreationShowsTheEnginesErrorAndKeepsTheName)
{
    // A store that no longer decodes refuses every change.
    test::writeFile(appFile(QStringLiteral("playlist_records.json")), "[{\"id\": 17}]");
    const QString engineError = test::errorText([&] { create(QStringLiteral("Probe")); });
    ASSERT_NE(engineError, QStringLiteral("<no error>"));

    openFormAndType(QStringLiteral("Mix"));
    QTest::mouseClick(formButton(NewPlaylistForm::kCreate), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return form().error().has_value(); }));

    EXPECT_EQ(*form().error(), engineError);
    EXPECT_TRUE(errorLabel()->isVisible());
    EXPECT_EQ(errorLabel()->text(), engineError);
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(nameField()->text(), QStringLiteral("Mix"));

    // Escape closes the form; opened again, it shows neither name nor error.
    QTest::keyClick(nameField(), Qt::Key_Escape);
    EXPECT_FALSE(form().isVisible());
    openForm();
    EXPECT_FALSE(errorLabel()->isVisible());
    EXPECT_EQ(nameField()->text(), QString());
}

TEST_F(SidebarViewTest, CancelClosesTheFormAndForgetsTheName)
{
    openFormAndType(QStringLiteral("Half typed"));
    QTest::mouseClick(formButton(NewPlaylistForm::kCancel), Qt::LeftButton);
    EXPECT_FALSE(form().isVisible());
    EXPECT_EQ(nameField()->text(), QString());
    EXPECT_TRUE(playlists().rootPlaylists().isEmpty());
}

TEST_F(SidebarViewTest, FoldersOpenToShowTheirChildrenWhichCanBeSelected)
{
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));
    const Playlist inside = test::await(playlists().createPlaylist(QStringLiteral("Inside"), folder.id));
    test::await(playlists().loadPlaylists());

    QTreeWidgetItem* folderRow = sidebar->playlistItem(folder.id);
    ASSERT_NE(folderRow, nullptr);
    ASSERT_EQ(folderRow->childCount(), 1);
    EXPECT_EQ(folderRow->child(0)->text(0), QStringLiteral("Inside"));
    EXPECT_FALSE(folderRow->isExpanded());

    // The chevron at the row's end opens the folder without selecting it.
    QTreeWidget* tree = sidebar->playlistTree();
    const QRect chevron = sidebar::disclosureRect(tree->visualItemRect(folderRow));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, chevron.center());
    EXPECT_TRUE(folderRow->isExpanded());
    EXPECT_FALSE(sidebar->selection().has_value());

    test::clickItem(tree, sidebar->playlistItem(inside.id));
    EXPECT_EQ(sidebar->selection(), NavigationDestination::playlist(inside.id));

    // The folder stays open when the rows are rebuilt.
    create(QStringLiteral("Later"));
    test::await(playlists().loadPlaylists());
    EXPECT_TRUE(sidebar->playlistItem(folder.id)->isExpanded());
    EXPECT_TRUE(sidebar->playlistItem(inside.id)->isSelected());
}

TEST_F(SidebarViewTest, RenameInARowsContextMenuAsksTheWindowToRename)
{
    const Playlist mix = create(QStringLiteral("Mix"));
    QList<Playlist> requests;
    QObject::connect(sidebar.get(), &SidebarView::renameRequested, sidebar.get(), [&](const Playlist& playlist) { requests << playlist; });
    QTreeWidget* tree = sidebar->playlistTree();
    const QPoint at = tree->visualItemRect(sidebar->playlistItem(mix.id)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);

    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    QAction* rename = menu->actions().first();
    EXPECT_EQ(rename->text(), QStringLiteral("Rename…"));
    EXPECT_EQ(menu->actions().last()->text(), QStringLiteral("Export…"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(rename).center());

    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first(), mix);
    EXPECT_FALSE(sidebar->selection().has_value());
}

TEST_F(SidebarViewTest, ThePlusButtonOffersPlaylistSmartPlaylistAndFolder)
{
    EXPECT_EQ(menuTexts(*sidebar->newPlaylistMenu()),
              (QStringList {QStringLiteral("New Playlist"), QStringLiteral("New Smart Playlist…"), QStringLiteral("New Folder")}));

    chooseFromPlusMenu(SidebarView::kNewSmartPlaylist);
    ASSERT_NE(sidebar->smartPlaylistSheet(), nullptr);
    EXPECT_TRUE(sidebar->smartPlaylistSheet()->isVisible());
    EXPECT_EQ(sidebar->smartPlaylistSheet()->windowTitle(), QStringLiteral("Create Smart Playlist"));
    sidebar->smartPlaylistSheet()->reject();
    EXPECT_TRUE(test::waitUntil([&] { return sidebar->smartPlaylistSheet() == nullptr; }));
    EXPECT_FALSE(form().isVisible());
}

TEST_F(SidebarViewTest, NewFolderCreatesATopLevelFolderFromTheForm)
{
    chooseFromPlusMenu(SidebarView::kNewFolder);
    ASSERT_TRUE(form().isVisible());
    EXPECT_EQ(form().kind(), NewPlaylistForm::Kind::Folder);
    EXPECT_EQ(form().findChild<QLabel*>(QStringLiteral("newPlaylistHeading"))->text(), QStringLiteral("New Folder"));
    EXPECT_EQ(nameField()->placeholderText(), QStringLiteral("Folder name"));
    QTest::keyClicks(nameField(), QStringLiteral("  Work  "));
    QTest::keyClick(nameField(), Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !form().isVisible(); }));
    ASSERT_EQ(playlists().rootPlaylists().size(), 1);
    EXPECT_EQ(playlists().rootPlaylists().first().name, QStringLiteral("Work"));
    EXPECT_EQ(playlists().rootPlaylists().first().type.kind(), PlaylistType::Kind::Folder);

    // The playlist form afterwards is the playlist form again.
    openForm();
    EXPECT_EQ(form().kind(), NewPlaylistForm::Kind::Playlist);
    EXPECT_EQ(nameField()->placeholderText(), QStringLiteral("Playlist name"));
}

TEST_F(SidebarViewTest, SettingsButtonAsksForTheSettings)
{
    QSignalSpy requests(sidebar.get(), &SidebarView::settingsRequested);
    EXPECT_EQ(sidebar->settingsButton()->text(), QStringLiteral("Settings"));
    QTest::mouseClick(sidebar->settingsButton(), Qt::LeftButton);
    EXPECT_EQ(requests.count(), 1);
}

} // namespace
} // namespace varno
