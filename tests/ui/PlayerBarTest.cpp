// The player bar as a user sees it: what it shows for each state of the
// engines, what its controls do to them, and how the waveform follows the
// playing song.

#include "PaintLog.h"
#include "PlayerTestSupport.h"

#include "FakeEngines.h"
#include "playback/AudioPlaybackError.h"
#include "ui/player/BottomPlayerView.h"
#include "ui/player/CompactWaveformSeekView.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/PlayerEmptyStateView.h"
#include "ui/player/PlayerIssueBanner.h"
#include "ui/player/PlayerRepeatButton.h"
#include "ui/player/PlayerTrackInfoView.h"
#include "ui/player/PlayerTransportControls.h"
#include "ui/player/PlayerVolumeControl.h"
#include "ui/player/WaveformGeometry.h"

#include <QAccessible>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <functional>

using namespace varno;
using test::ControllableWaveforms;

namespace {

class PlayerBar : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
        thumbnails.emplace(harness->container->thumbnailGenerator());
        realWaveforms.emplace(harness->container->waveformGenerator());
    }

    void TearDown() override
    {
        waveforms.failAll();
        test::settle();
        test::waitForRequests(thumbnails->pending);
        test::waitForRequests(realWaveforms->pending);
        test::settle();
        harness.reset();
        DataFolderTest::TearDown();
    }

    // The concrete engines: some cases drive what only they offer.
    OstrelQueueEngine& queue() { return dynamic_cast<OstrelQueueEngine&>(harness->container->queueEngine()); }
    OstrelAudioEngine& audio() { return dynamic_cast<OstrelAudioEngine&>(harness->container->audioEngine()); }

    std::unique_ptr<BottomPlayerView> makeBar(test::EnvironmentOverrides overrides = {})
    {
        if (!overrides.waveformGenerator)
            overrides.waveformGenerator = &*realWaveforms;
        overrides.thumbnailGenerator = &*thumbnails;
        auto bar = std::make_unique<BottomPlayerView>(test::environmentWith(*harness, overrides));
        bar->resize(1100, bar->sizeHint().height());
        bar->show();
        // The times follow the position only while the bar is on screen.
        EXPECT_TRUE(QTest::qWaitForWindowExposed(bar.get()));
        return bar;
    }

    Track song(const QString& title, std::optional<QString> artist = std::nullopt, double seconds = 2.0,
               const std::optional<QByteArray>& cover = std::nullopt)
    {
        return test::writeSong(scratch(title + QStringLiteral(".wav")), title, std::move(artist), seconds, cover);
    }

    std::unique_ptr<test::UiHarness> harness;
    std::optional<test::TrackedThumbnails> thumbnails;
    std::optional<test::TrackedWaveforms> realWaveforms;
    ControllableWaveforms waveforms;
};

Track recordOnly(const QString& title, double duration = 200)
{
    Track track = test::makeTrack(title);
    track.duration = duration;
    return track;
}

void sendMouse(QWidget* widget, QEvent::Type type, double x, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF local(x, widget->height() / 2.0);
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

std::vector<double> seeksOf(const QSignalSpy& spy)
{
    std::vector<double> seconds;
    for (const QList<QVariant>& call : spy)
        seconds.push_back(call.at(0).toDouble());
    return seconds;
}

} // namespace

// --- what the bar shows ----------------------------------------------------

TEST_F(PlayerBar, showsTheEmptyStateWhileNothingIsLoaded)
{
    const auto bar = makeBar();
    EXPECT_FALSE(bar->isShowingSong());
    EXPECT_TRUE(bar->emptyState()->isVisible());
    EXPECT_EQ(bar->emptyState()->title(), "Ready when you are");
    EXPECT_EQ(bar->emptyState()->subtitle(), "Choose a track to start listening");
    EXPECT_TRUE(bar->waveformPeaks().empty());
    EXPECT_FALSE(bar->isWaveformLoading());
    EXPECT_FALSE(bar->transport()->isVisible());
    EXPECT_FALSE(bar->waveform()->isVisible());
    EXPECT_FALSE(bar->volume()->isVisible());
    // The queue panel can always be closed again.
    EXPECT_TRUE(bar->queueButton()->isVisible());
    EXPECT_FALSE(bar->issueBanner()->isVisible());
}

