#include "CliCommand.h"
#include "CliLibrary.h"
#include "TerminalText.h"

#include "platform/Error.h"
#include "playlists/PlaylistError.h"
#include "playlists/PlaylistFileTransfer.h"
#include "storage/SmartRule.h"
#include "storage/Json.h"

#include <QFileInfo>

#include <algorithm>

namespace varno::cli {

PlaylistShelf::PlaylistShelf(LibraryEngine& library, QueueEngine& queue, DatabaseManager* database)
    : engine(storage, library, queue, database)
{
}

QCoro::Task<std::unique_ptr<PlaylistShelf>> openPlaylists(Library& library, QueueEngine& queue, Console console)
{
    std::unique_ptr<PlaylistShelf> shelf;
    try {
        shelf = std::make_unique<PlaylistShelf>(library.engine, queue, &library.database);
    } catch (const std::exception& error) {
        console.errorLine(QStringLiteral("varno-cli: the playlists cannot be used: ") + describe(error));
        co_return std::unique_ptr<PlaylistShelf>();
    }
    // The engine starts loading when made; loading again would say a
    // second time why the store cannot be read.
    auto loading = shelf->engine.waitForPendingOperations();
    co_await loading;
    // The engine printed why; a store it cannot read is not one to change.
    if (shelf->engine.loadError())
        co_return std::unique_ptr<PlaylistShelf>();
    for (const QString& problem : shelf->engine.loadProblems())
        console.errorLine(problem);
    co_return shelf;
}

std::optional<QUuid> parseID(const QString& text, const QString& what, Console console)
{
    const QUuid id = QUuid::fromString(text);
    if (id.isNull()) {
        console.errorLine(QStringLiteral("varno-cli: %1 is not a %2 id").arg(text, what));
        return std::nullopt;
    }
    return id;
}

namespace {

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString typeName(const PlaylistType& type)
{
    switch (type.kind()) {
    case PlaylistType::Kind::Standard: return QStringLiteral("standard");
    case PlaylistType::Kind::Smart: return QStringLiteral("smart");
    case PlaylistType::Kind::Folder: return QStringLiteral("folder");
    }
    return {};
}

QString count(qsizetype n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
}

// What `playlists` shows after a playlist's name.
QString detailOf(const Playlist& playlist, qsizetype inLibrary)
{
    QStringList parts;
    if (playlist.type.kind() == PlaylistType::Kind::Folder) {
        parts << QStringLiteral("folder") << count(playlist.childrenIDs.size(), "playlist", "playlists");
    } else {
        if (playlist.type.kind() == PlaylistType::Kind::Smart)
            parts << QStringLiteral("smart: %1").arg(playlist.type.criteria());
        parts << count(inLibrary, "song", "songs");
        if (!playlist.type.isLiveSmart() && playlist.trackIDs.size() > inLibrary)
            parts << QStringLiteral("%1 not in the library").arg(playlist.trackIDs.size() - inLibrary);
    }
    if (playlist.isFavorite)
        parts << QStringLiteral("favourite");
    return parts.join(QStringLiteral(", "));
}

// The songs of the playlist that the library holds, counted without
// resolving them; a live smart playlist's, the songs that match its rules.
qsizetype songsInLibrary(const Playlist& playlist, const PlaylistEngine& engine, const QSet<QUuid>& library)
{
    if (playlist.type.isLiveSmart())
        return static_cast<qsizetype>(engine.getTracks(playlist.id).size());
    return std::count_if(playlist.trackIDs.begin(), playlist.trackIDs.end(), [&](const QUuid& id) { return library.contains(id); });
}

void writeTree(json::Writer& w, const Playlist& playlist, const PlaylistEngine& engine, const QSet<QUuid>& library, QSet<QUuid>& seen)
{
    seen.insert(playlist.id);
    w.beginObject();
    w.key("id").uuid(playlist.id);
    w.key("name").string(QStringView(playlist.name));
    w.key("type").string(QStringView(typeName(playlist.type)));
    if (playlist.type.kind() == PlaylistType::Kind::Smart)
        w.key("criteria").string(QStringView(playlist.type.criteria()));
    w.key("isFavorite").boolean(playlist.isFavorite);
    if (playlist.type.kind() != PlaylistType::Kind::Folder) {
        const qsizetype found = songsInLibrary(playlist, engine, library);
        w.key("songs").integer(found);
        w.key("missingSongs").integer(playlist.type.isLiveSmart() ? 0 : playlist.trackIDs.size() - found);
    }
    if (!playlist.childrenIDs.isEmpty()) {
        w.key("children").beginArray();
        for (const Playlist& child : engine.childrenOf(playlist.id)) {
            if (!seen.contains(child.id))
                writeTree(w, child, engine, library, seen);
        }
        w.endArray();
    }
    w.endObject();
}

QStringList propertyTexts()
{
    QStringList texts;
    for (const SmartRuleProperty property : allSmartRuleProperties())
        texts << QStringLiteral("\"%1\"").arg(rawValue(property));
    return texts;
}

QStringList conditionTexts()
{
    QStringList texts;
    for (const SmartRuleCondition condition : allSmartRuleConditions())
        texts << QStringLiteral("\"%1\"").arg(rawValue(condition));
    return texts;
}

// Everything a playlist command needs: the library (loaded), a queue that
// never plays, and the playlists.
struct Workspace {
    std::unique_ptr<Library> library;
    OstrelQueueEngine queue;
    std::unique_ptr<PlaylistShelf> shelf;
};

QCoro::Task<std::unique_ptr<Workspace>> openWorkspace(Console console)
{
    auto workspace = std::make_unique<Workspace>();
    workspace->library = co_await openLibrary(console);
    if (!workspace->library)
        co_return std::unique_ptr<Workspace>();
    workspace->shelf = co_await openPlaylists(*workspace->library, workspace->queue, console);
    if (!workspace->shelf)
        co_return std::unique_ptr<Workspace>();
    co_return workspace;
}

} // namespace

QCoro::Task<int> listPlaylists(bool asJson, Console console)
{
    const std::unique_ptr<Workspace> workspace = co_await openWorkspace(console);
    if (!workspace)
        co_return 1;
    const PlaylistEngine& engine = workspace->shelf->engine;
    QSet<QUuid> library;
    for (const Track& track : workspace->library->engine.allTracks())
        library.insert(track.id);

    if (asJson) {
        std::string out;
        json::Writer w(out);
        QSet<QUuid> seen;
        w.beginArray();
        for (const Playlist& root : engine.rootPlaylists())
            writeTree(w, root, engine, library, seen);
        w.endArray();
        console.line(QString::fromStdString(out));
        co_return 0;
    }
    if (engine.rootPlaylists().isEmpty()) {
        console.line(QStringLiteral("No playlists."));
        co_return 0;
    }
    QSet<QUuid> seen;
    const std::function<void(const Playlist&, int)> print = [&](const Playlist& playlist, int depth) {
        seen.insert(playlist.id);
        console.line(QStringLiteral("%1\t%2%3 (%4)")
                         .arg(idText(playlist.id), QString(depth * 2, QLatin1Char(' ')), terminalSafe(playlist.name),
                              detailOf(playlist, songsInLibrary(playlist, engine, library))));
        for (const Playlist& child : engine.childrenOf(playlist.id)) {
            if (!seen.contains(child.id))
                print(child, depth + 1);
        }
    };
    for (const Playlist& root : engine.rootPlaylists())
        print(root, 0);
    co_return 0;
}

QCoro::Task<int> showPlaylist(QString id, Console console)
{
    const std::optional<QUuid> playlistID = parseID(id, QStringLiteral("playlist"), console);
    if (!playlistID)
        co_return 1;
    const std::unique_ptr<Workspace> workspace = co_await openWorkspace(console);
    if (!workspace)
        co_return 1;
    const PlaylistEngine& engine = workspace->shelf->engine;
    const std::optional<Playlist> playlist = engine.findPlaylist(*playlistID);
    if (!playlist) {
        console.errorLine(PlaylistError::playlistNotFound().description());
        co_return 1;
    }
    if (playlist->type.isLiveSmart()) {
        // The songs that match its rules now, in library order.
        qsizetype position = 0;
        for (const Track& song : engine.getTracks(playlist->id))
            console.line(QStringLiteral("%1. %2").arg(++position).arg(describeSong(song)));
        co_return 0;
    }
    QHash<QUuid, const Track*> songs;
    const TrackList& library = workspace->library->engine.allTracks();
    for (const Track& track : library)
        songs.insert(track.id, &track);
    qsizetype position = 0;
    for (const QUuid& songID : playlist->trackIDs) {
        ++position;
        const Track* song = songs.value(songID);
        console.line(QStringLiteral("%1. %2").arg(position).arg(song ? describeSong(*song) : idText(songID) + QStringLiteral("\t(not in the library)")));
    }
    co_return 0;
}

QCoro::Task<int> changePlaylists(QStringList arguments, Console console)
{
    const QString action = arguments.takeFirst();
    const std::unique_ptr<Workspace> workspace = co_await openWorkspace(console);
    if (!workspace)
        co_return 1;
    PlaylistEngine& engine = workspace->shelf->engine;

    // "--folder ID" anywhere after the name puts a new playlist inside.
    std::optional<QUuid> folder;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--folder")); at >= 0) {
        if (at + 1 >= arguments.size()) {
            console.errorLine(QStringLiteral("varno-cli: --folder needs a folder id"));
            co_return 2;
        }
        folder = parseID(arguments[at + 1], QStringLiteral("folder"), console);
        if (!folder)
            co_return 1;
        arguments.remove(at, 2);
    }

