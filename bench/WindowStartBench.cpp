// Times the app from process start to the first painted frame of the song
// list with songs in it, over a synthetic library of 100,000 songs, reads the
// process's memory with the window open, and times the way out: from the
// termination signal (which quits through the event loop, as closing the
// last window does, with nothing left to save) to the process's end. The app itself reports
// the frame: the song list logs "first song rows painted: N songs, M ms
// after the process started" the first time its table paints rows, measured
// from the process start the system recorded (libraries loading included).
//
//   window_start_bench [RUNS] [SONGS] [--xvfb] [--app PATH]
//
// Prints each run and the median; the reference is the same library loaded
// by `bare_parse` (process start plus a bare JSON parse) in the same run.
// The app draws offscreen unless --xvfb puts it on a private X server with
// a window manager, where its frames also reach a display; --app runs
// another build of the app.

#include "BenchSupport.h"
#include "PrivateDesktop.h"

#include "storage/StateCodecs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <cstdio>

namespace {

struct Run {
    qint64 firstFrameMs = -1;
    qint64 libraryMs = -1;
    double rssMiB = 0;
    qint64 exitMs = -1;
};

double residentMiBOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

Run runOnce(const QString& program, const QString& dataHome, const QString& configHome, const varno::bench::PrivateDesktop* desktop)
{
    QProcess app;
    QProcessEnvironment environment = desktop ? desktop->environment() : QProcessEnvironment::systemEnvironment();
    if (!desktop)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VARNO_AUDIO_OUTPUT"), QStringLiteral("null"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("varno.*.info=true"));
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(program, {});
    Run run;
    static const QRegularExpression frame(QStringLiteral("first song rows painted: (\\d+) songs, (\\d+) ms"));
    static const QRegularExpression library(QStringLiteral("library loaded: (\\d+) songs, (\\d+) ms"));
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (run.firstFrameMs < 0 && timer.elapsed() < 30000 && app.state() != QProcess::NotRunning) {
        app.waitForReadyRead(100);
        output += app.readAll();
        const QString text = QString::fromUtf8(output);
        if (const auto match = library.match(text); match.hasMatch())
            run.libraryMs = match.captured(2).toLongLong();
        if (const auto match = frame.match(text); match.hasMatch() && match.captured(1).toInt() > 0)
            run.firstFrameMs = match.captured(2).toLongLong();
    }
    // The memory of the settled window: the list built, its first rows and
    // thumbnails drawn.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 2000)
        app.waitForReadyRead(100);
    run.rssMiB = residentMiBOf(app.processId());
    QElapsedTimer leaving;
    leaving.start();
    app.terminate();
    if (app.waitForFinished(10000))
        run.exitMs = leaving.elapsed();
    else
        app.kill();
    if (run.firstFrameMs < 0)
        std::fprintf(stderr, "no frame reported; output was:\n%s\n", output.constData());
    return run;
}

qint64 bareParseMs(const QString& tracksFile)
{
    QProcess bare;
    QElapsedTimer timer;
    timer.start();
    bare.start(QStringLiteral(VARNO_BARE_PARSE_BINARY), {tracksFile});
    bare.waitForFinished(60000);
    return timer.elapsed();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool onDisplay = arguments.removeAll(QStringLiteral("--xvfb")) > 0;
    QString program = QStringLiteral(VARNO_APP_BINARY);
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--app")); at >= 0 && at + 1 < arguments.size()) {
        program = arguments[at + 1];
        arguments.remove(at, 2);
    }
    const int runs = arguments.size() > 0 ? std::max(1, arguments[0].toInt()) : 5;
    const std::size_t songs = arguments.size() > 1 ? arguments[1].toULongLong() : 100000;

    QTemporaryDir root;
    const QString dataHome = root.filePath(QStringLiteral("data"));
    const QString configHome = root.filePath(QStringLiteral("config"));
    const QString appFolder = dataHome + QStringLiteral("/OstrelMediaStudio");
    QDir().mkpath(appFolder);
    QDir().mkpath(configHome);
    const QString runtime = root.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    std::optional<varno::bench::PrivateDesktop> desktop;
    if (onDisplay)
        desktop.emplace(runtime);
    varno::json::writeTracksFile(appFolder + QStringLiteral("/tracks.json"), varno::bench::syntheticLibrary(songs));

    std::vector<qint64> frames;
    std::vector<double> memory;
    std::vector<qint64> exits;
    for (int i = 0; i < runs; ++i) {
        const Run run = runOnce(program, dataHome, configHome, desktop ? &*desktop : nullptr);
        std::printf("run %d: library loaded at %lld ms, first song rows painted at %lld ms, RSS %.0f MiB, exit %lld ms after quitting\n", i + 1,
                    static_cast<long long>(run.libraryMs), static_cast<long long>(run.firstFrameMs), run.rssMiB,
                    static_cast<long long>(run.exitMs));
        std::fflush(stdout);
        frames.push_back(run.firstFrameMs);
        memory.push_back(run.rssMiB);
        exits.push_back(run.exitMs);
    }
    std::sort(frames.begin(), frames.end());
    std::sort(memory.begin(), memory.end());
    std::sort(exits.begin(), exits.end());
    std::printf("median: first song rows painted %lld ms after process start, RSS %.0f MiB, exit %lld ms after quitting (%zu songs)\n",
                static_cast<long long>(frames[frames.size() / 2]), memory[memory.size() / 2],
                static_cast<long long>(exits[exits.size() / 2]), songs);
    std::printf("reference: bare_parse of the same file, whole process: %lld ms\n",
                static_cast<long long>(bareParseMs(appFolder + QStringLiteral("/tracks.json"))));
    return 0;
}
