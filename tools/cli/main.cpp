#include "CliCommand.h"

#include "platform/ApplicationIdentity.h"
#include "platform/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace {

const char* const kUsage =
    "usage: varno-cli COMMAND [ARGS]\n"
    "       varno-cli --help | --version\n"
    "\n"
    "commands:\n"
    "  probe FILE...      print what the library would read from each audio file, one JSON object per line\n"
    "  import PATH...     add audio files and folders to the library\n"
    "  list [--json] [--sort FIELD[:desc]]\n"
    "                     print the library (--json: as the tracks file holds it); --sort orders it like the song list\n"
    "                     sorted by that column: title, artist, album, albumArtist, genre, year, trackNumber, duration,\n"
    "                     bitrate, sampleRate, format, dateAdded (:desc for descending)\n"
    "  search TEXT [--json]\n"
    "                     print the songs, artists, albums and playlists matching TEXT (neither case nor accents matter)\n"
    "  remove ID [--delete-file]\n"
    "                     take a song out of the library (and delete its file)\n"
    "  rescan             walk the watched folders again for new and missing files\n"
    "  restore-backup     put the previous version of the library back\n"
    "  playlists [--json] print the playlists and folders as a tree, with their song counts\n"
    "  playlist show ID   print a playlist's songs, numbered from 1 (a smart one's: the songs its rules match)\n"
    "  playlist create NAME [--folder ID]\n"
    "  playlist folder NAME [--folder ID]\n"
    "  playlist smart NAME --rule \"PROPERTY CONDITION VALUE\"... [--any] [--folder ID]\n"
    "                     e.g. --rule \"Genre contains Jazz\" --rule \"Year > 1990\"; prints the criteria stored\n"
    "  playlist rename ID NAME\n"
    "  playlist add ID SONG-ID...\n"
    "  playlist remove ID POSITION...   (positions as playlist show numbers them)\n"
    "  playlist delete ID (a folder goes with everything inside it; songs stay in the library)\n"
    "  playlist play ID   play a playlist from its first song, like play\n"
    "  playlist import FILE [--name NAME] [--folder ID]\n"
    "                     make a playlist of an .m3u, .m3u8 or .pls file, importing its songs; prints its id\n"
    "                     and names each entry skipped (streams, missing files) on standard error\n"
    "  playlist export ID FILE\n"
    "                     write a playlist's songs to FILE as M3U8 (UTF-8, #EXTINF, absolute paths)\n"
    "  artwork ID --out FILE\n"
    "                     write a song's cover to FILE\n"
    "  accent ID          print the accent colour a song's cover gives (#RRGGBB r g b)\n"
    "  play FILE|ID...    play songs (files not in the library are imported first);\n"
    "                     keys: space pause/resume, n next, p previous, r repeat, s shuffle, q quit\n"
    "  waveform FILE|ID [--points N] [--ascii]\n"
    "                     print a song's waveform peaks (N from 8 to 4096, 360 by default), with --ascii also as bars;\n"
    "                     a file not in the library is analysed without importing it\n";

