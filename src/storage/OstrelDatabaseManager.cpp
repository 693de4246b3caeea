#include "OstrelDatabaseManager.h"

#include "platform/ApplicationFolder.h"
#include "platform/Diagnostics.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "storage/PlaylistCodec.h"
#include "storage/StateCodecs.h"
#include "storage/TrackSnapshot.h"

#include "storage/DatabaseError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace varno {

Q_LOGGING_CATEGORY(lcDatabase, "varno.database")

namespace {

constexpr std::string_view kTracksFile = "tracks.json";
constexpr std::string_view kPlaylistsFile = "playlists.json";
constexpr std::string_view kHistoryFile = "playback_history.json";
constexpr std::string_view kStateFile = "playback_state.json";
constexpr std::string_view kWatchedFoldersFile = "watched_folders.json";

// Where the watched folders were kept before they had a file of their own.
const QString kLegacyWatchedFoldersKey = QStringLiteral("library.watchedFolders");

QString nameOf(std::string_view name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// Missing means nothing stored; a file that is there but cannot be read
// throws, so an unreadable library is never taken for an empty one.
fileio::FileBytes readOrEmpty(const QString& path)
{
    std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path);
    return bytes ? std::move(*bytes) : fileio::FileBytes();
}

} // namespace

OstrelDatabaseManager::OstrelDatabaseManager(PreferencesStore& preferences, const std::optional<QString>& storageDirectory)
    : m_preferences(preferences)
    , m_folder(storageDirectory ? *storageDirectory : applicationFolderPath())
    , m_lockWait(fileio::stateLockWait())
{
    if (!fileio::exists(m_folder))
        fileio::createFolder(m_folder);
    m_databasePath = join(QStringLiteral("library.sqlite"));
    m_tracksPath = join(nameOf(kTracksFile));
    m_playlistsPath = join(nameOf(kPlaylistsFile));
    m_historyPath = join(nameOf(kHistoryFile));
    m_statePath = join(nameOf(kStateFile));
    m_watchedFoldersPath = join(nameOf(kWatchedFoldersFile));
    m_snapshotPath = join(QStringLiteral("LibraryCache/tracks.snapshot"));
    m_snapshotThread.setMaxThreadCount(1);
    m_snapshotThread.setObjectName(QStringLiteral("LibrarySnapshot"));
    createMissingStateFiles();
    removeStaleSnapshotTemporaries();

    // Temporaries of a save that was killed are swept at the next start, but
    // only while no other process is writing: theirs are alive. Waiting for
    // the lock here would only delay the start; the next start sweeps.
    try {
        if (const std::optional<fileio::FileLock> lock = fileio::FileLock::tryAcquire(stateLockPath())) {
            fileio::removeStaleTemporaries(m_folder, {nameOf(kTracksFile), tracksBackupPath().section(QLatin1Char('/'), -1),
                                                      nameOf(kPlaylistsFile), nameOf(kHistoryFile), nameOf(kStateFile),
                                                      nameOf(kWatchedFoldersFile), QStringLiteral("playlist_records.json")});
        }
    } catch (const Error& error) {
        qCWarning(lcDatabase).noquote() << "stale temporary files were not removed:" << error.description();
    }
}

OstrelDatabaseManager::~OstrelDatabaseManager()
{
    // The last save's snapshot is written now rather than lost with the
    // process: the next start would otherwise parse.
    m_worker.pool()->waitForDone();
    waitForSnapshot();
}

void OstrelDatabaseManager::createMissingStateFiles() const
{
    // Failures are ignored: a missing file reads as empty, and the first
    // write reports a real problem with the folder.
    for (const QString* path : {&m_tracksPath, &m_playlistsPath, &m_historyPath, &m_statePath})
        fileio::createEmptyFileIfMissing(*path);
}

fileio::FileLock OstrelDatabaseManager::lockState() const
{
    return fileio::FileLock::acquire(stateLockPath(), m_lockWait);
}