TEST_F(PlayerBar, isAboutSeventySixPixelsHighAlongTheBottom)
{
    const auto bar = makeBar();
    EXPECT_GE(bar->sizeHint().height(), 72);
    EXPECT_LE(bar->sizeHint().height(), 84);
    EXPECT_EQ(bar->volume()->slider()->width(), 88);
}

TEST_F(PlayerBar, showsThePlayingSongItsTimesAndItsWaveform)
{
    const auto bar = makeBar();
    QSignalSpy waveformChanges(bar.get(), &BottomPlayerView::waveformChanged);
    queue().playNow(TrackList {song(QStringLiteral("Morning"), std::nullopt, 3.0)});

    ASSERT_TRUE(bar->isShowingSong());
    EXPECT_TRUE(bar->transport()->isVisible());
    EXPECT_TRUE(bar->waveform()->isVisible());
    EXPECT_EQ(bar->trackInfo()->titleText(), "Morning");
    EXPECT_EQ(bar->trackInfo()->artistText(), "Unknown Artist");
    EXPECT_EQ(bar->trackInfo()->statusText(), "Now playing");
    EXPECT_EQ(bar->elapsedText(), "0:00");
    EXPECT_EQ(bar->totalText(), "0:03");
    // The real generator scans the file on its worker.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isWaveformLoading(); }, 20000));
    EXPECT_EQ(bar->waveformPeaks().size(), 360u);
    EXPECT_EQ(bar->waveform()->peaks(), bar->waveformPeaks());
    EXPECT_GE(waveformChanges.size(), 2);
    // Time moves on as the song plays.
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->elapsedText() == "0:01"; }, 10000));
}

TEST_F(PlayerBar, showsTheArtistAndTheCoverOfASongThatHasThem)
{
    const auto bar = makeBar();
    QSignalSpy artwork(bar->trackInfo(), &PlayerTrackInfoView::artworkShown);
    queue().playNow(TrackList {song(QStringLiteral("Harbour"), QStringLiteral("Nadia Reyes"), 2.0,
                                    fixtures::makeJpegCover(300, 300, QColor(200, 60, 40)))});
    EXPECT_EQ(bar->trackInfo()->artistText(), "Nadia Reyes");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->trackInfo()->hasArtwork(); }, 20000));

    // A song without a cover shows the stand-in again.
    queue().playNow(TrackList {song(QStringLiteral("Plain"))});
    EXPECT_FALSE(bar->trackInfo()->hasArtwork());
    ASSERT_TRUE(artwork.wait(20000));
    EXPECT_FALSE(bar->trackInfo()->hasArtwork());
}

TEST_F(PlayerBar, statusNamesEveryPlaybackStateAndOnlyPlayingTakesTheAccent)
{
    test::FakeAudioEngine engine;
    engine.setCurrentTrack(recordOnly(QStringLiteral("Status")));
    const auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});
    const QColor accent = bar->palette().color(QPalette::Highlight);
    const std::pair<PlaybackState, QString> cases[] = {
        {PlaybackState::Stopped, "Stopped"},          {PlaybackState::Buffering, "Loading"},
        {PlaybackState::Playing, "Now playing"},      {PlaybackState::Paused, "Ready to resume"},
        {PlaybackState::Failed, "Playback unavailable"},
    };
    for (const auto& [state, text] : cases) {
        SCOPED_TRACE(text.toStdString());
        engine.setPlaybackState(state);
        EXPECT_EQ(bar->trackInfo()->statusText(), text);
        EXPECT_EQ(bar->trackInfo()->statusColor() == accent, state == PlaybackState::Playing);
    }
}

TEST_F(PlayerBar, playPauseFollowsTheStateWithASpinnerWhileLoading)
{
    test::FakeAudioEngine engine;
    engine.setCurrentTrack(recordOnly(QStringLiteral("Spin")));
    const auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});
    QToolButton* playPause = bar->findChild<QToolButton*>("player.playPause");
    ASSERT_EQ(playPause, bar->transport()->playPauseButton());

    EXPECT_EQ(playPause->accessibleName(), "Play");
    EXPECT_EQ(playPause->toolTip(), "Play");
    EXPECT_FALSE(bar->transport()->isSpinnerShown());

    engine.setPlaybackState(PlaybackState::Buffering);
    EXPECT_TRUE(bar->transport()->isSpinnerShown());
    EXPECT_TRUE(playPause->icon().isNull());
    EXPECT_EQ(playPause->accessibleName(), "Play");

    engine.setPlaybackState(PlaybackState::Playing);
    EXPECT_FALSE(bar->transport()->isSpinnerShown());
    EXPECT_FALSE(playPause->icon().isNull());
    EXPECT_EQ(playPause->accessibleName(), "Pause");
    EXPECT_EQ(playPause->toolTip(), "Pause");
}