// The options answered before Qt starts, as they need no library: the
// status to exit with, or nothing when `first` is a command.
std::optional<int> answerOption(const char* first)
{
    const std::string_view option(first);
    if (option == "--help" || option == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (option == "--version") {
        std::printf("varno-cli (VARNO MUSIC) %s\n", qPrintable(varno::applicationVersion()));
        return 0;
    }
    if (option.size() > 1 && option.front() == '-') {
        std::fprintf(stderr, "varno-cli: unknown option '%s' (varno-cli help lists the commands)\n", first);
        return 2;
    }
    return std::nullopt;
}

// The command's task, or nothing when the arguments do not fit it.
std::optional<QCoro::Task<int>> startCommand(const QString& command, const QStringList& arguments, const varno::cli::Console& console)
{
    if (command == QLatin1String("probe") && !arguments.isEmpty())
        return varno::cli::probe(arguments, console);
    if (command == QLatin1String("import") && !arguments.isEmpty())
        return varno::cli::importPaths(arguments, console);
    if (command == QLatin1String("list"))
        return varno::cli::listLibrary(arguments, console);
    if (command == QLatin1String("search") && (arguments.size() == 1 || (arguments.size() == 2 && arguments[1] == QLatin1String("--json"))))
        return varno::cli::searchLibrary(arguments.first(), arguments.size() == 2, console);
    if (command == QLatin1String("remove") && (arguments.size() == 1 || (arguments.size() == 2 && arguments[1] == QLatin1String("--delete-file"))))
        return varno::cli::removeSong(arguments[0], arguments.size() == 2, console);
    if (command == QLatin1String("rescan") && arguments.isEmpty())
        return varno::cli::rescanLibrary(console);
    if (command == QLatin1String("restore-backup") && arguments.isEmpty())
        return varno::cli::restoreBackup(console);
    if (command == QLatin1String("playlists") && (arguments.isEmpty() || arguments == QStringList {QStringLiteral("--json")}))
        return varno::cli::listPlaylists(!arguments.isEmpty(), console);
    if (command == QLatin1String("playlist") && !arguments.isEmpty()) {
        const QString action = arguments.first();
        const qsizetype given = arguments.size() - 1;
        if (action == QLatin1String("show") && given == 1)
            return varno::cli::showPlaylist(arguments[1], console);
        if (action == QLatin1String("play") && given == 1)
            return varno::cli::playPlaylist(arguments[1], console);
        if (action == QLatin1String("import") && given >= 1)
            return varno::cli::importPlaylist(arguments.mid(1), console);
        if (action == QLatin1String("export") && given == 2)
            return varno::cli::exportPlaylist(arguments[1], arguments[2], console);
        const bool fits = ((action == QLatin1String("create") || action == QLatin1String("folder") || action == QLatin1String("smart")) && given >= 1)
                          || ((action == QLatin1String("rename") || action == QLatin1String("add") || action == QLatin1String("remove")) && given >= 2)
                          || (action == QLatin1String("delete") && given == 1);
        if (fits)
            return varno::cli::changePlaylists(arguments, console);
    }
    if (command == QLatin1String("artwork") && arguments.size() == 3 && arguments[1] == QLatin1String("--out"))
        return varno::cli::exportArtwork(arguments[0], arguments[2], console);
    if (command == QLatin1String("accent") && arguments.size() == 1)
        return varno::cli::printAccent(arguments[0], console);
    if (command == QLatin1String("play") && !arguments.isEmpty())
        return varno::cli::playSongs(arguments, console);
    if (command == QLatin1String("waveform") && !arguments.isEmpty())
        return varno::cli::drawWaveform(arguments, console);
    return std::nullopt;
}

bool takesPaths(const QString& command)
{
    return command == QLatin1String("probe") || command == QLatin1String("import") || command == QLatin1String("play")
           || command == QLatin1String("waveform");
}

QCoro::Task<> run(std::vector<QByteArray> rawArguments)
{
    const varno::cli::Console console;
    const QString command = rawArguments.empty() ? QString() : QFile::decodeName(rawArguments.front());

    // Names are kept as text, so a path whose bytes are not UTF-8 would come
    // back as a different name that leads nowhere. Such paths are refused
    // one by one; the command still runs on the others.
    QStringList arguments;
    bool refused = false;
    for (std::size_t i = 1; i < rawArguments.size(); ++i) {
        const QString argument = QFile::decodeName(rawArguments[i]);
        if (takesPaths(command) && QFile::encodeName(argument) != rawArguments[i]) {
            console.errorLine(QStringLiteral("varno-cli: %1: the name is not valid UTF-8, so the library cannot keep this file").arg(argument));
            refused = true;
            continue;
        }
        arguments << argument;
    }

    int status = 2;
    if (refused && arguments.isEmpty()) {
        status = 1;
    } else if (std::optional<QCoro::Task<int>> work = startCommand(command, arguments, console)) {
        // A command that throws must still end the process, or the event
        // loop would wait for ever.
        try {
            status = co_await *work;
        } catch (...) {
            console.errorLine(QStringLiteral("varno-cli: ") + varno::describe(std::current_exception()));
            status = 1;
        }
        if (refused)
            status = std::max(status, 1);
    } else {
        std::fputs(kUsage, command.isEmpty() || command == QLatin1String("help") ? stdout : stderr);
        status = command == QLatin1String("help") ? 0 : 2;
    }
    QCoreApplication::exit(status);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1) {
        if (const std::optional<int> status = answerOption(argv[1]))
            return *status;
    }
    QCoreApplication application(argc, argv);
    varno::applyApplicationIdentity();
    // The raw bytes, not QCoreApplication::arguments(): decoding loses bytes
    // that are not UTF-8, and run() must see which arguments lost some.
    std::vector<QByteArray> rawArguments(argv + 1, argv + argc);
    std::optional<QCoro::Task<>> task;
    QTimer::singleShot(0, [&] { task.emplace(run(std::move(rawArguments))); });
    return application.exec();
}
