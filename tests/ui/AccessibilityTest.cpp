#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "playback/QueueEngine.h"
#include "ui/FocusRing.h"
#include "ui/MainWindow.h"
#include "ui/editors/StarRatingControl.h"
#include "ui/editors/TrackMetadataEditorSheet.h"
#include "ui/player/ArtworkTile.h"
#include "ui/player/BottomPlayerView.h"
#include "ui/player/CompactWaveformSeekView.h"
#include "ui/player/PlayerTrackInfoView.h"
#include "ui/player/PlayerTransportControls.h"
#include "ui/player/PlayerVolumeControl.h"
#include "ui/sidebar/SidebarRow.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varno {
namespace {

// What a screen reader is told about a widget, as it asks Qt.
struct Heard {
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    QString description;
    bool disabled = false;
};

Heard hear(QObject* object)
{
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(object);
    if (!node)
        return {};
    return {node->role(), node->text(QAccessible::Name), node->text(QAccessible::Description), bool(node->state().disabled)};
}

class AccessibilityTest : public test::DataFolderTest {
protected:
    std::unique_ptr<MainWindow> openPlayingWindow(test::UiHarness& ui)
    {
        ui.importSongs(scratch(QStringLiteral("music")), {QStringLiteral("One"), QStringLiteral("Two")}, test::UiHarness::titleAndArtist);
        auto window = ui.openMainWindow();
        ui.container->queueEngine().playNow(ui.container->libraryEngine().allTracks(), 0);
        EXPECT_TRUE(test::waitUntil([&] { return window->layoutView().playerBar()->isShowingSong(); }));
        return window;
    }
};

TEST_F(AccessibilityTest, AScreenReaderHearsThePlayerBarAndTheSidebarByName)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    BottomPlayerView& bar = *window->layoutView().playerBar();
    EXPECT_EQ(hear(&bar).name, QStringLiteral("Player"));
    const std::vector<std::pair<QWidget*, QString>> buttons {
        {bar.transport()->shuffleButton(), QStringLiteral("Shuffle")},
        {bar.transport()->previousButton(), QStringLiteral("Previous track")},
        {bar.transport()->playPauseButton(), QStringLiteral("Pause")},
        {bar.transport()->nextButton(), QStringLiteral("Next track")},
        {bar.queueButton(), QStringLiteral("Playback queue")},
    };
    for (const auto& [button, name] : buttons) {
        EXPECT_EQ(hear(button).role, QAccessible::Button) << name.toStdString();
        EXPECT_EQ(hear(button).name, name);
    }
    EXPECT_EQ(hear(bar.waveform()).role, QAccessible::Slider);
    EXPECT_EQ(hear(bar.waveform()).name, QStringLiteral("Playback waveform"));
    EXPECT_EQ(hear(bar.volume()->findChild<QSlider*>()).name, QStringLiteral("Volume"));
    EXPECT_EQ(hear(bar.trackInfo()->findChild<ArtworkTile*>()).name, QStringLiteral("Cover of One"));

    SidebarView& sidebar = *window->layoutView().sidebar();
    EXPECT_EQ(hear(&sidebar).name, QStringLiteral("Library Sidebar"));
    EXPECT_EQ(hear(sidebar.fixedRow(NavigationDestination::Kind::Favorites)).name, QStringLiteral("Favorites"));
    EXPECT_EQ(hear(sidebar.fixedRow(NavigationDestination::Kind::Favorites)).role, QAccessible::Button);
    EXPECT_EQ(hear(sidebar.settingsButton()).name, QStringLiteral("Settings"));
    EXPECT_EQ(hear(sidebar.findChild<QWidget*>(QStringLiteral("sidebarPlaylists"))).name, QStringLiteral("Playlists"));
}

