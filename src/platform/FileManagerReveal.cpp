#include "FileManagerReveal.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

namespace varno {

Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

void revealInFileManager(QDBusConnection bus, const QString& path, std::function<void(const QString& folder)> fallback)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!bus.isConnected()) {
        fallback(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                                                      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, folder, fallback = std::move(fallback)] {
        watcher->deleteLater();
        if (!watcher->isError())
            return;
        qCDebug(lcDesktop) << "no file manager showed the file:" << watcher->error().message();
        fallback(folder);
    });
}

} // namespace varno
