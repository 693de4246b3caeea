#include "UiHarness.h"
#include "ViewTestSupport.h"

#include "playlists/PlaylistEngine.h"
#include "ui/playlists/SmartPlaylistSetupView.h"
#include "ui/sidebar/NewPlaylistForm.h"
#include "ui/sidebar/SidebarPlaylistTree.h"
#include "ui/sidebar/SidebarRow.h"
#include "ui/sidebar/SidebarRowPainter.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/SongDragData.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>

#include <functional>
#include <memory>
#include <optional>

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

    // Right-clicks a playlist's row and returns the menu it opened.
    QMenu* openRowMenu(const QUuid& id)
    {
        QTreeWidget* tree = sidebar->playlistTree();
        const QPoint at = tree->visualItemRect(sidebar->playlistItem(id)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    static void choose(QMenu& menu, const QString& item)
    {
        QAction* action = menuItem(menu, item);
        ASSERT_NE(action, nullptr) << item.toStdString();
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
    }
    void expandFolder(const QUuid& id)
    {
        QTreeWidgetItem* item = sidebar->playlistItem(id);
        ASSERT_NE(item, nullptr);
        item->setExpanded(true);
    }
    QRect rowRect(const QUuid& id) const { return sidebar->playlistTree()->visualItemRect(sidebar->playlistItem(id)); }
    QStringList childNames(const QUuid& folder) const
    {
        QStringList names;
        QTreeWidgetItem* item = sidebar->playlistItem(folder);
        for (int i = 0; item && i < item->childCount(); ++i)
            names << item->child(i)->text(0);
        return names;
    }

    // "playlist_records.json" as written.
    QJsonArray storedRecords() const
    {
        return QJsonDocument::fromJson(test::readFile(appFile(QStringLiteral("playlist_records.json")))).array();
    }
    std::optional<QJsonObject> storedNamed(const QString& name) const
    {
        for (const QJsonValue& record : storedRecords()) {
            if (record.toObject().value("name").toString() == name)
                return record.toObject();
        }
        return std::nullopt;
    }
    QStringList storedOrder() const
    {
        QStringList names;
        for (const QJsonValue& record : storedRecords())
            names << record.toObject().value("name").toString();
        return names;
    }
    static QString uuidText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

    // Drags `data` over the playlists to `at` (viewport coordinates);
    // whether a drop there is taken.
    bool dragOver(QMimeData* data, QPoint at)
    {
        QWidget* viewport = sidebar->playlistTree()->viewport();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        return move.isAccepted();
    }
    void drop(QMimeData* data, QPoint at)
    {
        QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(sidebar->playlistTree()->viewport(), &dropped);
    }
    // A playlist's row dragged to `at` and dropped there; `whileOver` looks
    // at the tree before the drop.
    void dragPlaylist(const QUuid& id, QPoint at, const std::function<void()>& whileOver = {})
    {
        std::unique_ptr<QMimeData> data(SidebarPlaylistTree::playlistDragData(id));
        EXPECT_TRUE(dragOver(data.get(), at));
        if (whileOver)
            whileOver();
        drop(data.get(), at);
    }
    SidebarPlaylistTree::Drop dropAt(QMimeData* data, QPoint at) const
    {
        std::unique_ptr<QMimeData> owned(data);
        return sidebar->playlistTree()->dropAt(at, owned.get());
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
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));
    QList<Playlist> requests;
    QObject::connect(sidebar.get(), &SidebarView::renameRequested, sidebar.get(), [&](const Playlist& playlist) { requests << playlist; });

    QMenu* menu = openRowMenu(folder.id);
    ASSERT_NE(menu, nullptr);
    // A folder is not written to a playlist file.
    EXPECT_EQ(menuTexts(*menu), (QStringList {"Rename…", "Duplicate", QString(), "Delete…"}));
    menu->close();

    menu = openRowMenu(mix.id);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuTexts(*menu), (QStringList {"Rename…", "Duplicate", "Export…", QString(), "Delete…"}));
    choose(*menu, SidebarView::kRename);

    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first(), mix);
    EXPECT_FALSE(sidebar->selection().has_value());
}

