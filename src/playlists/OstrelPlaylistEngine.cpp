#include "OstrelPlaylistEngine.h"

#include "platform/Diagnostics.h"
#include "platform/Error.h"
#include "playlists/PlaylistError.h"

#include <QCollator>
#include <QLocale>
#include <QLoggingCategory>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>

Q_LOGGING_CATEGORY(lcPlaylists, "varno.playlists")

namespace varno {

namespace {

qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace

OstrelPlaylistEngine::OstrelPlaylistEngine(PlaylistStorage& storage, LibraryEngine& libraryEngine, QueueEngine& queueEngine, QObject* parent)
    : PlaylistEngine(parent)
    , m_storage(storage)
    , m_libraryEngine(libraryEngine)
    , m_queueEngine(queueEngine)
{
    connect(&m_libraryEngine, &LibraryEngine::tracksChanged, this, [this] {
        m_libraryPositionsStale = true;
        m_libraryPositions.clear();
    });
    // Holds the gate until the tree is in, so that every operation called
    // before then sees the stored playlists.
    m_initialLoad.emplace(loadPlaylists());
}

OstrelPlaylistEngine::~OstrelPlaylistEngine() = default;

std::optional<Playlist> OstrelPlaylistEngine::getPlaylist(const QUuid& id) const
{
    for (const Playlist& playlist : m_rootPlaylists) {
        if (playlist.id == id)
            return playlist;
    }
    return std::nullopt;
}

QList<Playlist> OstrelPlaylistEngine::childrenOf(const QUuid& folderID) const
{
    QList<Playlist> children;
    const auto folder = m_allPlaylists.constFind(folderID);
    if (folder == m_allPlaylists.cend())
        return children;
    for (const QUuid& id : folder->childrenIDs) {
        if (const auto child = m_allPlaylists.constFind(id); child != m_allPlaylists.cend() && child->id != folderID)
            children.push_back(*child);
    }
    return children;
}

QList<Playlist> OstrelPlaylistEngine::playlistsInTreeOrder() const
{
    QList<Playlist> all;
    all.reserve(m_allPlaylists.size());
    walkPlaylistTree(m_rootPlaylists, m_allPlaylists, [&](const Playlist& playlist, int) { all.push_back(playlist); });
    return all;
}

qsizetype OstrelPlaylistEngine::topLevelIndex(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_rootPlaylists.size(); ++i) {
        if (m_rootPlaylists[i].id == id)
            return i;
    }
    throw PlaylistError::playlistNotFound();
}

QString OstrelPlaylistEngine::validatedName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        throw PlaylistError::invalidName();
    // Counted as the user sees characters, so a flag or an accented letter
    // typed as two code points is one.
    if (trimmed.size() > kMaxNameLength && graphemeCount(trimmed) > kMaxNameLength)
        throw PlaylistError::nameTooLong();
    return trimmed;
}

void OstrelPlaylistEngine::setRootPlaylists(QList<Playlist> playlists)
{
    m_rootPlaylists = std::move(playlists);
    emit rootPlaylistsChanged();
}

void OstrelPlaylistEngine::setLoadState(std::optional<QString> error, QStringList problems)
{
    if (error == m_loadError && problems == m_loadProblems)
        return;
    m_loadError = std::move(error);
    m_loadProblems = std::move(problems);
    emit loadStateChanged();
}

QCoro::Task<> OstrelPlaylistEngine::loadPlaylists()
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    auto rebuilding = rebuild();
    co_await rebuilding;
}

QCoro::Task<> OstrelPlaylistEngine::waitForPendingOperations()
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
}

QCoro::Task<> OstrelPlaylistEngine::refreshIfChangedElsewhere()
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    auto checking = m_storage.changedElsewhere();
    if (!co_await checking)
        co_return;
    auto rebuilding = rebuild();
    co_await rebuilding;
}

