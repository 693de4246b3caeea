#include "TestSupport.h"

#include "library/OstrelFileWatcher.h"
#include "platform/InotifyEventStream.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTest>

#include <algorithm>
#include <ostream>

using namespace varno;
using namespace std::chrono_literals;
using Flag = FileEventStream::Flag;

namespace varno {
void PrintTo(const FileSystemChange& change, std::ostream* os)
{
    static const char* const names[] = {"added", "modified", "renamed", "deleted"};
    *os << names[static_cast<int>(change.kind())] << '(' << change.url().encoded().constData() << ')';
}
} // namespace varno

namespace {

// A stream driven by hand. Batches reach the watcher on the thread it started
// the stream on, as they do from the real one.
class FakeEventStream final : public FileEventStream {
public:
    bool start(const QStringList& folders, std::chrono::milliseconds latency, BatchHandler handler) override
    {
        ++starts;
        if (refuseToStart)
            return false;
        this->folders = folders;
        this->latency = latency;
        m_handler = std::move(handler);
        m_thread = std::make_unique<QObject>();
        return true;
    }

    void stop() override
    {
        folders.clear();
        m_handler = nullptr;
        m_thread.reset();
    }

    bool isRunning() const { return m_handler != nullptr; }

    void deliver(const Batch& batch)
    {
        ASSERT_TRUE(isRunning());
        QMetaObject::invokeMethod(m_thread.get(), [&] { m_handler(batch); }, Qt::BlockingQueuedConnection);
    }

    QStringList folders;
    std::chrono::milliseconds latency {};
    int starts = 0;
    bool refuseToStart = false;

private:
    BatchHandler m_handler;
    // Lives on the thread that started the stream.
    std::unique_ptr<QObject> m_thread;
};

// Subscribes as the library engine does: a queued connection to an object on
// the main thread.
class ChangeLog {
public:
    explicit ChangeLog(FileWatcher& watcher)
    {
        QObject::connect(&watcher, &FileWatcher::changeOccurred, &m_receiver, [this](const FileSystemChange& change) { m_changes.push_back(change); }, Qt::QueuedConnection);
    }

    // Everything emitted so far, once the queued deliveries have run.
    const std::vector<FileSystemChange>& changes()
    {
        QCoreApplication::processEvents();
        return m_changes;
    }

    bool waitFor(const FileSystemChange& change) { return test::waitUntil([&] { return contains(change); }); }

    bool contains(const FileSystemChange& change) const { return std::find(m_changes.begin(), m_changes.end(), change) != m_changes.end(); }

    // Everything emitted up to `marker`, a change the test made after the
    // ones it looks at: one stream reports a watched tree's changes in the
    // order they happened, so once the marker is here, any change made
    // before it that was going to be reported is here too.
    std::vector<FileSystemChange> upTo(const FileSystemChange& marker)
    {
        EXPECT_TRUE(waitFor(marker));
        const auto end = std::find(m_changes.begin(), m_changes.end(), marker);
        return {m_changes.begin(), end == m_changes.end() ? end : end + 1};
    }

private:
    QObject m_receiver;
    std::vector<FileSystemChange> m_changes;
};

FileURL url(const QString& path)
{
    return FileURL::fromLocalFile(path);
}

// --- The rules, driven through a fake stream ---

class FileWatcherRules : public ::testing::Test {
protected:
    FileWatcherRules()
    {
        auto stream = std::make_unique<FakeEventStream>();
        fake = stream.get();
        watcher = std::make_unique<OstrelFileWatcher>(std::move(stream));
        log = std::make_unique<ChangeLog>(*watcher);
    }

