#pragma once

#include <QString>

namespace varno {

// The per-user folder that holds every state file and cache folder: the XDG
// data home joined with "OstrelMediaStudio". Computed, never created here.
// Throws FileError when the platform gives no data home at all.
QString applicationFolderPath();

} // namespace varno
