#pragma once

class QCoreApplication;

namespace varno {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl-C, a closed terminal) into
// an orderly QCoreApplication::quit(), so aboutToQuit handlers run and
// state is written before the process ends. Call once, after the
// application object exists.
void quitOnTerminationSignals(QCoreApplication& application);

} // namespace varno