void OstrelDatabaseManager::setAsideIfDamaged(const QString& path, const std::function<void(const fileio::FileBytes&)>& decode,
                                              const fileio::FileVersion& lastWritten) const
{
    const fileio::FileVersion current = fileio::versionOf(path);
    // What this manager wrote last decodes; reading it again on every save of
    // a large session would double the work for nothing. Only a regular file
    // is ours to move: a folder in its place makes the write fail instead.
    if (!current.exists || current.size == 0 || current == lastWritten || !QFileInfo(path).isFile())
        return;
    QString reason;
    try {
        const fileio::FileBytes bytes = readOrEmpty(path);
        decode(bytes);
        return;
    } catch (const Error& error) {
        reason = error.description();
    }
    const QString aside = fileio::moveAside(path);
    printDiagnostic(QStringLiteral("%1 could not be read and was kept as %2 before a new one was written: %3")
                        .arg(QFileInfo(path).fileName(), QFileInfo(aside).fileName(), reason));
}

// ---------------------------------------------------------------------------
// Tracks

void OstrelDatabaseManager::forgetTracks() const
{
    const std::lock_guard guard(m_versionMutex);
    m_tracksVersion.reset();
    m_knownTracks = TrackList();
    m_preparedAppend.reset();
}

bool OstrelDatabaseManager::isKnownTracksVersion(const fileio::FileVersion& read) const
{
    const std::lock_guard guard(m_versionMutex);
    return m_tracksVersion && *m_tracksVersion == read;
}

TrackList OstrelDatabaseManager::storedTracks(fileio::FileVersion& version, bool& changedElsewhere) const
{
    version = fileio::versionOf(m_tracksPath);
    {
        const std::lock_guard guard(m_versionMutex);
        if (m_tracksVersion && *m_tracksVersion == version) {
            changedElsewhere = false;
            return m_knownTracks;
        }
    }
    const fileio::FileBytes bytes = readOrEmpty(m_tracksPath);
    version = bytes.version();
    changedElsewhere = true;
    return json::decodeTrackList(bytes, kTracksFile);
}

// One generation of backup, so a bad edit or a bug can be undone by hand. It
// is taken only once the new library is safely on disk, so a save that fails
// (a full disk) leaves the backup as it was. Losing the backup is not worth
// failing the save over.
void OstrelDatabaseManager::keepTracksBackup(const fileio::FileVersion& replaced) const
{
    if (!replaced.exists || replaced.size == 0)
        return;
    try {
        fileio::keepCopyAtomically(m_tracksPath, tracksBackupPath());
    } catch (const Error& error) {
        qCWarning(lcDatabase) << "the library backup could not be kept:" << error.description();
    }
}

TracksFileUpdate OstrelDatabaseManager::writeTracks(TrackList stored, const fileio::FileVersion& replaced, bool changedElsewhere) const
{
    rememberTracks(json::writeTracksFile(m_tracksPath, stored, [&] { keepTracksBackup(replaced); }), stored);
    {
        // Whatever was prepared was begun from a version now replaced.
        const std::lock_guard guard(m_versionMutex);
        m_preparedAppend.reset();
    }
    TracksFileUpdate update;
    update.storedCount = stored.size();
    if (changedElsewhere)
        update.library = std::move(stored);
    return update;
}

void OstrelDatabaseManager::prepareTracksAppend() const
{
    std::optional<fileio::FileVersion> known;
    {
        const std::lock_guard guard(m_versionMutex);
        known = m_tracksVersion;
        m_preparedAppend.reset();
    }
    if (!known || !known->exists)
        return;
    // Without the lock: another writer may replace the file meanwhile, which
    // the append notices, and a start of another process may sweep the
    // temporary away, which makes the append fall back to a whole write.
    std::optional<fileio::PreparedArrayAppend> prepared;
    try {
        prepared = fileio::prepareArrayAppend(m_tracksPath, *known);
    } catch (const Error& error) {
        qCDebug(lcDatabase) << "no append prepared:" << error.description();
        return;
    }
    const std::lock_guard guard(m_versionMutex);
    m_preparedAppend = std::move(prepared);
}

