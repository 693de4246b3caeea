#include "InspectorTestSupport.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "library/LibraryEngine.h"
#include "media/ThemeEngine.h"
#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "ui/inspector/InspectorText.h"
#include "ui/inspector/InspectorView.h"
#include "ui/inspector/NowPlayingArtworkView.h"
#include "ui/inspector/NowPlayingIndicator.h"
#include "ui/inspector/NowPlayingMetadataDetailsView.h"
#include "ui/inspector/NowPlayingPanelView.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace varno {
namespace {

using test::await;

TEST(InspectorTextTest, BpmInputIsASignedDecimalWithin64Bits)
{
    const std::vector<std::pair<QString, std::optional<std::int64_t>>> cases {
        {QStringLiteral("120"), 120},
        {QStringLiteral("-5"), -5},
        {QStringLiteral("+7"), 7},
        {QStringLiteral("007"), 7},
        {QStringLiteral(""), std::nullopt},
        {QStringLiteral("12a"), std::nullopt},
        {QStringLiteral(" 12"), std::nullopt},
        {QStringLiteral("-"), std::nullopt},
        {QStringLiteral("1.5"), std::nullopt},
        {QStringLiteral("9223372036854775807"), std::numeric_limits<std::int64_t>::max()},
        {QStringLiteral("-9223372036854775808"), std::numeric_limits<std::int64_t>::min()},
        {QStringLiteral("9223372036854775808"), std::nullopt},
        {QStringLiteral("١٢"), std::nullopt},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(inspector::bpmInputValue(input), expected) << input.toStdString();
        // Only a blank input stores no BPM; anything else that is no number
        // is refused with a reason.
        EXPECT_EQ(inspector::bpmInputProblem(input).has_value(), !expected && !input.isEmpty()) << input.toStdString();
    }
    EXPECT_EQ(inspector::textInputValue(QString()), std::nullopt);
    EXPECT_EQ(inspector::textInputValue(QStringLiteral("  ")), QStringLiteral("  "));
}

TEST(InspectorTextTest, StarsSetTheRatingAndTheSameStarClearsIt)
{
    EXPECT_EQ(inspector::ratingAfterTapping(0, 4), 4);
    EXPECT_EQ(inspector::ratingAfterTapping(4, 2), 2);
    EXPECT_EQ(inspector::ratingAfterTapping(3, 3), 0);
    EXPECT_EQ(inspector::ratingAfterTapping(5, 5), 0);
}

TEST(InspectorTextTest, DetailRows)
{
    Track bare = test::makeTrack(QStringLiteral("Bare"));
    bare.dateAdded.reset();
    EXPECT_TRUE(inspector::detailRows(bare).isEmpty());

    Track full = test::makeTrack(QStringLiteral("Full"));
    full.albumArtist = QStringLiteral("Various");
    full.genre = QStringLiteral("Jazz");
    full.year = 1999;
    full.trackNumber = 7;
    full.bitrate = 320;
    full.sampleRate = 48000;
    QStringList labels;
    for (const inspector::DetailRow& row : inspector::detailRows(full, QLocale(QLocale::English, QLocale::UnitedStates)))
        labels << row.label + QLatin1Char('=') + row.value;
    ASSERT_EQ(labels.size(), 7);
    EXPECT_EQ(labels.mid(0, 6), (QStringList {QStringLiteral("Album Artist=Various"), QStringLiteral("Genre=Jazz"),
                                              QStringLiteral("Year=1999"), QStringLiteral("Track #=7"),
                                              QStringLiteral("Bitrate=320 kbps"), QStringLiteral("Sample Rate=48.0 kHz")}));
    EXPECT_TRUE(labels[6].startsWith(QStringLiteral("Date Added=")));

    full.bitrate.reset();
    for (const inspector::DetailRow& row : inspector::detailRows(full))
        EXPECT_NE(row.label, QStringLiteral("Bitrate"));
}

class NowPlayingPanelTest : public test::DataFolderTest {
protected:
    std::unique_ptr<NowPlayingPanelView> makePanel(test::UiHarness& ui)
    {
        auto panel = std::make_unique<NowPlayingPanelView>(ui.environment());
        panel->resize(300, 900);
        panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        return panel;
    }