// --- what the controls do ----------------------------------------------------

TEST_F(PlayerBar, transportButtonsReachTheAudioAndQueueEngines)
{
    test::FakeAudioEngine engine;
    test::RecordingQueue recording;
    engine.setCurrentTrack(recordOnly(QStringLiteral("Buttons")));
    const auto bar = makeBar({.audioEngine = &engine, .queueEngine = &recording, .waveformGenerator = &waveforms});
    PlayerTransportControls* transport = bar->transport();

    QTest::mouseClick(transport->playPauseButton(), Qt::LeftButton);
    engine.setPlaybackState(PlaybackState::Playing);
    QTest::mouseClick(transport->playPauseButton(), Qt::LeftButton);
    engine.setPlaybackState(PlaybackState::Failed);
    QTest::mouseClick(transport->playPauseButton(), Qt::LeftButton);
    EXPECT_EQ(engine.requests, QStringList({"resume", "pause", "resume"}));

    QTest::mouseClick(transport->previousButton(), Qt::LeftButton);
    QTest::mouseClick(transport->nextButton(), Qt::LeftButton);
    EXPECT_EQ(recording.steps, QStringList({"previous", "next"}));
    EXPECT_EQ(transport->previousButton()->toolTip(), "Previous track");
    EXPECT_EQ(transport->nextButton()->toolTip(), "Next track");
}

TEST_F(PlayerBar, playPauseOnARealSongPausesAndResumesIt)
{
    const auto bar = makeBar();
    queue().playNow(TrackList {song(QStringLiteral("Toggle"), std::nullopt, 5.0)});
    ASSERT_EQ(audio().playbackState(), PlaybackState::Playing);
    QTest::mouseClick(bar->transport()->playPauseButton(), Qt::LeftButton);
    EXPECT_EQ(audio().playbackState(), PlaybackState::Paused);
    EXPECT_EQ(bar->trackInfo()->statusText(), "Ready to resume");
    QTest::mouseClick(bar->transport()->playPauseButton(), Qt::LeftButton);
    EXPECT_EQ(audio().playbackState(), PlaybackState::Playing);
}

TEST_F(PlayerBar, shuffleTurnsOnAndOffWithHelpThatSaysWhatAClickDoes)
{
    const auto bar = makeBar();
    QToolButton* shuffle = bar->transport()->shuffleButton();
    EXPECT_EQ(shuffle->accessibleName(), "Shuffle");
    EXPECT_EQ(shuffle->toolTip(), "Turn shuffle on");
    QTest::mouseClick(shuffle, Qt::LeftButton);
    EXPECT_EQ(queue().shuffleMode(), ShuffleMode::Standard);
    EXPECT_EQ(shuffle->toolTip(), "Turn shuffle off");
    QTest::mouseClick(shuffle, Qt::LeftButton);
    EXPECT_EQ(queue().shuffleMode(), ShuffleMode::Off);

    // A smart shuffle restored from a session is turned off by one click.
    queue().setShuffleMode(ShuffleMode::Smart);
    EXPECT_EQ(shuffle->toolTip(), "Turn shuffle off");
    QTest::mouseClick(shuffle, Qt::LeftButton);
    EXPECT_EQ(queue().shuffleMode(), ShuffleMode::Off);
}

TEST_F(PlayerBar, repeatButtonComesBackToItsModeAfterThreeClicks)
{
    const auto bar = makeBar();
    auto* repeat = bar->findChild<QToolButton*>("player.repeat");
    ASSERT_EQ(repeat, bar->repeatButton());
    QStringList helps {repeat->toolTip()};
    QList<RepeatMode> modes;
    for (int click = 0; click < 3; ++click) {
        QTest::mouseClick(repeat, Qt::LeftButton);
        modes << queue().repeatMode();
        helps << repeat->toolTip();
    }
    EXPECT_EQ(modes, QList<RepeatMode>({RepeatMode::All, RepeatMode::Track, RepeatMode::Off}));
    EXPECT_EQ(helps, QStringList({"Repeat Off — click for Repeat All", "Repeat All — click for Repeat One",
                                  "Repeat One — click to turn repeat off", "Repeat Off — click for Repeat All"}));
}

