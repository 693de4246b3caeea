// The player bar's rules as plain functions: time texts, durations, the
// waveform's bars, seeking fractions, volume glyphs and the mode buttons.

#include "TestSupport.h"

#include "playback/AudioPlaybackError.h"
#include "storage/DatabaseError.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/WaveformGeometry.h"

#include <cmath>
#include <limits>

using namespace varno;
using namespace varno::player;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

} // namespace

TEST(PlayerTimeText, roundsToTheNearestSecondWithHoursFromAnHour)
{
    EXPECT_EQ(timeText(0.4), "0:00");
    EXPECT_EQ(timeText(0.5), "0:01");
    EXPECT_EQ(timeText(59.5), "1:00");
    EXPECT_EQ(timeText(65), "1:05");
    EXPECT_EQ(timeText(3599.4), "59:59");
    EXPECT_EQ(timeText(3599.5), "1:00:00");
    EXPECT_EQ(timeText(3600), "1:00:00");
    EXPECT_EQ(timeText(3725), "1:02:05");
    EXPECT_EQ(timeText(100 * 3600 + 1), "100:00:01");
}

TEST(PlayerTimeText, readsZeroForNegativeAndNonNumbers)
{
    for (const double seconds : {-0.1, -3600.0, kNaN, kInfinity, -kInfinity})
        EXPECT_EQ(timeText(seconds), "0:00") << seconds;
}

TEST(PlayerDisplayedDuration, takesTheLargerOfTheEngineAndTheSongAndNeverGoesBelowZero)
{
    // A player that found a longer file than the library recorded.
    EXPECT_DOUBLE_EQ(displayedDuration(241.3, 240.0), 241.3);
    // A library record longer than what the player decodes.
    EXPECT_DOUBLE_EQ(displayedDuration(239.0, 240.0), 240.0);
    EXPECT_DOUBLE_EQ(displayedDuration(0, std::nullopt), 0.0);
    EXPECT_DOUBLE_EQ(displayedDuration(-5, -2.0), 0.0);
    EXPECT_DOUBLE_EQ(displayedDuration(kNaN, 12.0), 12.0);
    EXPECT_DOUBLE_EQ(displayedDuration(kInfinity, std::nullopt), 0.0);
}

TEST(WaveformBars, aStripTwoPixelsWideDrawsOneBar)
{
    const std::vector<float> peaks(360, 0.5f);
    const auto bars = waveformBars(peaks, 2.0, 30.0, 0.0);
    ASSERT_EQ(bars.size(), 1u);
    // Slot 2 px: 56 % is 1.12 px.
    EXPECT_NEAR(bars[0].rect.width(), 1.12, 1e-9);
    EXPECT_NEAR(bars[0].rect.left(), (2.0 - 1.12) / 2, 1e-9);
}

TEST(WaveformBars, threeHundredPixelsWith360PeaksDrawAHundredBarsOf168Hundredths)
{
    std::vector<float> peaks(360);
    for (std::size_t i = 0; i < peaks.size(); ++i)
        peaks[i] = float(i) / 359.0f;
    const auto bars = waveformBars(peaks, 300.0, 40.0, 0.5);
    ASSERT_EQ(bars.size(), 100u);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(bars[i].rect.width(), 1.68, 1e-9);
        // Centred in its 3-px slot.
        EXPECT_NEAR(bars[i].rect.center().x(), i * 3.0 + 1.5, 1e-9);
        EXPECT_NEAR(bars[i].rect.center().y(), 20.0, 1e-9);
    }
    // Positions run 0…1 over the bars; the last bar reads the last peak.
    EXPECT_DOUBLE_EQ(bars.front().position, 0.0);
    EXPECT_DOUBLE_EQ(bars.back().position, 1.0);
    EXPECT_NEAR(bars.back().rect.height(), 1.0 * 40.0 * 0.82, 1e-6);
    // Bars at or before half-way are played; the rest are not.
    EXPECT_TRUE(bars[49].played);
    EXPECT_FALSE(bars[50].played);
}

TEST(WaveformBars, aSilentPeakStillDrawsAVisibleBar)
{
    const std::vector<float> peaks {0.0f, 0.0f, 0.0f, 0.0f};
    for (const double height : {40.0, 10.0}) {
        SCOPED_TRACE(height);
        const auto bars = waveformBars(peaks, 12.0, height, 0.0);
        ASSERT_EQ(bars.size(), 4u);
        EXPECT_DOUBLE_EQ(bars[0].rect.height(), std::max(2.0, 0.08 * height * 0.82));
    }
}

TEST(WaveformBars, barsAreAtMostTwoPointFourWideAndNoMoreThanThePeaks)
{
    const std::vector<float> peaks(10, 1.0f);
    const auto bars = waveformBars(peaks, 600.0, 30.0, 1.0);
    ASSERT_EQ(bars.size(), 10u);
    EXPECT_DOUBLE_EQ(bars[0].rect.width(), 2.4);
    EXPECT_DOUBLE_EQ(bars[0].rect.height(), 30.0 * 0.82);
    for (const WaveformBar& bar : bars)
        EXPECT_TRUE(bar.played);
}

