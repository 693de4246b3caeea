#include "CliCommand.h"

#include "platform/ApplicationIdentity.h"

#include <QCoreApplication>
#include <QTimer>

#include <optional>

namespace {

const char* const kUsage =
    "usage: varno-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  probe FILE...      print what the library would read from each audio file, one JSON object per line\n"
    "  import PATH...     add audio files and folders to the library\n"
    "  list [--json]      print the library (--json: as the tracks file holds it)\n"
    "  search TEXT        print the songs whose title contains TEXT\n"
    "  remove ID [--delete-file]\n"
    "                     take a song out of the library (and delete its file)\n"
    "  rescan             walk the watched folders again for new and missing files\n"
    "  restore-backup     put the previous version of the library back\n"
    "  play FILE|ID...    play songs (files not in the library are imported first);\n"
    "                     keys: space pause/resume, n next, p previous, r repeat, s shuffle, q quit\n";

QCoro::Task<> run(QStringList arguments)
{
    const varno::cli::Console console;
    int status = 2;
    const QString command = arguments.isEmpty() ? QString() : arguments.takeFirst();
    std::optional<QCoro::Task<int>> work;
    if (command == QLatin1String("probe") && !arguments.isEmpty())
        work.emplace(varno::cli::probe(arguments, console));
    else if (command == QLatin1String("import") && !arguments.isEmpty())
        work.emplace(varno::cli::importPaths(arguments, console));
    else if (command == QLatin1String("list") && (arguments.isEmpty() || arguments == QStringList {QStringLiteral("--json")}))
        work.emplace(varno::cli::listLibrary(!arguments.isEmpty(), console));
    else if (command == QLatin1String("search") && arguments.size() == 1)
        work.emplace(varno::cli::searchLibrary(arguments.first(), console));
    else if (command == QLatin1String("remove") && (arguments.size() == 1 || (arguments.size() == 2 && arguments[1] == QLatin1String("--delete-file"))))
        work.emplace(varno::cli::removeSong(arguments[0], arguments.size() == 2, console));
    else if (command == QLatin1String("rescan") && arguments.isEmpty())
        work.emplace(varno::cli::rescanLibrary(console));
    else if (command == QLatin1String("restore-backup") && arguments.isEmpty())
        work.emplace(varno::cli::restoreBackup(console));
    else if (command == QLatin1String("play") && !arguments.isEmpty())
        work.emplace(varno::cli::playSongs(arguments, console));
    if (work) {
        status = co_await *work;
    } else {
        std::fputs(kUsage, command.isEmpty() || command == QLatin1String("help") ? stdout : stderr);
        status = command == QLatin1String("help") ? 0 : 2;
    }
    QCoreApplication::exit(status);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    varno::applyApplicationIdentity();
    std::optional<QCoro::Task<>> task;
    QTimer::singleShot(0, [&] { task.emplace(run(QCoreApplication::arguments().mid(1))); });
    return application.exec();
}
