#include "FolderChangeMonitor.h"

#include <QLoggingCategory>

namespace varno {

Q_LOGGING_CATEGORY(lcFolderMonitor, "varno.folders")

FolderChangeMonitor::FolderChangeMonitor(const QString& folder, int quietMilliseconds, int longestWaitMilliseconds, QObject* parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMilliseconds);
    m_longestWait.setSingleShot(true);
    m_longestWait.setInterval(longestWaitMilliseconds);
    connect(&m_quiet, &QTimer::timeout, this, &FolderChangeMonitor::report);
    connect(&m_longestWait, &QTimer::timeout, this, &FolderChangeMonitor::report);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderChangeMonitor::noteChange);
    // Without a watch the app still works; it just learns of other processes'
    // changes only when it next writes.
    if (!m_watcher.addPath(folder))
        qCWarning(lcFolderMonitor).noquote() << "Changes by other processes in" << folder << "cannot be watched";
}

void FolderChangeMonitor::noteChange()
{
    m_quiet.start();
    if (!m_longestWait.isActive())
        m_longestWait.start();
}

void FolderChangeMonitor::report()
{
    m_quiet.stop();
    m_longestWait.stop();
    emit changed();
}

} // namespace varno