TEST_F(AccessibilityTest, TheSongTableIsReadAsRowsOfCellsUnderTheirColumnHeaders)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    TrackListView& list = *window->layoutView().visibleTrackList();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&list.table());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->role(), QAccessible::Table);
    EXPECT_EQ(table->text(QAccessible::Name), QStringLiteral("All Songs"));
    QAccessibleTableInterface* cells = table->tableInterface();
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(cells->rowCount(), 2);
    EXPECT_EQ(cells->columnCount(), 5);

    const TrackTableModel& model = list.model();
    const int row = model.rowOfID(ui.container->queueEngine().currentTrack()->id);
    const auto cell = [&](int column) { return cells->cellAt(row, column); };
    const int title = model.columnOf(TrackTableColumnID::Title);
    EXPECT_EQ(cell(title)->text(QAccessible::Name), QStringLiteral("One"));
    {
        // This Qt makes each header cell it hands out anew and leaves it to
        // the caller, unlike every other interface here.
        const QList<QAccessibleInterface*> headers = cell(title)->tableCellInterface()->columnHeaderCells();
        const auto owned = qScopeGuard([&] {
            for (QAccessibleInterface* header : headers)
                QAccessible::deleteAccessibleInterface(QAccessible::registerAccessibleInterface(header));
        });
        ASSERT_FALSE(headers.isEmpty());
        EXPECT_EQ(headers.first()->text(QAccessible::Name), QStringLiteral("Title"));
    }
    EXPECT_EQ(cell(model.columnOf(TrackTableColumnID::Artist))->text(QAccessible::Name), QStringLiteral("Artist of One"));
    // A value the song lacks is read as a word, not as a dash.
    EXPECT_EQ(cell(model.columnOf(TrackTableColumnID::Album))->text(QAccessible::Name), QStringLiteral("None"));
    // The first cell holds the row's buttons: play or pause, and the heart.
    EXPECT_EQ(cell(TrackTableModel::kLeadingColumn)->text(QAccessible::Name), QStringLiteral("Pause One"));
    EXPECT_EQ(cell(TrackTableModel::kLeadingColumn)->text(QAccessible::Description), QStringLiteral("Not a favorite, now playing"));
}

TEST_F(AccessibilityTest, EveryControlTheKeyboardReachesHasANameAndARole)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    int controls = 0;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisible())
            continue;
        ++controls;
        const Heard heard = hear(widget);
        EXPECT_FALSE(heard.name.isEmpty()) << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        EXPECT_NE(heard.role, QAccessible::NoRole) << widget->objectName().toStdString();
    }
    EXPECT_GT(controls, 25);
}

TEST_F(AccessibilityTest, TheEditorsFieldsAndStarsAreNamedAndTheirProblemsAreHeard)
{
    test::UiHarness ui;
    Track song = test::makeTrack(QStringLiteral("Harbour Lights"));
    song.rating = 3;
    TrackMetadataEditorSheet sheet(song, ui.container->artworkCache(), ui.container->trackEditor(), ui.dialogs);
    sheet.show();
    using Field = TrackMetadataEditorSheet::Field;
    for (const Field field : {Field::Title, Field::Artist, Field::Year, Field::Duration, Field::Bpm}) {
        EXPECT_EQ(hear(sheet.field(field)).role, QAccessible::EditableText);
        EXPECT_EQ(hear(sheet.field(field)).name, TrackMetadataEditorSheet::label(field));
    }
    EXPECT_EQ(hear(sheet.stars()->star(2)).name, QStringLiteral("Rate 2 Stars"));
    EXPECT_EQ(hear(sheet.stars()->star(2)).description, QStringLiteral("Rated 3 of 5"));
    sheet.field(Field::Year)->setText(QStringLiteral("abc"));
    EXPECT_EQ(hear(sheet.field(Field::Year)).description, QStringLiteral("Must be a whole number, or blank."));
    EXPECT_EQ(hear(sheet.saveButton()).name, QStringLiteral("Save"));
    EXPECT_TRUE(hear(sheet.saveButton()).disabled);
    test::finishPoolWork();
}

TEST_F(AccessibilityTest, TheKeyboardFocusIsRingedWhereverItGoes)
{
    test::UiHarness ui;
    auto window = openPlayingWindow(ui);
    FocusRing* ring = window->focusRing();
    ASSERT_NE(ring, nullptr);
    window->searchField()->setFocus();
    // A text field frames itself; the ring stays away.
    EXPECT_FALSE(ring->isVisible());
    int ringed = 0;
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        if (qobject_cast<QLineEdit*>(focus)) {
            EXPECT_FALSE(ring->isVisible());
            continue;
        }
        ++ringed;
        ASSERT_TRUE(ring->isVisible()) << focus->objectName().toStdString();
        EXPECT_EQ(ring->ringedWidget(), focus);
        // Around what can be seen of it: a control scrolled partly out of
        // its panel is ringed where it shows.
        QRect control(focus->mapTo(window.get(), QPoint(0, 0)), focus->size());
        for (QWidget* holder = focus->parentWidget(); holder != window.get(); holder = holder->parentWidget())
            control &= QRect(holder->mapTo(window.get(), QPoint(0, 0)), holder->size());
        EXPECT_TRUE(ring->geometry().contains(control)) << focus->objectName().toStdString();
        EXPECT_GT(ring->geometry().width(), control.width());
    }
    EXPECT_GT(ringed, 20);

    // A click says the pointer is in use: the ring goes until the next key.
    TrackTableView& table = window->layoutView().visibleTrackList()->table();
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(table.model()->index(0, 2)).center());
    EXPECT_FALSE(ring->isVisible());
    QTest::keyClick(&table, Qt::Key_Down);
    EXPECT_TRUE(ring->isVisible());
    EXPECT_EQ(ring->ringedWidget(), &table);
}

} // namespace
} // namespace varno
