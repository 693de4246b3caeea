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
    DatabaseManager* database = &m_database;
    m_queue.pool()->start([database, snapshot, completion = std::move(completion)] {
        std::exception_ptr error;
        try {
            database->savePlaybackState(snapshot);
        } catch (...) {
            error = std::current_exception();
        }
        if (!completion)
            return;
        // The application object lives on the main thread, so posting to it
        // runs the completion there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion, error] { completion(error); }, Qt::QueuedConnection);
    });
}

std::exception_ptr PlaybackSessionStore::saveNow(const PlaybackStateSnapshot& snapshot)
{
    std::promise<std::exception_ptr> written;
    std::future<std::exception_ptr> result = written.get_future();
    DatabaseManager* database = &m_database;
    m_queue.pool()->start([database, &snapshot, &written] {
        try {
            database->savePlaybackState(snapshot);
            written.set_value(nullptr);
        } catch (...) {
            written.set_value(std::current_exception());
        }
    });
    return result.get();
}

} // namespace varno
