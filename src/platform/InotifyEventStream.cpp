#include "InotifyEventStream.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

namespace varno {

Q_LOGGING_CATEGORY(lcWatcher, "varno.watcher")

namespace {

// IN_MODIFY arrives for every write; the kernel merges identical events queued
// back to back, and the latency window merges the rest, so a long copy costs a
// handful of events rather than one per write. IN_MOVE_SELF is only acted on
// for the folders the caller named: a subfolder's move is seen by its parent.
constexpr quint32 kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY
    | IN_ATTRIB | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

// The watch limit is a property of the whole system and the remedy is the same
// every time, so it is reported once per process however often streams are
// rebuilt.
std::atomic<bool> watchLimitReported {false};

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString watchLimit()
{
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll().trimmed());
}

FileEventStream::Flags flagsOf(quint32 mask)
{
    FileEventStream::Flags flags;
    if (mask & IN_CREATE)
        flags |= FileEventStream::Flag::Created;
    if (mask & IN_DELETE)
        flags |= FileEventStream::Flag::Removed;
    if (mask & (IN_MOVED_FROM | IN_MOVED_TO))
        flags |= FileEventStream::Flag::Renamed;
    if (mask & (IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB))
        flags |= FileEventStream::Flag::Modified;
    return flags;
}

// Whether a directory entry is a folder. Symbolic links are not: following
// them could watch a tree twice or leave the library altogether.
bool isFolder(DIR* dir, const dirent* entry)
{
    if (entry->d_type != DT_UNKNOWN)
        return entry->d_type == DT_DIR;
    struct stat info;
    if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return S_ISDIR(info.st_mode);
}

} // namespace

InotifyEventStream::InotifyEventStream() = default;

InotifyEventStream::~InotifyEventStream()
{
    stop();
}

bool InotifyEventStream::start(const QStringList& folders, std::chrono::milliseconds latency, BatchHandler handler)
{
    stop();
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        if (error == EMFILE)
            qCWarning(lcWatcher).noquote() << "Folders are not watched for changes: too many inotify instances are open"
                                           << "(the limit is fs.inotify.max_user_instances in /proc/sys/fs/inotify/max_user_instances).";
        else
            qCWarning(lcWatcher).noquote() << "Folders are not watched for changes:" << systemReason(error);
        return false;
    }

    m_handler = std::move(handler);
    m_overflowReported = false;

    // The timer outlives stop() on purpose: the handler may stop or restart the
    // stream from inside a delivery, which runs in this timer's signal, and an
    // object must not be deleted while it is emitting.
    if (!m_latencyTimer) {
        m_latencyTimer = std::make_unique<QTimer>();
        m_latencyTimer->setSingleShot(true);
        QObject::connect(m_latencyTimer.get(), &QTimer::timeout, m_latencyTimer.get(), [this] { deliver(); });
    }
    m_latencyTimer->setInterval(latency);

    // Every root is known before any is walked: a root inside another is
    // still recognised as one when the outer walk reaches it.
    m_roots.clear();
    for (const QString& folder : folders) {
        if (!folder.isEmpty())
            m_roots.append(QDir::cleanPath(folder));
    }
    for (const QString& root : std::as_const(m_roots))
        watchTree(root, Walk::Quiet);

    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readEvents(); });
    return true;
}

void InotifyEventStream::stop()
{
    if (m_fd < 0)
        return;
    // The notifier goes before its descriptor is closed; it is never deleted
    // from inside its own signal, since reading events never calls the handler.
    m_notifier.reset();
    ::close(m_fd);
    m_fd = -1;
    m_latencyTimer->stop();
    m_handler = nullptr;
    m_roots.clear();
    m_pathByWatch.clear();
    m_watchByPath.clear();
    m_pending.clear();
    m_pendingIndex.clear();
}

