#include "TestSupport.h"

#include "platform/FolderChangeMonitor.h"

#include <QDir>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using namespace varno;

namespace {

class FolderChangeMonitorTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        folder = scratch(QStringLiteral("watched"));
        QDir().mkpath(folder);
    }

    // Another process saving into the folder every `interval`, for as long
    // as the returned timer lives.
    std::unique_ptr<QTimer> keepWriting(std::chrono::milliseconds interval)
    {
        auto writer = std::make_unique<QTimer>();
        writer->setInterval(interval);
        QObject::connect(writer.get(), &QTimer::timeout, writer.get(), [this] {
            test::writeFile(folder + QStringLiteral("/file-%1").arg(writes++), "x");
        });
        writer->start();
        return writer;
    }

    QString folder;
    int writes = 0;
};

TEST_F(FolderChangeMonitorTest, ABurstOfChangesIsReportedOnceTheFolderIsQuiet)
{
    FolderChangeMonitor monitor(folder, 100, 5000);
    QSignalSpy changed(&monitor, &FolderChangeMonitor::changed);
    for (int i = 0; i < 5; ++i)
        test::writeFile(folder + QStringLiteral("/burst-%1").arg(i), "x");
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 1; }));
    EXPECT_FALSE(monitor.isPending());
    // Nothing more happened, so nothing more is reported.
    EXPECT_FALSE(test::happensWithin({std::chrono::milliseconds(100), 4}, [&] { return changed.count() > 1; }));
    test::writeFile(folder + QStringLiteral("/later"), "x");
    EXPECT_TRUE(test::happensWithin({std::chrono::milliseconds(100), 40}, [&] { return changed.count() == 2; }));
}

// Another process writing every fraction of a second never leaves the folder
// quiet; the app must still look at least once per longest wait, or it works
// on (and writes back) a list the other process has changed.
TEST_F(FolderChangeMonitorTest, AFolderThatNeverGoesQuietIsStillReportedWithinTheLongestWait)
{
    FolderChangeMonitor monitor(folder, 1000, 300);
    QSignalSpy changed(&monitor, &FolderChangeMonitor::changed);
    const auto writer = keepWriting(std::chrono::milliseconds(50));
    EXPECT_TRUE(test::waitUntil([&] { return changed.count() >= 3; }, std::chrono::seconds(20)));
    // Each report covered many writes: the quiet period still groups them.
    EXPECT_GT(writes, changed.count());
}

} // namespace
