#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace varno {

// Says when the entries of one folder have changed and then stayed quiet for
// a moment: a save by another process is a temporary file, a rename and
// perhaps a backup link, and deserves one look, not three. Main thread only.
class FolderChangeMonitor final : public QObject {
    Q_OBJECT

public:
    explicit FolderChangeMonitor(const QString& folder, int quietMilliseconds = 250, QObject* parent = nullptr);

    // A change was seen and changed() will follow once the folder is quiet.
    bool isPending() const { return m_quiet.isActive(); }

signals:
    void changed();

private:
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
};

} // namespace varno