TEST(WaveformBars, withoutPeaksThePlaceholderRippleIsDrawn)
{
    ASSERT_EQ(placeholderPeaks().size(), 96u);
    EXPECT_FLOAT_EQ(placeholderPeaks()[0], 0.12f);
    EXPECT_FLOAT_EQ(placeholderPeaks()[10], float(std::abs(std::sin(3.8)) * 0.18 + 0.12));
    const auto bars = waveformBars({}, 600.0, 40.0, 0.0);
    EXPECT_EQ(bars.size(), 96u);
}

TEST(WaveformBars, aChangeOfThePlayedCountIsExactlyAChangeOfThePaintedBars)
{
    // The strip repaints only when the played count moves, so the count must
    // never disagree with the bars it paints, at any width or position.
    for (const std::size_t peaks : {0u, 1u, 2u, 5u, 360u}) {
        for (const double width : {2.0, 9.0, 121.0, 300.0, 997.0}) {
            const std::vector<float> values(peaks, 0.5f);
            const BarSlots strip = barSlots(peaks, width);
            for (int step = -5; step <= 1005; ++step) {
                const double progress = step / 1000.0;
                const auto bars = waveformBars(values, width, 30.0, progress);
                ASSERT_EQ(std::size_t(strip.bars), bars.size());
                const auto painted = std::count_if(bars.begin(), bars.end(), [](const WaveformBar& bar) { return bar.played; });
                ASSERT_EQ(strip.playedCount(progress), painted) << peaks << " peaks, " << width << " px at " << progress;
            }
        }
    }
}

TEST(WaveformSeekFraction, isClampedToTheStripAndZeroForNonsense)
{
    EXPECT_DOUBLE_EQ(seekFraction(150, 300), 0.5);
    EXPECT_DOUBLE_EQ(seekFraction(900, 300), 1.0);
    EXPECT_DOUBLE_EQ(seekFraction(-20, 300), 0.0);
    EXPECT_DOUBLE_EQ(seekFraction(20, 0), 0.0);
    EXPECT_DOUBLE_EQ(seekFraction(kNaN, 300), 0.0);
    EXPECT_DOUBLE_EQ(seekFraction(20, kInfinity), 0.0);
}

TEST(PlayerVolumeRules, theGlyphFollowsTheVolume)
{
    EXPECT_EQ(volumeSymbol(0.0f), "speaker.slash.fill");
    EXPECT_EQ(volumeSymbol(0.001f), "speaker.slash.fill");
    EXPECT_EQ(volumeSymbol(0.002f), "speaker.wave.1.fill");
    EXPECT_EQ(volumeSymbol(0.39f), "speaker.wave.1.fill");
    EXPECT_EQ(volumeSymbol(0.4f), "speaker.wave.2.fill");
    EXPECT_EQ(volumeSymbol(0.74f), "speaker.wave.2.fill");
    EXPECT_EQ(volumeSymbol(0.75f), "speaker.wave.3.fill");
    EXPECT_EQ(volumeSymbol(1.0f), "speaker.wave.3.fill");
}

TEST(PlayerModeRules, repeatStepsThroughItsThreeModesAndNamesTheNext)
{
    RepeatMode mode = RepeatMode::Off;
    QStringList helps;
    for (int click = 0; click < 3; ++click) {
        helps << repeatHelp(mode);
        mode = nextRepeatMode(mode);
    }
    EXPECT_EQ(mode, RepeatMode::Off);
    EXPECT_EQ(helps, QStringList({"Repeat Off — click for Repeat All", "Repeat All — click for Repeat One",
                                  "Repeat One — click to turn repeat off"}));
    EXPECT_EQ(repeatSymbol(RepeatMode::Track), "repeat.1");
    EXPECT_EQ(repeatSymbol(RepeatMode::All), "repeat");
}

TEST(PlayerModeRules, shuffleTogglesAndSmartCountsAsOn)
{
    EXPECT_EQ(toggledShuffleMode(ShuffleMode::Off), ShuffleMode::Standard);
    EXPECT_EQ(toggledShuffleMode(ShuffleMode::Standard), ShuffleMode::Off);
    EXPECT_EQ(toggledShuffleMode(ShuffleMode::Smart), ShuffleMode::Off);
    EXPECT_EQ(shuffleHelp(ShuffleMode::Off), "Turn shuffle on");
    EXPECT_EQ(shuffleHelp(ShuffleMode::Smart), "Turn shuffle off");
}

TEST(PlayerIssueRules, aPlaybackErrorWinsOverASavingError)
{
    const auto playback = std::make_exception_ptr(AudioPlaybackError::missingFile(FileURL::fromLocalFile("/music/gone.mp3")));
    const auto saving = std::make_exception_ptr(DatabaseError::writeFailed(QStringLiteral("disk full")));
    EXPECT_EQ(issueMessage(playback, saving), "The audio file could not be found at /music/gone.mp3.");
    EXPECT_EQ(issueMessage(nullptr, saving), describe(saving));
    EXPECT_EQ(issueMessage(nullptr, nullptr), std::nullopt);
}