TEST_F(SidebarViewTest, DuplicateInARowsMenuStoresACopyBesideTheOriginal)
{
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));
    const Playlist inside = test::await(playlists().createPlaylist(QStringLiteral("Inside"), folder.id));
    test::await(playlists().loadPlaylists());
    expandFolder(folder.id);

    QMenu* menu = openRowMenu(inside.id);
    ASSERT_NE(menu, nullptr);
    choose(*menu, SidebarView::kDuplicate);
    ASSERT_TRUE(test::waitUntil([&] { return childNames(folder.id) == QStringList {"Inside", "Inside (Copy)"}; }));
    ASSERT_TRUE(storedNamed(QStringLiteral("Inside (Copy)")).has_value());
    EXPECT_EQ(storedNamed(QStringLiteral("Inside (Copy)"))->value("parentFolderID").toString(), uuidText(folder.id));
    EXPECT_TRUE(harness->dialogs.shown.isEmpty());
}

TEST_F(SidebarViewTest, DeletingAsksFirstNamingThePlaylistAndWhatGoesWithAFolder)
{
    const Playlist mix = create(QStringLiteral("Mix"));
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));
    const Playlist sub = test::await(playlists().createFolder(QStringLiteral("Sub"), folder.id));
    test::await(playlists().createPlaylist(QStringLiteral("One"), folder.id));
    test::await(playlists().createPlaylist(QStringLiteral("Two"), sub.id));
    test::await(playlists().loadPlaylists());
    test::FakeDialogs& dialogs = harness->dialogs;

    // Cancelled: nothing goes.
    QMenu* menu = openRowMenu(mix.id);
    ASSERT_NE(menu, nullptr);
    choose(*menu, SidebarView::kDelete);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, "confirm");
    EXPECT_EQ(dialogs.shown[0].title, "Delete Playlist");
    EXPECT_EQ(dialogs.shown[0].message, "Delete the playlist \u201CMix\u201D? Its songs stay in the library.");
    test::await(playlists().waitForPendingOperations());
    EXPECT_TRUE(storedNamed(QStringLiteral("Mix")).has_value());

    // Confirmed from the menu.
    dialogs.confirmAnswers.push_back(true);
    sidebar->setSelection(NavigationDestination::playlist(mix.id));
    menu = openRowMenu(mix.id);
    ASSERT_NE(menu, nullptr);
    choose(*menu, SidebarView::kDelete);
    ASSERT_TRUE(test::waitUntil([&] { return sidebar->playlistItem(mix.id) == nullptr; }));
    EXPECT_FALSE(storedNamed(QStringLiteral("Mix")).has_value());
    // The screen of what went gives way to the whole library.
    EXPECT_TRUE(test::waitUntil([&] { return sidebar->selection() == NavigationDestination::songs(); }));

    // The Delete key on the selected folder asks the same, counting what
    // is inside at any depth.
    dialogs.confirmAnswers.push_back(true);
    test::clickItem(sidebar->playlistTree(), sidebar->playlistItem(folder.id));
    QTest::keyClick(sidebar->playlistTree(), Qt::Key_Delete);
    ASSERT_EQ(dialogs.shown.size(), 3);
    EXPECT_EQ(dialogs.shown[2].title, "Delete Folder");
    EXPECT_EQ(dialogs.shown[2].message, "Delete the folder \u201CParties\u201D and the 3 playlists in it? Their songs stay in the library.");
    ASSERT_TRUE(test::waitUntil([&] { return playlists().rootPlaylists().isEmpty(); }));
    EXPECT_TRUE(storedRecords().isEmpty());
    EXPECT_TRUE(test::waitUntil([&] { return sidebar->selection() == NavigationDestination::songs(); }));

    EXPECT_EQ(SidebarView::deleteQuestion(folder, 0), "Delete the folder \u201CParties\u201D?");
    EXPECT_EQ(SidebarView::deleteQuestion(folder, 1), "Delete the folder \u201CParties\u201D and the playlist in it? Their songs stay in the library.");
}