TEST_F(PlayerBar, queueButtonShowsAndHidesTheQueuePanel)
{
    const auto bar = makeBar();
    QSignalSpy shown(bar.get(), &BottomPlayerView::queueVisibleChanged);
    QToolButton* button = bar->queueButton();
    EXPECT_EQ(button->accessibleName(), "Playback queue");
    EXPECT_EQ(button->toolTip(), "Show queue");
    EXPECT_FALSE(bar->isQueueVisible());

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(bar->isQueueVisible());
    EXPECT_EQ(button->toolTip(), "Hide queue");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(bar->isQueueVisible());
    EXPECT_EQ(button->toolTip(), "Show queue");
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0][0].toBool());
    EXPECT_FALSE(shown[1][0].toBool());
}

// --- seeking on the waveform ------------------------------------------------

TEST_F(PlayerBar, draggingPastEitherEndSeeksToTheStartOrTheWholeSongNeverBeyond)
{
    test::FakeAudioEngine engine;
    engine.setCurrentTrack(recordOnly(QStringLiteral("Long"), 200));
    const auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});
    CompactWaveformSeekView* strip = bar->findChild<CompactWaveformSeekView*>("player.waveform");
    ASSERT_EQ(strip, bar->waveform());
    QSignalSpy seeks(strip, &CompactWaveformSeekView::seekRequested);
    const double width = strip->width();

    sendMouse(strip, QEvent::MouseButtonPress, width / 2, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(strip->scrubProgress(), 0.5);
    sendMouse(strip, QEvent::MouseMove, -40, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(strip->scrubProgress(), 0.0);
    sendMouse(strip, QEvent::MouseMove, width + 40, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(strip->scrubProgress(), 1.0);
    EXPECT_DOUBLE_EQ(strip->displayedProgress(), 1.0);
    sendMouse(strip, QEvent::MouseButtonRelease, width + 40, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(strip->scrubProgress(), std::nullopt);

    EXPECT_EQ(seeksOf(seeks), std::vector<double>({100.0, 0.0, 200.0, 200.0}));
}

TEST_F(PlayerBar, aClickOnTheWaveformSeeksThereAtOnce)
{
    const auto bar = makeBar();
    queue().playNow(TrackList {song(QStringLiteral("Seek"), std::nullopt, 8.0)});
    audio().pause();
    CompactWaveformSeekView* strip = bar->waveform();
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(strip->width() / 4, strip->height() / 2));
    EXPECT_NEAR(audio().currentTime(), 8.0 * (strip->width() / 4) / strip->width(), 1e-3);
    EXPECT_EQ(bar->elapsedText(), "0:02");
    EXPECT_EQ(strip->scrubProgress(), std::nullopt);
}

TEST_F(PlayerBar, arrowKeysAndAssistiveTechnologyStepFiveSeconds)
{
    const auto bar = makeBar();
    audio().restore(song(QStringLiteral("Steps"), std::nullopt, 20.0), 10.0);
    CompactWaveformSeekView* strip = bar->waveform();

    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(strip);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->text(QAccessible::Name), "Playback waveform");
    EXPECT_EQ(element->text(QAccessible::Value), "0:10");
    ASSERT_NE(element->actionInterface(), nullptr);
    element->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_DOUBLE_EQ(audio().currentTime(), 15.0);
    EXPECT_EQ(element->text(QAccessible::Value), "0:15");
    element->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_DOUBLE_EQ(audio().currentTime(), 10.0);

    strip->setFocus();
    QTest::keyClick(strip, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(audio().currentTime(), 15.0);
    QTest::keyClick(strip, Qt::Key_Right);
    QTest::keyClick(strip, Qt::Key_Right);
    EXPECT_NEAR(audio().currentTime(), 20.0, 1e-3);
    for (int press = 0; press < 5; ++press)
        QTest::keyClick(strip, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(audio().currentTime(), 0.0);
    EXPECT_EQ(element->text(QAccessible::Value), "0:00");
}

// --- volume ------------------------------------------------------------------

TEST_F(PlayerBar, muteRemembersTheVolumeItLeft)
{
    const auto bar = makeBar();
    audio().setVolume(0.6f);
    PlayerVolumeControl* volume = bar->volume();
    EXPECT_EQ(volume->muteButton()->accessibleName(), "Mute");
    EXPECT_EQ(volume->muteSymbol(), "speaker.wave.2.fill");
    EXPECT_EQ(volume->slider()->value(), 600);

    QTest::mouseClick(volume->muteButton(), Qt::LeftButton);
    EXPECT_FLOAT_EQ(audio().volume(), 0.0f);
    EXPECT_EQ(volume->muteButton()->accessibleName(), "Unmute");
    EXPECT_EQ(volume->muteSymbol(), "speaker.slash.fill");
    EXPECT_EQ(volume->slider()->value(), 0);

    QTest::mouseClick(volume->muteButton(), Qt::LeftButton);
    EXPECT_FLOAT_EQ(audio().volume(), 0.6f);
    EXPECT_EQ(volume->muteButton()->accessibleName(), "Mute");
}

TEST_F(PlayerBar, unmutingAfterTheSliderWentQuietReturnsToAtLeastAQuarter)
{
    const auto bar = makeBar();
    QSlider* slider = bar->volume()->slider();
    slider->setSliderDown(true);
    slider->setValue(100);
    slider->setValue(0);
    slider->setSliderDown(false);
    EXPECT_FLOAT_EQ(audio().volume(), 0.0f);
    EXPECT_FLOAT_EQ(bar->volume()->lastAudibleVolume(), 0.1f);

    QTest::mouseClick(bar->volume()->muteButton(), Qt::LeftButton);
    EXPECT_FLOAT_EQ(audio().volume(), 0.25f);
}

TEST_F(PlayerBar, unmutingWithNothingAudibleRememberedReturnsToEightTenths)
{
    audio().setVolume(0.0f);
    const auto bar = makeBar();
    EXPECT_FLOAT_EQ(bar->volume()->lastAudibleVolume(), 0.8f);
    QTest::mouseClick(bar->volume()->muteButton(), Qt::LeftButton);
    EXPECT_FLOAT_EQ(audio().volume(), 0.8f);
    EXPECT_EQ(bar->volume()->muteSymbol(), "speaker.wave.3.fill");
}

TEST_F(PlayerBar, lettingGoOfTheVolumeSliderSavesTheSession)
{
    const auto bar = makeBar();
    QSlider* slider = bar->volume()->slider();
    slider->setSliderDown(true);
    slider->setValue(300);
    slider->setSliderDown(false);
    EXPECT_FLOAT_EQ(audio().volume(), 0.3f);

    const QString session = appFile(QStringLiteral("playback_state.json"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (!QFile::exists(session))
                return false;
            const QJsonObject saved = QJsonDocument::fromJson(test::readFile(session)).object();
            return std::abs(saved.value("volume").toDouble(-1) - 0.3) < 1e-6;
        },
        10000));
}

// --- the issue banner ----------------------------------------------------------

TEST_F(PlayerBar, bannerPrefersThePlaybackErrorAndDismissingClearsBoth)
{
    const auto bar = makeBar();
    // A session file the user made read-only is never replaced: the next
    // save fails.
    const QString session = appFile(QStringLiteral("playback_state.json"));
    queue().setRepeatMode(RepeatMode::All);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(session); }, 10000));
    ASSERT_TRUE(QFile::setPermissions(session, QFile::ReadOwner));
    queue().setRepeatMode(RepeatMode::Track);
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue().lastPersistenceError() != nullptr; }, 10000));
    PlayerIssueBanner* banner = bar->issueBanner();
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->message(), describe(queue().lastPersistenceError()));

    queue().reportPlaybackError(std::make_exception_ptr(AudioPlaybackError::missingFile(FileURL::fromLocalFile("/music/gone.wav"))));
    EXPECT_EQ(banner->message(), "The audio file could not be found at /music/gone.wav.");

    QTest::mouseClick(banner->dismissButton(), Qt::LeftButton);
    EXPECT_EQ(queue().lastPlaybackError(), nullptr);
    EXPECT_EQ(queue().lastPersistenceError(), nullptr);
    EXPECT_FALSE(banner->isVisible());
}