    try {
        if (action == QLatin1String("create") || action == QLatin1String("folder")) {
            auto creating = action == QLatin1String("create") ? engine.createPlaylist(arguments.join(QLatin1Char(' ')), folder)
                                                              : engine.createFolder(arguments.join(QLatin1Char(' ')), folder);
            const Playlist created = co_await creating;
            console.line(QStringLiteral("%1\t%2").arg(idText(created.id), terminalSafe(created.name)));
        } else if (action == QLatin1String("smart")) {
            SmartRuleSet rules;
            QStringList name;
            for (qsizetype i = 0; i < arguments.size(); ++i) {
                if (arguments[i] == QLatin1String("--any")) {
                    rules.matchAllRules = false;
                } else if (arguments[i] == QLatin1String("--rule") && i + 1 < arguments.size()) {
                    const std::optional<SmartRule> rule = parseSmartRule(arguments[++i]);
                    if (!rule) {
                        console.errorLine(QStringLiteral("varno-cli: \"%1\" is not a rule: give a property (%2), a condition (%3) and a value")
                                              .arg(arguments[i], propertyTexts().join(QStringLiteral(", ")),
                                                   conditionTexts().join(QStringLiteral(", "))));
                        co_return 1;
                    }
                    rules.rules.push_back(*rule);
                } else {
                    name << arguments[i];
                }
            }
            auto creating = engine.createSmartPlaylist(name.join(QLatin1Char(' ')), rules, folder);
            const Playlist created = co_await creating;
            console.line(QStringLiteral("%1\t%2\t%3").arg(idText(created.id), terminalSafe(created.name), terminalSafe(created.type.criteria())));
        } else {
            const std::optional<QUuid> id = parseID(arguments.value(0), QStringLiteral("playlist"), console);
            if (!id)
                co_return 1;
            if (action == QLatin1String("rename")) {
                auto renaming = engine.rename(*id, arguments.mid(1).join(QLatin1Char(' ')));
                co_await renaming;
            } else if (action == QLatin1String("delete")) {
                auto deleting = engine.deletePlaylist(*id);
                co_await deleting;
            } else if (action == QLatin1String("add")) {
                const TrackList& library = workspace->library->engine.allTracks();
                TrackList songs;
                for (const QString& text : arguments.mid(1)) {
                    const std::optional<QUuid> songID = parseID(text, QStringLiteral("song"), console);
                    if (!songID)
                        co_return 1;
                    SharedTrack found = library.find(*songID);
                    if (!found) {
                        console.errorLine(QStringLiteral("varno-cli: no song has the id %1").arg(idText(*songID)));
                        co_return 1;
                    }
                    songs.append(std::move(found));
                }
                auto adding = engine.addTracks(songs, *id);
                co_await adding;
            } else if (action == QLatin1String("remove")) {
                // Positions as `playlist show` numbers them, from 1.
                QList<qsizetype> positions;
                for (const QString& text : arguments.mid(1)) {
                    bool ok = false;
                    const qsizetype position = text.toLongLong(&ok);
                    const std::optional<Playlist> playlist = engine.findPlaylist(*id);
                    if (!ok || position < 1 || (playlist && position > playlist->trackIDs.size())) {
                        console.errorLine(QStringLiteral("varno-cli: %1 is not a position in the playlist (see varno-cli playlist show)").arg(text));
                        co_return 1;
                    }
                    positions << position - 1;
                }
                auto removing = engine.removeTracks(positions, *id);
                co_await removing;
            }
            if (const std::optional<Playlist> playlist = engine.findPlaylist(*id))
                console.line(QStringLiteral("%1\t%2 (%3)").arg(idText(playlist->id), terminalSafe(playlist->name), count(playlist->trackIDs.size(), "song", "songs")));
        }
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    co_return 0;
}

QCoro::Task<int> importPlaylist(QStringList arguments, Console console)
{
    std::optional<QString> name;
    std::optional<QUuid> folder;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--name") || argument == QLatin1String("--folder")) {
            if (i + 1 >= arguments.size()) {
                console.errorLine(QStringLiteral("varno-cli: %1 needs a value").arg(argument));
                co_return 2;
            }
            const QString value = arguments[++i];
            if (argument == QLatin1String("--name")) {
                name = value;
            } else {
                folder = parseID(value, QStringLiteral("folder"), console);
                if (!folder)
                    co_return 1;
            }
        } else {
            files << argument;
        }
    }
    if (files.size() != 1) {
        console.errorLine(QStringLiteral("varno-cli: playlist import takes one playlist file"));
        co_return 2;
    }
    const QString path = QFileInfo(files.first()).absoluteFilePath();
    const std::unique_ptr<Workspace> workspace = co_await openWorkspace(console);
    if (!workspace)
        co_return 1;
    PlaylistFileImport imported;
    try {
        auto importing = importPlaylistFile(workspace->library->engine, workspace->shelf->engine, path, name, folder);
        imported = co_await std::move(importing);
    } catch (const std::exception& error) {
        console.errorLine(QStringLiteral("varno-cli: ") + describe(error));
        co_return 1;
    }
    for (const SkippedPlaylistEntry& entry : imported.skipped)
        console.errorLine(QStringLiteral("varno-cli: skipped ") + terminalSafe(entry.description()));
    if (!imported.playlist) {
        console.errorLine(QStringLiteral("varno-cli: no song of %1 could be added; no playlist was made").arg(terminalSafe(files.first())));
        co_return 1;
    }
    console.line(QStringLiteral("%1\t%2 (%3)")
                     .arg(idText(imported.playlist->id), terminalSafe(imported.playlist->name),
                          count(static_cast<qsizetype>(imported.songsAdded), "song", "songs")));
    co_return 0;
}

QCoro::Task<int> exportPlaylist(QString id, QString file, Console console)
{
    const std::optional<QUuid> playlistID = parseID(id, QStringLiteral("playlist"), console);
    if (!playlistID)
        co_return 1;
    const std::unique_ptr<Workspace> workspace = co_await openWorkspace(console);
    if (!workspace)
        co_return 1;
    const QString path = QFileInfo(file).absoluteFilePath();
    try {
        auto exporting = exportPlaylistFile(workspace->shelf->engine, *playlistID, path);
        const std::size_t written = co_await std::move(exporting);
        console.line(QStringLiteral("%1 (%2)").arg(terminalSafe(path), count(static_cast<qsizetype>(written), "song", "songs")));
    } catch (const std::exception& error) {
        console.errorLine(QStringLiteral("varno-cli: ") + describe(error));
        co_return 1;
    }
    co_return 0;
}

} // namespace varno::cli
