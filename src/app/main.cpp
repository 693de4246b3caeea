#include "app/OstrelMediaStudioApp.h"
#include "platform/ApplicationIdentity.h"
#include "platform/DesktopEntry.h"
#include "platform/TerminationSignals.h"
#include "ui/DarkPalette.h"

#include <QApplication>
#include <QFile>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "usage: varno [FILE|URL...]\n"
    "       varno --help | --version\n"
    "\n"
    "Starts VARNO MUSIC, a music library and player. Each FILE (an audio file, or\n"
    "a folder with everything inside it; a path or a file:// URL) is added to the\n"
    "library and played, in the order given. While the app runs over the same\n"
    "library, a second varno hands its files to it, brings its window forward and\n"
    "exits.\n"
    "\n"
    "options:\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "      --         every later argument is a FILE, even one starting with '-'\n"
    "  Qt's own options (-platform NAME, -style NAME, -reverse, ...) go to Qt.\n"
    "\n"
    "environment:\n"
    "  VARNO_AUDIO_OUTPUT        auto or pulse (the default): the sound server,\n"
    "                            PulseAudio or PipeWire's PulseAudio service;\n"
    "                            null: a silent output that keeps time as if it\n"
    "                            played\n"
    "  VARNO_NULL_OUTPUT_SPEED   N: the null output plays N times faster than\n"
    "                            real time\n"
    "  VARNO_STATE_LOCK_WAIT_MS  how long a change waits for another VARNO MUSIC\n"
    "                            process to finish with the library (30000 by\n"
    "                            default)\n"
    "  QT_QPA_PLATFORM           offscreen: run without a display\n"
    "\n"
    "files:\n"
    "  $XDG_DATA_HOME/OstrelMediaStudio (~/.local/share/OstrelMediaStudio)\n"
    "      the library: its songs, playlists, playback session and history, covers\n"
    "      and waveforms\n"
    "  $XDG_CONFIG_HOME/Varno/varno.conf (~/.config/Varno/varno.conf)\n"
    "      the preferences\n"
    "\n"
    "varno-cli works on the same library from a terminal. The manual: man varno\n";

// Qt's own command-line options, passed on to QApplication; the first list
// takes a value. Qt accepts them with one dash or two.
constexpr std::array<std::string_view, 12> kQtOptionsWithValue {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "style", "stylesheet", "session", "display", "geometry"};
constexpr std::array<std::string_view, 5> kQtFlags {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// What the command line asks for. Read before QApplication exists, so that
// --help and --version answer without a display.
struct Invocation {
    enum class Action { Start, Help, Version, Refuse };
    Action action = Action::Start;
    // The one line said for Refuse.
    std::string refusal;
    // The program's name and Qt's options, null-terminated, for QApplication;
    // it keeps pointers into them for its whole life.
    std::vector<char*> qtArguments;
    // -platform chooses a display of its own, as QT_QPA_PLATFORM does.
    bool platformGiven = false;
    QStringList files;
};

Invocation readCommandLine(int argc, char* argv[])
{
    Invocation invocation;
    invocation.qtArguments.push_back(argv[0]);
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (onlyFiles || argument.size() < 2 || argument.front() != '-') {
            invocation.files << QFile::decodeName(argv[i]);
            continue;
        }
        if (argument == "--") {
            onlyFiles = true;
        } else if (argument == "--help" || argument == "-h") {
            invocation.action = Invocation::Action::Help;
            break;
        } else if (argument == "--version") {
            invocation.action = Invocation::Action::Version;
            break;
        } else {
            const std::string_view name = argument.substr(argument.starts_with("--") ? 2 : 1);
            const auto known = [name](const auto& options) { return std::find(options.begin(), options.end(), name) != options.end(); };
            if (known(kQtFlags)) {
                invocation.qtArguments.push_back(argv[i]);
            } else if (known(kQtOptionsWithValue) && i + 1 < argc) {
                invocation.platformGiven = invocation.platformGiven || name == "platform";
                invocation.qtArguments.push_back(argv[i]);
                invocation.qtArguments.push_back(argv[++i]);
            } else {
                invocation.action = Invocation::Action::Refuse;
                invocation.refusal = known(kQtOptionsWithValue) ? "varno: option '" + std::string(argument) + "' needs a value"
                                                               : "varno: unknown option '" + std::string(argument)
                                                                     + "' (varno --help lists the options)";
                break;
            }
        }
    }
    invocation.qtArguments.push_back(nullptr);
    return invocation;
}

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

bool hasDisplay(const Invocation& invocation)
{
    return invocation.platformGiven || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char* argv[])
{
    Invocation invocation = readCommandLine(argc, argv);
    switch (invocation.action) {
    case Invocation::Action::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Invocation::Action::Version:
        std::printf("VARNO MUSIC %s\n", qPrintable(varno::applicationVersion()));
        return 0;
    case Invocation::Action::Refuse:
        std::fprintf(stderr, "%s\n", invocation.refusal.c_str());
        return 2;
    case Invocation::Action::Start:
        break;
    }
    if (!hasDisplay(invocation)) {
        std::fputs("varno: cannot start: no display (DISPLAY and WAYLAND_DISPLAY are unset; "
                   "QT_QPA_PLATFORM=offscreen runs without one)\n",
                   stderr);
        return 1;
    }
    g_defaultHandler = qInstallMessageHandler(startupMessageHandler);
    int qtArgumentCount = int(invocation.qtArguments.size()) - 1;
    QApplication application(qtArgumentCount, invocation.qtArguments.data());
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
    if (const std::optional<int> status = app.start(invocation.files))
        return *status;
    return application.exec();
}
