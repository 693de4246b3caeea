#include "PrivateDesktop.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace varno::bench {

namespace {

[[noreturn]] void fail(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    std::exit(1);
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QThread::msleep(50);
    }
    return true;
}

PrivateDesktop::PrivateDesktop(const QString& runtimeFolder)
{
    int display = 90;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)) || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)))
        ++display;
    m_display = QStringLiteral(":%1").arg(display);
    m_xvfb.start(QStringLiteral("Xvfb"), {m_display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1440x900x24"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!waitUntil([&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)); }, 10000))
        fail("Xvfb did not start");

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("DISPLAY"), m_display);
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

    m_bus.setProcessEnvironment(m_environment);
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    if (!m_bus.waitForReadyRead(10000))
        fail("dbus-daemon did not start");
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);

    m_windowManager.setProcessEnvironment(m_environment);
    m_windowManager.start(QStringLiteral("openbox"), {});
    const bool managed = waitUntil(
        [&] {
            QProcess probe;
            probe.setProcessEnvironment(m_environment);
            probe.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            probe.waitForFinished(5000);
            return probe.readAllStandardOutput().contains("window id");
        },
        10000);
    if (!managed)
        fail("openbox did not take the display");
}

PrivateDesktop::~PrivateDesktop()
{
    for (QProcess* process : {&m_windowManager, &m_bus, &m_xvfb}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
    }
}

} // namespace varno::bench
