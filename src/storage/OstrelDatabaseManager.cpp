#include "OstrelDatabaseManager.h"

#include "platform/ApplicationFolder.h"
#include "platform/FileIO.h"
#include "playlists/PlaylistCodec.h"
#include "storage/StateCodecs.h"

#include "storage/DatabaseError.h"

#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>

namespace varno {

Q_LOGGING_CATEGORY(lcDatabase, "varno.database")

namespace {

constexpr std::string_view kTracksFile = "tracks.json";
constexpr std::string_view kPlaylistsFile = "playlists.json";
constexpr std::string_view kHistoryFile = "playback_history.json";
constexpr std::string_view kStateFile = "playback_state.json";

QString join(const QString& folder, std::string_view name)
{
    return folder + QLatin1Char('/') + QLatin1StringView(name.data(), static_cast<qsizetype>(name.size()));
}

// A file that cannot be read reads as "nothing stored", like an empty one.
fileio::FileBytes readOrEmpty(const QString& path)
{
    std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path);
    return bytes ? std::move(*bytes) : fileio::FileBytes();
}

} // namespace

OstrelDatabaseManager::OstrelDatabaseManager(PreferencesStore& preferences, const std::optional<QString>& storageDirectory)
    : m_preferences(preferences)
    , m_folder(storageDirectory ? *storageDirectory : applicationFolderPath())
{
    if (!fileio::exists(m_folder))
        fileio::createFolder(m_folder);
    m_databasePath = join(m_folder, "library.sqlite");
    m_tracksPath = join(m_folder, kTracksFile);
    m_playlistsPath = join(m_folder, kPlaylistsFile);
    m_historyPath = join(m_folder, kHistoryFile);
    m_statePath = join(m_folder, kStateFile);
    createMissingStateFiles();
}

OstrelDatabaseManager::~OstrelDatabaseManager() = default;

void OstrelDatabaseManager::createMissingStateFiles() const
{
    // Failures are ignored: a missing file reads as empty, and the first
    // write reports a real problem with the folder.
    for (const QString* path : {&m_tracksPath, &m_playlistsPath, &m_historyPath, &m_statePath})
        fileio::createEmptyFileIfMissing(*path);
}

// ---------------------------------------------------------------------------
// Tracks

std::vector<Track> OstrelDatabaseManager::readTracksFile() const
{
    return json::decodeTracks(readOrEmpty(m_tracksPath), kTracksFile);
}

// Called once the current library has been read successfully, before it is
// replaced: one generation of backup, so a bad edit or a bug can be undone by
// hand. Losing the backup is not worth failing the save over.
void OstrelDatabaseManager::keepTracksBackup() const
{
    const QFileInfo current(m_tracksPath);
    if (!current.isFile() || current.size() == 0)
        return;
    try {
        fileio::keepCopyAtomically(m_tracksPath, tracksBackupPath());
    } catch (const Error& error) {
        qCWarning(lcDatabase) << "the library backup could not be kept:" << error.description();
    }
}

void OstrelDatabaseManager::restoreTracksBackup() const
{
    const std::optional<fileio::FileBytes> backup = fileio::readWholeFile(tracksBackupPath());
    if (!backup || backup->isEmpty())
        throw DatabaseError::readFailed(QStringLiteral("There is no backup of the library to restore."));
    json::decodeTracks(*backup, "tracks.json.bak");
    fileio::writeFileAtomically(m_tracksPath, backup->view());
}

void OstrelDatabaseManager::upsertTracksFile(const std::vector<Track>& tracks) const
{
    std::vector<Track> stored = readTracksFile();
    keepTracksBackup();
    // Position of the first stored song with each id; later duplicates in a
    // hand-edited file are left alone, as a linear search would.
    QHash<QUuid, std::size_t> positions;
    positions.reserve(static_cast<qsizetype>(stored.size() + tracks.size()));
    for (std::size_t i = 0; i < stored.size(); ++i)
        if (!positions.contains(stored[i].id))
            positions.insert(stored[i].id, i);
    for (const Track& track : tracks) {
        const auto found = positions.constFind(track.id);
        if (found != positions.constEnd()) {
            stored[*found] = track;
        } else {
            positions.insert(track.id, stored.size());
            stored.push_back(track);
        }
    }
    json::writeTracksFile(m_tracksPath, stored);
}

void OstrelDatabaseManager::deleteFromTracksFile(const std::vector<Track>& tracks) const
{
    std::vector<Track> stored = readTracksFile();
    keepTracksBackup();
    QSet<QUuid> doomed;
    doomed.reserve(static_cast<qsizetype>(tracks.size()));
    for (const Track& track : tracks)
        doomed.insert(track.id);
    std::erase_if(stored, [&](const Track& track) { return doomed.contains(track.id); });
    json::writeTracksFile(m_tracksPath, stored);
}