    FakeEventStream* fake;
    std::unique_ptr<OstrelFileWatcher> watcher;
    std::unique_ptr<ChangeLog> log;
    const FileURL music = url(QStringLiteral("/music"));
    const FileURL podcasts = url(QStringLiteral("/podcasts"));
};

TEST_F(FileWatcherRules, StartsWithNoFoldersAndNoStream)
{
    EXPECT_TRUE(watcher->monitoredFolders().empty());
    EXPECT_EQ(fake->starts, 0);
}

TEST_F(FileWatcherRules, OneStreamCoversEveryFolderWithOneSecondLatency)
{
    watcher->startWatching(music);
    watcher->startWatching(podcasts);
    EXPECT_EQ(fake->folders, (QStringList {"/music", "/podcasts"}));
    EXPECT_EQ(fake->latency, 1000ms);
}

// Remembered folders are watched without holding the caller while the
// stream walks them; a later change of the list queues behind that start.
TEST_F(FileWatcherRules, FoldersWatchedInTheBackgroundAreListedAtOnceAndStartOneStream)
{
    watcher->startWatchingInBackground({music, podcasts, music});
    EXPECT_EQ(watcher->monitoredFolders(), (std::vector {music, podcasts}));
    const FileURL audiobooks = url(QStringLiteral("/audiobooks"));
    watcher->startWatching(audiobooks);
    EXPECT_EQ(fake->starts, 2);
    EXPECT_EQ(fake->folders, (QStringList {"/music", "/podcasts", "/audiobooks"}));
    fake->deliver({{"/podcasts/episode.mp3", Flag::Created}});
    EXPECT_EQ(log->changes(), std::vector {FileSystemChange::added(url("/podcasts/episode.mp3"))});
}

TEST_F(FileWatcherRules, WatchingAFolderTwiceKeepsOneEntryAndTheStream)
{
    watcher->startWatching(music);
    watcher->startWatching(podcasts);
    watcher->startWatching(music);
    EXPECT_EQ(watcher->monitoredFolders(), (std::vector {music, podcasts}));
    EXPECT_EQ(fake->starts, 2);
}

TEST_F(FileWatcherRules, StoppingRebuildsOverTheRestAndTheLastLeavesNoStream)
{
    watcher->startWatching(music);
    watcher->startWatching(podcasts);
    watcher->stopWatching(music);
    EXPECT_EQ(watcher->monitoredFolders(), std::vector {podcasts});
    EXPECT_EQ(fake->folders, QStringList {"/podcasts"});
    watcher->stopWatching(podcasts);
    EXPECT_TRUE(watcher->monitoredFolders().empty());
    EXPECT_FALSE(fake->isRunning());
}

TEST_F(FileWatcherRules, AStreamThatCannotStartIsNotAnError)
{
    fake->refuseToStart = true;
    EXPECT_NO_THROW(watcher->startWatching(music));
    EXPECT_EQ(watcher->monitoredFolders(), std::vector {music});
}

TEST_F(FileWatcherRules, RemovalOutranksCreation)
{
    watcher->startWatching(music);
    fake->deliver({{"/music/a.mp3", Flag::Created | Flag::Removed}, {"/music/b.mp3", Flag::Created | Flag::Modified}, {"/music/c.mp3", Flag::Removed}});
    EXPECT_EQ(log->changes(), (std::vector {FileSystemChange::deleted(url("/music/a.mp3")), FileSystemChange::added(url("/music/b.mp3")), FileSystemChange::deleted(url("/music/c.mp3"))}));
}

TEST_F(FileWatcherRules, RenamesAndModificationsAreReportedAsModified)
{
    watcher->startWatching(music);
    fake->deliver({{"/music/old.mp3", Flag::Renamed}, {"/music/new.mp3", Flag::Renamed | Flag::Modified}, {"/music/c.mp3", Flag::Modified}});
    EXPECT_EQ(log->changes(), (std::vector {FileSystemChange::modified(url("/music/old.mp3")), FileSystemChange::modified(url("/music/new.mp3")), FileSystemChange::modified(url("/music/c.mp3"))}));
}

TEST_F(FileWatcherRules, EventsWithoutFlagsAreIgnored)
{
    watcher->startWatching(music);
    fake->deliver({{"/music/a.mp3", {}}});
    EXPECT_TRUE(log->changes().empty());
}

TEST_F(FileWatcherRules, PausedBatchesAreDroppedAndNotReplayedOnResume)
{
    watcher->startWatching(music);
    watcher->pause();
    fake->deliver({{"/music/while-paused.mp3", Flag::Created}});
    watcher->resume();
    fake->deliver({{"/music/after.mp3", Flag::Created}});
    EXPECT_EQ(log->changes(), std::vector {FileSystemChange::added(url("/music/after.mp3"))});
}

// --- The real stream, over inotify ---

class InotifyFileWatcher : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        library = folder(QStringLiteral("library"));
        watcher = std::make_unique<OstrelFileWatcher>(std::make_unique<InotifyEventStream>(), 100ms);
        log = std::make_unique<ChangeLog>(*watcher);
    }

    void TearDown() override
    {
        log.reset();
        watcher.reset();
        DataFolderTest::TearDown();
    }

    QString folder(const QString& name) const
    {
        const QString path = scratch(name);
        QDir().mkpath(path);
        return path;
    }

    QString file(const QString& path) const
    {
        test::writeFile(path, "ID3");
        return path;
    }

    QString library;
    std::unique_ptr<OstrelFileWatcher> watcher;
    std::unique_ptr<ChangeLog> log;
};

TEST_F(InotifyFileWatcher, WatchingTwiceKeepsOneEntry)
{
    watcher->startWatching(url(library));
    watcher->startWatching(url(library));
    EXPECT_EQ(watcher->monitoredFolders(), std::vector {url(library)});
}

TEST_F(InotifyFileWatcher, CreatedFileIsReportedAsAdded)
{
    watcher->startWatching(url(library));
    const QString song = file(library + "/song.mp3");
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(song))));
}

TEST_F(InotifyFileWatcher, WrittenFileIsReportedAsModified)
{
    const QString song = file(library + "/song.mp3");
    watcher->startWatching(url(library));
    test::writeFile(song, "ID3 tagged");
    EXPECT_TRUE(log->waitFor(FileSystemChange::modified(url(song))));
}

TEST_F(InotifyFileWatcher, NewSubfolderIsWatchedAndItsFilesReported)
{
    watcher->startWatching(url(library));
    const QString album = folder("library/Album");
    const QString first = file(album + "/01.mp3");
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(album))));
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(first))));
    const QString second = file(album + "/02.mp3");
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(second))));
}