    QString music() const { return scratch(QStringLiteral("music")); }
};

TEST_F(NowPlayingPanelTest, ShowsTheSelectedSongElseThePlayingOneAndSaysNowPlayingOnlyOfThePlayingSong)
{
    test::UiHarness ui;
    const Track first = test::importSong(ui, music(), QStringLiteral("First"), QStringLiteral("Ann"), QStringLiteral("Blue"));
    const Track second = test::importSong(ui, music(), QStringLiteral("Second"));
    auto panel = makePanel(ui);
    EXPECT_TRUE(panel->isShowingEmptyState());
    EXPECT_EQ(panel->titleText(), QStringLiteral("No track selected"));
    EXPECT_FALSE(panel->inspectedTrack().has_value());

    // A selected song while nothing plays: nothing says it plays.
    ui.inspection.setSelectedTrack(first);
    EXPECT_EQ(panel->titleText(), QStringLiteral("First"));
    EXPECT_EQ(panel->artistText(), QStringLiteral("Ann"));
    EXPECT_EQ(panel->albumText(), QStringLiteral("Blue"));
    EXPECT_FALSE(panel->indicator()->isVisible());

    // Another song starts: the panel stays on the selected song, and header,
    // audio rows and fields all belong to it.
    ui.container->queueEngine().playNow(TrackList({second}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return ui.container->audioEngine().playbackState() == PlaybackState::Playing; }));
    EXPECT_EQ(panel->titleText(), QStringLiteral("First"));
    EXPECT_EQ(panel->inspectedTrack()->id, first.id);
    EXPECT_EQ(panel->inspector()->titleField()->text(), QStringLiteral("First"));
    EXPECT_EQ(panel->inspector()->artistField()->text(), QStringLiteral("Ann"));
    EXPECT_FALSE(panel->indicator()->isVisible());

    // With nothing selected the panel is about the playing song, and says so.
    ui.inspection.setSelectedTrack(std::nullopt);
    EXPECT_EQ(panel->titleText(), QStringLiteral("Second"));
    EXPECT_EQ(panel->artistText(), QStringLiteral("Unknown Artist"));
    EXPECT_EQ(panel->albumText(), QStringLiteral("Unknown Album"));
    EXPECT_EQ(panel->inspector()->titleField()->text(), QStringLiteral("Second"));
    EXPECT_TRUE(panel->indicator()->isVisible());
    EXPECT_EQ(panel->indicator()->text(), QStringLiteral("Now playing"));
    EXPECT_TRUE(panel->indicator()->isMoving());
    // Reduce motion stills the bars but keeps the words.
    ui.container->themeEngine().setReduceMotion(true);
    EXPECT_FALSE(panel->indicator()->isMoving());
    EXPECT_EQ(panel->indicator()->text(), QStringLiteral("Now playing"));
    ui.container->audioEngine().pause();
    EXPECT_TRUE(test::waitUntil([&] { return panel->indicator()->text() == QStringLiteral("Paused"); }));
    // Selecting the playing song itself keeps the indicator.
    ui.inspection.setSelectedTrack(second);
    EXPECT_TRUE(panel->indicator()->isVisible());

    // An edit made elsewhere shows at once: the library's copy is shown.
    Track renamed = second;
    renamed.artist = QStringLiteral("Late Artist");
    await(ui.container->libraryEngine().updateTrack(renamed));
    EXPECT_EQ(panel->artistText(), QStringLiteral("Late Artist"));
    EXPECT_EQ(panel->inspector()->artistField()->text(), QStringLiteral("Late Artist"));
    ui.container->audioEngine().stop();
    ui.inspection.setSelectedTrack(std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return !panel->indicator()->isVisible(); }));
    EXPECT_FALSE(panel->grab().isNull());
}

TEST_F(NowPlayingPanelTest, ThePlayingBarsBounceWhenTheSongStartsOrComesIntoSightAndOtherwiseStandStill)
{
    test::UiHarness ui;
    // Four minutes: the song outlasts the test.
    const Track song = ui.importSongs(music(), {QStringLiteral("Song")}).at(0);
    auto panel = makePanel(ui);
    NowPlayingIndicator* indicator = panel->indicator();
    ui.container->queueEngine().playNow(TrackList({song}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return indicator->isMoving(); }));
    // The bounce ends; the song plays on under still bars.
    ASSERT_TRUE(test::waitUntil([&] { return !indicator->isMoving(); }));
    EXPECT_EQ(indicator->text(), QStringLiteral("Now playing"));

    // Out of sight the bars never move; back in sight they bounce again.
    panel->showMinimized();
    EXPECT_FALSE(indicator->isMoving());
    panel->showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    ASSERT_TRUE(test::waitUntil([&] { return indicator->isMoving(); }));
    panel->showMinimized();
    EXPECT_FALSE(indicator->isMoving());
    ui.container->audioEngine().stop();
}

