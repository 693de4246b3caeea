#include "InspectorTestSupport.h"
#include "TestSupport.h"
#include "UiHarness.h"

#include "media/ThemeEngine.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/QueueEngine.h"
#include "platform/SettingsPreferencesStore.h"
#include "ui/MainWindow.h"
#include "ui/ThemeApplier.h"
#include "ui/settings/PlaybackSettingsSection.h"
#include "ui/settings/SettingsSlider.h"
#include "ui/settings/SettingsView.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableView.h"
#include "ui/window/MainLayoutView.h"
#include "ui/window/WorkspacePanelRegion.h"
#include "workspace/PlaybackPreferences.h"
#include "workspace/TrackTableLayoutState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <gtest/gtest.h>

namespace varno {
namespace {

TEST(SettingsTextTest, PixelsAndPercentagesDropTheFraction)
{
    EXPECT_EQ(pixelsText(8.0), QStringLiteral("8px"));
    EXPECT_EQ(pixelsText(12.9), QStringLiteral("12px"));
    EXPECT_EQ(pixelsText(0.0), QStringLiteral("0px"));
    EXPECT_EQ(percentageText(0.78), QStringLiteral("78%"));
    EXPECT_EQ(percentageText(1.2), QStringLiteral("120%"));
    EXPECT_EQ(percentageText(0.4), QStringLiteral("40%"));
    EXPECT_EQ(percentageText(0.69), QStringLiteral("69%"));
    EXPECT_EQ(percentageText(0.999), QStringLiteral("99%"));
}

class SettingsViewTest : public test::DataFolderTest {
protected:
    std::unique_ptr<SettingsView> makeSheet(test::UiHarness& ui)
    {
        auto sheet = std::make_unique<SettingsView>(ui.container->themeEngine(), ui.trackTableLayout, &undo);
        sheet->show();
        return sheet;
    }

    static void slideTo(SettingsSlider* slider, int position) { slider->slider()->setValue(position); }
    static void slideToEnd(SettingsSlider* slider) { slideTo(slider, slider->slider()->maximum()); }
    static void slideToStart(SettingsSlider* slider) { slideTo(slider, slider->slider()->minimum()); }