void InotifyEventStream::readEvents()
{
    alignas(inotify_event) char buffer[64 * 1024];
    while (m_fd >= 0) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                qCWarning(lcWatcher).noquote() << "Reading file changes failed:" << systemReason(errno);
            return;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            const QString name = event->len > 0 ? QFile::decodeName(event->name) : QString();
            handleEvent(event->wd, event->mask, name);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void InotifyEventStream::handleEvent(int wd, quint32 mask, const QString& name)
{
    if (mask & IN_Q_OVERFLOW) {
        if (!m_overflowReported) {
            m_overflowReported = true;
            qCWarning(lcWatcher).noquote() << "Some file changes were lost: more happened at once than the kernel queues"
                                           << "(fs.inotify.max_queued_events).";
        }
        return;
    }
    if (mask & IN_IGNORED) {
        forgetWatch(wd);
        return;
    }

    // Events still queued for a folder that has since been unwatched are
    // stale: their paths would name where the folder used to be.
    // The folder is copied out: unwatching changes the table it came from.
    const auto found = m_pathByWatch.constFind(wd);
    if (found == m_pathByWatch.constEnd())
        return;
    const QString folder = *found;

    if (mask & IN_MOVE_SELF) {
        // A watched folder the caller named was moved: what is inside is no
        // longer where the caller expects it.
        if (m_roots.contains(folder))
            unwatchTree(folder);
        return;
    }
    // Changes to a folder itself are reported by its parent's watch.
    if (name.isEmpty())
        return;

    const QString path = childPath(folder, name);
    if (const Flags flags = flagsOf(mask))
        record(path, flags);

    if (mask & IN_ISDIR) {
        if (mask & (IN_DELETE | IN_MOVED_FROM))
            unwatchTree(path);
        else if (mask & (IN_CREATE | IN_MOVED_TO))
            watchTree(path, Walk::ReportContents);
    }
}

// Watches `folder` and every folder below it. When the folder is new to the
// tree, what it already holds is reported as created: it may have been moved
// in whole, or filled before its watch existed.
void InotifyEventStream::watchTree(const QString& folder, Walk walk)
{
    QStringList toVisit {folder};
    while (!toVisit.isEmpty()) {
        const QString current = toVisit.takeLast();
        switch (addWatch(current)) {
        case Watch::Added:
            break;
        case Watch::AlreadyWatched:
        case Watch::Failed:
            continue;
        case Watch::LimitReached:
            // Every further watch would fail the same way, so the rest of the
            // tree is not tried folder by folder. A folder that has just
            // appeared is still listed: what it holds is real news.
            if (walk == Walk::Quiet)
                return;
            break;
        }

        DIR* dir = ::opendir(QFile::encodeName(current).constData());
        if (!dir) {
            qCDebug(lcWatcher).noquote() << "Cannot list" << current << "to watch its subfolders:" << systemReason(errno);
            continue;
        }
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            const QString path = childPath(current, QFile::decodeName(entry->d_name));
            if (walk == Walk::ReportContents)
                record(path, Flag::Created);
            if (isFolder(dir, entry))
                toVisit.append(path);
        }
        ::closedir(dir);
    }
}

InotifyEventStream::Watch InotifyEventStream::addWatch(const QString& folder)
{
    // The folders the caller named may be symbolic links; nothing below them is
    // followed.
    const bool isRoot = m_roots.contains(folder);
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), isRoot ? kWatchMask : kWatchMask | IN_DONT_FOLLOW);
    if (wd < 0) {
        const int error = errno;
        if (error == ENOSPC) {
            if (!watchLimitReported.exchange(true)) {
                qCWarning(lcWatcher).noquote()
                    << QStringLiteral("Only part of the library is watched for changes: the system limit of %1 inotify watches "
                                      "(fs.inotify.max_user_watches) is reached. Raise it by writing a larger number to "
                                      "/proc/sys/fs/inotify/max_user_watches, for example `sudo sysctl fs.inotify.max_user_watches=524288`.")
                           .arg(watchLimit());
            }
            return Watch::LimitReached;
        }
        // A subfolder can vanish between being listed and being watched, or
        // be unreadable; only the folders the caller named are worth a warning.
        if (isRoot)
            qCWarning(lcWatcher).noquote() << "Cannot watch" << folder << "for changes:" << systemReason(error);
        else
            qCDebug(lcWatcher).noquote() << "Cannot watch" << folder << "for changes:" << systemReason(error);
        return Watch::Failed;
    }
    // The same folder reached through a second path (nested or linked folders
    // the caller named) keeps its first path and is not walked twice.
    if (m_pathByWatch.contains(wd))
        return Watch::AlreadyWatched;
    m_pathByWatch.insert(wd, folder);
    m_watchByPath.insert(folder, wd);
    return Watch::Added;
}

void InotifyEventStream::unwatchTree(const QString& folder)
{
    const auto unwatch = [this](QMap<QString, int>::iterator it) {
        ::inotify_rm_watch(m_fd, it.value());
        m_pathByWatch.remove(it.value());
        return m_watchByPath.erase(it);
    };

    if (const auto self = m_watchByPath.find(folder); self != m_watchByPath.end())
        unwatch(self);
    // Paths below the folder sort together after "folder/"; "folder 2" sorts
    // before them and is left alone.
    const QString prefix = childPath(folder, QString());
    auto it = m_watchByPath.lowerBound(prefix);
    while (it != m_watchByPath.end() && it.key().startsWith(prefix))
        it = unwatch(it);
}

void InotifyEventStream::forgetWatch(int wd)
{
    const auto found = m_pathByWatch.find(wd);
    if (found == m_pathByWatch.end())
        return;
    const auto path = m_watchByPath.find(*found);
    if (path != m_watchByPath.end() && path.value() == wd)
        m_watchByPath.erase(path);
    m_pathByWatch.erase(found);
}

void InotifyEventStream::record(const QString& path, Flags flags)
{
    if (const auto found = m_pendingIndex.constFind(path); found != m_pendingIndex.constEnd()) {
        m_pending[static_cast<std::size_t>(*found)].flags |= flags;
        return;
    }
    m_pendingIndex.insert(path, static_cast<qsizetype>(m_pending.size()));
    m_pending.push_back({path, flags});
    if (!m_latencyTimer->isActive())
        m_latencyTimer->start();
}

void InotifyEventStream::deliver()
{
    // The batch is taken out first: the handler may stop or restart the stream.
    // The handler is copied too, as stopping clears the member while the copy
    // runs.
    const Batch batch = std::exchange(m_pending, {});
    m_pendingIndex.clear();
    const BatchHandler handler = m_handler;
    if (handler && !batch.empty())
        handler(batch);
}

} // namespace varno