TEST_F(PlayerBar, aDamagedSongInTheQueueIsPassedOverTheBannerSaysWhyAndTheBarShowsWhatPlays)
{
    const auto bar = makeBar();
    const QString damagedPath = scratch(QStringLiteral("Damaged.mp3"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("bad/random.mp3")), damagedPath));
    Track damaged = test::makeTrack(QStringLiteral("Damaged"));
    damaged.fileURL = FileURL::fromLocalFile(damagedPath);
    const Track first = song(QStringLiteral("First"));
    const Track after = song(QStringLiteral("After"));

    queue().playNow(TrackList({first, damaged, after}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return bar->trackInfo()->titleText() == QStringLiteral("First"); }));
    queue().advanceToNext();
    EXPECT_EQ(queue().currentTrack()->title, QStringLiteral("After"));
    EXPECT_TRUE(test::waitUntil([&] { return bar->trackInfo()->titleText() == QStringLiteral("After"); }));
    EXPECT_EQ(bar->trackInfo()->statusText(), "Now playing");
    EXPECT_TRUE(bar->issueBanner()->isVisible());
    EXPECT_TRUE(bar->issueBanner()->message().contains(damagedPath)) << bar->issueBanner()->message().toStdString();
    audio().stop();
}

// --- the waveform task -------------------------------------------------------