    QUndoStack undo;
};

TEST_F(SettingsViewTest, SectionsAndTheValueTextsAtTheEndsOfEachSlider)
{
    test::UiHarness ui;
    auto sheet = makeSheet(ui);
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(sheet->closeButton()->toolTip(), QStringLiteral("Close Settings"));
    EXPECT_EQ(sheet->closeButton()->accessibleName(), QStringLiteral("Close Settings"));
    EXPECT_EQ(sheet->sectionTitles(), (QStringList {QStringLiteral("APPEARANCE"), QStringLiteral("LAYOUT"), QStringLiteral("BEHAVIOR"),
                                                    QStringLiteral("Song Table Columns")}));
    // A first start shows the theme's own values.
    EXPECT_EQ(sheet->transparencySlider()->valueText(), QStringLiteral("85%"));
    EXPECT_EQ(sheet->cornerRadiusSlider()->valueText(), QStringLiteral("8px"));
    EXPECT_EQ(sheet->fontScaleSlider()->valueText(), QStringLiteral("100%"));
    EXPECT_EQ(sheet->animationSpeedText(), QStringLiteral("Smooth"));

    slideToStart(sheet->cornerRadiusSlider());
    EXPECT_EQ(sheet->cornerRadiusSlider()->valueText(), QStringLiteral("0px"));
    slideToEnd(sheet->cornerRadiusSlider());
    EXPECT_EQ(sheet->cornerRadiusSlider()->valueText(), QStringLiteral("16px"));
    slideToStart(sheet->fontScaleSlider());
    EXPECT_EQ(sheet->fontScaleSlider()->valueText(), QStringLiteral("80%"));
    slideToEnd(sheet->fontScaleSlider());
    EXPECT_EQ(sheet->fontScaleSlider()->valueText(), QStringLiteral("120%"));
    slideToStart(sheet->transparencySlider());
    EXPECT_EQ(sheet->transparencySlider()->valueText(), QStringLiteral("40%"));
    slideToEnd(sheet->transparencySlider());
    EXPECT_EQ(sheet->transparencySlider()->valueText(), QStringLiteral("100%"));
}

TEST_F(SettingsViewTest, EveryControlChangesTheThemeConfiguration)
{
    test::UiHarness ui;
    ThemeEngine& theme = ui.container->themeEngine();
    auto sheet = makeSheet(ui);
    slideToEnd(sheet->fontScaleSlider());
    EXPECT_DOUBLE_EQ(theme.currentConfiguration().fontSizeScale, 1.2);
    slideTo(sheet->cornerRadiusSlider(), 12);
    EXPECT_DOUBLE_EQ(theme.currentConfiguration().roundedCorners, 12.0);
    slideTo(sheet->transparencySlider(), 38);
    EXPECT_NEAR(theme.currentConfiguration().panelTransparency, 0.78, 1e-9);
    EXPECT_EQ(sheet->transparencySlider()->valueText(), QStringLiteral("78%"));
    sheet->compactSwitch()->click();
    EXPECT_TRUE(theme.currentConfiguration().isCompactMode);
    sheet->animationSpeedButton(QStringLiteral("Fast"))->click();
    EXPECT_DOUBLE_EQ(theme.currentConfiguration().animationSpeedMultiplier, 0.5);
    sheet->animationSpeedButton(QStringLiteral("Instant"))->click();
    EXPECT_DOUBLE_EQ(theme.currentConfiguration().animationSpeedMultiplier, 0.0);
    EXPECT_EQ(sheet->animationSpeedText(), QStringLiteral("Instant"));

    // The accent row is there only while the accent is not taken from
    // covers.
    EXPECT_TRUE(sheet->dynamicAccentSwitch()->isChecked());
    EXPECT_FALSE(sheet->manualAccentRow()->isVisible());
    sheet->dynamicAccentSwitch()->click();
    EXPECT_FALSE(theme.currentConfiguration().useDynamicAccent);
    EXPECT_TRUE(sheet->manualAccentRow()->isVisible());
    sheet->accentSwatches()[3]->click();
    EXPECT_EQ(theme.currentConfiguration().manualAccentColor, SettingsView::accentChoices()[3]);
    EXPECT_TRUE(sheet->accentSwatches()[3]->isChecked());
    EXPECT_FALSE(sheet->accentSwatches()[0]->isChecked());
    sheet->dynamicAccentSwitch()->click();
    EXPECT_FALSE(sheet->manualAccentRow()->isVisible());

    // A sheet made again shows what is in force, not the first values.
    auto again = makeSheet(ui);
    EXPECT_EQ(again->transparencySlider()->valueText(), QStringLiteral("78%"));
    EXPECT_EQ(again->animationSpeedText(), QStringLiteral("Instant"));
    EXPECT_EQ(again->cornerRadiusSlider()->valueText(), QStringLiteral("12px"));
    EXPECT_TRUE(again->compactSwitch()->isChecked());
}

TEST_F(SettingsViewTest, AnyAccentColourCanBePickedBesideTheSwatches)
{
    test::UiHarness ui;
    ThemeEngine& theme = ui.container->themeEngine();
    auto sheet = makeSheet(ui);
    sheet->dynamicAccentSwitch()->click();
    QAbstractButton* picker = sheet->accentPickerButton();
    ASSERT_NE(picker, nullptr);
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->accessibleName(), QStringLiteral("Custom Color…"));
    EXPECT_FALSE(picker->isChecked());

    picker->click();
    QColorDialog* dialog = sheet->accentColorDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(picker->isChecked()) << "a click alone chooses nothing";
    EXPECT_EQ(dialog->currentColor(), ThemeApplier::toColor(SettingsView::accentChoices()[0]));
    dialog->setCurrentColor(QColor(0x12, 0x9a, 0x77));
    dialog->accept();
    EXPECT_EQ(ThemeApplier::toColor(theme.currentConfiguration().manualAccentColor), QColor(0x12, 0x9a, 0x77));
    EXPECT_TRUE(picker->isChecked());
    for (QAbstractButton* swatch : sheet->accentSwatches())
        EXPECT_FALSE(swatch->isChecked());

