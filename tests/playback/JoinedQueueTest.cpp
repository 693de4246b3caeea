#include "TestSupport.h"
#include "WavRecording.h"

#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"
#include "platform/FFmpegAudioPlayer.h"
#include "platform/WavFileAudioOutput.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>

using namespace varno;

namespace {

Track fixtureTrack(const QString& fixture, const QString& album)
{
    const QString path = test::fixturePath(fixture);
    Track track(QUuid::createUuid(), FileURL::fromLocalFile(path), QFileInfo(path).fileName(), QFileInfo(path).baseName(), 3.0,
                Timestamp::fromSecondsSinceReferenceDate(786000000), std::nullopt);
    track.album = album;
    track.artist = QStringLiteral("Join Artist");
    return track;
}

// The queue and the audio engine as the app links them, sounding into a WAV
// recording at four times real time: fast, yet with a fifth of a
// second of decoded audio ahead of the ear, so a busy machine does not
// make the recording skip.
class JoinedQueueTest : public ::testing::Test {
protected:
    explicit JoinedQueueTest(double speed = 4.0)
    {
        m_output = std::make_shared<audio::WavFileAudioOutput>(m_folder.filePath(QStringLiteral("heard.wav")), speed);
        audio = std::make_unique<OstrelAudioEngine>(std::make_unique<FFmpegAudioPlayerFactory>([output = m_output] { return output; }));
        queue.setAudioEngine(audio.get());
    }

    // Waits for the queue to play out, then reads what was heard.
    test::WavRecording playedOut()
    {
        EXPECT_TRUE(test::waitUntil([&] { return audio->playbackState() == PlaybackState::Stopped; }));
        audio.reset();
        m_output.reset();
        return test::readWavRecording(m_folder.filePath(QStringLiteral("heard.wav")));
    }

    // Frames heard so far.
    std::uint64_t framesHeard() const { return m_output->framesWritten(); }

