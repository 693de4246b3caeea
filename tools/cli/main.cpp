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
    "  probe FILE...   print what the library would read from each audio file, one JSON object per line\n";

QCoro::Task<> run(QStringList arguments)
{
    const varno::cli::Console console;
    int status = 2;
    const QString command = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (command == QLatin1String("probe") && !arguments.isEmpty()) {
        auto probing = varno::cli::probe(arguments, console);
        status = co_await probing;
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
