#include "SongListTestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackTableHeaderView.h"
#include "workspace/TrackTableLayoutState.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

using namespace varno;
using namespace varno::test;

namespace {

using Column = TrackTableColumnID;

class SongColumnsTest : public SongListTest {
protected:
    void SetUp() override
    {
        SongListTest::SetUp();
        addSongs({QStringLiteral("Song")});
        showLibraryList();
    }

    TrackTableHeaderView& header() { return table().columnHeader(); }
    TrackTableLayoutState& layout() { return harness->trackTableLayout; }

    QRect section(Column column)
    {
        const int at = model().columnOf(column);
        return QRect(header().sectionViewportPosition(at), 0, header().sectionSize(at), header().height());
    }

    double width(Column column)
    {
        for (const TrackTableColumnConfiguration& c : layout().columns()) {
            if (c.id == column)
                return c.width;
        }
        return -1;
    }

    QStringList headerTitles()
    {
        QStringList titles;
        for (int i = 1; i < model().columnCount(); ++i)
            titles << model().headerData(i, Qt::Horizontal).toString();
        return titles;
    }

    // A drag with the left button held, as a hand would do it.
    void drag(QPoint from, QPoint to)
    {
        QWidget* viewport = header().viewport();
        const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, {});
            QApplication::sendEvent(viewport, &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
};

TEST_F(SongColumnsTest, SectionsFollowTheLayoutAfterTheLeadingArea)
{
    EXPECT_EQ(header().sectionSize(0), 132);
    EXPECT_EQ(header().sectionSize(model().columnOf(Column::Title)), 200);
    EXPECT_EQ(headerTitles(), (QStringList {"Title", "Artist", "Album", "Duration"}));
}

TEST_F(SongColumnsTest, DraggingAHeaderOntoAnotherReordersAndUndoes)
{
    drag(section(Column::Duration).center(), section(Column::Title).center());
    EXPECT_EQ(layout().visibleColumnIDs().first(), Column::Duration);
    EXPECT_EQ(headerTitles().first(), QStringLiteral("Duration"));
    EXPECT_EQ(model().columnOf(Column::Duration), 1);
    EXPECT_EQ(model().data(model().index(0, model().columnOf(Column::Title))).toString(), QStringLiteral("Song"));
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Reorder Song Columns"));

    undoStack.undo();
    EXPECT_EQ(headerTitles().first(), QStringLiteral("Title"));
}

TEST_F(SongColumnsTest, DraggingAnEdgeResizesLiveAndUndoesAsOneStep)
{
    const QRect title = section(Column::Title);
    const QPoint edge(title.right() + 1, title.center().y());
    EXPECT_EQ(header().edgeSectionAt(edge.x()), model().columnOf(Column::Title));
    drag(edge, edge + QPoint(60, 0));
    EXPECT_EQ(width(Column::Title), 260);
    EXPECT_EQ(header().sectionSize(model().columnOf(Column::Title)), 260);
    EXPECT_EQ(undoStack.count(), 1);
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Resize Song Column"));

    undoStack.undo();
    EXPECT_EQ(width(Column::Title), 200);

    drag(edge, edge + QPoint(60, 0));
    QTest::mouseDClick(header().viewport(), Qt::LeftButton, {}, edge + QPoint(60, 0));
    EXPECT_EQ(width(Column::Title), 200);
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Reset Song Column Width"));
}

TEST_F(SongColumnsTest, ColumnMenuCollapsesResetsAndRemovesWithUndo)
{
    std::unique_ptr<QMenu> menu(header().makeColumnMenu(Column::Album, nullptr));
    EXPECT_EQ(itemTexts(*menu), (QStringList {"Collapse Column", "Reset Width", "Remove Column", "Customize Song Columns"}));
    itemNamed(*menu, songs::kCollapseColumn)->trigger();
    EXPECT_EQ(header().sectionSize(model().columnOf(Column::Album)), 48);
    menu.reset(header().makeColumnMenu(Column::Album, nullptr));
    ASSERT_NE(itemNamed(*menu, songs::kExpandColumn), nullptr);
    itemNamed(*menu, songs::kExpandColumn)->trigger();
    EXPECT_EQ(header().sectionSize(model().columnOf(Column::Album)), 140);

    menu.reset(header().makeColumnMenu(Column::Album, nullptr));
    itemNamed(*menu, songs::kRemoveColumn)->trigger();
    EXPECT_EQ(model().columnOf(Column::Album), -1);
    EXPECT_FALSE(headerTitles().contains(QStringLiteral("Album")));
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Remove Song Column"));
    undoStack.undo();
    EXPECT_EQ(headerTitles().at(2), QStringLiteral("Album"));
    EXPECT_EQ(model().data(model().index(0, model().columnOf(Column::Album))).toString(), QStringLiteral("Tagged Album"));
}

TEST_F(SongColumnsTest, CustomizeMenuTogglesColumnsAndRestoresTheDefaultLayout)
{
    std::unique_ptr<QMenu> menu(header().makeCustomizeMenu(nullptr));
    EXPECT_EQ(menu->title(), QStringLiteral("Customize Song Columns"));
    EXPECT_EQ(menu->actions().size(), 14);
    EXPECT_FALSE(itemNamed(*menu, songs::kRestoreDefaultColumns)->isEnabled());
    // The columns not shown at first are there to be switched on.
    QAction* genre = itemNamed(*menu, QStringLiteral("Genre"));
    ASSERT_FALSE(genre->isChecked());
    genre->trigger();
    EXPECT_TRUE(layout().isColumnVisible(Column::Genre));
    EXPECT_EQ(headerTitles(), (QStringList {"Title", "Artist", "Album", "Genre", "Duration"}));

    menu.reset(header().makeCustomizeMenu(nullptr));
    EXPECT_TRUE(itemNamed(*menu, QStringLiteral("Genre"))->isChecked());
    itemNamed(*menu, songs::kRestoreDefaultColumns)->trigger();
    EXPECT_TRUE(layout().isDefaultLayout());
    EXPECT_EQ(model().columnCount(), 5);
}

TEST_F(SongColumnsTest, RightClickingAHeaderOpensItsColumnMenu)
{
    const QPoint at = section(Column::Album).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, header().viewport()->mapToGlobal(at));
    QApplication::sendEvent(header().viewport(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(itemTexts(*menu).first(), QStringLiteral("Collapse Column"));
    itemNamed(*menu, songs::kRemoveColumn)->trigger();
    menu->close();
    EXPECT_FALSE(layout().isColumnVisible(Column::Album));
}

TEST_F(SongColumnsTest, AnInvalidStoredLayoutIsReportedUntilDismissed)
{
    closeList();
    SettingsPreferencesStore preferences;
    preferences.setValue(TrackTableLayoutState::kPreferenceKey, QByteArray("[{\"id\":\"rating\"}]"));
    TrackTableLayoutState damaged(preferences);
    ViewEnvironment base = harness->environment();
    ViewEnvironment environment {base.libraryEngine,      base.audioEngine, base.queueEngine, base.playlistEngine, base.searchEngine,
                                 base.artworkCache,       base.trackEditor, base.thumbnailGenerator, base.waveformGenerator, base.themeEngine, damaged,
                                 base.panelState,         base.inspection, base.albumCatalog, base.dialogs};
    list = std::make_unique<TrackListView>(environment, std::make_unique<LibraryTrackSource>(library()), TrackListOptions::library(songs::kAllSongsTitle),
                                           &undoStack);
    show();
    auto* message = list->findChild<QWidget*>(QStringLiteral("columnLayoutMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->findChild<QLabel*>(QStringLiteral("columnLayoutMessageText"))->text(), TrackTableLayoutState::kInvalidLayoutMessage);
    auto* dismiss = list->findChild<QToolButton*>(QStringLiteral("columnLayoutMessageDismiss"));
    EXPECT_EQ(dismiss->text(), QStringLiteral("Dismiss Message"));
    QTest::mouseClick(dismiss, Qt::LeftButton);
    EXPECT_FALSE(message->isVisible());
    EXPECT_FALSE(damaged.recoveryMessage());
    closeList();
}

} // namespace
