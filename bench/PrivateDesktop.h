#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <functional>

namespace varno::bench {

// Looks at `condition` every 50 ms until it holds (true) or `milliseconds`
// have passed (false).
bool waitUntil(const std::function<bool()>& condition, int milliseconds);

// A desktop of the benchmark's own for programs that open windows: a private
// X server (Xvfb) of 1440 x 900, a window manager (openbox) on it and a
// private session bus. environment() is the system's environment pointed at
// them (DISPLAY, the bus, XDG_RUNTIME_DIR, the xcb platform). Everything
// started goes when the object does. Exits the program with a message when
// one of them does not start.
class PrivateDesktop final {
public:
    explicit PrivateDesktop(const QString& runtimeFolder);
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    const QProcessEnvironment& environment() const { return m_environment; }
    const QString& busAddress() const { return m_busAddress; }

private:
    QProcess m_xvfb;
    QProcess m_bus;
    QProcess m_windowManager;
    QString m_display;
    QString m_busAddress;
    QProcessEnvironment m_environment;
};

} // namespace varno::bench
