#pragma once

#include <QString>

namespace varno {

// The per-user folder that holds every state file and cache folder: the XDG
// data home joined with "OstrelMediaStudio". Computed, never created here.
// Throws FileError when the platform gives no data home at all.
QString applicationFolderPath();

// Closes the application folder, when it is there and ours, to other users
// (0700), and returns its path. One that is missing is left for the first
// writer, which makes it private. Throws FileError when the folder belongs to
// another user (it is then neither used for this nor changed) or there is no
// data home. Blocking; for the start of a process, before any state file is
// touched.
QString makeApplicationFolderPrivate();

} // namespace varno
