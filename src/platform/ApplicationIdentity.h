#pragma once

#include <QString>

namespace varno {

// Names under which the app, the CLI and the tests find the same preferences.
inline const QString kOrganizationName = QStringLiteral("Varno");
inline const QString kApplicationName = QStringLiteral("varno");
inline const QString kApplicationDisplayName = QStringLiteral("VARNO MUSIC");

// This build's version, "x.y.z", as the top-level CMake project states it.
// Needs no QCoreApplication, so `--version` answers without a display.
QString applicationVersion();

// Sets the organisation and application names and the version on the
// running QCoreApplication.
void applyApplicationIdentity();

} // namespace varno
