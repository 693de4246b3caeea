#include "CliCommand.h"
#include "CliLibrary.h"
#include "TerminalText.h"

#include "library/AudioImportSupport.h"
#include "platform/ApplicationFolder.h"
#include "platform/Error.h"
#include "playlists/OstrelSearchEngine.h"
#include "playlists/PlaylistTree.h"
#include "playlists/SnapshotSearch.h"
#include "storage/DurationText.h"
#include "storage/StateCodecs.h"
#include "workspace/TrackSorting.h"

#include <QCollator>
#include <QFileInfo>
#include <QMap>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::cli {

namespace {

// "album" or "album:desc", by the names the columns are stored under.
std::optional<TrackSortOrder> sortOrderFromText(const QString& text)
{
    QString name = text;
    bool ascending = true;
    if (name.endsWith(QLatin1String(":desc"))) {
        name.chop(5);
        ascending = false;
    } else if (name.endsWith(QLatin1String(":asc"))) {
        name.chop(4);
    }
    const std::optional<TrackTableColumnID> column = trackTableColumnFromRawValue(name.toStdString());
    if (!column)
        return std::nullopt;
    return TrackSortOrder {sortFieldOf(*column), ascending};
}

QString sortFieldNames()
{
    QStringList names;
    for (TrackTableColumnID column : kAllTrackTableColumns)
        names << rawValue(column);
    return names.join(QStringLiteral(", "));
}

// The library's snapshot, when it is one of the library file on disk and
// the folder and preferences are as a command expects; null otherwise, with
// nothing said: the command then loads the library, which says what is wrong.
std::unique_ptr<snapshot::Mapping> mapLibrarySnapshot()
{
    if (SettingsPreferencesStore().problem())
        return nullptr;
    try {
        makeApplicationFolderPrivate();
        SettingsPreferencesStore preferences;
        const OstrelDatabaseManager database(preferences);
        return database.mapSnapshot();
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The snapshot passed its checks yet a song in it does not read: only a
// file changed in place by someone else does that. What was printed stands.
int unreadableSnapshot(Console console)
{
    console.errorLine(QStringLiteral("varno-cli: the library snapshot changed while it was read; run the command again"));
    return 1;
}

} // namespace

QString describeSong(const Track& track)
{
    QString line = track.id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('\t') + terminalSafe(track.title);
    if (track.artist)
        line += QStringLiteral(" \u2014 ") + terminalSafe(*track.artist);
    if (track.album)
        line += QStringLiteral(" \u2014 ") + terminalSafe(*track.album);
    line += QStringLiteral(" (") + clockText(track.duration) + QLatin1Char(')');
    return line;
}

QCoro::Task<std::unique_ptr<Library>> openLibrary(Console console)
{
    std::unique_ptr<Library> library;
    try {
        // Folders an older version made readable by everyone are closed
        // before anything is read from them.
        makeApplicationFolderPrivate();
    } catch (const std::exception& error) {
        console.errorLine(QStringLiteral("varno-cli: the library folder was left as it is: ") + describe(error));
    }
    // A command would otherwise run on defaults and say nothing about it.
    // Looked at before the engines exist: they start reading at once.
    if (const std::optional<QString> problem = SettingsPreferencesStore().problem()) {
        console.errorLine(QStringLiteral("varno-cli: ") + *problem);
        co_return std::unique_ptr<Library>();
    }
    try {
        library = std::make_unique<Library>();
    } catch (const std::exception& error) {
        console.errorLine(QStringLiteral("varno-cli: the library folder cannot be used: ") + describe(error));
        co_return std::unique_ptr<Library>();
    }
    auto loading = library->engine.loadLibraryFromDisk();
    co_await loading;
    // The engine has said why on standard error; once is enough.
    if (library->engine.loadError())
        co_return std::unique_ptr<Library>();
    co_return library;
}

namespace {

// Why a path given on the command line cannot be imported, or nothing.
std::optional<QString> missingReason(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        return std::nullopt;
    return QString::fromLocal8Bit(std::strerror(errno));
}

// ".opus ×3, .ape" for the files left out of a folder.
QString typesOf(const QStringList& paths)
{
    QMap<QString, int> counts;
    for (const QString& path : paths)
        ++counts[QLatin1Char('.') + QFileInfo(path).suffix().toLower()];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts.push_back(it.value() > 1 ? QStringLiteral("%1 \u00D7%2").arg(it.key()).arg(it.value()) : it.key());
    return parts.join(QStringLiteral(", "));
}

} // namespace

QCoro::Task<int> importPaths(QStringList paths, Console console)
{
    std::vector<FileURL> folders;
    std::vector<FileURL> files;
    for (const QString& path : paths) {
        if (const std::optional<QString> reason = missingReason(path)) {
            console.errorLine(QStringLiteral("varno-cli: %1: %2").arg(path, *reason));
            co_return 1;
        }
        const QFileInfo info(path);
        (info.isDir() ? folders : files).push_back(FileURL::fromLocalFile(info.absoluteFilePath()));
    }

    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library)
        co_return 1;

    // On a terminal, one line that keeps being rewritten shows how far the
    // import is; in a pipe or a file only the summary appears.
    const bool onTerminal = ::isatty(::fileno(console.out)) == 1;
    QMetaObject::Connection progressLine;
    if (onTerminal) {
        OstrelLibraryEngine* engine = &library->engine;
        progressLine = QObject::connect(engine, &LibraryEngine::importProgressChanged, [engine, console] {
            const ImportProgress progress = engine->importProgress();
            if (!progress.active)
                return;
            const QString line = QStringLiteral("\r\x1b[2KImporting %1 of %2: %3").arg(progress.done).arg(progress.total).arg(terminalSafe(progress.currentFile));
            std::fputs(line.toUtf8().constData(), console.out);
            std::fflush(console.out);
        });
    }

    int status = 0;
    ImportSummary summary;
    try {
        auto importing = library->engine.importPaths(std::move(folders), std::move(files));
        summary = co_await importing;
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        status = 1;
    }
    if (onTerminal) {
        QObject::disconnect(progressLine);
        std::fputs("\r\x1b[2K", console.out);
    }

    // Files named on the command line were asked for by name: each gets its
    // reason. Those met in folders are summed up.
    QStringList failures = summary.failures;
    QStringList inFolders;
    for (const QString& path : summary.unsupported) {
        const bool named = std::any_of(paths.begin(), paths.end(), [&](const QString& given) { return QFileInfo(given).absoluteFilePath() == path; });
        if (named)
            failures.push_back(QFileInfo(path).fileName() + QStringLiteral(": ") + AudioImportSupport::unsupportedTypeReason());
        else
            inFolders.push_back(path);
    }
    if (!failures.isEmpty()) {
        for (QString& failure : failures)
            failure = terminalSafe(failure);
        console.errorLine(QStringLiteral("Some files could not be imported:\n") + failures.join(QLatin1Char('\n')));
        status = 1;
    }
    if (!inFolders.isEmpty())
        console.errorLine(QStringLiteral("Left out %1 audio files of types the library does not take (%2): %3.")
                              .arg(inFolders.size())
                              .arg(typesOf(inFolders), AudioImportSupport::unsupportedTypeReason()));
    // The count of the library is the one this import wrote, taken while the
    // file was locked, so another process's import running at the same time
    // cannot make it stale.
    console.line(QStringLiteral("Imported %1 songs; the library holds %2.").arg(summary.added).arg(library->engine.allTracks().size()));
    co_return status;
}

QCoro::Task<int> listLibrary(QStringList options, Console console)
{
    bool asJson = false;
    std::optional<TrackSortOrder> sort;
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options[i] == QLatin1String("--json") && !asJson) {
            asJson = true;
        } else if (options[i] == QLatin1String("--sort") && !sort && i + 1 < options.size()) {
            sort = sortOrderFromText(options[++i]);
            if (!sort) {
                console.errorLine(QStringLiteral("varno-cli: cannot sort by '%1': give a column (%2), with :desc to reverse it")
                                      .arg(options[i], sortFieldNames()));
                co_return 2;
            }
        } else {
            console.errorLine(QStringLiteral("varno-cli: list takes --json and --sort FIELD[:desc] (varno-cli help lists the commands)"));
            co_return 2;
        }
    }
    // Read once and printed: an intact snapshot of the library on disk is
    // read where it lies, song by song, without loading the library.
    std::unique_ptr<snapshot::Mapping> mapping = mapLibrarySnapshot();
    if (mapping && !mapping->checkAll())
        mapping.reset();
    std::unique_ptr<Library> library;
    std::optional<TrackList> tracks;
    if (!mapping || sort) {
        if (mapping)
            tracks = mapping->songs();
        if (!tracks) {
            library = co_await openLibrary(console);
            if (!library)
                co_return 1;
            tracks = library->engine.allTracks();
        }
        // The song list's own sort, so both show one order.
        if (sort)
            tracks = sortedTracks(*tracks, *sort, trackCollator());
    }
    const std::size_t count = tracks ? tracks->size() : mapping->songCount();
    Track borrowed;
    // Song i, from the list or lent by the snapshot.
    const auto songAt = [&](std::size_t i) -> const Track* {
        if (tracks)
            return &(*tracks)[i];
        return mapping->borrowSong(i, borrowed) ? &borrowed : nullptr;
    };

    if (asJson) {
        // Streamed: a library of 100,000 songs is tens of megabytes of text,
        // never held whole.
        constexpr std::size_t kChunk = 256 << 10;
        std::string buffer;
        buffer.reserve(kChunk + (64 << 10));
        json::Writer writer(buffer);
        writer.beginArray();
        for (std::size_t i = 0; i < count; ++i) {
            const Track* track = songAt(i);
            if (!track)
                co_return unreadableSnapshot(console);
            json::encode(writer, *track);
            if (buffer.size() >= kChunk) {
                std::fwrite(buffer.data(), 1, buffer.size(), console.out);
                buffer.clear();
            }
        }
        writer.endArray();
        buffer += '\n';
        std::fwrite(buffer.data(), 1, buffer.size(), console.out);
        std::fflush(console.out);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const Track* track = songAt(i);
            if (!track)
                co_return unreadableSnapshot(console);
            console.line(describeSong(*track));
        }
    }
    co_return 0;
}

