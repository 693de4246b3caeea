#include "ApplicationFolder.h"

#include "FileError.h"
#include "FileIO.h"

#include <QStandardPaths>

#include <cerrno>

namespace varno {

QString applicationFolderPath()
{
    // GenericDataLocation honours XDG_DATA_HOME, which is how tests and users
    // move the whole library elsewhere.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        throw FileError(FileError::Operation::Create, QStringLiteral("OstrelMediaStudio"), ENOENT);
    return dataHome + QStringLiteral("/OstrelMediaStudio");
}

QString makeApplicationFolderPrivate()
{
    const QString folder = applicationFolderPath();
    // Versions before this one made the folder readable by everybody, so
    // other users could read the whole library and take the state lock to
    // stall every write. Closing the folder itself is enough: nothing inside
    // can be reached through it any more, whatever the files' own modes.
    if (fileio::exists(folder))
        fileio::createPrivateFolder(folder);
    return folder;
}

} // namespace varno
