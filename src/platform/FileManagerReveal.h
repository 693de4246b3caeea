#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>

namespace varno {

// Shows a file, selected, in the desktop's file manager through
// org.freedesktop.FileManager1.ShowItems. When no file manager answers (none
// installed, no session bus), `fallback` runs with the containing folder.
// Returns at once: the answer is awaited on the event loop, since a file
// manager started on demand can take seconds. Main thread only.
void revealInFileManager(QDBusConnection bus, const QString& path, std::function<void(const QString& folder)> fallback);

} // namespace varno