    // Cancelling keeps the colour; a swatch takes over from the picker.
    picker->click();
    sheet->accentColorDialog()->setCurrentColor(Qt::red);
    sheet->accentColorDialog()->reject();
    EXPECT_EQ(ThemeApplier::toColor(theme.currentConfiguration().manualAccentColor), QColor(0x12, 0x9a, 0x77));
    sheet->accentSwatches()[2]->click();
    EXPECT_FALSE(picker->isChecked());
    EXPECT_TRUE(sheet->accentSwatches()[2]->isChecked());
}

TEST_F(SettingsViewTest, ReduceMotionHoldsTheSpeedChoiceOff)
{
    test::UiHarness ui;
    auto sheet = makeSheet(ui);
    ui.container->themeEngine().setReduceMotion(true);
    EXPECT_EQ(sheet->animationSpeedText(), QStringLiteral("Instant"));
    EXPECT_FALSE(sheet->animationSpeedButton(QStringLiteral("Smooth"))->isEnabled());
    ui.container->themeEngine().setReduceMotion(false);
    EXPECT_EQ(sheet->animationSpeedText(), QStringLiteral("Smooth"));
    EXPECT_TRUE(sheet->animationSpeedButton(QStringLiteral("Smooth"))->isEnabled());
}

TEST_F(SettingsViewTest, RestoreSongColumnsIsOneUndoableStep)
{
    test::UiHarness ui;
    auto sheet = makeSheet(ui);
    const qsizetype shown = ui.trackTableLayout.columns().size();
    EXPECT_EQ(sheet->columnCountText(), QStringLiteral("%1/12").arg(shown));
    EXPECT_FALSE(sheet->restoreColumnsButton()->isEnabled());
    EXPECT_EQ(sheet->restoreColumnsButton()->text(), QStringLiteral("Restore Song Columns"));
    EXPECT_EQ(sheet->restoreColumnsButton()->toolTip(), QStringLiteral("Restore the default song-column order, widths, and visibility"));

    ui.trackTableLayout.setColumnVisible(TrackTableColumnID::Genre, !ui.trackTableLayout.isColumnVisible(TrackTableColumnID::Genre), &undo);
    const qsizetype changed = ui.trackTableLayout.columns().size();
    EXPECT_EQ(sheet->columnCountText(), QStringLiteral("%1/12").arg(changed));
    ASSERT_TRUE(sheet->restoreColumnsButton()->isEnabled());
    const int before = undo.count();
    sheet->restoreColumnsButton()->click();
    EXPECT_TRUE(ui.trackTableLayout.isDefaultLayout());
    EXPECT_EQ(sheet->columnCountText(), QStringLiteral("%1/12").arg(shown));
    EXPECT_EQ(undo.count(), before + 1);
    undo.undo();
    EXPECT_EQ(sheet->columnCountText(), QStringLiteral("%1/12").arg(changed));
}

TEST_F(SettingsViewTest, ShowsTheColumnLayoutsRecoveryMessage)
{
    test::UiHarness ui;
    SettingsPreferencesStore preferences;
    preferences.setValue(TrackTableLayoutState::kPreferenceKey, "not a layout");
    TrackTableLayoutState damaged(preferences);
    SettingsView sheet(ui.container->themeEngine(), damaged, &undo);
    sheet.show();
    EXPECT_EQ(sheet.columnRecoveryText(), TrackTableLayoutState::kInvalidLayoutMessage);
    damaged.dismissRecoveryMessage();
    EXPECT_EQ(sheet.columnRecoveryText(), QString());
}

class AppliedSettingsTest : public test::DataFolderTest {
protected:
    std::unique_ptr<MainWindow> openWindow(test::UiHarness& ui, bool reduceMotion = true)
    {
        return ui.openMainWindow(test::UiHarness::Readiness::Exposed,
                                 reduceMotion ? test::UiHarness::Motion::Reduced : test::UiHarness::Motion::AsStored);
    }

    static TrackTableView& table(MainWindow& window) { return window.layoutView().visibleTrackList()->table(); }

    static SettingsView& openSettings(MainWindow& window)
    {
        QTest::mouseClick(window.layoutView().sidebar()->settingsButton(), Qt::LeftButton);
        EXPECT_TRUE(window.settingsSheet() && window.settingsSheet()->isVisible());
        return *window.settingsSheet();
    }
};

TEST_F(AppliedSettingsTest, FontScaleAndCompactRowsChangeTheSongTable)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    const double basePoints = QApplication::font().pointSizeF();
    auto* title = window->findChild<QLabel*>(QStringLiteral("sidebarTitle"));
    ASSERT_NE(title, nullptr);
    const double titlePoints = title->font().pointSizeF();
    EXPECT_EQ(table(*window).verticalHeader()->defaultSectionSize(), 44);
    SettingsView& sheet = openSettings(*window);

