#include "FakeAudioEngine.h"
#include "TestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "playback/OstrelQueueEngine.h"
#include "storage/OstrelDatabaseManager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <algorithm>
#include <unistd.h>

using namespace varno;
using test::FakeAudioEngine;

namespace {

std::vector<Track> songs(int count, const QString& prefix = QStringLiteral("s"))
{
    std::vector<Track> list;
    for (int i = 0; i < count; ++i)
        list.push_back(test::makeTrack(prefix + QString::number(i)));
    return list;
}

std::vector<QString> titles(const TrackList& tracks)
{
    std::vector<QString> names;
    for (const Track& track : tracks)
        names.push_back(track.title);
    return names;
}

std::vector<QString> names(std::initializer_list<const char*> list)
{
    std::vector<QString> result;
    for (const char* name : list)
        result.push_back(QString::fromUtf8(name));
    return result;
}

std::vector<QString> sorted(std::vector<QString> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QString title(const std::optional<Track>& track)
{
    return track ? track->title : QStringLiteral("none");
}

QString title(const SharedTrack& track)
{
    return track ? track->title : QStringLiteral("none");
}

SharedTrack shared(const Track& track)
{
    return std::make_shared<const Track>(track);
}

// Without a database: queue rules only.
class QueueRulesTest : public ::testing::Test {
protected:
    void SetUp() override { queue.setAudioEngine(&audio); }

    // Plays s0…s(count-1) from `start` and forgets what was played so far.
    std::vector<Track> start(int count, int at = 0)
    {
        std::vector<Track> list = songs(count);
        queue.playNow(list, at);
        audio.played.clear();
        return list;
    }

    QueueSnapshot state() const
    {
        return queue.snapshot();
    }

    static void expectSame(const QueueSnapshot& a, const QueueSnapshot& b)
    {
        EXPECT_EQ(title(a.currentTrack), title(b.currentTrack));
        EXPECT_EQ(titles(a.upcoming), titles(b.upcoming));
        EXPECT_EQ(titles(a.history), titles(b.history));
        EXPECT_EQ(titles(a.originalUpcomingOrder), titles(b.originalUpcomingOrder));
        EXPECT_EQ(titles(a.playbackOrder), titles(b.playbackOrder));
    }

    FakeAudioEngine audio;
    OstrelQueueEngine queue;
};

} // namespace

TEST_F(QueueRulesTest, PlayNowSplitsTheListAroundTheStartingSong)
{
    start(5, 2);
    EXPECT_EQ(titles(queue.history()), names({"s0", "s1"}));
    EXPECT_EQ(title(queue.currentTrack()), "s2");
    EXPECT_EQ(titles(queue.upcoming()), names({"s3", "s4"}));
    EXPECT_EQ(titles(queue.playbackOrder()), names({"s0", "s1", "s2", "s3", "s4"}));
    EXPECT_EQ(audio.delegate(), &queue);

    queue.playNow(songs(3), 9);
    EXPECT_EQ(title(queue.currentTrack()), "s2");
    queue.playNow(songs(3), -1);
    EXPECT_EQ(title(queue.currentTrack()), "s0");
    EXPECT_EQ(audio.played, names({"s2", "s0"}));

    queue.playNow({}, 0); // nothing
    EXPECT_EQ(title(queue.currentTrack()), "s0");
}

TEST_F(QueueRulesTest, StandardShuffleDealsOnlyTheUpcomingSongs)
{
    queue.setShuffleMode(ShuffleMode::Standard);
    const std::vector<Track> list = songs(40);
    queue.playNow(list, 2);
    EXPECT_EQ(titles(queue.history()), names({"s0", "s1"}));
    EXPECT_EQ(title(queue.currentTrack()), "s2");
    std::vector<QString> expected = titles(std::vector<Track>(list.begin() + 3, list.end()));
    EXPECT_EQ(sorted(titles(queue.upcoming())), sorted(expected));
    EXPECT_NE(titles(queue.upcoming()), expected); // 37! orders: a match means no shuffle

    // Off restores the unshuffled order; smart behaves like off.
    queue.setShuffleMode(ShuffleMode::Smart);
    EXPECT_EQ(titles(queue.upcoming()), expected);
    queue.setShuffleMode(ShuffleMode::Standard);
    queue.setShuffleMode(ShuffleMode::Off);
    EXPECT_EQ(titles(queue.upcoming()), expected);
}

TEST_F(QueueRulesTest, ShuffleOffRestoresExactlyTheSongsStillUpcoming)
{
    start(6); // s0 current, s1…s5 upcoming
    queue.setShuffleMode(ShuffleMode::Standard);
    const auto at = [&](const char* name) {
        const auto& up = queue.upcoming();
        return int(std::find_if(up.begin(), up.end(), [&](const Track& t) { return t.title == name; }) - up.begin());
    };
    queue.remove(at("s3"));
    queue.playNext(songs(2, QStringLiteral("n")));
    queue.setShuffleMode(ShuffleMode::Off);
    EXPECT_EQ(titles(queue.upcoming()), names({"n0", "n1", "s1", "s2", "s4", "s5"}));

    // A hand-made order survives shuffling on and off.
    queue.clearUpcoming();
    queue.playLast(songs(4, QStringLiteral("m")));
    queue.move(0, 100);
    EXPECT_EQ(titles(queue.upcoming()), names({"m1", "m2", "m3", "m0"}));
    queue.setShuffleMode(ShuffleMode::Standard);
    queue.setShuffleMode(ShuffleMode::Off);
    EXPECT_EQ(titles(queue.upcoming()), names({"m1", "m2", "m3", "m0"}));
    EXPECT_EQ(titles(queue.playbackOrder()), names({"s0", "m1", "m2", "m3", "m0"}));

    // Out-of-range indexes are ignored.
    queue.remove(4);
    queue.remove(-1);
    queue.move(7, 0);
    EXPECT_EQ(queue.upcoming().size(), 4u);
}

TEST_F(QueueRulesTest, PlayLastUnderShuffleKeepsTheNextSongAndDealsTheRestAgain)
{
    start(3);
    queue.setShuffleMode(ShuffleMode::Standard);
    const QString next = queue.upcoming().front().title;
    queue.playLast(songs(30, QStringLiteral("x")));
    EXPECT_EQ(queue.upcoming().front().title, next);
    EXPECT_EQ(queue.upcoming().size(), 32u);
    // The unshuffled order is the old one with the new songs appended.
    EXPECT_EQ(queue.originalUpcomingOrder().front().title, "s1");
    EXPECT_EQ(queue.originalUpcomingOrder().back().title, "x29");
}

TEST_F(QueueRulesTest, SkippingToAnUpcomingSongKeepsTheRestInTheirOrder)
{
    queue.setShuffleMode(ShuffleMode::Standard);
    start(30); // s0 current, s1…s29 dealt at random
    const std::vector<QString> dealt = titles(queue.upcoming());
    const std::vector<QString> unshuffled = titles(queue.originalUpcomingOrder());

    queue.skipTo(3);
    EXPECT_EQ(title(queue.currentTrack()), dealt[3]);
    EXPECT_EQ(audio.played, std::vector<QString>({dealt[3]}));
    // The songs after it play as dealt, none dealt again.
    EXPECT_EQ(titles(queue.upcoming()), std::vector<QString>(dealt.begin() + 4, dealt.end()));
    // "Next" four times would have left the same history.
    EXPECT_EQ(titles(queue.history()), std::vector<QString>({QStringLiteral("s0"), dealt[0], dealt[1], dealt[2]}));
    // Shuffle off returns to the unshuffled order of what is still to come.
    std::vector<QString> stillToCome = unshuffled;
    std::erase_if(stillToCome, [&](const QString& name) { return std::find(dealt.begin(), dealt.begin() + 4, name) != dealt.begin() + 4; });
    queue.setShuffleMode(ShuffleMode::Off);
    EXPECT_EQ(titles(queue.upcoming()), stillToCome);

    // Out of range: nothing happens.
    const QueueSnapshot before = state();
    queue.skipTo(-1);
    queue.skipTo(int(queue.upcoming().size()));
    expectSame(state(), before);
}

TEST_F(QueueRulesTest, SkippingPassesOverSongsThatCannotStartOrChangesNothing)
{
    const std::vector<Track> list = start(6); // | s0 | s1 s2 s3 s4 s5
    audio.failing = {list[2].id, list[3].id};
    queue.skipTo(1); // s2, which fails: s4 plays
    EXPECT_EQ(title(queue.currentTrack()), "s4");
    EXPECT_EQ(titles(queue.history()), names({"s0", "s1"}));
    EXPECT_EQ(titles(queue.upcoming()), names({"s5"}));
    EXPECT_TRUE(queue.lastPlaybackError());

    audio.failing.insert(list[5].id);
    const QueueSnapshot before = state();
    queue.skipTo(0);
    expectSame(state(), before);
    EXPECT_EQ(audio.track->title, "s4");
}

TEST_F(QueueRulesTest, ForwardStepsFollowTheRepeatMode)
{
    start(3); // s0 current
    EXPECT_EQ(title(queue.advanceToNext()), "s1");
    EXPECT_EQ(titles(queue.history()), names({"s0"}));
    audio.finish(); // s1 ends → s2
    EXPECT_EQ(title(queue.currentTrack()), "s2");

    // End of the queue, repeat off: nothing changes, again and again.
    const QueueSnapshot before = state();
    audio.finish();
    expectSame(state(), before);
    EXPECT_EQ(queue.advanceToNext(), std::nullopt);
    expectSame(state(), before);

    // Repeat one: a song that ends starts again, history untouched.
    queue.setRepeatMode(RepeatMode::Track);
    audio.played.clear();
    audio.finish();
    EXPECT_EQ(audio.played, names({"s2"}));
    expectSame(state(), before);
    // …but "next" at the end starts the play order over.
    EXPECT_EQ(title(queue.advanceToNext()), "s0");
    EXPECT_TRUE(queue.history().empty());
    EXPECT_EQ(titles(queue.upcoming()), names({"s1", "s2"}));

    // Repeat all: the last song's end queues the whole order again.
    queue.setRepeatMode(RepeatMode::All);
    queue.advanceToNext();
    queue.advanceToNext();
    audio.played.clear();
    audio.finish();
    EXPECT_EQ(audio.played, names({"s0"}));
    EXPECT_TRUE(queue.history().empty());
    EXPECT_EQ(titles(queue.upcoming()), names({"s1", "s2"}));
}

TEST_F(QueueRulesTest, ShuffledRepeatAllNamesTheNextRoundsFirstSongAheadAndStartsIt)
{
    queue.setShuffleMode(ShuffleMode::Standard);
    queue.setRepeatMode(RepeatMode::All);
    start(6);
    // What the audio engine was told would follow, once the change in hand
    // has settled (a turn of the event loop later).
    const auto announced = [&] {
        audio.followingRequests.clear();
        EXPECT_TRUE(test::waitUntil([&] { return !audio.followingRequests.empty(); }));
        return audio.followingRequests.empty() ? std::nullopt : audio.followingRequests.back();
    };
    // A fresh deal at every round's end would start the announced song only
    // one time in six; ten rounds in a row rule that out.
    for (int round = 0; round < 10; ++round) {
        while (!queue.upcoming().empty())
            queue.advanceToNext();
        const std::optional<QUuid> next = announced();
        ASSERT_TRUE(next) << "round " << round;
        audio.finish();
        EXPECT_EQ(queue.currentTrack()->id, *next) << "round " << round;
        EXPECT_EQ(queue.upcoming().size(), 5u);
    }

    // A play order that changed is dealt again, from the songs it holds now
    // (the song playing stays, so the deal removed is another one).
    std::optional<QUuid> dealt;
    do {
        audio.finish();
        while (!queue.upcoming().empty())
            queue.advanceToNext();
        dealt = announced();
        ASSERT_TRUE(dealt);
    } while (*dealt == queue.currentTrack()->id);
    queue.removeTrackFromPlayback(*dealt);
    const std::optional<QUuid> redealt = announced();
    ASSERT_TRUE(redealt);
    EXPECT_NE(*redealt, *dealt);
    audio.finish();
    EXPECT_EQ(queue.currentTrack()->id, *redealt);
    EXPECT_EQ(queue.upcoming().size(), 4u);
}

TEST_F(QueueRulesTest, BackwardStepsRestartPastThreeSecondsOrGoBack)
{
    start(3, 1); // s0 | s1 | s2
    audio.time = 3.5;
    EXPECT_EQ(title(queue.returnToPrevious()), "s1");
    EXPECT_EQ(audio.seeks, std::vector<double> {0.0});
    EXPECT_EQ(titles(queue.history()), names({"s0"}));

    audio.time = 3.0; // exactly three seconds goes back
    EXPECT_EQ(title(queue.returnToPrevious()), "s0");
    EXPECT_TRUE(queue.history().empty());
    EXPECT_EQ(titles(queue.upcoming()), names({"s1", "s2"}));

    // Empty history: both commands rewind the current song.
    audio.time = 1.0;
    EXPECT_EQ(title(queue.playPreviousSong()), "s0");
    audio.time = 10;
    EXPECT_EQ(title(queue.returnToPrevious()), "s0");
    EXPECT_EQ(audio.seeks, (std::vector<double> {0.0, 0.0, 0.0}));

    // playPreviousSong goes back wherever the song is.
    queue.advanceToNext();
    audio.time = 100;
    EXPECT_EQ(title(queue.playPreviousSong()), "s0");

    OstrelQueueEngine empty;
    EXPECT_EQ(empty.returnToPrevious(), std::nullopt);
}

TEST_F(QueueRulesTest, AFailedStartPutsTheQueueBackAndPublishesTheError)
{
    const std::vector<Track> list = start(4, 1); // s0 | s1 | s2 s3
    const QueueSnapshot before = state();
    const QString missing = "The audio file could not be found at /music/s3.mp3.";

    // Only when no song left can start does the queue stay as it was.
    audio.failing = {list[2].id, list[3].id};
    EXPECT_EQ(queue.advanceToNext(), std::nullopt);
    expectSame(state(), before);
    EXPECT_EQ(describe(queue.lastPlaybackError()), missing);

    audio.failing = {list[0].id};
    EXPECT_EQ(queue.playPreviousSong(), std::nullopt);
    expectSame(state(), before);

    queue.playNow(songs(2, QStringLiteral("z")), 0);
    EXPECT_EQ(title(queue.currentTrack()), "z0");
    audio.failing = {queue.currentTrack()->id};
    queue.playNow({*queue.currentTrack()}, 0);
    EXPECT_EQ(titles(queue.upcoming()), names({"z1"}));

    // A success clears the error; clearReportedErrors dismisses it too.
    audio.failing.clear();
    queue.advanceToNext();
    EXPECT_FALSE(queue.lastPlaybackError());
    queue.reportPlaybackError(std::make_exception_ptr(AudioPlaybackError::audioEngineUnavailable()));
    queue.clearReportedErrors();
    EXPECT_FALSE(queue.lastPlaybackError());

    // Under repeat all, a start-over whose first song fails changes nothing.
    queue.setRepeatMode(RepeatMode::All);
    const QueueSnapshot atEnd = state();
    audio.failing = {list[0].id, queue.playbackOrder().front().id};
    audio.finish();
    expectSame(state(), atEnd);

    // Without an audio engine nothing starts and the queue stays.
    OstrelQueueEngine unplugged;
    unplugged.playNow(songs(2), 0);
    EXPECT_FALSE(unplugged.currentTrack());
    EXPECT_EQ(describe(unplugged.lastPlaybackError()),
              "Playback is unavailable because the audio engine has not been connected.");
}

TEST_F(QueueRulesTest, AFailedStepFromNoCurrentSongKeepsTheTakenSong)
{
    std::vector<Track> list = songs(3);
    queue.restorePlaybackSession(nullptr, list, {}, RepeatMode::Off, ShuffleMode::Off);
    audio.failing = {list[0].id, list[1].id, list[2].id};
    EXPECT_EQ(queue.advanceToNext(), std::nullopt);
    EXPECT_EQ(title(queue.currentTrack()), "s0");
    EXPECT_EQ(titles(queue.upcoming()), names({"s1", "s2"}));
}

TEST_F(QueueRulesTest, ASongThatCannotStartIsPassedOverAndItsErrorStaysInView)
{
    const std::vector<Track> list = start(5, 0); // | s0 | s1 s2 s3 s4
    audio.failing = {list[1].id, list[2].id};
    EXPECT_EQ(title(queue.advanceToNext()), "s3");
    EXPECT_EQ(title(queue.currentTrack()), "s3");
    EXPECT_EQ(audio.track->title, "s3");
    EXPECT_EQ(titles(queue.history()), names({"s0"}));
    EXPECT_EQ(titles(queue.upcoming()), names({"s4"}));
    EXPECT_EQ(describe(queue.lastPlaybackError()), "The audio file could not be found at /music/s2.mp3.");

    // Starting a list at a song that cannot start plays the next one that can.
    queue.playNow(list, 1);
    EXPECT_EQ(title(queue.currentTrack()), "s3");
    EXPECT_EQ(titles(queue.history()), names({"s0"}));
    EXPECT_EQ(titles(queue.upcoming()), names({"s4"}));
    EXPECT_TRUE(queue.lastPlaybackError());
}

TEST_F(QueueRulesTest, ASongFailingWhileItPlaysGivesWayToTheNextAndStopsOnlyWhenNoneIsLeft)
{
    const std::vector<Track> list = start(4, 0); // | s0 | s1 s2 s3
    audio.failing = {list[1].id};
    audio.failWhilePlaying(QStringLiteral("The stream is damaged"));
    EXPECT_EQ(title(queue.currentTrack()), "s2");
    EXPECT_EQ(audio.track->title, "s2");
    ASSERT_TRUE(queue.lastPlaybackError());

    // Repeat one does not start the failing song again.
    queue.setRepeatMode(RepeatMode::Track);
    audio.failWhilePlaying(QStringLiteral("The stream is damaged"));
    EXPECT_EQ(title(queue.currentTrack()), "s3");

    // The last song failing leaves nothing to go on to: playback stops
    // there, with the reason in view.
    queue.setRepeatMode(RepeatMode::Off);
    audio.failWhilePlaying(QStringLiteral("The stream is damaged"));
    EXPECT_EQ(title(queue.currentTrack()), "s3");
    EXPECT_TRUE(describe(queue.lastPlaybackError()).contains(QStringLiteral("The stream is damaged")));
}

TEST_F(QueueRulesTest, ASongLeavingTheLibraryVanishesFromEveryList)
{
    std::vector<Track> list = songs(3);
    list.push_back(list[1]); // s1 twice
    queue.playNow(list, 1);  // s0 | s1 | s2 s1
    queue.playNext({list[1]});
    queue.removeTrackFromPlayback(list[1].id);
    EXPECT_FALSE(queue.currentTrack());
    EXPECT_EQ(audio.clears, 1);
    EXPECT_EQ(titles(queue.history()), names({"s0"}));
    EXPECT_EQ(titles(queue.upcoming()), names({"s2"}));
    EXPECT_EQ(titles(queue.playbackOrder()), names({"s0", "s2"}));
    EXPECT_EQ(titles(queue.originalUpcomingOrder()), names({"s2"}));

    // Removing another song leaves the audio engine alone.
    queue.removeTrackFromPlayback(list[0].id);
    EXPECT_EQ(audio.clears, 1);
    // With no current song, "next" takes the first upcoming one.
    EXPECT_EQ(title(queue.advanceToNext()), "s2");
}

TEST_F(QueueRulesTest, RestoreFiltersTheCurrentSongAndFallsBackToTheNaturalOrder)
{
    const std::vector<Track> list = songs(5);
    QSignalSpy repeatChanges(&queue, &QueueEngine::repeatModeChanged);
    queue.restorePlaybackSession(shared(list[2]), {list[3], list[2], list[4]}, {list[0], list[1], list[2]}, RepeatMode::All,
                                 ShuffleMode::Off, std::vector<Track> {list[4], list[3]});
    EXPECT_EQ(titles(queue.upcoming()), names({"s3", "s4"}));
    EXPECT_EQ(titles(queue.history()), names({"s0", "s1"}));
    // The saved order lacks the current song: history + current + upcoming.
    EXPECT_EQ(titles(queue.playbackOrder()), names({"s0", "s1", "s2", "s3", "s4"}));
    EXPECT_EQ(queue.repeatMode(), RepeatMode::All);
    EXPECT_EQ(repeatChanges.count(), 1);
    EXPECT_TRUE(audio.played.empty());

    // A saved order holding the current song is kept, minus unknown songs.
    const Track stranger = test::makeTrack(QStringLiteral("stranger"));
    queue.restorePlaybackSession(shared(list[2]), {list[3]}, {list[0]}, RepeatMode::Off, ShuffleMode::Off,
                                 std::vector<Track> {list[3], stranger, list[2], list[0]});
    EXPECT_EQ(titles(queue.playbackOrder()), names({"s3", "s2", "s0"}));
}

// --- saving ---------------------------------------------------------------

namespace {

class QueueSavingTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        database = std::make_unique<OstrelDatabaseManager>(preferences);
        queue = std::make_unique<OstrelQueueEngine>(database.get());
        queue->setAudioEngine(&audio);
        saves = std::make_unique<QSignalSpy>(queue.get(), &QueueEngine::lastPersistenceErrorChanged);
    }

