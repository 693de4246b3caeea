#pragma once

#include <QtGlobal>

namespace varno {

// Milliseconds since the system started this process, loading of its
// libraries included, to the nearest clock tick (10 ms); -1 when the system
// does not say.
qint64 millisecondsSinceProcessStart();

} // namespace varno
