#pragma once

#include <QString>

namespace varno {

// Names under which the app, the CLI and the tests find the same preferences.
inline const QString kOrganizationName = QStringLiteral("Varno");
inline const QString kApplicationName = QStringLiteral("varno");
inline const QString kApplicationDisplayName = QStringLiteral("VARNO MUSIC");

// Sets the organisation and application names on the running QCoreApplication.
void applyApplicationIdentity();

} // namespace varno