    // Waits until `count` saves have completed (a save reports its result
    // through lastPersistenceErrorChanged).
    void waitForSaves(int count)
    {
        ASSERT_TRUE(test::waitUntil([&] { return saves->count() >= count; }));
        ASSERT_EQ(saves->count(), count);
    }

    // The saves reported so far, counted once every save asked for has
    // ended: a synchronous save runs after the writes queued before it, and
    // their reports are delivered next. Its own report is not counted.
    int savesAskedFor()
    {
        queue->savePlaybackState(true);
        ++m_synchronousSaves;
        QCoreApplication::sendPostedEvents();
        return int(saves->count()) - m_synchronousSaves;
    }

    PlaybackStateSnapshot stored() { return database->loadPlaybackState().value(); }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> database;
    FakeAudioEngine audio;
    std::unique_ptr<OstrelQueueEngine> queue;
    std::unique_ptr<QSignalSpy> saves;

private:
    int m_synchronousSaves = 0;
};

std::vector<QUuid> ids(const TrackList& tracks)
{
    std::vector<QUuid> list;
    for (const Track& track : tracks)
        list.push_back(track.id);
    return list;
}

} // namespace

TEST_F(QueueSavingTest, EveryOperationSavesTheLiveSession)
{
    const std::vector<Track> list = songs(4);
    queue->playNow(list, 1);
    audio.time = 12.5;
    audio.vol = 0.25f;
    queue->setRepeatMode(RepeatMode::All);
    waitForSaves(2);

    const PlaybackStateSnapshot saved = stored();
    EXPECT_EQ(saved.currentTrackID, list[1].id);
    EXPECT_EQ(saved.upcomingTrackIDs, ids({list[2], list[3]}));
    EXPECT_EQ(saved.historyTrackIDs, ids({list[0]}));
    EXPECT_EQ(saved.playbackOrderTrackIDs, ids(list));
    EXPECT_EQ(saved.repeatMode, "all");
    EXPECT_EQ(saved.shuffleMode, "off");
    EXPECT_EQ(saved.currentTime, 12.5);
    EXPECT_TRUE(saved.isPlaying);
    EXPECT_EQ(saved.volume, 0.25f);
    EXPECT_TRUE(saved.savedAt);

    // Setting a mode to its current value saves nothing; setting another
    // one does.
    queue->setRepeatMode(RepeatMode::All);
    EXPECT_EQ(savesAskedFor(), 2);
    queue->setRepeatMode(RepeatMode::Off);
    EXPECT_EQ(savesAskedFor(), 3);
}

