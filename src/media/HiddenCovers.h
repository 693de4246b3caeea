#pragma once

#include "platform/FileIO.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>

namespace varno {

// The songs whose own cover, embedded in the file or lying beside it, the
// user asked not to be shown ("Remove Artwork"). Audio files are never
// changed for that: the marks are one JSON array of song ids in a file of
// their own. Each change is a read-modify-write of that file under the
// state lock, so marks another process made meanwhile stay, and the file is
// read again whenever it changed on disk.
//
// Blocking and not thread-safe: the artwork cache uses it on its one serial
// worker only.
class HiddenCovers {
public:
    // `lockPath` is the state lock of the folder `path` is in.
    HiddenCovers(QString path, QString lockPath);

    // A file that cannot be read hides nothing; that is logged once for
    // each version of it.
    bool contains(const QUuid& song);

    // Each throws FileError, LockTimeoutError, or json::DecodingError when
    // the file there cannot be read; such a file is left as it is.
    void hide(const QUuid& song);
    void reveal(const QUuid& song);
    void clear();

private:
    const QSet<QUuid>& current();
    void change(const std::function<void(QSet<QUuid>&)>& edit);

    QString m_path;
    QString m_lockPath;
    std::chrono::milliseconds m_lockWait;
    fileio::FileVersion m_knownVersion;
    QSet<QUuid> m_known;
    fileio::FileVersion m_reportedVersion;
};

} // namespace varno