TEST_F(PlayerBar, anOlderSongsWaveformIsNeverShownForTheNewSong)
{
    test::FakeAudioEngine engine;
    const Track first = recordOnly(QStringLiteral("First"));
    const Track second = recordOnly(QStringLiteral("Second"));
    const auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});

    engine.setCurrentTrack(first);
    ASSERT_EQ(waveforms.requests.size(), 1u);
    EXPECT_EQ(waveforms.requests[0].numberOfPoints, 360);
    EXPECT_TRUE(bar->isWaveformLoading());
    engine.setCurrentTrack(second);
    ASSERT_EQ(waveforms.requests.size(), 2u);
    EXPECT_EQ(waveforms.requests[1].track.id, second.id);

    waveforms.answer(0, std::vector<float>(360, 0.9f));
    test::settle();
    EXPECT_TRUE(bar->waveformPeaks().empty());
    EXPECT_TRUE(bar->isWaveformLoading());

    waveforms.answer(1, std::vector<float>(360, 0.3f));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isWaveformLoading(); }, 5000));
    EXPECT_EQ(bar->waveformPeaks(), std::vector<float>(360, 0.3f));
}

TEST_F(PlayerBar, aWaveformThatArrivesAfterTheNewSongsIsDropped)
{
    test::FakeAudioEngine engine;
    const auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});
    engine.setCurrentTrack(recordOnly(QStringLiteral("First")));
    engine.setCurrentTrack(recordOnly(QStringLiteral("Second")));

    waveforms.answer(1, std::vector<float>(360, 0.3f));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isWaveformLoading(); }, 5000));
    waveforms.answer(0, std::vector<float>(360, 0.9f));
    test::settle();
    EXPECT_EQ(bar->waveformPeaks(), std::vector<float>(360, 0.3f));
    EXPECT_FALSE(bar->isWaveformLoading());
}

TEST_F(PlayerBar, aFailedOrUnloadedWaveformLeavesThePlaceholderBars)
{
    test::FakeAudioEngine engine;
    const Track track = recordOnly(QStringLiteral("Broken"));
    const auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});
    engine.setCurrentTrack(track);
    waveforms.fail(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isWaveformLoading(); }, 5000));
    EXPECT_TRUE(bar->waveformPeaks().empty());

    // The same song loaded again (repeat one) asks nothing new.
    engine.setCurrentTrack(track);
    EXPECT_EQ(waveforms.requests.size(), 1u);

    engine.setCurrentTrack(recordOnly(QStringLiteral("Next")));
    engine.setCurrentTrack(std::nullopt);
    EXPECT_FALSE(bar->isWaveformLoading());
    EXPECT_TRUE(bar->waveformPeaks().empty());
    EXPECT_FALSE(bar->isShowingSong());
}

// --- what a playing song costs ----------------------------------------------

