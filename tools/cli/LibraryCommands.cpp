#include "CliCommand.h"
#include "CliLibrary.h"

#include "platform/Error.h"
#include "storage/StateCodecs.h"

#include <QFileInfo>

#include <unistd.h>

#include <memory>

namespace varno::cli {

QString describeSong(const Track& track)
{
    const int seconds = static_cast<int>(track.duration + 0.5);
    QString line = track.id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('\t') + track.title;
    if (track.artist)
        line += QStringLiteral(" \u2014 ") + *track.artist;
    if (track.album)
        line += QStringLiteral(" \u2014 ") + *track.album;
    line += QStringLiteral(" (%1:%2)").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return line;
}

QCoro::Task<int> importPaths(QStringList paths, Console console)
{
    Library library;
    auto loading = library.engine.loadLibraryFromDisk();
    co_await loading;
    const std::size_t before = library.engine.allTracks().size();

    std::vector<FileURL> folders;
    std::vector<FileURL> files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            console.errorLine(QStringLiteral("varno-cli: %1: No such file or directory").arg(path));
            co_return 1;
        }
        (info.isDir() ? folders : files).push_back(FileURL::fromLocalFile(info.absoluteFilePath()));
    }

    // On a terminal, one line that keeps being rewritten shows how far the
    // import is; in a pipe or a file only the summary appears.
    const bool onTerminal = ::isatty(::fileno(console.out)) == 1;
    QMetaObject::Connection progressLine;
    if (onTerminal) {
        progressLine = QObject::connect(&library.engine, &LibraryEngine::importProgressChanged, [&library, console] {
            const ImportProgress progress = library.engine.importProgress();
            if (!progress.active)
                return;
            const QString line = QStringLiteral("\r\x1b[2KImporting %1 of %2: %3").arg(progress.done).arg(progress.total).arg(progress.currentFile);
            std::fputs(line.toUtf8().constData(), console.out);
            std::fflush(console.out);
        });
    }

    int status = 0;
    try {
        if (!folders.empty()) {
            auto adding = library.engine.addFolders(std::move(folders));
            co_await adding;
        }
        if (!files.empty()) {
            auto importing = library.engine.importFiles(std::move(files));
            co_await importing;
        }
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        status = 1;
    }
    if (onTerminal) {
        QObject::disconnect(progressLine);
        std::fputs("\r\x1b[2K", console.out);
    }
    const std::size_t after = library.engine.allTracks().size();
    console.line(QStringLiteral("Imported %1 songs; the library holds %2.").arg(after - before).arg(after));
    co_return status;
}

QCoro::Task<int> listLibrary(bool asJson, Console console)
{
    Library library;
    auto loading = library.engine.loadLibraryFromDisk();
    co_await loading;
    auto reading = library.database.loadAllTracks();
    std::vector<Track> tracks;
    try {
        tracks = co_await reading;
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    if (asJson) {
        const std::string text = json::encodeTracks(tracks);
        console.line(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    } else {
        for (const Track& track : tracks)
            console.line(describeSong(track));
    }
    co_return 0;
}

QCoro::Task<int> searchLibrary(QString text, Console console)
{
    Library library;
    auto loading = library.engine.loadLibraryFromDisk();
    co_await loading;
    const std::vector<Track> found = library.engine.search(text);
    for (const Track& track : found)
        console.line(describeSong(track));
    co_return found.empty() ? 1 : 0;
}

QCoro::Task<int> rescanLibrary(Console console)
{
    Library library;
    auto loading = library.engine.loadLibraryFromDisk();
    co_await loading;
    auto rescanning = library.engine.rescan();
    const RescanSummary summary = co_await rescanning;
    console.line(QStringLiteral("Added %1 songs; %2 files missing.").arg(summary.added).arg(summary.missing));
    if (!summary.failures.isEmpty()) {
        console.errorLine(summary.failures);
        co_return 1;
    }
    co_return 0;
}

QCoro::Task<int> removeSong(QString id, bool deleteFile, Console console)
{
    Library library;
    auto loading = library.engine.loadLibraryFromDisk();
    co_await loading;
    const QUuid wanted = QUuid::fromString(id);
    const std::vector<Track>& songs = library.engine.allTracks();
    const auto found = std::find_if(songs.begin(), songs.end(), [&](const Track& t) { return !wanted.isNull() && t.id == wanted; });
    if (found == songs.end()) {
        console.errorLine(QStringLiteral("varno-cli: no song with the id %1 in the library").arg(id));
        co_return 1;
    }
    const Track song = *found;
    try {
        auto removing = library.engine.removeTrack(song, deleteFile ? RemovalKind::DeleteFile : RemovalKind::KeepFile);
        co_await removing;
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    console.line(deleteFile ? QStringLiteral("Removed \u201C%1\u201D from the library and deleted its file.").arg(song.title)
                            : QStringLiteral("Removed \u201C%1\u201D from the library; its file was kept.").arg(song.title));
    co_return 0;
}

QCoro::Task<int> restoreBackup(Console console)
{
    try {
        // Only the database: a library engine would start reading the very
        // file being replaced.
        SettingsPreferencesStore preferences;
        OstrelDatabaseManager database(preferences);
        database.restoreTracksBackup();
        console.line(QStringLiteral("The library was restored from tracks.json.bak."));
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    co_return 0;
}

} // namespace varno::cli