void OstrelDatabaseManager::eraseAllFiles() const
{
    // The first removal that fails stops the erase; files already removed stay
    // removed and nothing is recreated, so the caller sees the partial state.
    for (const QString* path : {&m_tracksPath, &m_playlistsPath, &m_historyPath, &m_statePath})
        fileio::removeFile(*path);
    // Erasing the library erases its backup too.
    QFile::remove(tracksBackupPath());
    createMissingStateFiles();
}

QCoro::Task<> OstrelDatabaseManager::eraseAllData()
{
    auto work = m_worker.run([this] { eraseAllFiles(); });
    co_await work;
}

QCoro::Task<> OstrelDatabaseManager::saveTracks(std::vector<Track> tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { upsertTracksFile(tracks); });
    co_await work;
}

QCoro::Task<std::vector<Track>> OstrelDatabaseManager::loadAllTracks()
{
    auto work = m_worker.run([this] { return readTracksFile(); });
    co_return co_await work;
}

QCoro::Task<std::optional<Track>> OstrelDatabaseManager::fetchTrack(QUuid id)
{
    auto work = m_worker.run([this, id]() -> std::optional<Track> {
        std::vector<Track> stored = readTracksFile();
        const auto found = std::find_if(stored.begin(), stored.end(), [&](const Track& t) { return t.id == id; });
        if (found == stored.end())
            return std::nullopt;
        return std::move(*found);
    });
    co_return co_await work;
}

QCoro::Task<> OstrelDatabaseManager::deleteTracks(std::vector<Track> tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { deleteFromTracksFile(tracks); });
    co_await work;
}

// ---------------------------------------------------------------------------
// Playlists

void OstrelDatabaseManager::savePlaylists(const std::vector<Playlist>& playlists)
{
    fileio::writeFileAtomically(m_playlistsPath, json::encodePlaylists(playlists));
}

std::vector<Playlist> OstrelDatabaseManager::loadAllPlaylists()
{
    return json::decodePlaylists(readOrEmpty(m_playlistsPath), kPlaylistsFile);
}

void OstrelDatabaseManager::deletePlaylist(const QUuid& id)
{
    std::vector<Playlist> playlists = loadAllPlaylists();
    std::erase_if(playlists, [&](const Playlist& p) { return p.id == id; });
    savePlaylists(playlists);
}

// ---------------------------------------------------------------------------
// History

void OstrelDatabaseManager::recordPlayback(const QUuid& trackID, Timestamp timestamp)
{
    std::vector<PlaybackHistory> history;
    try {
        history = json::decodePlaybackHistory(readOrEmpty(m_historyPath), kHistoryFile);
    } catch (const json::DecodingError&) {
        // A damaged history is dropped and replaced by this one play.
        history.clear();
    }
    history.push_back(PlaybackHistory {trackID, timestamp});
    try {
        json::writePlaybackHistoryFile(m_historyPath, history);
    } catch (const Error&) {
        // Losing one play event is better than interrupting playback over it.
    }
}

PlaybackStatistics OstrelDatabaseManager::fetchStatistics(const QUuid& trackID)
{
    PlaybackStatistics statistics;
    const fileio::FileBytes bytes = readOrEmpty(m_historyPath);
    if (bytes.isEmpty())
        return statistics;
    // Counted while parsing rather than after building the whole list: the
    // history grows with every play.
    try {
        json::Document document(bytes, kHistoryFile);
        std::int64_t count = 0;
        std::optional<Timestamp> latest;
        json::forEachItem(document.root(), document.path(), [&](std::int64_t, json::od::value& item, const json::Path& at) {
            const PlaybackHistory entry = json::decodePlaybackHistory(item, at);
            if (entry.trackID != trackID)
                return;
            ++count;
            // Strictly later only: of equal times the earlier entry is kept.
            if (!latest || entry.timestamp > *latest)
                latest = entry.timestamp;
        });
        document.expectEnd();
        statistics.playCount = count;
        statistics.lastPlayedDate = latest;
    } catch (const json::DecodingError&) {
        return PlaybackStatistics {};
    }
    return statistics;
}

// ---------------------------------------------------------------------------
// Playback session

void OstrelDatabaseManager::savePlaybackState(const PlaybackStateSnapshot& snapshot)
{
    fileio::writeFileAtomically(m_statePath, json::encodePlaybackStateSnapshot(snapshot));
}

std::optional<PlaybackStateSnapshot> OstrelDatabaseManager::loadPlaybackState()
{
    const fileio::FileBytes bytes = readOrEmpty(m_statePath);
    if (bytes.isEmpty())
        return std::nullopt;
    return json::decodePlaybackStateSnapshot(bytes, kStateFile);
}

// ---------------------------------------------------------------------------
// Preferences

void OstrelDatabaseManager::setPreferenceData(const QByteArray& data, const QString& key)
{
    m_preferences.setValue(key, data);
}

std::optional<QByteArray> OstrelDatabaseManager::preferenceData(const QString& key) const
{
    return m_preferences.value(key);
}

} // namespace varno
