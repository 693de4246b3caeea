#include "SingleInstance.h"

#include "platform/DesktopEntry.h"
#include "platform/Diagnostics.h"
#include "platform/Error.h"
#include "platform/FileIO.h"

#include <QCryptographicHash>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QThread>

#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno {

Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

namespace {

constexpr const char* kObjectPath = "/org/varno/Music";
constexpr const char* kInterface = "org.varno.Music.Instance";
// A second start waits this long for a starting first one to listen.
constexpr int kForwardWaitMs = 5000;

// XDG_RUNTIME_DIR when it is fit for a socket only we may reach: a folder of
// ours that nobody else may enter. Empty otherwise.
QString privateRuntimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (!runtime.startsWith('/') || ::stat(runtime.constData(), &info) != 0)
        return {};
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 0777) != 0700)
        return {};
    return QFile::decodeName(runtime);
}

// The user of the process at the other end of a connected local socket, as
// the kernel recorded it when the connection was made; absent when it does
// not say.
std::optional<uid_t> peerUser(const QLocalSocket& socket)
{
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (socket.socketDescriptor() < 0
        || ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials.uid;
}

QString describeUser(const std::optional<uid_t>& user)
{
    return user ? QStringLiteral("uid %1").arg(*user) : QStringLiteral("an unknown user");
}

} // namespace

// "org.varno.Music.Instance" at /org/varno/Music: Open(as uris).
class SingleInstanceAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.varno.Music.Instance")

public:
    explicit SingleInstanceAdaptor(SingleInstance& instance)
        : QDBusAbstractAdaptor(&instance)
        , m_instance(instance)
    {
    }

public slots:
    void Open(const QStringList& uris) { m_instance.receive(uris); }

private:
    SingleInstance& m_instance;
};

SingleInstance::SingleInstance(QDBusConnection bus, const QString& key, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    // Names may not start with a digit, hence the letter before the hash.
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    m_busName = kDesktopEntryID + QStringLiteral(".L") + QString::fromLatin1(hash);
    chooseSocketFolder(key, hash);
    new SingleInstanceAdaptor(*this);
}

void SingleInstance::chooseSocketFolder(const QString& key, const QByteArray& hash)
{
    // Never the shared temporary folder: another user could make the socket
    // there first, be handed our files and keep this app from starting.
    QString folder = privateRuntimeFolder();
    if (folder.isEmpty()) {
        if (!QDir::isAbsolutePath(key)) {
            m_noSocketReason = QStringLiteral("there is neither a private runtime folder nor a library folder");
            return;
        }
        folder = key + QStringLiteral("/Instance");
        try {
            fileio::createPrivateFolder(folder);
        } catch (const Error& error) {
            m_noSocketReason = error.description();
            return;
        }
    }
    m_socketPath = QDir(folder).filePath(QStringLiteral("varno-%1.socket").arg(QString::fromLatin1(hash)));
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_ownsBusName) {
        m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
        m_bus.unregisterService(m_busName);
    }
}

SingleInstance::Outcome SingleInstance::claim(const QStringList& uris)
{
    if (m_socketPath.isEmpty()) {
        // Without a lock only the bus can find a running instance, and only
        // the bus can be found by a later one.
        if (forwardOverBus(uris))
            return Outcome::HandedOver;
        printDiagnostic(QStringLiteral("Later starts over this library may not find this VARNO MUSIC and run beside it: %1").arg(m_noSocketReason));
        listen();
        return Outcome::Primary;
    }
    // The lock decides who runs; a lock whose owner died is taken over.
    m_lock = std::make_unique<QLockFile>(m_socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return Outcome::Primary;
    }
    m_lock.reset();
    // The running one may still be starting: try both ways until it answers.
    const QDeadlineTimer deadline(kForwardWaitMs);
    do {
        if (forwardOverBus(uris) || forwardOverSocket(uris))
            return Outcome::HandedOver;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    printDiagnostic(QStringLiteral("Another VARNO MUSIC is running over this library but does not answer"));
    return Outcome::Unanswered;
}

bool SingleInstance::forwardOverBus(const QStringList& uris)
{
    if (!m_bus.isConnected() || !m_bus.interface() || !m_bus.interface()->isServiceRegistered(m_busName))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(m_busName, QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterface),
                                                      QStringLiteral("Open"));
    call << uris;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kForwardWaitMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCWarning(lcDesktop) << "handing the files over the session bus failed:" << reply.errorMessage();
        return false;
    }
    return true;
}

bool SingleInstance::forwardOverSocket(const QStringList& uris)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(500))
        return false;
    // The folder is private, yet the file list is only for our own app.
    const std::optional<uid_t> server = peerUser(socket);
    if (server != ::geteuid()) {
        if (!std::exchange(m_reportedForeignServer, true))
            qCWarning(lcDesktop).noquote() << "the socket" << m_socketPath << "is served by" << describeUser(server) << "and is not handed the files";
        socket.abort();
        return false;
    }
    // One URL a line (URLs hold no line breaks), then an empty line; the
    // running instance answers "ok" once it has them.
    QByteArray message;
    for (const QString& uri : uris)
        message += uri.toUtf8() + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(kForwardWaitMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kForwardWaitMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

void SingleInstance::listen()
{
    if (m_bus.isConnected()) {
        m_ownsBusName = m_bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors)
                        && m_bus.registerService(m_busName);
        if (!m_ownsBusName)
            qCWarning(lcDesktop) << "the session bus name" << m_busName << "could not be taken:" << m_bus.lastError().message();
    }
    if (m_socketPath.isEmpty())
        return;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by an instance that died goes; the lock says none runs.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        qCWarning(lcDesktop) << "the socket for later starts could not be opened:" << m_server->errorString();
        return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            // Only a process of our own user may hand us files: anybody
            // else's could make the app open what they chose.
            const std::optional<uid_t> peer = peerUser(*client);
            if (peer != ::geteuid()) {
                qCWarning(lcDesktop).noquote() << "a connection from" << describeUser(peer) << "was refused";
                client->abort();
                client->deleteLater();
                continue;
            }
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] { readClient(client); });
            readClient(client);
        }
    });
}

void SingleInstance::readClient(QLocalSocket* client)
{
    QStringList uris = client->property("uris").toStringList();
    while (client->canReadLine()) {
        const QByteArray line = client->readLine().chopped(1);
        if (line.isEmpty()) {
            client->setProperty("uris", QVariant());
            client->write("ok\n");
            client->flush();
            receive(uris);
            return;
        }
        uris.append(QString::fromUtf8(line));
        // A client that never ends its message is cut off rather than
        // held for ever.
        if (uris.size() > 100000) {
            client->abort();
            return;
        }
    }
    client->setProperty("uris", uris);
}

void SingleInstance::receive(const QStringList& uris)
{
    emit activated(uris);
}

} // namespace varno

#include "SingleInstance.moc"
