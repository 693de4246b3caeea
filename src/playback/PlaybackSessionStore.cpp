#include "PlaybackSessionStore.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <future>

namespace varno {

PlaybackSessionStore::PlaybackSessionStore(DatabaseManager& database)
    : m_database(database)
{
    // Session writes are housekeeping: they must never compete with decoding.
    m_queue.pool()->setThreadPriority(QThread::LowPriority);
}

PlaybackSessionStore::~PlaybackSessionStore() = default;

void PlaybackSessionStore::save(const PlaybackStateSnapshot& snapshot, Completion completion)
{
    save([snapshot] { return snapshot; }, std::move(completion));
}

std::exception_ptr PlaybackSessionStore::saveNow(const PlaybackStateSnapshot& snapshot)
{
    return saveNow([&snapshot] { return snapshot; });
}

void PlaybackSessionStore::save(SnapshotMaker snapshot, Completion completion)
{
    {
        std::lock_guard lock(m_pending->mutex);
        if (m_pending->waiting) {
            m_pending->waiting->snapshot = std::move(snapshot);
            if (completion)
                m_pending->waiting->completions.push_back(std::move(completion));
            return;
        }
        m_pending->waiting = Waiting {std::move(snapshot), {}};
        if (completion)
            m_pending->waiting->completions.push_back(std::move(completion));
    }
    DatabaseManager* database = &m_database;
    std::shared_ptr<Pending> pending = m_pending;
    m_queue.pool()->start([database, pending] {
        Waiting taken;
        {
            std::lock_guard lock(pending->mutex);
            taken = std::move(*pending->waiting);
            pending->waiting.reset();
        }
        std::exception_ptr error;
        try {
            database->savePlaybackState(taken.snapshot());
        } catch (...) {
            error = std::current_exception();
        }
        if (taken.completions.empty())
            return;
        // The application object lives on the main thread, so posting to it
        // runs the completions there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [completions = std::move(taken.completions), error] {
                for (const Completion& completion : completions)
                    completion(error);
            },
            Qt::QueuedConnection);
    });
}

std::exception_ptr PlaybackSessionStore::saveNow(SnapshotMaker snapshot)
{
    std::promise<std::exception_ptr> written;
    std::future<std::exception_ptr> result = written.get_future();
    DatabaseManager* database = &m_database;
    m_queue.pool()->start([database, &snapshot, &written] {
        try {
            database->savePlaybackState(snapshot());
            written.set_value(nullptr);
        } catch (...) {
            written.set_value(std::current_exception());
        }
    });
    return result.get();
}

} // namespace varno