bool OstrelDatabaseManager::completePreparedAppend(const TrackList& stored, const TrackList& appended, const fileio::FileVersion& version) const
{
    std::optional<fileio::PreparedArrayAppend> prepared;
    {
        const std::lock_guard guard(m_versionMutex);
        prepared.swap(m_preparedAppend);
    }
    if (!prepared || prepared->replaces != version || appended.empty())
        return false;
    // The writer puts commas between the new songs; the first needs one
    // after the songs copied.
    std::string buffer = prepared->hasElements ? "," : "";
    json::Writer writer(buffer);
    for (std::size_t i = 0; i < appended.size(); ++i) {
        json::encode(writer, appended[i]);
        if (buffer.size() >= (1 << 20)) {
            prepared->file->write(buffer);
            buffer.clear();
        }
    }
    buffer += ']';
    prepared->file->write(buffer);
    try {
        rememberTracks(prepared->file->commit([&] { keepTracksBackup(prepared->replaces); }), stored);
    } catch (const FileError& error) {
        // Another process starting meanwhile swept the temporary away: a
        // normal race with another writer, which costs a whole write and is
        // not worth a word. Anything else is a real fault, though the whole
        // write may still succeed.
        if (error.errorNumber() != ENOENT)
            qCWarning(lcDatabase).noquote() << "the prepared append failed, writing the whole library:" << error.description();
        return false;
    }
    return true;
}

void OstrelDatabaseManager::restoreTracksBackup() const
{
    const fileio::FileLock lock = lockState();
    const std::optional<fileio::FileBytes> backup = fileio::readWholeFile(tracksBackupPath());
    if (!backup || backup->isEmpty())
        throw DatabaseError::readFailed(QStringLiteral("There is no backup of the library to restore."));
    json::decodeTracks(*backup, "tracks.json.bak");
    fileio::writeFileAtomically(m_tracksPath, backup->view());
    // Whoever holds the library in memory must take the restored one in.
    forgetTracks();
}

TracksFileUpdate OstrelDatabaseManager::mergeIntoTracksFile(const TrackList& tracks, Merge merge) const
{
    const fileio::FileLock lock = lockState();
    fileio::FileVersion version;
    bool differs = false;
    TrackList stored = storedTracks(version, differs);

    // The incoming songs are few next to the library: they are hashed and
    // the library is scanned once. Of songs given twice the last one counts.
    QHash<QUuid, std::size_t> incoming;
    incoming.reserve(static_cast<qsizetype>(tracks.size()));
    for (std::size_t i = 0; i < tracks.size(); ++i)
        incoming.insert(tracks[i].id, i);
    QSet<FileURL> storedFiles;
    if (merge == Merge::AppendNew) {
        QSet<FileURL> incomingFiles;
        incomingFiles.reserve(static_cast<qsizetype>(tracks.size()));
        for (const Track& track : tracks)
            incomingFiles.insert(track.fileURL);
        for (const Track& song : stored) {
            if (incomingFiles.contains(song.fileURL))
                storedFiles.insert(song.fileURL);
        }
    }

    // An edit never brings back a song another process removed: when any
    // edited song is gone from the file, nothing is written and the caller
    // is handed the file's library to take in.
    if (merge == Merge::Update) {
        QSet<QUuid> present;
        for (const Track& song : stored) {
            if (incoming.contains(song.id))
                present.insert(song.id);
        }
        TracksFileUpdate refused;
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            if (!present.contains(tracks[i].id) && incoming.value(tracks[i].id) == i)
                refused.notStored.append(tracks.shared(i));
        }
        if (!refused.notStored.empty()) {
            if (differs)
                rememberTracks(version, stored);
            refused.storedCount = stored.size();
            refused.library = std::move(stored);
            return refused;
        }
    }

    // Only the first stored song with an id is replaced; later duplicates in
    // a hand-edited file are left alone.
    std::vector<bool> placed(tracks.size(), false);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const auto found = incoming.constFind(stored[i].id);
        if (found != incoming.constEnd() && !placed[*found]) {
            placed[*found] = true;
            stored.replace(i, tracks.shared(*found));
        }
    }
    const bool replacedAny = std::find(placed.begin(), placed.end(), true) != placed.end();
    TrackList appended;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::size_t last = incoming.value(tracks[i].id);
        if (placed[last])
            continue;
        placed[last] = true;
        if (merge == Merge::AppendNew) {
            // Another process stored this file meanwhile, or it came twice:
            // the song stored first wins.
            if (storedFiles.contains(tracks[last].fileURL)) {
                differs = true;
                continue;
            }
            storedFiles.insert(tracks[last].fileURL);
        }
        appended.append(tracks.shared(last));
    }
    stored.append(appended);
    // Songs only added to a file nobody else changed: the write begun while
    // they were read is completed with them alone.
    if (!differs && !replacedAny && completePreparedAppend(stored, appended, version)) {
        TracksFileUpdate update;
        update.storedCount = stored.size();
        return update;
    }
    return writeTracks(std::move(stored), version, differs);
}