TEST_F(InotifyFileWatcher, FolderMovedInIsReportedWithWhatItHolds)
{
    const QString outside = folder("outside/Album/Disc 1");
    file(outside + "/01.mp3");
    watcher->startWatching(url(library));
    ASSERT_TRUE(QDir().rename(scratch("outside/Album"), library + "/Album"));
    EXPECT_TRUE(log->waitFor(FileSystemChange::modified(url(library + "/Album"))));
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(library + "/Album/Disc 1/01.mp3"))));
    const QString later = file(library + "/Album/Disc 1/02.mp3");
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(later))));
}

TEST_F(InotifyFileWatcher, RenamedFolderIsWatchedUnderItsNewName)
{
    folder("library/Albm");
    watcher->startWatching(url(library));
    ASSERT_TRUE(QDir().rename(library + "/Albm", library + "/Album"));
    ASSERT_TRUE(log->waitFor(FileSystemChange::modified(url(library + "/Album"))));
    const QString song = file(library + "/Album/01.mp3");
    EXPECT_TRUE(log->waitFor(FileSystemChange::added(url(song))));
}

TEST_F(InotifyFileWatcher, FolderMovedAwayIsNoLongerWatched)
{
    folder("library/Album");
    folder("elsewhere");
    watcher->startWatching(url(library));
    ASSERT_TRUE(QDir().rename(library + "/Album", scratch("elsewhere/Album")));
    ASSERT_TRUE(log->waitFor(FileSystemChange::modified(url(library + "/Album"))));
    file(scratch("elsewhere/Album/01.mp3"));
    const QString marker = file(library + "/marker.mp3");
    EXPECT_EQ(log->upTo(FileSystemChange::added(url(marker))),
              (std::vector {FileSystemChange::modified(url(library + "/Album")), FileSystemChange::added(url(marker))}));
}

TEST_F(InotifyFileWatcher, DeletedFileIsReportedAsDeleted)
{
    const QString song = file(library + "/song.mp3");
    watcher->startWatching(url(library));
    ASSERT_TRUE(QFile::remove(song));
    EXPECT_TRUE(log->waitFor(FileSystemChange::deleted(url(song))));
}

TEST_F(InotifyFileWatcher, FileCreatedAndDeletedWithinTheWindowIsReportedAsDeleted)
{
    watcher->startWatching(url(library));
    const QString song = file(library + "/brief.mp3");
    ASSERT_TRUE(QFile::remove(song));
    EXPECT_TRUE(log->waitFor(FileSystemChange::deleted(url(song))));
    const QString marker = file(library + "/marker.mp3");
    EXPECT_EQ(log->upTo(FileSystemChange::added(url(marker))), (std::vector {FileSystemChange::deleted(url(song)), FileSystemChange::added(url(marker))}));
}

TEST_F(InotifyFileWatcher, RenameReportsBothPathsAsModified)
{
    const QString before = file(library + "/before.mp3");
    const QString after = library + "/after.mp3";
    watcher->startWatching(url(library));
    ASSERT_TRUE(QFile::rename(before, after));
    EXPECT_TRUE(log->waitFor(FileSystemChange::modified(url(after))));
    const QString marker = file(library + "/marker.mp3");
    EXPECT_EQ(log->upTo(FileSystemChange::added(url(marker))),
              (std::vector {FileSystemChange::modified(url(before)), FileSystemChange::modified(url(after)), FileSystemChange::added(url(marker))}));
}

TEST_F(InotifyFileWatcher, StoppingTheLastFolderStopsReporting)
{
    // With nothing watched there is no stream to order a marker after, so
    // the test gives the change ten times the stream's latency...
    const test::TimerBeats window {100ms, 10};
    watcher->startWatching(url(library));
    watcher->stopWatching(url(library));
    file(library + "/unseen.mp3");
    EXPECT_FALSE(test::happensWithin(window, [&] { return !log->changes().empty(); }));
    // ...in which a file made while the folder is watched is reported.
    watcher->startWatching(url(library));
    const QString seen = file(library + "/seen.mp3");
    EXPECT_TRUE(test::happensWithin(window, [&] { return log->contains(FileSystemChange::added(url(seen))); }));
    EXPECT_FALSE(log->contains(FileSystemChange::added(url(library + "/unseen.mp3"))));
}

TEST_F(InotifyFileWatcher, ChangesAreEmittedOnTheWatcherThread)
{
    QMutex mutex;
    QStringList threads;
    QObject::connect(watcher.get(), &FileWatcher::changeOccurred, watcher.get(), [&] {
        const QMutexLocker lock(&mutex);
        threads.append(QThread::currentThread() == qApp->thread() ? QStringLiteral("main") : QThread::currentThread()->objectName());
    }, Qt::DirectConnection);
    watcher->startWatching(url(library));
    const QString song = file(library + "/song.mp3");
    ASSERT_TRUE(log->waitFor(FileSystemChange::added(url(song))));
    const QMutexLocker lock(&mutex);
    EXPECT_EQ(threads, QStringList {"FileWatcherQueue"});
}

} // namespace