    OstrelQueueEngine queue;
    std::unique_ptr<OstrelAudioEngine> audio;

private:
    QTemporaryDir m_folder;
    std::shared_ptr<audio::WavFileAudioOutput> m_output;
};

TEST_F(JoinedQueueTest, SongsOfOneAlbumJoinWithoutAGapEvenWithACrossfadeSet)
{
    audio->setCrossfadeDuration(2.0);
    const Track first = fixtureTrack(QStringLiteral("joins/first-half.flac"), QStringLiteral("One Recording"));
    const Track second = fixtureTrack(QStringLiteral("joins/second-half.flac"), QStringLiteral("One Recording"));
    queue.playNow(TrackList{first, second});

    // The queue moves on at the join, with no stop between the songs.
    ASSERT_TRUE(test::waitUntil([&] { return queue.currentTrack() && queue.currentTrack()->id == second.id; }));
    EXPECT_EQ(audio->playbackState(), PlaybackState::Playing);
    EXPECT_EQ(audio->currentTrack()->id, second.id);
    EXPECT_LT(audio->currentTime(), 0.5);
    ASSERT_EQ(queue.history().size(), 1u);
    EXPECT_EQ(queue.history()[0].id, first.id);

    const test::WavRecording heard = playedOut();
    float worst = 0;
    for (std::size_t f = 0; f < 88200; ++f) {
        const double sine = std::sin(2.0 * std::numbers::pi * 440.0 * double(f) / 44100.0);
        worst = std::max(worst, std::fabs(heard.at(f, 1) - float(std::lround(sine * 0.5 * 32767.0)) / 32768.0f));
    }
    EXPECT_LT(worst, 1e-6f);
    EXPECT_EQ(heard.lastSounding(1), 88199u);
}

TEST_F(JoinedQueueTest, SongsOfTwoAlbumsCrossfadeForTheSetDuration)
{
    audio->setCrossfadeDuration(2.0);
    const Track left = fixtureTrack(QStringLiteral("joins/left.flac"), QStringLiteral("Left Album"));
    const Track right = fixtureTrack(QStringLiteral("joins/right.flac"), QStringLiteral("Right Album"));
    queue.playNow(TrackList{left, right});
    ASSERT_TRUE(test::waitUntil([&] { return queue.currentTrack() && queue.currentTrack()->id == right.id; }));

    const test::WavRecording heard = playedOut();
    const double overlap = double(heard.lastSounding(0).value_or(0) + 1) - double(heard.firstSounding(1).value_or(0));
    EXPECT_NEAR(overlap, 2.0 * 44100, 441.0);
}

TEST_F(JoinedQueueTest, AQueueChangeBeforeTheJoinPlaysTheSongNowNext)
{
    const Track left = fixtureTrack(QStringLiteral("joins/left.flac"), QStringLiteral("Left Album"));
    const Track right = fixtureTrack(QStringLiteral("joins/right.flac"), QStringLiteral("Right Album"));
    const Track mono = fixtureTrack(QStringLiteral("joins/mono-48k.flac"), QStringLiteral("Mono Album"));
    queue.playNow(TrackList{left, right, mono});
    queue.remove(0);
    ASSERT_TRUE(test::waitUntil([&] { return queue.currentTrack() && queue.currentTrack()->id == mono.id; }));

    const test::WavRecording heard = playedOut();
    // The right-hand song alone sounds in the right channel only; the mono
    // song sounds in both.
    std::size_t rightOnly = 0;
    for (std::size_t f = 0; f < heard.frames(); ++f)
        rightOnly += heard.at(f, 0) == 0.0f && std::fabs(heard.at(f, 1)) > 0.01f ? 1 : 0;
    EXPECT_EQ(rightOnly, 0u);
    EXPECT_GT(heard.peak(1, 3 * 44100, heard.frames()), 0.3f);
}

TEST_F(JoinedQueueTest, UnderRepeatAllWithShuffleTheNextRoundJoinsTheLastSongWithoutAStop)
{
    const Track left = fixtureTrack(QStringLiteral("joins/left.flac"), QStringLiteral("Left Album"));
    const Track right = fixtureTrack(QStringLiteral("joins/right.flac"), QStringLiteral("Right Album"));
    queue.setShuffleMode(ShuffleMode::Standard);
    queue.setRepeatMode(RepeatMode::All);
    std::vector<PlaybackState> states;
    int songsStarted = 0;
    QObject::connect(audio.get(), &AudioEngine::playbackStateChanged, [&] { states.push_back(audio->playbackState()); });
    QObject::connect(audio.get(), &AudioEngine::currentTrackChanged, [&] { ++songsStarted; });
    queue.playNow(TrackList{left, right});
    // The third song opens the second round, dealt anew.
    ASSERT_TRUE(test::waitUntil([&] { return songsStarted >= 3; }));
    queue.setRepeatMode(RepeatMode::Off);
    queue.clearUpcoming();
    const test::WavRecording heard = playedOut();

    // One start and one end: every song after the first was joined on.
    EXPECT_EQ(std::count(states.begin(), states.end(), PlaybackState::Buffering), 1);
    EXPECT_EQ(std::count(states.begin(), states.end(), PlaybackState::Stopped), 1);
    ASSERT_GE(heard.frames(), 9u * 44100);
    std::size_t quietRun = 0;
    std::size_t longestQuiet = 0;
    for (std::size_t f = 0; f < 9 * 44100; ++f) {
        quietRun = std::fabs(heard.at(f, 0)) < 0.01f && std::fabs(heard.at(f, 1)) < 0.01f ? quietRun + 1 : 0;
        longestQuiet = std::max(longestQuiet, quietRun);
    }
    EXPECT_LE(longestQuiet, 3u);
}

TEST_F(JoinedQueueTest, WithGaplessOffTheNextSongStartsOnItsOwn)
{
    audio->setGaplessEnabled(false);
    const Track left = fixtureTrack(QStringLiteral("joins/left.flac"), QStringLiteral("Left Album"));
    const Track right = fixtureTrack(QStringLiteral("joins/right.flac"), QStringLiteral("Right Album"));
    std::vector<PlaybackState> states;
    QObject::connect(audio.get(), &AudioEngine::playbackStateChanged, [&] { states.push_back(audio->playbackState()); });
    queue.playNow(TrackList{left, right});
    ASSERT_TRUE(test::waitUntil([&] { return queue.currentTrack() && queue.currentTrack()->id == right.id; }));
    // The old way: the first song ends (stopped), the next is loaded anew.
    EXPECT_NE(std::find(states.begin(), states.end(), PlaybackState::Buffering), states.end());
    EXPECT_GE(std::count(states.begin(), states.end(), PlaybackState::Stopped), 1);
}

// Queue changes in the last moments of a song, once the next song's first
// samples are already decoded behind it (the decoder keeps 0.37 to 0.74 s
// ahead of the ear, so from 2.63 s into a 3 s song on), at twice real time:
// time enough to act.
class LateQueueChangeTest : public JoinedQueueTest {
protected:
    LateQueueChangeTest()
        : JoinedQueueTest(2.0)
    {
        QObject::connect(audio.get(), &AudioEngine::playbackStateChanged, [this] { states.push_back(audio->playbackState()); });
        QObject::connect(audio.get(), &AudioEngine::currentTrackChanged, [this] {
            if (audio->currentTrack())
                songsHeard.push_back(audio->currentTrack()->title);
        });
    }

    void waitForTheLastMoments() { ASSERT_TRUE(test::waitUntil([&] { return framesHeard() >= 2.75 * 44100; })); }