TracksFileUpdate OstrelDatabaseManager::upsertTracksFile(const TrackList& tracks) const
{
    return mergeIntoTracksFile(tracks, Merge::Upsert);
}

TracksFileUpdate OstrelDatabaseManager::updateTracksFile(const TrackList& tracks) const
{
    return mergeIntoTracksFile(tracks, Merge::Update);
}

TracksFileUpdate OstrelDatabaseManager::appendToTracksFile(const TrackList& tracks) const
{
    return mergeIntoTracksFile(tracks, Merge::AppendNew);
}

TracksFileUpdate OstrelDatabaseManager::deleteFromTracksFile(const TrackList& tracks) const
{
    const fileio::FileLock lock = lockState();
    fileio::FileVersion version;
    bool differs = false;
    TrackList stored = storedTracks(version, differs);
    QSet<QUuid> doomed;
    doomed.reserve(static_cast<qsizetype>(tracks.size()));
    for (const Track& track : tracks)
        doomed.insert(track.id);
    QList<SharedTrack> kept;
    kept.reserve(static_cast<qsizetype>(stored.size()));
    for (const SharedTrack& song : stored.sharedSongs()) {
        if (!doomed.contains(song->id))
            kept.append(song);
    }
    return writeTracks(TrackList(std::move(kept)), version, differs);
}

void OstrelDatabaseManager::eraseAllFiles() const
{
    const fileio::FileLock lock = lockState();
    // The first removal that fails stops the erase; files already removed stay
    // removed and nothing is recreated, so the caller sees the partial state.
    for (const QString* path : {&m_tracksPath, &m_playlistsPath, &m_historyPath, &m_statePath})
        fileio::removeFile(*path);
    // Erasing the library erases its backup and its snapshot too.
    QFile::remove(tracksBackupPath());
    QFile::remove(m_snapshotPath);
    createMissingStateFiles();
    rememberTracks(fileio::versionOf(m_tracksPath), TrackList());
}

QCoro::Task<> OstrelDatabaseManager::eraseAllData()
{
    auto work = m_worker.run([this] { eraseAllFiles(); });
    co_await work;
}

QCoro::Task<TracksFileUpdate> OstrelDatabaseManager::saveTracks(TrackList tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { return upsertTracksFile(tracks); });
    co_return co_await work;
}

QCoro::Task<TracksFileUpdate> OstrelDatabaseManager::updateTracks(TrackList tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { return updateTracksFile(tracks); });
    co_return co_await work;
}

QCoro::Task<TracksFileUpdate> OstrelDatabaseManager::appendNewTracks(TrackList tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { return appendToTracksFile(tracks); });
    co_return co_await work;
}

void OstrelDatabaseManager::prepareToAppend()
{
    // Queued on the serial worker like every other tracks-file operation,
    // without a coroutine left waiting for it.
    m_worker.pool()->start([this] { prepareTracksAppend(); });
}

QCoro::Task<TrackList> OstrelDatabaseManager::loadAllTracks()
{
    auto work = m_worker.run([this] { return readTracksFile(); });
    co_return co_await work;
}

QCoro::Task<std::optional<Track>> OstrelDatabaseManager::fetchTrack(QUuid id)
{
    auto work = m_worker.run([this, id]() -> std::optional<Track> {
        fileio::FileVersion version;
        bool changedElsewhere = false;
        const SharedTrack found = storedTracks(version, changedElsewhere).find(id);
        if (!found)
            return std::nullopt;
        return *found;
    });
    co_return co_await work;
}

QCoro::Task<TracksFileUpdate> OstrelDatabaseManager::deleteTracks(TrackList tracks)
{
    auto work = m_worker.run([this, tracks = std::move(tracks)] { return deleteFromTracksFile(tracks); });
    co_return co_await work;
}

