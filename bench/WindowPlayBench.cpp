// What playing a song costs with the window open, against the headless
// player on the same file: a 120 s MP3 at 320 kb/s plays for a minute with
// the null audio output, and the process's own CPU time (utime + stime from
// /proc/PID/stat) is read once the song plays and again a minute later.
//
//   window_play_bench [--seconds S] [--rounds R] [--songs N]
//                     [--app PATH] [--cli PATH] [--modes headless,shown,minimised,covered]
//
// Everything runs on a private X server (Xvfb) with a window manager
// (openbox) and a private session bus, so the app's window is placed, can
// be minimised (xdotool) and covered (a full-screen window this program
// shows itself), and each player publishes its state on the bus, which is
// how this program knows the song has started. Each round runs every mode
// once, one after the other, so the runs of a round are paired; --app and
// --cli take other builds of the two programs, for a before-and-after
// comparison in one sitting.

#include "BenchSupport.h"
#include "PrivateDesktop.h"

#include "storage/StateCodecs.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#include <unistd.h>

namespace {

using varno::bench::waitUntil;

struct Options {
    int seconds = 60;
    int rounds = 1;
    std::size_t songs = 10000;
    QString app = QStringLiteral(VARNO_APP_BINARY);
    QString cli = QStringLiteral(VARNO_CLI_BINARY);
    QStringList modes {QStringLiteral("headless"), QStringLiteral("shown"), QStringLiteral("minimised"), QStringLiteral("covered")};
};

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "window_play_bench: %s\n", qPrintable(message));
    std::exit(1);
}

// User plus system CPU time of a process, in clock ticks.
std::optional<long long> cpuTicksOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces; the fields after it are counted from
    // its closing parenthesis. utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

QString run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        fail(QStringLiteral("%1 %2 failed: %3").arg(program, arguments.join(' '), QString::fromUtf8(process.readAllStandardError())));
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Whether a player on the bus says it is playing.
bool somePlayerIsPlaying(QDBusConnection& bus)
{
    const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
    for (const QString& name : names.value()) {
        if (!name.startsWith(QStringLiteral("org.mpris.MediaPlayer2.")))
            continue;
        QDBusInterface properties(name, QStringLiteral("/org/mpris/MediaPlayer2"), QStringLiteral("org.freedesktop.DBus.Properties"), bus);
        const QDBusReply<QDBusVariant> status =
            properties.call(QStringLiteral("Get"), QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("PlaybackStatus"));
        if (status.isValid() && status.value().variant().toString() == QStringLiteral("Playing"))
            return true;
    }
    return false;
}

QString windowOf(const QProcessEnvironment& environment, qint64 pid)
{
    QString window;
    waitUntil(
        [&] {
            QProcess search;
            search.setProcessEnvironment(environment);
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(pid)});
            search.waitForFinished(5000);
            window = QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).value(0);
            return !window.isEmpty();
        },
        20000);
    if (window.isEmpty())
        fail(QStringLiteral("the app's window did not appear"));
    return window;
}

struct Measured {
    long long ticks = 0;
    double seconds = 0;
};

Measured measure(const Options& options, const varno::bench::PrivateDesktop& desktop, const QString& mode, const QString& dataHome, const QString& configHome,
                 const QString& song, const QString& self)
{
    QProcessEnvironment environment = desktop.environment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("VARNO_AUDIO_OUTPUT"), QStringLiteral("null"));

    QProcess player;
    player.setProcessEnvironment(environment);
    player.setStandardOutputFile(QProcess::nullDevice());
    player.setStandardErrorFile(QProcess::nullDevice());
    if (mode == QStringLiteral("headless"))
        player.start(options.cli, {QStringLiteral("play"), song});
    else
        player.start(options.app, {song});
    if (!player.waitForStarted(10000))
        fail(QStringLiteral("could not start the player for %1").arg(mode));

    QDBusConnection bus = QDBusConnection::connectToBus(desktop.busAddress(), QStringLiteral("bench-%1").arg(mode));
    if (!waitUntil([&] { return somePlayerIsPlaying(bus); }, 60000))
        fail(QStringLiteral("%1: the song did not start").arg(mode));

    QProcess cover;
    if (mode != QStringLiteral("headless")) {
        const QString window = windowOf(environment, player.processId());
        if (mode == QStringLiteral("minimised")) {
            run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), QStringLiteral("--sync"), window}, environment);
        } else if (mode == QStringLiteral("covered")) {
            cover.setProcessEnvironment(environment);
            cover.start(self, {QStringLiteral("--cover")});
            const QString coverWindow = windowOf(environment, cover.processId());
            run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), coverWindow}, environment);
        } else {
            run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window}, environment);
        }
    }
    // Start-up, loading the song and the change of window state settle
    // before the minute starts.
    QThread::sleep(3);

    const std::optional<long long> before = cpuTicksOf(player.processId());
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(static_cast<unsigned long>(options.seconds));
    const std::optional<long long> after = cpuTicksOf(player.processId());
    const double elapsed = clock.elapsed() / 1000.0;
    const bool stillPlaying = somePlayerIsPlaying(bus);

    QDBusConnection::disconnectFromBus(QStringLiteral("bench-%1").arg(mode));
    player.terminate();
    if (!player.waitForFinished(15000))
        player.kill();
    if (cover.state() != QProcess::NotRunning) {
        cover.terminate();
        cover.waitForFinished(5000);
    }
    if (!before || !after)
        fail(QStringLiteral("%1: the player ended before the minute was up").arg(mode));
    if (!stillPlaying)
        fail(QStringLiteral("%1: the song was no longer playing at the end of the minute").arg(mode));
    return {*after - *before, elapsed};
}