    // The longest run of frames in [from, to) where neither channel sounds.
    static std::size_t longestQuiet(const test::WavRecording& heard, std::size_t from, std::size_t to)
    {
        std::size_t run = 0;
        std::size_t longest = 0;
        for (std::size_t f = from; f < std::min(to, heard.frames()); ++f) {
            run = std::fabs(heard.at(f, 0)) < 0.01f && std::fabs(heard.at(f, 1)) < 0.01f ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        return longest;
    }

    std::vector<PlaybackState> states;
    QStringList songsHeard;
    const Track left = fixtureTrack(QStringLiteral("joins/left.flac"), QStringLiteral("Left Album"));
    const Track right = fixtureTrack(QStringLiteral("joins/right.flac"), QStringLiteral("Right Album"));
    const Track mono = fixtureTrack(QStringLiteral("joins/mono-48k.flac"), QStringLiteral("Mono Album"));
};

TEST_F(LateQueueChangeTest, AChangeThatKeepsTheNextSongKeepsItJoined)
{
    queue.playNow(TrackList{left, right});
    waitForTheLastMoments();
    queue.playLast(TrackList{mono});
    const test::WavRecording heard = playedOut();

    EXPECT_EQ(songsHeard, (QStringList {left.title, right.title, mono.title}));
    EXPECT_EQ(std::count(states.begin(), states.end(), PlaybackState::Buffering), 1) << "a song was started again";
    // Left, right and mono back to back: 7 s without a quiet moment.
    EXPECT_EQ(heard.lastSounding(0).value_or(0) + 1, 7u * 44100);
    EXPECT_LE(longestQuiet(heard, 0, 7 * 44100), 3u);
}

TEST_F(LateQueueChangeTest, AChangeOfTheNextSongJoinsTheNewOneInItsPlaceWithoutAGap)
{
    queue.playNow(TrackList{left, right, mono});
    waitForTheLastMoments();
    queue.remove(0);
    const test::WavRecording heard = playedOut();

    EXPECT_EQ(songsHeard, (QStringList {left.title, mono.title}));
    EXPECT_EQ(std::count(states.begin(), states.end(), PlaybackState::Buffering), 1) << "the new next song was started anew";
    ASSERT_EQ(queue.history().size(), 1u);
    EXPECT_EQ(queue.history()[0].id, left.id);
    // Nothing of the song taken out is heard (it sounds in the right channel
    // alone); the mono song follows the left-hand one at once, in both.
    std::size_t rightOnly = 0;
    for (std::size_t f = 0; f < heard.frames(); ++f)
        rightOnly += heard.at(f, 0) == 0.0f && std::fabs(heard.at(f, 1)) > 0.01f ? 1 : 0;
    EXPECT_EQ(rightOnly, 0u);
    EXPECT_EQ(heard.lastSounding(1).value_or(0) + 1, 4u * 44100);
    EXPECT_EQ(heard.firstSounding(1).value_or(0), 3u * 44100);
    EXPECT_LE(longestQuiet(heard, 0, 4 * 44100), 3u);
}

TEST_F(LateQueueChangeTest, AChangeOfTheNextSongBeforeACrossfadeFadesIntoTheNewOne)
{
    // With a 2 s crossfade the next song is decoded, mixed into the held
    // back end, well before the fade is heard at 1 s.
    audio->setCrossfadeDuration(2.0);
    const Track brief = fixtureTrack(QStringLiteral("joins/gain-none.flac"), QStringLiteral("Brief Album"));
    queue.playNow(TrackList{left, right, brief});
    ASSERT_TRUE(test::waitUntil([&] { return framesHeard() >= 0.75 * 44100; }));
    queue.remove(0);
    const test::WavRecording heard = playedOut();

    EXPECT_EQ(songsHeard, (QStringList {left.title, brief.title}));
    // The one-second song (in both channels) fades in as the left-hand song
    // fades out, from 1 s on, and the left-hand song fades on alone after
    // it; the right-hand song would have sounded on to 4 s.
    EXPECT_NEAR(double(heard.firstSounding(1).value_or(0)), 44100.0, 441.0);
    EXPECT_NEAR(double(heard.lastSounding(1).value_or(0) + 1), 2.0 * 44100, 441.0);
    EXPECT_NEAR(double(heard.lastSounding(0).value_or(0) + 1), 3.0 * 44100, 441.0);
}

TEST_F(LateQueueChangeTest, ClearingTheQueueAtTheLastMomentEndsItAfterTheSongPlaying)
{
    queue.playNow(TrackList{left, right});
    waitForTheLastMoments();
    queue.clearUpcoming();
    const test::WavRecording heard = playedOut();

    EXPECT_EQ(songsHeard, QStringList {left.title});
    EXPECT_EQ(heard.lastSounding(0).value_or(0) + 1, 3u * 44100);
    EXPECT_FALSE(heard.lastSounding(1)) << "the song taken out was heard";
}

} // namespace