    sheet.fontScaleSlider()->slider()->setValue(sheet.fontScaleSlider()->slider()->maximum());
    EXPECT_EQ(table(*window).uniformRowHeight(), 53);
    EXPECT_EQ(table(*window).verticalHeader()->defaultSectionSize(), 53);
    EXPECT_NEAR(QApplication::font().pointSizeF(), basePoints * 1.2, 0.01);
    // A label with a size of its own keeps its proportion.
    EXPECT_NEAR(title->font().pointSizeF(), titlePoints * 1.2, 0.01);
    sheet.compactSwitch()->click();
    EXPECT_EQ(table(*window).verticalHeader()->defaultSectionSize(), 43);
    sheet.fontScaleSlider()->slider()->setValue(0);
    EXPECT_EQ(table(*window).verticalHeader()->defaultSectionSize(), 34);

    // A list made after the change is made at the rows in force.
    window->layoutView().setSelection(NavigationDestination::topRated());
    EXPECT_EQ(table(*window).verticalHeader()->defaultSectionSize(), 34);
    window.reset();
    EXPECT_NEAR(QApplication::font().pointSizeF(), basePoints, 0.01);
}

TEST_F(AppliedSettingsTest, TheCornerRadiusReachesEveryRoundedShape)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    EXPECT_EQ(table(*window).coverRadius(), 4);
    EXPECT_EQ(ThemeApplier::shownCornerRadius(6), 6);
    SettingsView& sheet = openSettings(*window);

    sheet.cornerRadiusSlider()->slider()->setValue(16);
    EXPECT_EQ(table(*window).coverRadius(), 8);
    // The sidebar's rows, the queue's cards, the banner and the drop box.
    EXPECT_EQ(ThemeApplier::shownCornerRadius(6), 12);
    sheet.cornerRadiusSlider()->slider()->setValue(0);
    EXPECT_EQ(table(*window).coverRadius(), 0);
    EXPECT_EQ(ThemeApplier::shownCornerRadius(14), 0);

    // The next window (or test) starts from the default again.
    window.reset();
    EXPECT_EQ(ThemeApplier::shownCornerRadius(6), 6);
}

TEST_F(AppliedSettingsTest, TransparencyShowsInTheSidePanels)
{
    test::UiHarness ui;
    auto window = openWindow(ui);
    QWidget* sidebar = window->layoutView().sidebar();
    QWidget* right = window->layoutView().panelRegion(WorkspacePanelSide::Right)->content();
    const QColor opaque = ThemeApplier::panelBackground(ui.container->themeEngine().currentConfiguration(), QApplication::palette());
    EXPECT_EQ(sidebar->palette().color(QPalette::Window), right->palette().color(QPalette::Window));
    SettingsView& sheet = openSettings(*window);
    sheet.transparencySlider()->slider()->setValue(0);
    EXPECT_NE(sidebar->palette().color(QPalette::Window), opaque);
    EXPECT_EQ(sidebar->palette().color(QPalette::Window), right->palette().color(QPalette::Window));
}

TEST_F(AppliedSettingsTest, AccentFollowsThePlayingCoverOrTheManualColour)
{
    test::UiHarness ui;
    const Track song = test::importSong(ui, scratch(QStringLiteral("music")), QStringLiteral("Red"), {}, {},
                                        fixtures::makeJpegCover(64, 64, QColor(220, 30, 30)));
    auto window = openWindow(ui);
    ThemeEngine& theme = ui.container->themeEngine();
    // Nothing plays: the manual accent.
    EXPECT_EQ(theme.currentConfiguration().accentColor, kSystemAccent);
    ui.container->queueEngine().playNow(TrackList({song}), 0);
    EXPECT_TRUE(test::waitUntil([&] { return theme.currentConfiguration().accentColor.r > 0.8; }));
    EXPECT_LT(theme.currentConfiguration().accentColor.g, 0.3);
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), ThemeApplier::toColor(theme.currentConfiguration().accentColor));

    SettingsView& sheet = openSettings(*window);
    sheet.dynamicAccentSwitch()->click();
    sheet.accentSwatches()[6]->click();
    EXPECT_EQ(theme.currentConfiguration().accentColor, SettingsView::accentChoices()[6]);
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), ThemeApplier::toColor(SettingsView::accentChoices()[6]));
    sheet.dynamicAccentSwitch()->click();
    EXPECT_TRUE(test::waitUntil([&] { return theme.currentConfiguration().accentColor.r > 0.8; }));
    ui.container->audioEngine().stop();
}

