#include "app/OstrelMediaStudioApp.h"
#include "platform/ApplicationIdentity.h"
#include "platform/DesktopEntry.h"
#include "platform/TerminationSignals.h"
#include "ui/DarkPalette.h"

#include <QApplication>

#include <cstdio>
#include <unistd.h>

namespace {

QtMessageHandler g_defaultHandler = nullptr;
QList<std::pair<QtMsgType, QString>> g_startupMessages;

void forward(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_defaultHandler)
        g_defaultHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// Qt aborts with a core dump when no platform plugin can start (no display).
// While the application is being built, messages are held back; a fatal one
// becomes a single line and status 1, the others are passed on afterwards.
void startupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        const QString firstLine = message.section(QLatin1Char('\n'), 0, 0);
        std::fprintf(stderr, "varno: cannot start: %s\n", firstLine.toLocal8Bit().constData());
        std::fflush(stderr);
        ::_exit(1);
    }
    g_startupMessages.append({type, message});
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char* argv[])
{
    if (!hasDisplay()) {
        std::fputs("varno: cannot start: no display (DISPLAY and WAYLAND_DISPLAY are unset; "
                   "QT_QPA_PLATFORM=offscreen runs without one)\n",
                   stderr);
        return 1;
    }
    g_defaultHandler = qInstallMessageHandler(startupMessageHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_defaultHandler);
    for (const auto& [type, message] : std::as_const(g_startupMessages))
        forward(type, QMessageLogContext(), message);
    g_startupMessages.clear();

    varno::applyApplicationIdentity();
    // Lets the desktop match the window to its entry and icon (Wayland's app id).
    QGuiApplication::setDesktopFileName(varno::kDesktopEntryID);
    // A logout or Ctrl-C quits like closing the window, so the playback
    // session is written on the way out.
    varno::quitOnTerminationSignals(application);
    varno::applyApplicationStyle();

    varno::OstrelMediaStudioApp app;
    if (const std::optional<int> status = app.start(application.arguments().mid(1)))
        return *status;
    return application.exec();
}
