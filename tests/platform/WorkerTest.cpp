#include "TestSupport.h"

#include "platform/Worker.h"

#include <QElapsedTimer>
#include <QThread>

#include <stdexcept>

using namespace varno;
using test::await;

namespace {

struct CustomError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

QCoro::Task<QThread*> hopAndReport(QThreadPool* pool, QThread** workedOn)
{
    auto work = runOn(pool, [workedOn] { *workedOn = QThread::currentThread(); });
    co_await work;
    co_return QThread::currentThread();
}

} // namespace

TEST(Worker, WorkRunsOnThePoolAndTheCallerResumesOnItsOwnThread)
{
    QThreadPool pool;
    QThread* workedOn = nullptr;
    QThread* resumedOn = await(hopAndReport(&pool, &workedOn));
    EXPECT_NE(workedOn, QThread::currentThread());
    EXPECT_EQ(resumedOn, QThread::currentThread());
}

TEST(Worker, ExceptionsKeepTheirType)
{
    QThreadPool pool;
    EXPECT_THROW(await(runOn(&pool, []() -> int { throw CustomError("kept"); })), CustomError);
    EXPECT_EQ(test::errorText([&] { await(runOn(&pool, [] { throw CustomError("the text"); })); }), QStringLiteral("the text"));
}

TEST(Worker, ThousandsOfHopsAllComeBack)
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::vector<QCoro::Task<int>> tasks;
    for (int i = 0; i < 3000; ++i)
        tasks.push_back(runOn(&pool, [i] { return i * 2; }));
    long long sum = 0;
    for (auto& task : tasks)
        sum += await(std::move(task));
    EXPECT_EQ(sum, 2LL * (2999LL * 3000 / 2));
    // After a burst, a lone hop is resumed right away again.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(await(runOn(&pool, [] { return 7; })), 7);
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST(Worker, SerialWorkerKeepsRequestOrder)
{
    SerialWorker worker(QStringLiteral("Test"));
    std::vector<int> order;
    std::vector<QCoro::Task<>> tasks;
    for (int i = 0; i < 200; ++i)
        tasks.push_back(worker.run([&order, i] { order.push_back(i); }));
    for (auto& task : tasks)
        await(std::move(task));
    ASSERT_EQ(order.size(), 200u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}
