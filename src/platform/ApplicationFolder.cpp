#include "ApplicationFolder.h"

#include "FileError.h"

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

} // namespace varno
