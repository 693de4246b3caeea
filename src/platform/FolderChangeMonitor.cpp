#include "FolderChangeMonitor.h"

#include <QLoggingCategory>

namespace varno {

Q_LOGGING_CATEGORY(lcFolderMonitor, "varno.folders")

FolderChangeMonitor::FolderChangeMonitor(const QString& folder, int quietMilliseconds, QObject* parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMilliseconds);
    connect(&m_quiet, &QTimer::timeout, this, &FolderChangeMonitor::changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_quiet.start(); });
    // Without a watch the app still works; it just learns of other processes'
    // changes only when it next writes.
    if (!m_watcher.addPath(folder))
        qCWarning(lcFolderMonitor).noquote() << "Changes by other processes in" << folder << "cannot be watched";
}

} // namespace varno
