// The desktop's player controls: how long a client waits for a property of
// the published player (PlaybackStatus, Metadata, all of the player's
// properties at once) and for a command's reply, over a private session bus.
// The player runs on the main thread as in the app; the client calls from a
// thread of its own with its own connection, as another process would.

#include "BenchSupport.h"

#include "app/PlaybackRemote.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <thread>

using namespace varno;

namespace {

QString g_address;

QDBusConnection clientConnection()
{
    return QDBusConnection::connectToBus(g_address, QStringLiteral("bench-client"));
}

QDBusMessage propertyRead(const QString& name)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.varno"), QStringLiteral("/org/mpris/MediaPlayer2"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << QStringLiteral("org.mpris.MediaPlayer2.Player") << name;
    return message;
}

void roundTrips(benchmark::State& state, const QDBusMessage& message)
{
    QDBusConnection connection = clientConnection();
    for (auto _ : state) {
        const QDBusMessage reply = connection.call(message);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError(reply.errorMessage().toUtf8().constData());
            return;
        }
        benchmark::DoNotOptimize(reply);
    }
}

void BM_ReadPlaybackStatus(benchmark::State& state)
{
    roundTrips(state, propertyRead(QStringLiteral("PlaybackStatus")));
}
BENCHMARK(BM_ReadPlaybackStatus)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ReadMetadata(benchmark::State& state)
{
    roundTrips(state, propertyRead(QStringLiteral("Metadata")));
}
BENCHMARK(BM_ReadMetadata)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ReadAllPlayerProperties(benchmark::State& state)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.varno"), QStringLiteral("/org/mpris/MediaPlayer2"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << QStringLiteral("org.mpris.MediaPlayer2.Player");
    roundTrips(state, message);
}
BENCHMARK(BM_ReadAllPlayerProperties)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_CommandSetLoopStatus(benchmark::State& state)
{
    // A write the player acts on: the queue's repeat mode changes and the
    // change is announced, alternating so every call changes something.
    QDBusConnection connection = clientConnection();
    bool on = false;
    for (auto _ : state) {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.varno"), QStringLiteral("/org/mpris/MediaPlayer2"),
                                                              QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        on = !on;
        message << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("LoopStatus")
                << QVariant::fromValue(QDBusVariant(on ? QStringLiteral("Playlist") : QStringLiteral("None")));
        const QDBusMessage reply = connection.call(message);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError(reply.errorMessage().toUtf8().constData());
            return;
        }
    }
}
BENCHMARK(BM_CommandSetLoopStatus)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("VARNO_AUDIO_OUTPUT", "null");
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    // A bus of our own with nothing else on it: the figures are the bus's
    // and the player's, not the machine's other clients'.
    QTemporaryDir folder;
    QFile config(folder.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    config.write("<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(folder.path())
                 + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address=1")});
    // The address may arrive in pieces; it is whole at the line's end.
    bool started = daemon.waitForStarted(5000);
    while (started && !daemon.canReadLine())
        started = daemon.waitForReadyRead(5000);
    if (!started) {
        std::fputs("dbus_bench: dbus-daemon did not start\n", stderr);
        return 1;
    }
    g_address = QString::fromUtf8(daemon.readLine().trimmed());

    // A song current in the queue, so Metadata carries every field.
    Track song = bench::syntheticLibrary(1).front();
    OstrelAudioEngine audio(makeDefaultAudioPlayerFactory());
    OstrelQueueEngine queue;
    queue.setAudioEngine(&audio);
    queue.restorePlaybackSession(std::make_shared<const Track>(song), {}, {}, RepeatMode::Off, ShuffleMode::Off, std::nullopt);
    MprisIdentity identity;
    identity.busName = QStringLiteral("varno");
    identity.identity = QStringLiteral("VARNO MUSIC");
    PlaybackRemote remote(QDBusConnection::connectToBus(g_address, QStringLiteral("bench-player")), identity, queue, audio, nullptr, QString(), {});
    if (!remote.publish())
        return 1;

    std::thread client([] {
        benchmark::RunSpecifiedBenchmarks();
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-client"));
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int status = application.exec();
    client.join();
    benchmark::Shutdown();
    daemon.kill();
    daemon.waitForFinished();
    return status;
}