namespace {

// The engine's clock as the bar hears it while a song plays: twenty
// positions a second from `from` to `to`, the window taking its events
// between them.
void tick(test::FakeAudioEngine& engine, double from, double to)
{
    const long steps = std::lround((to - from) / 0.05);
    for (long step = 0; step <= steps; ++step) {
        engine.moveTo(step == steps ? to : from + step * 0.05);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

} // namespace

class PlayerBarRepaint : public PlayerBar {
protected:
    // A song of 200 s playing with fifty waveform bars, one every 4 s.
    std::unique_ptr<BottomPlayerView> playingBar()
    {
        engine.setCurrentTrack(recordOnly(QStringLiteral("Long"), 200));
        engine.setPlaybackState(PlaybackState::Playing);
        auto bar = makeBar({.audioEngine = &engine, .waveformGenerator = &waveforms});
        waveforms.answer(0, std::vector<float>(50, 0.5f));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !bar->isWaveformLoading(); }, 5000));
        engine.moveTo(30);
        test::settle();
        return bar;
    }

    test::FakeAudioEngine engine;
};

TEST_F(PlayerBarRepaint, aPlayingSecondRepaintsTheElapsedTimeAndOnlyTheBarsThatTurnPlayed)
{
    const auto bar = playingBar();
    const auto inBar = [&](QWidget* widget) { return QRect(widget->mapTo(bar.get(), QPoint()), widget->size()); };
    const QRect elapsed = inBar(bar->findChild<QWidget*>("player.elapsed"));
    const QRect waveform = inBar(bar->waveform());
    const double slot = player::barSlots(50, waveform.width()).slot;
    test::PaintLog log(*bar);

    tick(engine, 30.05, 40.0);

    EXPECT_EQ(bar->elapsedText(), "0:40");
    // Once a second for the time; the waveform at 32, 36 and 40 s, a bar's
    // slot each time.
    EXPECT_EQ(log.of("player.elapsed").size(), 10u);
    const std::vector<test::PaintLog::Paint> strip = log.of(player::kWaveformID);
    EXPECT_GE(strip.size(), 2u);
    EXPECT_LE(strip.size(), 3u);
    for (const test::PaintLog::Paint& paint : log.paints) {
        SCOPED_TRACE(paint.widget.toStdString());
        // Anything else drawn is what lies under those two, and no more.
        const bool underTheTime = elapsed.contains(paint.rect);
        // A bar's slot, widened to whole pixels and by one for the edges
        // the antialiasing touches.
        const bool aBarSlot = waveform.contains(paint.rect) && paint.rect.width() <= std::ceil(slot) + 3;
        EXPECT_TRUE(underTheTime || aBarSlot) << paint.rect.x() << "," << paint.rect.y() << " " << paint.rect.width() << "x" << paint.rect.height();
    }
    EXPECT_TRUE(log.of("player.total").empty());
}

TEST_F(PlayerBarRepaint, aBarNobodySeesDrawsNothingAndCatchesUpWhenShownAgain)
{
    const auto bar = playingBar();
    const std::pair<QString, std::function<void(QWidget&)>> ways[] = {
        {"hidden", [](QWidget& window) { window.hide(); }},
        {"minimised", [](QWidget& window) { window.showMinimized(); }},
    };
    double at = 30;
    for (const auto& [way, putAway] : ways) {
        SCOPED_TRACE(way.toStdString());
        putAway(*bar);
        test::settle();
        test::PaintLog log(*bar);
        tick(engine, at, at + 5);
        at += 5;
        EXPECT_TRUE(log.paints.empty());

        bar->showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(bar.get()));
        EXPECT_EQ(bar->elapsedText(), player::timeText(at));
        EXPECT_DOUBLE_EQ(bar->waveform()->progress(), at / 200);
    }
}

TEST(PlayerWaveformStrip, aPlayingSongRepaintsOnlyTheBarsThatChangeSides)
{
    CompactWaveformSeekView strip;
    strip.setPeaks(std::vector<float>(360, 0.5f));
    strip.setDuration(240);
    strip.resize(300, 34);
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));

    test::settle();
    test::PaintLog log(strip);

    // Four minutes at the engine's twenty positions a second, the window
    // taking its events between positions as it does while playing.
    for (int tick = 0; tick <= 4800; ++tick) {
        strip.setProgress(tick / 4800.0);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();

    // A hundred bars of 3 px: one small repaint per bar that turns played.
    EXPECT_GE(log.paints.size(), 90u);
    EXPECT_LE(log.paints.size(), 101u);
    for (const test::PaintLog::Paint& paint : log.paints)
        EXPECT_LE(paint.rect.width(), 8) << paint.rect.x();
}