namespace {

// A search is one look at the library: when the snapshot of the library file
// on disk is there and intact, it is searched where it lies and only the
// songs found are built, which spares loading a large library. Absent, with
// nothing said, whenever anything is not as a plain search expects (no
// snapshot, a damaged one, playlists that cannot be read or have problems
// to report): the full load then does and says what it always does.
std::optional<SearchResults> searchWithoutLoading(const QString& text)
{
    const std::unique_ptr<snapshot::Mapping> mapping = mapLibrarySnapshot();
    if (!mapping)
        return std::nullopt;
    try {
        const std::vector<PlaylistRecord> records = OstrelPlaylistStorage().readRecords();
        const QCollator collator {QLocale()};
        const PlaylistTree tree = PlaylistTree::build(records, &collator);
        if (!tree.problems.isEmpty())
            return std::nullopt;
        QList<Playlist> playlists;
        walkPlaylistTree(tree.roots, tree.byID, [&](const Playlist& playlist, int) { playlists.append(playlist); });
        return searchSnapshot(*mapping, text, playlists);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

QCoro::Task<SearchResults> searchLoaded(const QString& text, Console console, bool& failed)
{
    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library) {
        failed = true;
        co_return SearchResults {};
    }
    OstrelSearchEngine search;
    search.updateTracks(library->engine.allTracks());
    // Playlists are searched when their store can be read; songs either way
    // (openPlaylists has said why on standard error).
    OstrelQueueEngine queue;
    if (const std::unique_ptr<PlaylistShelf> shelf = co_await openPlaylists(*library, queue, console))
        search.updatePlaylists(shelf->engine.playlistsInTreeOrder());
    co_return search.searchImmediately(text);
}

} // namespace

QCoro::Task<int> searchLibrary(QString text, bool asJson, Console console)
{
    std::optional<SearchResults> quick = searchWithoutLoading(text);
    bool failed = false;
    if (!quick) {
        quick = co_await searchLoaded(text, console, failed);
        if (failed)
            co_return 1;
    }
    const SearchResults& found = *quick;

    if (asJson) {
        std::string out;
        json::Writer w(out);
        w.beginObject();
        w.key("query").string(QStringView(found.query));
        w.key("songs").beginArray();
        for (const Track& track : found.songs)
            json::encode(w, track);
        w.endArray();
        for (const auto& [key, names] : {std::pair {"artists", &found.artists}, {"albums", &found.albums}, {"genres", &found.genres}}) {
            w.key(key);
            json::Codec<QStringList>::encode(w, *names);
        }
        w.key("playlists").beginArray();
        for (const Playlist& playlist : found.playlists) {
            w.beginObject();
            w.key("id").uuid(playlist.id);
            w.key("name").string(QStringView(playlist.name));
            w.endObject();
        }
        w.endArray();
        w.endObject();
        out += '\n';
        std::fwrite(out.data(), 1, out.size(), console.out);
        std::fflush(console.out);
    } else {
        const auto section = [&](const char* title, const QStringList& lines) {
            if (lines.isEmpty())
                return;
            console.line(QString::fromLatin1(title));
            for (const QString& line : lines)
                console.line(QStringLiteral("  ") + line);
        };
        QStringList songs;
        for (const Track& track : found.songs)
            songs << describeSong(track);
        QStringList playlists;
        for (const Playlist& playlist : found.playlists)
            playlists << playlist.id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('\t') + terminalSafe(playlist.name);
        const auto safe = [](const QStringList& names) {
            QStringList escaped;
            for (const QString& name : names)
                escaped << terminalSafe(name);
            return escaped;
        };
        section("SONGS", songs);
        section("ARTISTS", safe(found.artists));
        section("ALBUMS", safe(found.albums));
        section("PLAYLISTS", playlists);
    }
    const bool nothing = found.songs.empty() && found.artists.isEmpty() && found.albums.isEmpty() && found.genres.isEmpty() && found.playlists.isEmpty();
    co_return nothing ? 1 : 0;
}

QCoro::Task<int> rescanLibrary(Console console)
{
    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library)
        co_return 1;
    RescanSummary summary;
    int filled = 0;
    try {
        auto rescanning = library->engine.rescan();
        summary = co_await rescanning;
        // The app lets the tag fill run on in the background; the command
        // waits for it, so its report (and its time) include the fill.
        auto filling = library->engine.waitForTagFill();
        filled = co_await filling;
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    QString line = QStringLiteral("Added %1 songs; %2 files missing").arg(summary.added).arg(summary.missing);
    if (filled > 0)
        line += QStringLiteral("; %1 songs filled in from their tags").arg(filled);
    console.line(line + QLatin1Char('.'));
    if (!summary.failures.isEmpty()) {
        console.errorLine(summary.failures);
        co_return 1;
    }
    co_return 0;
}

QCoro::Task<int> removeSong(QString id, bool deleteFile, Console console)
{
    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library)
        co_return 1;
    const QUuid wanted = QUuid::fromString(id);
    const TrackList& songs = library->engine.allTracks();
    const auto found = std::find_if(songs.begin(), songs.end(), [&](const Track& t) { return !wanted.isNull() && t.id == wanted; });
    if (found == songs.end()) {
        console.errorLine(QStringLiteral("varno-cli: no song with the id %1 in the library").arg(id));
        co_return 1;
    }
    const Track song = *found;
    try {
        auto removing = library->engine.removeTrack(song, deleteFile ? RemovalKind::DeleteFile : RemovalKind::KeepFile);
        co_await removing;
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    console.line(deleteFile ? QStringLiteral("Removed \u201C%1\u201D from the library and deleted its file.").arg(terminalSafe(song.title))
                            : QStringLiteral("Removed \u201C%1\u201D from the library; its file was kept.").arg(terminalSafe(song.title)));
    co_return 0;
}

QCoro::Task<int> restoreBackup(Console console)
{
    try {
        // Only the database: a library engine would start reading the very
        // file being replaced.
        DiagnosticsToStandardError diagnostics;
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
