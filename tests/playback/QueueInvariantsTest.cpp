#include "FakeAudioEngine.h"
#include "TestSupport.h"

#include "app/PlaybackSessionRestore.h"
#include "platform/SettingsPreferencesStore.h"
#include "playback/OstrelQueueEngine.h"
#include "storage/OstrelDatabaseManager.h"

#include <QSet>

#include <random>

using namespace varno;
using test::FakeAudioEngine;

namespace {

std::vector<QUuid> ids(const TrackList& tracks)
{
    std::vector<QUuid> list;
    for (const Track& track : tracks)
        list.push_back(track.id);
    return list;
}

std::vector<QUuid> withoutID(const TrackList& tracks, const std::optional<QUuid>& id)
{
    std::vector<QUuid> list;
    for (const Track& track : tracks)
        if (!id || track.id != *id)
            list.push_back(track.id);
    return list;
}

std::vector<QUuid> sortedIDs(std::vector<QUuid> list)
{
    std::sort(list.begin(), list.end(), [](const QUuid& a, const QUuid& b) { return a.toString() < b.toString(); });
    return list;
}

struct Lists {
    std::optional<QUuid> current;
    std::vector<QUuid> upcoming, history, original, order;
    bool operator==(const Lists&) const = default;
};

Lists listsOf(const OstrelQueueEngine& queue)
{
    return {queue.currentTrack() ? std::optional<QUuid>(queue.currentTrack()->id) : std::nullopt, ids(queue.upcoming()),
            ids(queue.history()), ids(queue.originalUpcomingOrder()), ids(queue.playbackOrder())};
}

class QueueInvariantsTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        database = std::make_unique<OstrelDatabaseManager>(preferences);
        for (int i = 0; i < 12; ++i)
            pool.push_back(test::makeTrack(QStringLiteral("p%1").arg(i)));
    }

    std::vector<Track> pick(std::mt19937& random, int most)
    {
        std::uniform_int_distribution<int> count(0, most), song(0, int(pool.size()) - 1);
        std::vector<Track> list;
        for (int n = count(random); n > 0; --n)
            list.push_back(pool[std::size_t(song(random))]);
        return list;
    }

    // The session on disk decodes, and a queue restored from it holds what
    // the live queue holds (the restore drops copies of the current song and
    // deals a fresh order under shuffle).
    void expectSessionRoundTrips(const OstrelQueueEngine& live)
    {
        const PlaybackStateSnapshot saved = database->loadPlaybackState().value();
        const std::optional<RestoredPlaybackSession> session = resolvePlaybackSession(saved, pool);
        std::optional<QUuid> current = live.currentTrack() ? std::optional<QUuid>(live.currentTrack()->id) : std::nullopt;
        if (!current) {
            // Without a current song, the first upcoming one takes its place.
            ASSERT_EQ(session.has_value(), !live.upcoming().empty());
            if (!session)
                return;
            current = live.upcoming().front().id;
        }
        ASSERT_TRUE(session);
        OstrelQueueEngine restored;
        restored.restorePlaybackSession(session->currentTrack, session->upcoming, session->history, session->repeatMode,
                                        session->shuffleMode, session->playbackOrder);
        EXPECT_EQ(restored.currentTrack()->id, *current);
        EXPECT_EQ(restored.repeatMode(), live.repeatMode());
        EXPECT_EQ(restored.shuffleMode(), live.shuffleMode());
        std::vector<QUuid> expectedUpcoming = withoutID(live.upcoming(), current);
        if (!live.currentTrack() && !expectedUpcoming.empty() && expectedUpcoming.front() == *current)
            expectedUpcoming.erase(expectedUpcoming.begin());
        if (live.shuffleMode() == ShuffleMode::Standard)
            EXPECT_EQ(sortedIDs(ids(restored.upcoming())), sortedIDs(expectedUpcoming));
        else
            EXPECT_EQ(ids(restored.upcoming()), expectedUpcoming);
        EXPECT_EQ(ids(restored.history()), withoutID(live.history(), current));
    }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> database;
    std::vector<Track> pool;
};

} // namespace

TEST_F(QueueInvariantsTest, RandomOperationsKeepTheQueueConsistent)
{
    const unsigned seed = std::random_device {}();
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);

    FakeAudioEngine audio;
    OstrelQueueEngine queue(database.get());
    queue.setAudioEngine(&audio);

    std::uniform_int_distribution<int> operation(0, 15), index(-2, 14), coin(0, 9);
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(::testing::Message() << "step " << step);
        queue.clearReportedErrors();
        const Lists before = listsOf(queue);
        const std::size_t playedBefore = audio.played.size();
        bool mayRollBack = false;
        std::optional<QUuid> removed;

        switch (operation(random)) {
        case 0:
            queue.playNow(pick(random, 8), index(random));
            mayRollBack = true;
            break;
        case 1:
            queue.playNext(pick(random, 3));
            break;
        case 2:
            queue.playLast(pick(random, 3));
            break;
        case 3:
            queue.remove(index(random));
            break;
        case 4:
            queue.move(index(random), index(random));
            break;
        case 5:
            if (coin(random) == 0)
                queue.clearUpcoming();
            break;
        case 6:
            removed = pool[std::size_t(coin(random))].id;
            queue.removeTrackFromPlayback(*removed);
            break;
        case 7:
        case 8:
            queue.advanceToNext();
            mayRollBack = before.current.has_value();
            break;
        case 9:
            audio.time = double(coin(random)) * 0.7;
            queue.returnToPrevious();
            mayRollBack = true;
            break;
        case 10:
            queue.playPreviousSong();
            mayRollBack = true;
            break;
        case 11:
        case 12:
            if (audio.track)
                audio.finish();
            mayRollBack = before.current.has_value();
            break;
        case 13:
            queue.setRepeatMode(RepeatMode(coin(random) % 3));
            break;
        case 14:
            queue.setShuffleMode(ShuffleMode(coin(random) % 3));
            break;
        case 15: {
            // Songs break and get fixed while the queue runs.
            const QUuid id = pool[std::size_t(coin(random))].id;
            if (audio.failing.contains(id))
                audio.failing.remove(id);
            else
                audio.failing.insert(id);
            break;
        }
        }

        const bool failedToStart = queue.lastPlaybackError() && audio.played.size() == playedBefore;
        if (failedToStart && mayRollBack) {
            ASSERT_EQ(listsOf(queue), before) << "a failed start changed the queue";
        }
        if (removed) {
            const Lists after = listsOf(queue);
            for (const auto* list : {&after.upcoming, &after.history, &after.original, &after.order})
                ASSERT_EQ(std::count(list->begin(), list->end(), *removed), 0);
            ASSERT_NE(after.current, removed);
        }
        if (step % 100 == 99) {
            queue.savePlaybackState(true);
            ASSERT_FALSE(queue.lastPersistenceError());
            expectSessionRoundTrips(queue);
        }
    }
}