TEST_F(QueueSavingTest, TimeUpdatesSaveAtMostOncePerSecond)
{
    for (int i = 0; i < 15; ++i)
        queue->audioEngine(audio, double(i) * 0.05);
    EXPECT_EQ(savesAskedFor(), 1);
    // Once a second has passed, the next update saves again.
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    ASSERT_TRUE(test::waitUntil([&] { return sinceFirst.elapsed() > OstrelQueueEngine::kPeriodicSaveInterval * 1000 + 100; }));
    queue->audioEngine(audio, 1.5);
    EXPECT_EQ(savesAskedFor(), 2);
}

TEST_F(QueueSavingTest, RestoringASessionSavesNothing)
{
    const std::vector<Track> list = songs(6);
    queue->restorePlaybackSession(shared(list[0]), std::vector<Track>(list.begin() + 1, list.end()), {}, RepeatMode::Track, ShuffleMode::Standard);
    EXPECT_EQ(queue->shuffleMode(), ShuffleMode::Standard);
    EXPECT_EQ(sorted(titles(queue->upcoming())), names({"s1", "s2", "s3", "s4", "s5"}));
    EXPECT_FALSE(database->loadPlaybackState().has_value());
    EXPECT_EQ(savesAskedFor(), 0);
}

TEST_F(QueueSavingTest, ASynchronousSaveIsOnDiskWhenItReturns)
{
    queue->playNow(songs(2), 0);
    queue->savePlaybackState(true);
    EXPECT_FALSE(queue->lastPersistenceError());
    EXPECT_EQ(stored().currentTrackID, queue->currentTrack()->id);
}

