#include "PlaylistFileTransfer.h"

#include "library/AudioImportSupport.h"
#include "library/LibraryEngine.h"
#include "platform/FileIO.h"
#include "platform/Worker.h"
#include "playlists/PlaylistEngine.h"
#include "playlists/PlaylistError.h"
#include "playlists/PlaylistFile.h"

#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QThreadPool>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcPlaylistFiles, "varno.playlists.files")

// An entry that names a file the library can take, in file order.
struct Wanted {
    QString location;
    FileURL url;
    std::optional<QString> title;
};

struct ReadFile {
    std::vector<Wanted> wanted;
    std::vector<SkippedPlaylistEntry> skipped;
};

// On a worker: reads and parses the file and looks at every file it names.
ReadFile readPlaylistFile(const QString& path, PlaylistFileFormat format)
{
    std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path);
    if (!bytes)
        throw PlaylistFileError::fileMissing(path);
    const QByteArray text(bytes->data(), static_cast<qsizetype>(bytes->size()));
    const QString folder = QFileInfo(path).absolutePath();
    ReadFile read;
    for (PlaylistFileEntry& entry : parsePlaylistFile(text, format)) {
        const std::optional<QString> local = localPathOf(entry.location, folder);
        if (!local) {
            read.skipped.push_back({entry.location, SkippedPlaylistEntry::Reason::Stream});
            continue;
        }
        const QFileInfo file(*local);
        if (!file.exists()) {
            read.skipped.push_back({entry.location, SkippedPlaylistEntry::Reason::Missing});
            continue;
        }
        if (file.isDir() || !AudioImportSupport::isSupportedAudioPath(*local)) {
            read.skipped.push_back({entry.location, SkippedPlaylistEntry::Reason::NotAudio});
            continue;
        }
        read.wanted.push_back({entry.location, FileURL::fromLocalFile(*local), std::move(entry.title)});
    }
    return read;
}

// Whether the song's title is the one the library makes from its file's
// name when the file has no tags, and nothing else was read from it.
bool hasNoTags(const Track& song)
{
    const QFileInfo file(song.fileURL.toLocalFile());
    const QString fromName = file.completeBaseName().isEmpty() ? file.fileName() : file.completeBaseName();
    return song.title == fromName && !song.artist && !song.album && !song.genre;
}

} // namespace

QString SkippedPlaylistEntry::description() const
{
    switch (reason) {
    case Reason::Stream: return QStringLiteral("%1 (a stream, not a file)").arg(location);
    case Reason::Missing: return QStringLiteral("%1 (no such file)").arg(location);
    case Reason::NotAudio: return QStringLiteral("%1 (not a song file the library can hold)").arg(location);
    case Reason::NotImported: return QStringLiteral("%1 (could not be read as a song)").arg(location);
    }
    Q_UNREACHABLE();
}

QString PlaylistFileImport::skippedMessage(const QString& fileName) const
{
    if (skipped.empty())
        return {};
    QString message = skipped.size() == 1 ? QStringLiteral("1 entry of \u201C%1\u201D was skipped:").arg(fileName)
                                          : QStringLiteral("%1 entries of \u201C%2\u201D were skipped:").arg(skipped.size()).arg(fileName);
    for (const SkippedPlaylistEntry& entry : skipped)
        message += QLatin1Char('\n') + entry.description();
    return message;
}

QCoro::Task<PlaylistFileImport> importPlaylistFile(LibraryEngine& library, PlaylistEngine& playlists, QString path,
                                                   std::optional<QString> name, std::optional<QUuid> folder)
{
    const std::optional<PlaylistFileFormat> format = playlistFileFormat(path);
    if (!format)
        throw PlaylistFileError::notAPlaylistFile(QFileInfo(path).fileName());
    auto reading = runOn(QThreadPool::globalInstance(), [path, format = *format] { return readPlaylistFile(path, format); });
    ReadFile read = co_await std::move(reading);
    PlaylistFileImport result;
    result.skipped = std::move(read.skipped);

    // Files already in the library are not imported again; the others are,
    // each once however often the file lists it.
    QSet<FileURL> known;
    for (const Track& song : library.allTracks())
        known.insert(song.fileURL);
    std::vector<FileURL> toImport;
    QSet<FileURL> asked;
    for (const Wanted& entry : read.wanted) {
        if (!known.contains(entry.url) && !asked.contains(entry.url)) {
            asked.insert(entry.url);
            toImport.push_back(entry.url);
        }
    }
    if (!toImport.empty()) {
        try {
            auto importing = library.importFiles(toImport);
            co_await std::move(importing);
        } catch (const std::exception& error) {
            // Whatever was imported stays; what was not is listed below.
            qCWarning(lcPlaylistFiles).noquote() << "Some songs of" << path << "were not imported:" << describe(error);
        }
    }

    QHash<FileURL, SharedTrack> byURL;
    for (const SharedTrack& song : library.allTracks().sharedSongs())
        byURL.insert(song->fileURL, song);

    // Named by the file only when the song just came in without tags.
    std::vector<Track> named;
    QSet<FileURL> renamed;
    TrackList songs;
    for (const Wanted& entry : read.wanted) {
        const SharedTrack song = byURL.value(entry.url);
        if (!song) {
            result.skipped.push_back({entry.location, SkippedPlaylistEntry::Reason::NotImported});
            continue;
        }
        songs.append(song);
        if (entry.title && !known.contains(entry.url) && !renamed.contains(entry.url) && hasNoTags(*song)) {
            const ArtistAndTitle given = splitArtistAndTitle(*entry.title);
            Track track = *song;
            track.title = given.title;
            track.artist = given.artist;
            named.push_back(std::move(track));
            renamed.insert(entry.url);
        }
    }
    if (!named.empty()) {
        auto naming = library.updateTracks(std::move(named));
        co_await std::move(naming);
    }
    if (songs.empty())
        co_return result;

    // Made at the top level and moved into its folder afterwards: songs are
    // added to playlists the top level shows.
    auto creating = playlists.createPlaylist(name.value_or(QFileInfo(path).completeBaseName()));
    const Playlist made = co_await std::move(creating);
    auto adding = playlists.addTracks(songs, made.id);
    co_await std::move(adding);
    if (folder) {
        auto moving = playlists.move(made.id, folder, 0);
        co_await std::move(moving);
    }
    result.playlist = playlists.findPlaylist(made.id);
    if (!result.playlist)
        result.playlist = made;
    result.songsAdded = songs.size();
    co_return result;
}

QCoro::Task<std::size_t> exportPlaylistFile(PlaylistEngine& playlists, QUuid playlistID, QString path)
{
    const std::optional<Playlist> playlist = playlists.findPlaylist(playlistID);
    if (!playlist)
        throw PlaylistError::playlistNotFound();
    if (playlist->type.kind() == PlaylistType::Kind::Folder)
        throw PlaylistError::cannotExportFolder();
    const TrackList songs = playlists.getTracks(playlistID);
    auto writing = runOn(QThreadPool::globalInstance(), [path, text = m3u8Text(songs)] { fileio::writeFileAtomically(path, text); });
    co_await std::move(writing);
    co_return songs.size();
}

} // namespace varno
