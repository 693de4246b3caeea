#include "TestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "playback/PlaybackSessionStore.h"
#include "storage/OstrelDatabaseManager.h"

#include <QDir>
#include <QThread>

using namespace varno;

namespace {

PlaybackStateSnapshot snapshotAt(double seconds)
{
    PlaybackStateSnapshot s;
    s.currentTrackID = QUuid::createUuid();
    s.repeatMode = QStringLiteral("off");
    s.shuffleMode = QStringLiteral("off");
    s.currentTime = seconds;
    return s;
}

class PlaybackSessionStoreTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        database = std::make_unique<OstrelDatabaseManager>(preferences);
    }

    // Runs the event loop until `count` completions arrived.
    void waitFor(const int& completions, int count)
    {
        QDeadlineTimer deadline(10000);
        while (completions < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_EQ(completions, count);
    }

    SettingsPreferencesStore preferences;
    std::unique_ptr<OstrelDatabaseManager> database;
};

} // namespace

TEST_F(PlaybackSessionStoreTest, WritesInRequestOrderAndCompletesOnTheMainThread)
{
    PlaybackSessionStore store(*database);
    std::vector<double> completedTimes;
    int completions = 0;
    for (const double seconds : {1.0, 2.0, 3.0}) {
        store.save(snapshotAt(seconds), [&, seconds](std::exception_ptr error) {
            EXPECT_FALSE(error);
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            completedTimes.push_back(seconds);
            ++completions;
        });
    }
    waitFor(completions, 3);
    EXPECT_EQ(completedTimes, (std::vector<double> {1.0, 2.0, 3.0}));
    EXPECT_EQ(database->loadPlaybackState()->currentTime, 3.0);
}

TEST_F(PlaybackSessionStoreTest, ABurstOfSavesWritesTheLastSnapshotAndCompletesEveryRequest)
{
    PlaybackSessionStore store(*database);
    std::vector<double> completedTimes;
    int completions = 0;
    for (int i = 0; i < 200; ++i) {
        store.save(snapshotAt(i), [&, i](std::exception_ptr error) {
            EXPECT_FALSE(error);
            completedTimes.push_back(i);
            ++completions;
        });
    }
    waitFor(completions, 200);
    ASSERT_EQ(completedTimes.size(), 200u);
    EXPECT_TRUE(std::is_sorted(completedTimes.begin(), completedTimes.end()));
    EXPECT_EQ(database->loadPlaybackState()->currentTime, 199.0);
}

TEST_F(PlaybackSessionStoreTest, SaveNowWaitsForEarlierSavesAndWinsTheFile)
{
    PlaybackSessionStore store(*database);
    for (int i = 0; i < 20; ++i)
        store.save(snapshotAt(i));
    const PlaybackStateSnapshot last = snapshotAt(99);
    EXPECT_FALSE(store.saveNow(last));
    EXPECT_EQ(database->loadPlaybackState(), last);
}

TEST_F(PlaybackSessionStoreTest, WriteFailuresTravelBackAsValues)
{
    PlaybackSessionStore store(*database);
    const QString path = appFile(QStringLiteral("playback_state.json"));
    QFile::remove(path);
    QDir().mkpath(path);
    std::vector<QString> outcomes;
    int completions = 0;
    auto record = [&](std::exception_ptr error) {
        outcomes.push_back(error ? describe(error) : QStringLiteral("ok"));
        ++completions;
    };
    store.save(snapshotAt(1), record);
    waitFor(completions, 1);
    EXPECT_TRUE(outcomes[0].contains(QStringLiteral("Is a directory"))) << outcomes[0].toStdString();
    EXPECT_TRUE(store.saveNow(snapshotAt(2)));

    QDir(path).removeRecursively();
    store.save(snapshotAt(3), record);
    waitFor(completions, 2);
    EXPECT_EQ(outcomes[1], QStringLiteral("ok"));
}

TEST_F(PlaybackSessionStoreTest, RequestsMadeJustBeforeTheStoreGoesAreStillWritten)
{
    {
        PlaybackSessionStore store(*database);
        store.save(snapshotAt(1));
        store.save(snapshotAt(7));
    }
    EXPECT_EQ(database->loadPlaybackState()->currentTime, 7.0);
}