// The covering window: full-screen, above the app once activated.
int showCover(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget cover;
    cover.setWindowTitle(QStringLiteral("cover"));
    QPalette palette = cover.palette();
    palette.setColor(QPalette::Window, Qt::darkGray);
    cover.setPalette(palette);
    cover.setAutoFillBackground(true);
    cover.showFullScreen();
    return application.exec();
}

Options parse(const QStringList& arguments)
{
    Options options;
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString& key = arguments[i];
        const QString& value = arguments[i + 1];
        if (key == QStringLiteral("--seconds"))
            options.seconds = std::max(1, value.toInt());
        else if (key == QStringLiteral("--rounds"))
            options.rounds = std::max(1, value.toInt());
        else if (key == QStringLiteral("--songs"))
            options.songs = value.toULongLong();
        else if (key == QStringLiteral("--app"))
            options.app = QFileInfo(value).absoluteFilePath();
        else if (key == QStringLiteral("--cli"))
            options.cli = QFileInfo(value).absoluteFilePath();
        else if (key == QStringLiteral("--modes"))
            options.modes = value.split(',', Qt::SkipEmptyParts);
        else
            fail(QStringLiteral("unknown option %1").arg(key));
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--cover") == 0)
        return showCover(argc, argv);

    QCoreApplication application(argc, argv);
    const Options options = parse(QCoreApplication::arguments());
    const QString self = QCoreApplication::applicationFilePath();

    QTemporaryDir root;
    const QString dataHome = root.filePath(QStringLiteral("data"));
    const QString configHome = root.filePath(QStringLiteral("config"));
    const QString runtime = root.filePath(QStringLiteral("runtime"));
    const QString appFolder = dataHome + QStringLiteral("/OstrelMediaStudio");
    for (const QString& folder : {appFolder, configHome, runtime, root.filePath(QStringLiteral("music"))})
        QDir().mkpath(folder);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    varno::json::writeTracksFile(appFolder + QStringLiteral("/tracks.json"), varno::bench::syntheticLibrary(options.songs));

    // Pink noise over a tone: a constant 320 kb/s stream the decoder has
    // to work at, two minutes long so the measured minute fits.
    const QString song = root.filePath(QStringLiteral("music/Measured Song.mp3"));
    run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("anoisesrc=d=120:c=pink:a=0.2"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("sine=f=440:d=120"), QStringLiteral("-filter_complex"), QStringLiteral("amix=inputs=2,aformat=channel_layouts=stereo"),
                                   QStringLiteral("-ar"), QStringLiteral("44100"), QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                                   QStringLiteral("320k"), QStringLiteral("-metadata"), QStringLiteral("title=Measured Song"), song});

    QProcessEnvironment importing = QProcessEnvironment::systemEnvironment();
    importing.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    importing.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    importing.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    // Imported once, so every run plays a song the library already holds.
    run(options.cli, {QStringLiteral("import"), song}, importing);

    const varno::bench::PrivateDesktop desktop(runtime);
    const long long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    std::map<QString, std::vector<double>> percent;
    for (int round = 1; round <= options.rounds; ++round) {
        for (const QString& mode : options.modes) {
            const Measured measured = measure(options, desktop, mode, dataHome, configHome, song, self);
            const double share = 100.0 * double(measured.ticks) / double(ticksPerSecond) / measured.seconds;
            percent[mode].push_back(share);
            std::printf("round %d %-9s %4lld ticks in %.1f s = %.2f %% of a core\n", round, qPrintable(mode), measured.ticks, measured.seconds, share);
            std::fflush(stdout);
        }
    }

    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t middle = values.size() / 2;
        return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    };
    const std::optional<double> headless =
        percent.count(QStringLiteral("headless")) ? std::optional(median(percent[QStringLiteral("headless")])) : std::nullopt;
    for (const QString& mode : options.modes) {
        const double share = median(percent[mode]);
        if (headless && mode != QStringLiteral("headless") && *headless > 0)
            std::printf("median %-9s %.2f %% of a core, %.2f x the headless player\n", qPrintable(mode), share, share / *headless);
        else
            std::printf("median %-9s %.2f %% of a core\n", qPrintable(mode), share);
    }
    std::printf("(%zu songs in the library, %d s per run, %d round(s), %lld ticks a second)\n", options.songs, options.seconds, options.rounds,
                ticksPerSecond);
    return 0;
}