QCoro::Task<> OstrelPlaylistEngine::rebuild()
{
    std::vector<PlaylistRecord> records;
    try {
        auto fetching = m_storage.fetchAllRecords();
        records = co_await fetching;
    } catch (const std::exception& error) {
        const QString description = describe(error);
        printDiagnostic(QStringLiteral("Failed to load playlists: ") + description);
        m_allPlaylists.clear();
        setRootPlaylists({});
        setLoadState(description, {});
        co_return;
    }
    QCollator collator {QLocale()};
    PlaylistTree tree = PlaylistTree::build(records, collator);
    for (const QString& problem : tree.problems)
        qCWarning(lcPlaylists).noquote() << problem;
    m_allPlaylists = std::move(tree.byID);
    setRootPlaylists(std::move(tree.roots));
    setLoadState(std::nullopt, std::move(tree.problems));
}

QCoro::Task<Playlist> OstrelPlaylistEngine::create(QString name, PlaylistType type, std::optional<QUuid> parentFolderID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    Playlist playlist;
    playlist.id = QUuid::createUuid();
    playlist.name = std::move(name);
    playlist.type = std::move(type);
    auto saving = m_storage.saveRecord(PlaylistRecord::from(playlist, parentFolderID, 0));
    co_await saving;
    if (!parentFolderID) {
        m_rootPlaylists.push_back(playlist);
        m_allPlaylists.insert(playlist.id, playlist);
        emit rootPlaylistsChanged();
    }
    co_return playlist;
}

QCoro::Task<Playlist> OstrelPlaylistEngine::createPlaylist(QString name, std::optional<QUuid> parentFolderID)
{
    auto creating = create(std::move(name), PlaylistType::standard(), parentFolderID);
    co_return co_await creating;
}

QCoro::Task<Playlist> OstrelPlaylistEngine::createSmartPlaylist(QString name, QString criteria, std::optional<QUuid> parentFolderID)
{
    auto creating = create(std::move(name), PlaylistType::smart(criteria), parentFolderID);
    co_return co_await creating;
}

QCoro::Task<Playlist> OstrelPlaylistEngine::createFolder(QString name, std::optional<QUuid> parentFolderID)
{
    auto creating = create(std::move(name), PlaylistType::folder(), parentFolderID);
    co_return co_await creating;
}

QCoro::Task<> OstrelPlaylistEngine::rename(QUuid playlistID, QString newName)
{
    const QString name = validatedName(newName);
    const AsyncGate::Hold hold = co_await m_gate.enter();
    // The store, not the tree: a playlist inside a folder is renamed too.
    auto fetching = m_storage.fetchAllRecords();
    const std::vector<PlaylistRecord> records = co_await fetching;
    const auto found = std::find_if(records.begin(), records.end(), [&](const PlaylistRecord& r) { return r.id == playlistID; });
    if (found == records.end())
        throw PlaylistError::playlistNotFound();
    if (found->name == name)
        co_return;
    PlaylistRecord renamed = *found;
    renamed.name = name;
    auto saving = m_storage.saveRecord(std::move(renamed));
    co_await saving;
    auto rebuilding = rebuild();
    co_await rebuilding;
}

QCoro::Task<Playlist> OstrelPlaylistEngine::duplicate(QUuid playlistID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const Playlist& source = m_rootPlaylists[topLevelIndex(playlistID)];
    Playlist copy;
    copy.id = QUuid::createUuid();
    copy.name = source.name + QStringLiteral(" (Copy)");
    copy.description = source.description;
    copy.tags = source.tags;
    copy.type = source.type;
    copy.trackIDs = source.trackIDs;
    auto saving = m_storage.saveRecord(PlaylistRecord::from(copy, std::nullopt, m_rootPlaylists.size()));
    co_await saving;
    m_rootPlaylists.push_back(copy);
    m_allPlaylists.insert(copy.id, copy);
    emit rootPlaylistsChanged();
    co_return copy;
}

QCoro::Task<> OstrelPlaylistEngine::deletePlaylist(QUuid playlistID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const bool isFolder = m_rootPlaylists[topLevelIndex(playlistID)].type.kind() == PlaylistType::Kind::Folder;
    if (isFolder) {
        auto deleting = m_storage.deleteFolderRecursively(playlistID);
        co_await deleting;
    } else {
        auto deleting = m_storage.deleteRecord(playlistID);
        co_await deleting;
    }
    m_rootPlaylists.removeIf([&](const Playlist& p) { return p.id == playlistID; });
    m_allPlaylists.remove(playlistID);
    emit rootPlaylistsChanged();
}