TEST_F(NowPlayingPanelTest, AnEditInThePanelChangesTheSongItNamesNotThePlayingOne)
{
    test::UiHarness ui;
    const Track chosen = test::importSong(ui, music(), QStringLiteral("Chosen"), QStringLiteral("Ann"));
    const Track playing = test::importSong(ui, music(), QStringLiteral("Playing"), QStringLiteral("Bo"));
    auto panel = makePanel(ui);
    ui.container->queueEngine().playNow(TrackList({playing}), 0);
    ui.inspection.setSelectedTrack(chosen);
    ASSERT_EQ(panel->titleText(), QStringLiteral("Chosen"));
    QLineEdit* artist = panel->inspector()->artistField();
    artist->setFocus();
    artist->selectAll();
    QTest::keyClicks(artist, QStringLiteral("Cy"));
    QTest::keyClick(artist, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !panel->isStoringEdits(); }));
    const TrackList& library = ui.container->libraryEngine().allTracks();
    EXPECT_EQ(library.find(chosen.id)->artist, QStringLiteral("Cy"));
    EXPECT_EQ(library.find(playing.id)->artist, QStringLiteral("Bo"));
    ui.container->audioEngine().stop();
}

TEST_F(NowPlayingPanelTest, ASongOutsideTheLibraryIsShownAsFound)
{
    test::UiHarness ui;
    auto panel = makePanel(ui);
    Track loose = test::makeTrack(QStringLiteral("Loose"));
    loose.sampleRate = 48000;
    loose.duration = 3725;
    ui.inspection.setSelectedTrack(loose);
    EXPECT_EQ(panel->titleText(), QStringLiteral("Loose"));
    EXPECT_EQ(panel->artistText(), QStringLiteral("Unknown Artist"));
    const InspectorView& inspector = *panel->inspector();
    EXPECT_EQ(inspector.titleField()->text(), QStringLiteral("Loose"));
    EXPECT_TRUE(inspector.titleField()->isReadOnly());
    EXPECT_TRUE(inspector.filenameField()->isReadOnly());
    EXPECT_EQ(inspector.technicalText(QStringLiteral("Sample Rate")), QStringLiteral("48.0 kHz"));
    EXPECT_EQ(inspector.technicalText(QStringLiteral("Duration")), QStringLiteral("1:02:05"));
    EXPECT_EQ(inspector.technicalText(QStringLiteral("Bitrate")), QStringLiteral("—"));
    QStringList labels;
    for (const inspector::DetailRow& row : panel->details()->rows())
        labels << row.label;
    EXPECT_EQ(labels, (QStringList {QStringLiteral("Sample Rate"), QStringLiteral("Date Added")}));
}

