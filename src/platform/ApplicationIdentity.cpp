#include "ApplicationIdentity.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace varno {

QString applicationVersion()
{
    return QStringLiteral(VARNO_VERSION);
}

void applyApplicationIdentity()
{
    QCoreApplication::setOrganizationName(kOrganizationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QCoreApplication::setApplicationVersion(applicationVersion());
    QGuiApplication::setApplicationDisplayName(kApplicationDisplayName);
}

} // namespace varno
