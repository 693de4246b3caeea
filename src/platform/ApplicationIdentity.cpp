#include "ApplicationIdentity.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace varno {

void applyApplicationIdentity()
{
    QCoreApplication::setOrganizationName(kOrganizationName);
    QCoreApplication::setApplicationName(kApplicationName);
    QGuiApplication::setApplicationDisplayName(kApplicationDisplayName);
}

} // namespace varno