TEST_F(NowPlayingPanelTest, InspectorEditsReachTheLibraryFile)
{
    QUuid id;
    {
        test::UiHarness ui;
        const Track song = test::importSong(ui, music(), QStringLiteral("Edited"), QStringLiteral("Old"), QStringLiteral("Album"));
        id = song.id;
        auto panel = makePanel(ui);
        ui.inspection.setSelectedTrack(song);
        InspectorView& inspector = *panel->inspector();
        const auto stored = [&] { return *ui.container->libraryEngine().allTracks().find(id); };

        inspector.artistField()->selectAll();
        QTest::keyClicks(inspector.artistField(), QStringLiteral("New Artist"));
        QTest::keyClick(inspector.artistField(), Qt::Key_Return);
        EXPECT_TRUE(test::waitUntil([&] { return stored().artist == QStringLiteral("New Artist"); }));

        // An empty field stores nothing; a BPM that is no number is pointed
        // out beside the field and keeps the stored one; an empty BPM
        // clears it.
        inspector.albumField()->selectAll();
        QTest::keyClick(inspector.albumField(), Qt::Key_Backspace);
        QTest::keyClicks(inspector.genreField(), QStringLiteral("Jazz "));
        QTest::keyClicks(inspector.bpmField(), QStringLiteral("-5"));
        QTest::keyClick(inspector.bpmField(), Qt::Key_Return);
        EXPECT_TRUE(test::waitUntil([&] { return stored().bpm == -5 && !panel->isStoringEdits(); }));
        EXPECT_EQ(stored().album, std::nullopt);
        EXPECT_EQ(stored().genre, QStringLiteral("Jazz "));
        inspector.bpmField()->selectAll();
        QTest::keyClicks(inspector.bpmField(), QStringLiteral("12a"));
        QTest::keyClick(inspector.bpmField(), Qt::Key_Return);
        EXPECT_TRUE(inspector.bpmErrorLabel()->isVisible());
        EXPECT_EQ(inspector.bpmErrorLabel()->text(), QStringLiteral("Must be a whole number, or blank."));
        EXPECT_EQ(inspector.bpmField()->accessibleDescription(), QStringLiteral("Must be a whole number, or blank."));
        EXPECT_TRUE(test::waitUntil([&] { return !panel->isStoringEdits(); }));
        EXPECT_EQ(stored().bpm, -5);
        inspector.bpmField()->selectAll();
        QTest::keyClick(inspector.bpmField(), Qt::Key_Backspace);
        QTest::keyClick(inspector.bpmField(), Qt::Key_Return);
        EXPECT_FALSE(inspector.bpmErrorLabel()->isVisible());
        EXPECT_TRUE(test::waitUntil([&] { return !stored().bpm.has_value() && !panel->isStoringEdits(); }));

        // Stars: the third sets 3, the third again clears it, the fourth
        // makes a favourite.
        QTest::mouseClick(inspector.starButton(3), Qt::LeftButton);
        EXPECT_TRUE(test::waitUntil([&] { return stored().rating == 3; }));
        EXPECT_TRUE(inspector.starButton(3)->property("filled").toBool());
        EXPECT_FALSE(inspector.starButton(4)->property("filled").toBool());
        QTest::mouseClick(inspector.starButton(3), Qt::LeftButton);
        EXPECT_TRUE(test::waitUntil([&] { return stored().rating == 0; }));
        EXPECT_FALSE(inspector.starButton(1)->property("filled").toBool());
        QTest::mouseClick(inspector.starButton(4), Qt::LeftButton);
        EXPECT_TRUE(test::waitUntil([&] { return stored().rating == 4 && !panel->isStoringEdits(); }));
        EXPECT_EQ(ui.container->libraryEngine().getFavorites().size(), 1u);
        EXPECT_TRUE(inspector.errorText().isEmpty());
    }
    // The library file holds every edit.
    test::UiHarness restarted;
    const SharedTrack reread = restarted.container->libraryEngine().allTracks().find(id);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->artist, QStringLiteral("New Artist"));
    EXPECT_EQ(reread->album, std::nullopt);
    EXPECT_EQ(reread->genre, QStringLiteral("Jazz "));
    EXPECT_EQ(reread->bpm, std::nullopt);
    EXPECT_EQ(reread->rating, 4);
}

TEST_F(NowPlayingPanelTest, TypingIsKeptWhenAnotherSongIsSelected)
{
    test::UiHarness ui;
    const Track a = test::importSong(ui, music(), QStringLiteral("A"));
    const Track b = test::importSong(ui, music(), QStringLiteral("B"));
    auto panel = makePanel(ui);
    ui.inspection.setSelectedTrack(a);
    QTest::keyClicks(panel->inspector()->albumField(), QStringLiteral("Typed"));
    ui.inspection.setSelectedTrack(b);
    EXPECT_EQ(panel->inspector()->albumField()->text(), QString());
    EXPECT_TRUE(test::waitUntil([&] { return ui.container->libraryEngine().allTracks().find(a.id)->album == QStringLiteral("Typed"); }));
    EXPECT_FALSE(ui.container->libraryEngine().allTracks().find(b.id)->album.has_value());
}

TEST_F(NowPlayingPanelTest, ShowsTheCoverAndOffersTheSongsActions)
{
    test::UiHarness ui;
    const Track song = test::importSong(ui, music(), QStringLiteral("Covered"), {}, {}, fixtures::makeJpegCover(400, 300, QColor(200, 40, 40)));
    auto panel = makePanel(ui);
    ui.inspection.setSelectedTrack(song);
    EXPECT_TRUE(test::waitUntil([&] { return !panel->artworkView()->image().isNull(); }));
    const QColor middle = panel->artworkView()->image().pixelColor(200, 150);
    EXPECT_NEAR(middle.red(), 200, 12);

    QSignalSpy edits(panel.get(), &NowPlayingPanelView::editRequested);
    QMenu* menu = panel->actionsButton()->menu();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    EXPECT_EQ(texts, (QStringList {QStringLiteral("Edit Metadata…"), QStringLiteral("Show in File Manager")}));
    menu->actions()[0]->trigger();
    ASSERT_EQ(edits.size(), 1);
    EXPECT_EQ(edits[0][0].value<Track>().id, song.id);
    menu->actions()[1]->trigger();
    ASSERT_EQ(ui.dialogs.revealed.size(), 1);
    EXPECT_EQ(ui.dialogs.revealed[0], song.fileURL);
}

} // namespace
} // namespace varno