QCoro::Task<> OstrelPlaylistEngine::writeBack(qsizetype index)
{
    const Playlist& playlist = m_rootPlaylists[index];
    m_allPlaylists.insert(playlist.id, playlist);
    emit rootPlaylistsChanged();
    auto saving = m_storage.saveRecord(PlaylistRecord::from(playlist, std::nullopt, index));
    co_await saving;
}

QCoro::Task<> OstrelPlaylistEngine::addTracks(TrackList tracks, QUuid playlistID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const qsizetype index = topLevelIndex(playlistID);
    Playlist& playlist = m_rootPlaylists[index];
    // Only ids already in the playlist before the call are left out; a song
    // given twice in this call is added twice.
    const QSet<QUuid> present(playlist.trackIDs.cbegin(), playlist.trackIDs.cend());
    for (const Track& track : tracks) {
        if (!present.contains(track.id))
            playlist.trackIDs.push_back(track.id);
    }
    auto writing = writeBack(index);
    co_await writing;
}

QCoro::Task<> OstrelPlaylistEngine::removeTracks(QList<qsizetype> positions, QUuid playlistID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const qsizetype index = topLevelIndex(playlistID);
    Playlist& playlist = m_rootPlaylists[index];
    // Highest first, so each removal leaves the positions still to come
    // where they were.
    std::sort(positions.begin(), positions.end(), std::greater<>());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (const qsizetype at : positions) {
        if (at >= 0 && at < playlist.trackIDs.size())
            playlist.trackIDs.removeAt(at);
    }
    auto writing = writeBack(index);
    co_await writing;
}

QCoro::Task<> OstrelPlaylistEngine::move(QUuid playlistID, std::optional<QUuid> toFolder, qsizetype atIndex)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const qsizetype index = topLevelIndex(playlistID);
    const Playlist moved = m_rootPlaylists.takeAt(index);
    emit rootPlaylistsChanged();
    auto saving = m_storage.saveRecord(PlaylistRecord::from(moved, toFolder, atIndex));
    co_await saving;
    auto rebuilding = rebuild();
    co_await rebuilding;
}

QCoro::Task<> OstrelPlaylistEngine::toggleFavorite(QUuid playlistID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const qsizetype index = topLevelIndex(playlistID);
    m_rootPlaylists[index].isFavorite = !m_rootPlaylists[index].isFavorite;
    auto writing = writeBack(index);
    co_await writing;
}

QCoro::Task<> OstrelPlaylistEngine::updateMetadata(QUuid playlistID, std::optional<QString> description, QStringList tags)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const qsizetype index = topLevelIndex(playlistID);
    m_rootPlaylists[index].description = std::move(description);
    m_rootPlaylists[index].tags = std::move(tags);
    auto writing = writeBack(index);
    co_await writing;
}

QCoro::Task<> OstrelPlaylistEngine::queuePlaylist(QUuid playlistID)
{
    const AsyncGate::Hold hold = co_await m_gate.enter();
    const Playlist& playlist = m_rootPlaylists[topLevelIndex(playlistID)];
    if (playlist.type.kind() == PlaylistType::Kind::Folder)
        throw PlaylistError::cannotPlayFolder();
    const TrackList songs = getTracks(playlistID);
    if (!songs.empty())
        m_queueEngine.playNow(songs, 0);
}

TrackList OstrelPlaylistEngine::getTracks(const QUuid& playlistID) const
{
    const std::optional<Playlist> playlist = getPlaylist(playlistID);
    if (!playlist)
        return {};
    const TrackList& library = m_libraryEngine.allTracks();
    if (m_libraryPositionsStale) {
        m_libraryPositions.clear();
        m_libraryPositions.reserve(library.size());
        for (std::size_t i = 0; i < library.size(); ++i)
            m_libraryPositions.insert(library[i].id, i);
        m_libraryPositionsStale = false;
    }
    TrackList songs;
    songs.reserve(static_cast<std::size_t>(playlist->trackIDs.size()));
    for (const QUuid& id : playlist->trackIDs) {
        if (const auto at = m_libraryPositions.constFind(id); at != m_libraryPositions.cend())
            songs.append(library.shared(*at));
    }
    return songs;
}

} // namespace varno
