#include "AudioTestSupport.h"
#include "TestSupport.h"
#include "WavRecording.h"

#include "platform/FFmpegAudioPlayer.h"
#include "platform/WavFileAudioOutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <QThread>

#include <cmath>
#include <numbers>

using namespace varno;
using namespace std::chrono_literals;

namespace {

// The fixtures' sine: 440 Hz at level 0.5, stored in 16 bits.
float fixtureSine(std::size_t frame, int sampleRate = 44100)
{
    const double value = std::sin(2.0 * std::numbers::pi * 440.0 * double(frame) / sampleRate);
    return float(std::lround(value * 0.5 * 32767.0)) / 32768.0f;
}

// Counts what a player says, on the main thread.
class JoinObserver final : public AudioPlayerObserver {
public:
    void audioPlayerDidFinishPlaying(AudioPlayer&, bool successfully) override
    {
        ++finishes;
        finishedWell = successfully;
    }
    void audioPlayerDidStartFollowingSong(AudioPlayer& player, const QString& path) override
    {
        paths.push_back(path);
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        ++follows;
        // At its first sample the song that followed is the player's song.
        positionsAtFollow.push_back(player.currentTime());
        durationsAtFollow.push_back(player.duration());
    }

    int finishes = 0;
    bool finishedWell = false;
    int follows = 0;
    QStringList paths;
    std::vector<double> positionsAtFollow;
    std::vector<double> durationsAtFollow;
};

// Plays songs one after the other in one player into a WAV recording, and
// reads back what was recorded. Four times real time leaves a fifth of a
// second of decoded audio ahead of the ear: a busy machine (the sanitizer
// build, tests side by side) does not make the recording skip, which it
// would record faithfully as a gap.
class JoinedPlaybackTest : public ::testing::Test {
protected:
    std::unique_ptr<FFmpegAudioPlayer> open(const QString& fixture, double speed = 4.0)
    {
        m_output = std::make_shared<audio::WavFileAudioOutput>(recordingPath(), speed);
        auto player = std::make_unique<FFmpegAudioPlayer>(test::fixturePath(fixture), m_output);
        player->setObserver(&observer);
        return player;
    }

    static FollowingSong following(const QString& fixture, double crossfade = 0, LoudnessGain gain = LoudnessGain::Off)
    {
        return FollowingSong {test::fixturePath(fixture), gain, crossfade};
    }

    // Plays to the end, then closes the player and the output, which writes
    // the header a last time.
    test::WavRecording playOut(std::unique_ptr<FFmpegAudioPlayer> player)
    {
        if (observer.finishes == 0) {
            EXPECT_TRUE(player->play());
        }
        EXPECT_TRUE(test::waitUntil([&] { return observer.finishes > 0; }));
        player.reset();
        m_output.reset();
        return test::readWavRecording(recordingPath());
    }

    QString recordingPath() const { return m_folder.filePath(QStringLiteral("heard.wav")); }