QCoro::Task<bool> OstrelDatabaseManager::tracksFileChangedElsewhere()
{
    auto work = m_worker.run([this] { return !isKnownTracksVersion(fileio::versionOf(m_tracksPath)); });
    co_return co_await work;
}

// ---------------------------------------------------------------------------
// Watched folders

namespace {

QStringList decodeWatchedFolders(const fileio::FileBytes& bytes)
{
    if (bytes.isEmpty())
        return {};
    return json::decodeValue<QStringList>(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), kWatchedFoldersFile);
}

} // namespace

QStringList OstrelDatabaseManager::storedWatchedFolders(const QStringList& legacy) const
{
    if (const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(m_watchedFoldersPath))
        return decodeWatchedFolders(*bytes);
    if (!legacy.isEmpty()) {
        const fileio::FileVersion written = fileio::writeFileAtomically(m_watchedFoldersPath, json::encodeValue(legacy));
        const std::lock_guard guard(m_versionMutex);
        m_watchedFoldersVersion = written;
    }
    return legacy;
}

QStringList OstrelDatabaseManager::readWatchedFolders(const QStringList& legacy) const
{
    // The file is replaced whole by rename, so it reads without the lock;
    // only moving the preference's list into it writes.
    if (const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(m_watchedFoldersPath))
        return decodeWatchedFolders(*bytes);
    if (legacy.isEmpty())
        return {};
    const fileio::FileLock lock = lockState();
    return storedWatchedFolders(legacy);
}

QStringList OstrelDatabaseManager::addToWatchedFolders(const QStringList& folders, const QStringList& legacy) const
{
    const fileio::FileLock lock = lockState();
    fileio::FileVersion lastWritten;
    {
        const std::lock_guard guard(m_versionMutex);
        lastWritten = m_watchedFoldersVersion;
    }
    // A damaged list is kept aside and replaced by the folders added now:
    // the folders themselves are still on disk to be added again.
    setAsideIfDamaged(m_watchedFoldersPath, [](const fileio::FileBytes& bytes) { decodeWatchedFolders(bytes); }, lastWritten);
    QStringList watched = storedWatchedFolders(legacy);
    const qsizetype before = watched.size();
    for (const QString& folder : folders) {
        if (!watched.contains(folder))
            watched.push_back(folder);
    }
    if (watched.size() == before)
        return watched;
    const fileio::FileVersion written = fileio::writeFileAtomically(m_watchedFoldersPath, json::encodeValue(watched));
    const std::lock_guard guard(m_versionMutex);
    m_watchedFoldersVersion = written;
    return watched;
}

QStringList OstrelDatabaseManager::legacyWatchedFolders() const
{
    if (fileio::exists(m_watchedFoldersPath))
        return {};
    return getPreference<QStringList>(kLegacyWatchedFoldersKey).value_or(QStringList());
}

void OstrelDatabaseManager::forgetLegacyWatchedFolders(const QStringList& legacy)
{
    if (!legacy.isEmpty())
        m_preferences.remove(kLegacyWatchedFoldersKey);
}

QCoro::Task<QStringList> OstrelDatabaseManager::loadWatchedFolders()
{
    // The preferences belong to the main thread: the old list is read here
    // and handed to the worker.
    const QStringList legacy = legacyWatchedFolders();
    auto work = m_worker.run([this, legacy] { return readWatchedFolders(legacy); });
    QStringList folders = co_await work;
    forgetLegacyWatchedFolders(legacy);
    co_return folders;
}

QCoro::Task<QStringList> OstrelDatabaseManager::addWatchedFolders(QStringList folders)
{
    const QStringList legacy = legacyWatchedFolders();
    auto work = m_worker.run([this, folders = std::move(folders), legacy] { return addToWatchedFolders(folders, legacy); });
    QStringList watched = co_await work;
    forgetLegacyWatchedFolders(legacy);
    co_return watched;
}

// ---------------------------------------------------------------------------
// Playlists

