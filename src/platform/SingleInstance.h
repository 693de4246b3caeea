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
// The socket and its lock live only in a folder nobody else may enter: the
// runtime folder when it is ours and private, else "Instance" inside the
// application folder, never the shared temporary folder. Both ends check
// that the other is a process of the same user before a file list passes.
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

    // The bus name and socket the running instance listens on; no socket
    // when no private folder could be had for it.
    const QString& busName() const { return m_busName; }
    const QString& socketPath() const { return m_socketPath; }

    // Called by the bus adaptor; also what a socket delivers.
    void receive(const QStringList& uris);

signals:
    // Another start asked for these files (none: just show the window).
    void activated(const QStringList& uris);

private:
    void chooseSocketFolder(const QString& key, const QByteArray& hash);
    bool forwardOverBus(const QStringList& uris);
    bool forwardOverSocket(const QStringList& uris);
    void listen();
    void readClient(QLocalSocket* client);

    QDBusConnection m_bus;
    QString m_busName;
    QString m_socketPath;
    // Why there is no socket, when there is none.
    QString m_noSocketReason;
    bool m_reportedForeignServer = false;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    bool m_ownsBusName = false;
};

} // namespace varno