    JoinObserver observer;

private:
    QTemporaryDir m_folder;
    std::shared_ptr<audio::WavFileAudioOutput> m_output;
};

TEST_F(JoinedPlaybackTest, FlacHalvesOfOneSineJoinIntoTheWholeSampleForSample)
{
    auto player = open(QStringLiteral("joins/first-half.flac"));
    player->setFollowing(following(QStringLiteral("joins/second-half.flac")));
    const test::WavRecording heard = playOut(std::move(player));

    ASSERT_EQ(heard.sampleRate, 44100);
    ASSERT_EQ(heard.channels, 2);
    ASSERT_GE(heard.frames(), 88200u);
    float worst = 0;
    for (std::size_t f = 0; f < 88200; ++f)
        worst = std::max(worst, std::fabs(heard.at(f, 0) - fixtureSine(f)));
    EXPECT_LT(worst, 1e-6f) << "the joined halves differ from the whole sine";
    EXPECT_EQ(heard.lastSounding(0), 88199u) << "the total length is not exactly 88200 frames";
    EXPECT_EQ(observer.paths, QStringList {test::fixturePath(QStringLiteral("joins/second-half.flac"))});
    EXPECT_TRUE(observer.finishedWell);
    ASSERT_EQ(observer.durationsAtFollow.size(), 1u);
    EXPECT_NEAR(observer.durationsAtFollow[0], 44099.0 / 44100.0, 1e-3);
    EXPECT_LT(observer.positionsAtFollow[0], 0.5);
}

// Halves of the sine in a lossy format, each encoded with its own encoder
// delay and padding, which the file states: one codec frame of length and
// the codec's own error are allowed, a gap or a step is not.
struct LossyJoin {
    const char* extension;
    // Frames per codec frame.
    double frameLength;
    // How far a sample may stray from the sine around the cut.
    float error;
};

class LossyJoinTest : public JoinedPlaybackTest, public ::testing::WithParamInterface<LossyJoin> { };

TEST_P(LossyJoinTest, HalvesWithTheirGaplessInfoJoinWithoutAGap)
{
    const QString extension = QString::fromLatin1(GetParam().extension);
    auto player = open(QStringLiteral("joins/first-half.") + extension);
    player->setFollowing(following(QStringLiteral("joins/second-half.") + extension));
    const test::WavRecording heard = playOut(std::move(player));

    // Opus decodes at 48000 Hz, and the recording takes the first song's
    // rate: the 2 s sine, cut at 44101 of 88200 frames, at that rate.
    ASSERT_EQ(heard.channels, 2);
    const int rate = heard.sampleRate;
    const auto whole = std::size_t(2 * rate);
    const auto cut = std::size_t(std::lround(44101.0 * rate / 44100));
    const std::size_t last = heard.lastSounding(0).value_or(0);
    EXPECT_NEAR(double(last + 1), double(whole), GetParam().frameLength) << "the joined length is off by more than one codec frame";
    // No quiet run and no step a 440 Hz sine at 0.5 does not make itself
    // (at most 0.031 per frame), codec error allowed for.
    std::size_t quietRun = 0;
    std::size_t longestQuiet = 0;
    float largestStep = 0;
    for (std::size_t f = 1; f + 1 < std::min(last, whole); ++f) {
        quietRun = std::fabs(heard.at(f, 0)) < 0.01f ? quietRun + 1 : 0;
        longestQuiet = std::max(longestQuiet, quietRun);
        largestStep = std::max(largestStep, std::fabs(heard.at(f, 0) - heard.at(f - 1, 0)));
    }
    EXPECT_LE(longestQuiet, 3u);
    EXPECT_LT(largestStep, 0.045f);
    // Around the cut the samples are the sine's own, in place.
    float worst = 0;
    for (std::size_t f = cut - 300; f < cut + 300; ++f)
        worst = std::max(worst, std::fabs(heard.at(f, 0) - fixtureSine(f, rate)));
    EXPECT_LT(worst, GetParam().error);
    EXPECT_EQ(observer.follows, 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, LossyJoinTest,
                         ::testing::Values(LossyJoin {"mp3", 1152, 0.03f}, LossyJoin {"m4a", 1024, 0.03f},
                                           LossyJoin {"smpb.m4a", 1024, 0.03f}, LossyJoin {"opus", 960, 0.03f}),
                         [](const ::testing::TestParamInfo<LossyJoin>& info) {
                             std::string name = info.param.extension;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST_F(JoinedPlaybackTest, ATrackGainOfMinusSixDecibelsHalvesTheSongBesideItsUntaggedTwin)
{
    auto player = open(QStringLiteral("joins/gain-minus-6.flac"));
    player->setLoudnessGain(LoudnessGain::Track);
    player->setFollowing(following(QStringLiteral("joins/gain-none.flac"), 0, LoudnessGain::Track));
    const test::WavRecording heard = playOut(std::move(player));

    const float tagged = heard.peak(0, 0, 44100);
    const float untagged = heard.peak(0, 44100, 88200);
    EXPECT_NEAR(untagged, 0.5f, 0.001f);
    EXPECT_NEAR(tagged / untagged, 0.5f, 0.002f);
}

TEST_F(JoinedPlaybackTest, ReplayGainOffLeavesTheTaggedSongAsItIs)
{
    auto player = open(QStringLiteral("joins/gain-minus-6.flac"));
    player->setLoudnessGain(LoudnessGain::Off);
    const test::WavRecording heard = playOut(std::move(player));
    EXPECT_NEAR(heard.peak(0, 0, heard.frames()), 0.5f, 0.001f);
}

TEST(LoudnessGainTest, TheTagsPeakKeepsTheGainFromClipping)
{
    FFmpegAudioDecodeSession::LoudnessTags tags;
    tags.trackGain = 6.0;
    tags.trackPeak = 0.8;
    EXPECT_FLOAT_EQ(FFmpegAudioPlayer::gainFactor(tags, LoudnessGain::Track), 1.25f);
    tags.albumGain = -6.0;
    EXPECT_NEAR(FFmpegAudioPlayer::gainFactor(tags, LoudnessGain::Album), 0.501f, 0.001f);
    EXPECT_FLOAT_EQ(FFmpegAudioPlayer::gainFactor({}, LoudnessGain::Track), 1.0f);
    EXPECT_FLOAT_EQ(FFmpegAudioPlayer::gainFactor(tags, LoudnessGain::Off), 1.0f);
}

TEST_F(JoinedPlaybackTest, ATwoSecondCrossfadeOverlapsTheSongsForTwoSeconds)
{
    auto player = open(QStringLiteral("joins/left.flac"));
    player->setFollowing(following(QStringLiteral("joins/right.flac"), 2.0));
    const test::WavRecording heard = playOut(std::move(player));

    const std::size_t leftEnds = heard.lastSounding(0).value_or(0);
    const std::size_t rightStarts = heard.firstSounding(1).value_or(0);
    EXPECT_NEAR(double(leftEnds + 1) - double(rightStarts), 2.0 * 44100, 441.0);
    // Four seconds in all: three of each, two of them shared.
    EXPECT_NEAR(double(heard.lastSounding(1).value_or(0) + 1), 4.0 * 44100, 441.0);
    // Equal power: halfway through, each song is at cos(45°) of its level.
    EXPECT_NEAR(heard.peak(0, rightStarts + 44100 - 200, rightStarts + 44100 + 200), 0.5f * std::cos(std::numbers::pi_v<float> / 4), 0.01f);
    EXPECT_NEAR(heard.peak(1, rightStarts + 44100 - 200, rightStarts + 44100 + 200), 0.5f * std::cos(std::numbers::pi_v<float> / 4), 0.01f);
}

TEST_F(JoinedPlaybackTest, ASongAtAnotherRateAndChannelCountIsConvertedToTheStreams)
{
    auto player = open(QStringLiteral("joins/left.flac"));
    player->setFollowing(following(QStringLiteral("joins/mono-48k.flac")));
    const test::WavRecording heard = playOut(std::move(player));

    EXPECT_EQ(heard.sampleRate, 44100);
    const std::size_t leftEnds = heard.lastSounding(0).value_or(0);
    EXPECT_EQ(leftEnds + 1, 3u * 44100 + 44100) << "one second of the mono song, resampled, on both channels";
    EXPECT_EQ(observer.follows, 1);
}

TEST_F(JoinedPlaybackTest, ASeekIntoTheSongStillHeardAfterTheNextWasDecodedPlaysBothInTurn)
{
    // At twice real time the 0.7 s ring ahead of the ear leaves a third of a
    // second for the seek.
    auto player = open(QStringLiteral("joins/left.flac"), 2.0);
    player->setFollowing(following(QStringLiteral("joins/right.flac")));
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(test::waitUntil([&] { return player->isFollowingSongDecoded(); }));
    player->setCurrentTime(2.5);
    EXPECT_EQ(observer.follows, 0);
    const test::WavRecording heard = playOut(std::move(player));

    EXPECT_EQ(observer.follows, 1);
    const std::size_t rightStarts = heard.firstSounding(1).value_or(0);
    // The right-hand song is heard whole, once, right after the last half
    // second of the left-hand one.
    EXPECT_EQ(heard.lastSounding(1).value_or(0) + 1 - rightStarts, 3u * 44100 - 1) << "its first sample is the sine's zero";
    EXPECT_EQ(heard.lastSounding(0).value_or(0) + 1, rightStarts - 1 + 0);
    float worst = 0;
    for (std::size_t i = 1; i <= 22050; ++i)
        worst = std::max(worst, std::fabs(heard.at(rightStarts - 1 - i, 0) - fixtureSine(3 * 44100 - i)));
    EXPECT_LT(worst, 1e-6f) << "the left-hand song's last half second is not what came before";
}

TEST(WavFileOutput, ChosenByTheEnvironmentItRecordsAtTheClocksSpeedAndIsAWholeFileAtEveryMoment)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.wav"));
    const test::ScopedEnvironment output("VARNO_AUDIO_OUTPUT", "wav:" + QFile::encodeName(path));
    const test::ScopedEnvironment speed("VARNO_NULL_OUTPUT_SPEED", "4");
    std::unique_ptr<AudioPlayerFactory> factory = makeDefaultAudioPlayerFactory();
    std::unique_ptr<AudioPlayer> player = factory->makePlayer(test::fixturePath(QStringLiteral("formats/tagged.flac")));
    JoinObserver observer;
    player->setObserver(&observer);
    ASSERT_TRUE(player->play());
    // Part-way through, the header already states what the file holds, as
    // a process killed now would leave it.
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(path).size() > 58 + 44100 * 8 / 2; }));
    const test::WavRecording partial = test::readWavRecording(path);
    EXPECT_EQ(partial.sampleRate, 44100);
    EXPECT_GT(partial.frames(), 0u);
    EXPECT_LT(partial.frames(), 88200u);
    ASSERT_TRUE(test::waitUntil([&] { return observer.finishes > 0; }));
    player.reset();
    factory.reset();
    const test::WavRecording whole = test::readWavRecording(path);
    EXPECT_EQ(whole.lastSounding(0), 88199u);
    EXPECT_NEAR(whole.peak(0, 0, whole.frames()), 0.5f, 0.001f);
}

} // namespace