TEST_F(SidebarViewTest, DraggingAPlaylistMovesItIntoAFolderBetweenItsChildrenAndOutAgain)
{
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));
    const Playlist first = test::await(playlists().createPlaylist(QStringLiteral("First"), folder.id));
    const Playlist last = test::await(playlists().createPlaylist(QStringLiteral("Last"), folder.id));
    const Playlist loose = create(QStringLiteral("Loose"));
    test::await(playlists().loadPlaylists());
    expandFolder(folder.id);

    // Onto the folder's middle: into it, last, with the folder outlined.
    const QRect folderRow = rowRect(folder.id);
    dragPlaylist(loose.id, folderRow.center(), [&] {
        EXPECT_TRUE(sidebar->playlistTree()->isDropTarget(sidebar->playlistTree()->indexFromItem(sidebar->playlistItem(folder.id))));
    });
    ASSERT_TRUE(test::waitUntil([&] { return childNames(folder.id) == QStringList {"First", "Last", "Loose"}; }));
    EXPECT_EQ(storedNamed(QStringLiteral("Loose"))->value("parentFolderID").toString(), uuidText(folder.id));
    EXPECT_FALSE(sidebar->playlistTree()->shownDrop().target.isValid());

    // Onto the upper half of First: before it, shown as a line.
    dragPlaylist(last.id, rowRect(first.id).topLeft() + QPoint(40, 3), [&] {
        EXPECT_EQ(sidebar->playlistTree()->shownDrop().lineY, rowRect(first.id).top());
    });
    ASSERT_TRUE(test::waitUntil([&] { return childNames(folder.id) == QStringList {"Last", "First", "Loose"}; }));
    EXPECT_EQ(storedOrder(), (QStringList {"Parties", "Last", "First", "Loose"}));

    // Below every row: out to the top level, where names give the order.
    const QRect bottom = sidebar->playlistTree()->viewport()->rect();
    dragPlaylist(first.id, QPoint(40, bottom.bottom() - 4));
    ASSERT_TRUE(test::waitUntil([&] { return rowNames() == QStringList {"First", "Parties"}; }));
    EXPECT_FALSE(storedNamed(QStringLiteral("First"))->contains("parentFolderID"));

    // A folder refuses to go into itself.
    const Playlist sub = test::await(playlists().createFolder(QStringLiteral("Sub"), folder.id));
    test::await(playlists().loadPlaylists());
    expandFolder(folder.id);
    EXPECT_EQ(dropAt(SidebarPlaylistTree::playlistDragData(folder.id), rowRect(sub.id).center()).kind, SidebarPlaylistTree::Drop::Kind::None);
    EXPECT_EQ(dropAt(SidebarPlaylistTree::playlistDragData(folder.id), rowRect(folder.id).center()).kind, SidebarPlaylistTree::Drop::Kind::None);
    EXPECT_TRUE(harness->dialogs.shown.isEmpty());
}

TEST_F(SidebarViewTest, SongsDroppedOnAStandardPlaylistAreAddedAndFoldersAndSmartPlaylistsRefuse)
{
    const std::vector<Track> songs = harness->importSongs(scratch("music"), {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    ASSERT_EQ(songs.size(), 3u);
    const Playlist mix = create(QStringLiteral("Mix"));
    const Playlist folder = test::await(playlists().createFolder(QStringLiteral("Parties")));
    const Playlist smart = test::await(playlists().createSmartPlaylist(QStringLiteral("Jazz"), QStringLiteral("Genre contains Jazz")));
    test::await(playlists().loadPlaylists());
    const QByteArray before = test::readFile(appFile(QStringLiteral("playlist_records.json")));

    for (const QUuid& refusing : {folder.id, smart.id}) {
        std::unique_ptr<QMimeData> data(songDragData({songs[0].id}));
        EXPECT_FALSE(dragOver(data.get(), rowRect(refusing).center()));
        EXPECT_FALSE(sidebar->playlistTree()->shownDrop().target.isValid());
        drop(data.get(), rowRect(refusing).center());
    }
    test::await(playlists().waitForPendingOperations());
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("playlist_records.json"))), before);

    // In the order dragged; a song already there is not added twice.
    std::unique_ptr<QMimeData> data(songDragData({songs[2].id, songs[0].id}));
    EXPECT_TRUE(dragOver(data.get(), rowRect(mix.id).center()));
    EXPECT_TRUE(sidebar->playlistTree()->isDropTarget(sidebar->playlistTree()->indexFromItem(sidebar->playlistItem(mix.id))));
    drop(data.get(), rowRect(mix.id).center());
    std::unique_ptr<QMimeData> again(songDragData({songs[0].id, songs[1].id}));
    dragOver(again.get(), rowRect(mix.id).center());
    drop(again.get(), rowRect(mix.id).center());
    const QJsonArray expected {uuidText(songs[2].id), uuidText(songs[0].id), uuidText(songs[1].id)};
    ASSERT_TRUE(test::waitUntil([&] { return storedNamed(QStringLiteral("Mix"))->value("trackIDs").toArray() == expected; }));
    EXPECT_TRUE(harness->dialogs.shown.isEmpty());
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
