#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace varno {

// Says when the entries of one folder have changed and then stayed quiet for
// a moment: a save by another process is a temporary file, a rename and
// perhaps a backup link, and deserves one look, not three. A folder that
// never goes quiet (another process writing every fraction of a second) is
// still reported at least once per longest wait, so the app never goes on
// for long from a list that another process has changed. Main thread only.
class FolderChangeMonitor final : public QObject {
    Q_OBJECT

public:
    explicit FolderChangeMonitor(const QString& folder, int quietMilliseconds = 250, int longestWaitMilliseconds = 1000,
                                 QObject* parent = nullptr);

    // A change was seen and changed() will follow once the folder is quiet,
    // or when the longest wait is over.
    bool isPending() const { return m_quiet.isActive() || m_longestWait.isActive(); }

signals:
    void changed();

private:
    void noteChange();
    void report();

    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
    // Started by the first change after a report, not restarted by later ones.
    QTimer m_longestWait;
};

} // namespace varno