TEST_F(AppliedSettingsTest, TheAppearanceIsKeptAcrossARestart)
{
    {
        test::UiHarness ui;
        auto window = openWindow(ui);
        SettingsView& sheet = openSettings(*window);
        sheet.fontScaleSlider()->slider()->setValue(2);
        sheet.compactSwitch()->click();
        sheet.cornerRadiusSlider()->slider()->setValue(3);
        sheet.transparencySlider()->slider()->setValue(20);
        sheet.dynamicAccentSwitch()->click();
        sheet.accentSwatches()[2]->click();
        ui.container->themeEngine().setReduceMotion(false);
        sheet.animationSpeedButton(QStringLiteral("Fast"))->click();
        sheet.closeButton()->click();
        EXPECT_FALSE(sheet.isVisible());
    }
    test::UiHarness ui;
    auto window = openWindow(ui, false);
    const ThemeConfiguration& kept = ui.container->themeEngine().currentConfiguration();
    EXPECT_NEAR(kept.fontSizeScale, 0.9, 1e-9);
    EXPECT_TRUE(kept.isCompactMode);
    EXPECT_EQ(kept.roundedCorners, 3.0);
    EXPECT_NEAR(kept.panelTransparency, 0.6, 1e-9);
    EXPECT_FALSE(kept.useDynamicAccent);
    EXPECT_EQ(kept.accentColor, SettingsView::accentChoices()[2]);
    EXPECT_EQ(kept.animationSpeedMultiplier, 0.5);
    EXPECT_EQ(table(*window).verticalHeader()->defaultSectionSize(), 34);

    SettingsView& sheet = openSettings(*window);
    EXPECT_EQ(sheet.fontScaleSlider()->valueText(), QStringLiteral("90%"));
    EXPECT_EQ(sheet.cornerRadiusSlider()->valueText(), QStringLiteral("3px"));
    EXPECT_EQ(sheet.transparencySlider()->valueText(), QStringLiteral("60%"));
    EXPECT_TRUE(sheet.compactSwitch()->isChecked());
    EXPECT_FALSE(sheet.dynamicAccentSwitch()->isChecked());
    EXPECT_TRUE(sheet.accentSwatches()[2]->isChecked());
    EXPECT_EQ(sheet.animationSpeedText(), QStringLiteral("Fast"));
}

TEST_F(SettingsViewTest, ThePlaybackSectionComesLastActsAtOnceAndIsKeptForTheNextStart)
{
    test::UiHarness ui;
    AudioEngine& audio = ui.container->audioEngine();
    {
        SettingsView sheet(ui.container->themeEngine(), ui.trackTableLayout, &undo, nullptr, &audio);
        sheet.show();
        EXPECT_EQ(sheet.sectionTitles().last(), QStringLiteral("PLAYBACK"));
        PlaybackSettingsSection& playback = *sheet.playbackSection();
        // The defaults: joined, no crossfade, each song at its track gain.
        EXPECT_TRUE(playback.gaplessSwitch()->isChecked());
        EXPECT_EQ(playback.gaplessSwitch()->text(), QStringLiteral("Gapless Playback"));
        EXPECT_EQ(playback.crossfadeSlider()->title(), QStringLiteral("Crossfade"));
        EXPECT_EQ(playback.crossfadeSlider()->valueText(), QStringLiteral("Off"));
        EXPECT_EQ(playback.replayGainText(), QStringLiteral("Track"));
        // The null output offers no device to choose.
        EXPECT_EQ(playback.outputDeviceBox()->currentText(), QStringLiteral("System Default"));
        EXPECT_FALSE(playback.outputDeviceBox()->isEnabled());

        playback.gaplessSwitch()->click();
        slideTo(playback.crossfadeSlider(), 5);
        EXPECT_EQ(playback.crossfadeSlider()->valueText(), QStringLiteral("5 s"));
        slideToEnd(playback.crossfadeSlider());
        EXPECT_EQ(playback.crossfadeSlider()->valueText(), QStringLiteral("12 s"));
        playback.replayGainButton(QStringLiteral("Album"))->click();
        EXPECT_FALSE(audio.isGaplessEnabled());
        EXPECT_EQ(audio.crossfadeDuration(), 12.0);
        EXPECT_EQ(audio.replayGainMode(), ReplayGainMode::Album);
    }
    // The next start puts them back.
    SettingsPreferencesStore preferences;
    OstrelAudioEngine restarted(makeDefaultAudioPlayerFactory());
    PlaybackPreferences kept(restarted, preferences);
    EXPECT_FALSE(restarted.isGaplessEnabled());
    EXPECT_EQ(restarted.crossfadeDuration(), 12.0);
    EXPECT_EQ(restarted.replayGainMode(), ReplayGainMode::Album);
}

} // namespace
} // namespace varno