TEST_F(QueueSavingTest, AFolderThatCannotBeWrittenFailsSavesButNotPlayback)
{
    // Root ignores folder permissions, so a directory squatting on the
    // session file's name makes the rename fail there instead.
    const QString file = appFile(QStringLiteral("playback_state.json"));
    if (geteuid() == 0) {
        QFile::remove(file);
        ASSERT_TRUE(QDir().mkpath(file + QStringLiteral("/keep")));
    } else {
        ASSERT_TRUE(QFile::setPermissions(appFolder(), QFile::ReadOwner | QFile::ExeOwner));
    }

    queue->playNow(songs(3), 0);
    waitForSaves(1);
    ASSERT_TRUE(queue->lastPersistenceError());
    EXPECT_FALSE(describe(queue->lastPersistenceError()).isEmpty());
    EXPECT_EQ(queue->advanceToNext()->title, "s1");
    EXPECT_EQ(audio.played, names({"s0", "s1"}));

    queue->savePlaybackState(true);
    EXPECT_TRUE(queue->lastPersistenceError());

    // Once the folder can be written again, the next save clears the error.
    QDir(file).removeRecursively();
    QFile::setPermissions(appFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    queue->savePlaybackState(true);
    EXPECT_FALSE(queue->lastPersistenceError());
}

TEST(QueueEngineLinks, NeitherEngineKeepsTheOtherAliveNorCallsItOnceGone)
{
    auto audio = std::make_unique<FakeAudioEngine>();
    auto queue = std::make_unique<OstrelQueueEngine>();
    queue->setAudioEngine(audio.get());
    EXPECT_EQ(audio->delegate(), queue.get());

    audio.reset();
    EXPECT_EQ(queue->audioEngine(), nullptr);
    queue->playNow(songs(2), 0);
    EXPECT_FALSE(queue->currentTrack());
    EXPECT_EQ(describe(queue->lastPlaybackError()), "Playback is unavailable because the audio engine has not been connected.");
}