void OstrelDatabaseManager::savePlaylists(const std::vector<Playlist>& playlists)
{
    const std::string encoded = json::encodePlaylists(playlists);
    const fileio::FileLock lock = lockState();
    setAsideIfDamaged(m_playlistsPath, [](const fileio::FileBytes& bytes) { json::decodePlaylists(bytes, kPlaylistsFile); }, m_playlistsVersion);
    const fileio::FileVersion written = fileio::writeFileAtomically(m_playlistsPath, encoded);
    const std::lock_guard guard(m_versionMutex);
    m_playlistsVersion = written;
}

std::vector<Playlist> OstrelDatabaseManager::loadAllPlaylists()
{
    return json::decodePlaylists(readOrEmpty(m_playlistsPath), kPlaylistsFile);
}

void OstrelDatabaseManager::deletePlaylist(const QUuid& id)
{
    const fileio::FileLock lock = lockState();
    std::vector<Playlist> playlists = loadAllPlaylists();
    std::erase_if(playlists, [&](const Playlist& p) { return p.id == id; });
    const fileio::FileVersion written = fileio::writeFileAtomically(m_playlistsPath, json::encodePlaylists(playlists));
    const std::lock_guard guard(m_versionMutex);
    m_playlistsVersion = written;
}

// ---------------------------------------------------------------------------
// History

void OstrelDatabaseManager::recordPlayback(const QUuid& trackID, Timestamp timestamp)
{
    // Losing one play event is better than interrupting playback over it, so
    // nothing here throws; but a history that cannot be read is never
    // replaced, and a damaged one is kept aside before the new one starts.
    try {
        const fileio::FileLock lock = lockState();
        std::vector<PlaybackHistory> history;
        try {
            history = json::decodePlaybackHistory(readOrEmpty(m_historyPath), kHistoryFile);
        } catch (const json::DecodingError& error) {
            const QString aside = fileio::moveAside(m_historyPath);
            printDiagnostic(QStringLiteral("%1 could not be read and was kept as %2 before a new one was written: %3")
                                .arg(nameOf(kHistoryFile), QFileInfo(aside).fileName(), error.description()));
        }
        history.push_back(PlaybackHistory {trackID, timestamp});
        json::writePlaybackHistoryFile(m_historyPath, history);
    } catch (const Error& error) {
        printDiagnostic(QStringLiteral("A play was not recorded: ") + error.description());
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
        std::int64_t count = 0;
        std::optional<Timestamp> latest;
        json::forEachPlaybackHistory(bytes, kHistoryFile, [&](const PlaybackHistory& entry) {
            if (entry.trackID != trackID)
                return;
            ++count;
            // Strictly later only: of equal times the earlier entry is kept.
            if (!latest || entry.timestamp > *latest)
                latest = entry.timestamp;
        });
        statistics.playCount = count;
        statistics.lastPlayedDate = latest;
    } catch (const json::DecodingError&) {
        return PlaybackStatistics {};
    }
    return statistics;
}

QCoro::Task<QHash<QUuid, std::int64_t>> OstrelDatabaseManager::fetchPlayCounts()
{
    auto work = m_worker.run([path = m_historyPath] {
        QHash<QUuid, std::int64_t> counts;
        try {
            const fileio::FileBytes bytes = readOrEmpty(path);
            if (!bytes.isEmpty())
                json::forEachPlaybackHistory(bytes, kHistoryFile, [&](const PlaybackHistory& entry) { ++counts[entry.trackID]; });
        } catch (const std::exception&) {
            // Unreadable or damaged: no plays, as for fetchStatistics.
            counts.clear();
        }
        return counts;
    });
    co_return co_await work;
}

// ---------------------------------------------------------------------------
// Playback session

void OstrelDatabaseManager::savePlaybackState(const PlaybackStateSnapshot& snapshot)
{
    const std::string encoded = json::encodePlaybackStateSnapshot(snapshot);
    const fileio::FileLock lock = lockState();
    fileio::FileVersion lastWritten;
    {
        const std::lock_guard guard(m_versionMutex);
        lastWritten = m_stateVersion;
    }
    setAsideIfDamaged(m_statePath, [](const fileio::FileBytes& bytes) { json::decodePlaybackStateSnapshot(bytes, kStateFile); }, lastWritten);
    const fileio::FileVersion written = fileio::writeFileAtomically(m_statePath, encoded);
    const std::lock_guard guard(m_versionMutex);
    m_stateVersion = written;
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
