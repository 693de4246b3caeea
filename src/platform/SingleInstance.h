#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace varno {

// Keeps one app per library. The first start takes a lock in the runtime
// folder and listens, on the session bus and on a local socket (for a
// machine without a bus); a later start hands its files to it and ends,
// rather than racing it on the state files. The key (the application
// folder) keeps apps over different libraries apart.
//
// Main thread only.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        // This process is the running instance.
        Primary,
        // The running instance took the files; this process should end.
        HandedOver,
        // Another instance holds the lock but answers on neither channel.
        Unanswered,
    };

    SingleInstance(QDBusConnection bus, const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running instance, or hands `uris` (absolute file URLs,
    // possibly none) to the one running. Blocks for at most a few seconds
    // while a starting instance gets ready to listen.
    Outcome claim(const QStringList& uris);

    // The bus name and socket the running instance listens on.
    const QString& busName() const { return m_busName; }
    const QString& socketPath() const { return m_socketPath; }

    // Called by the bus adaptor; also what a socket delivers.
    void receive(const QStringList& uris);

signals:
    // Another start asked for these files (none: just show the window).
    void activated(const QStringList& uris);

private:
    bool forwardOverBus(const QStringList& uris);
    bool forwardOverSocket(const QStringList& uris);
    void listen();
    void readClient(QLocalSocket* client);

    QDBusConnection m_bus;
    QString m_busName;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    bool m_ownsBusName = false;
};

} // namespace varno
