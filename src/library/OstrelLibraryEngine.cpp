#include "OstrelLibraryEngine.h"

#include "library/AudioImportSupport.h"
#include "library/SecurityScopedResource.h"
#include "platform/Diagnostics.h"
#include "platform/FileIO.h"
#include "platform/Worker.h"
#include "storage/DatabaseError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcLibrary, "varno.library")

const QString kFallbackTitle = QStringLiteral("Unknown Title");
const QString kWatchedFoldersKey = QStringLiteral("library.watchedFolders");

// What a walk of folders found.
struct FolderScan {
    // Supported audio files, in enumeration order.
    std::vector<FileURL> audioFiles;
    // "name: reason" for items that cannot be imported at all.
    QStringList failures;
    // Audio files of types the library does not take.
    QStringList unsupported;
};

QString pathTooLong()
{
    return QStringLiteral("the path is longer than the system allows (%1 bytes)").arg(PATH_MAX);
}

QString notUtf8()
{
    return QStringLiteral("the name is not valid UTF-8, so the library cannot keep this file");
}

// Walks one folder with the system's own directory calls: Qt's iterator
// quietly drops names that are not valid UTF-8 and folders too deep to open,
// and the user must hear about both.
void walkFolder(const QByteArray& folder, FolderScan& scan)
{
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.constData()), &::closedir);
    if (!directory) {
        // A folder this deep cannot be opened, so what it holds is unknown.
        if (errno == ENAMETOOLONG)
            scan.failures.push_back(QFile::decodeName(folder.mid(folder.lastIndexOf('/') + 1)) + QStringLiteral(": ") + pathTooLong());
        return;
    }
    std::vector<QByteArray> subfolders;
    while (const dirent* entry = ::readdir(directory.get())) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue;
        const QByteArray native = folder + '/' + name;
        const QString path = QFile::decodeName(native);
        const bool decodable = QFile::encodeName(path) == native;

        unsigned char type = entry->d_type;
        struct stat status {};
        if (type == DT_UNKNOWN || type == DT_LNK) {
            // Links are looked through to what they name, but a link to a
            // folder is not followed, so a loop cannot trap the walk.
            if (::stat(native.constData(), &status) != 0) {
                if (errno == ENAMETOOLONG && AudioImportSupport::isSupportedAudioPath(path))
                    scan.failures.push_back(QFile::decodeName(name) + QStringLiteral(": ") + pathTooLong());
                continue;
            }
            if (S_ISDIR(status.st_mode)) {
                if (type == DT_UNKNOWN)
                    subfolders.push_back(native);
                continue;
            }
            type = S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
        } else if (type == DT_DIR) {
            subfolders.push_back(native);
            continue;
        }

        if (!AudioImportSupport::isSupportedAudioPath(path)) {
            if (AudioImportSupport::isOtherAudioPath(path))
                scan.unsupported.push_back(path);
            continue;
        }
        const QString shownName = QFile::decodeName(name);
        if (!decodable)
            scan.failures.push_back(shownName + QStringLiteral(": ") + notUtf8());
        else if (native.size() >= PATH_MAX)
            scan.failures.push_back(shownName + QStringLiteral(": ") + pathTooLong());
        else if (type == DT_REG)
            scan.audioFiles.push_back(FileURL::fromLocalFile(path));
        else if (::stat(native.constData(), &status) == 0)
            scan.failures.push_back(shownName + QStringLiteral(": ") + fileio::describeNonRegularFile(status.st_mode));
        else
            scan.failures.push_back(shownName + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    }
    directory.reset();
    for (const QByteArray& subfolder : subfolders) {
        if (QFile::encodeName(QFile::decodeName(subfolder)) != subfolder) {
            scan.failures.push_back(QFile::decodeName(subfolder.mid(subfolder.lastIndexOf('/') + 1))
                                    + QStringLiteral(": the folder's name is not valid UTF-8, so its files cannot be added"));
            continue;
        }
        walkFolder(subfolder, scan);
    }
}

// Supported audio files under `folders`, in enumeration order, with the
// items that cannot be imported and why. Hidden files and folders are
// skipped; an unreadable subfolder just contributes nothing.
FolderScan enumerateAudioFiles(const std::vector<QString>& folders)
{
    // URLs are made here, on the worker: for a large folder that is thousands
    // of them the main thread need not build.
    FolderScan scan;
    for (const QString& folder : folders)
        walkFolder(QFile::encodeName(QDir::cleanPath(folder)), scan);
    return scan;
}

QString fileNameOf(const FileURL& url)
{
    return QFileInfo(url.toLocalFile()).fileName();
}

// Whether `path` is one of `roots` or lies below one of them. Walks up the
// path rather than comparing every root, so a batch of thousands of removed
// files costs the same per song as a batch of one.
bool isAtOrBelow(const QString& path, const QSet<QString>& roots)
{
    if (roots.isEmpty())
        return false;
    qsizetype end = path.size();
    while (end > 0) {
        if (roots.contains(path.left(end)))
            return true;
        end = path.lastIndexOf(QLatin1Char('/'), end - 1);
    }
    return false;
}

// What the disk says about the paths of a batch of reported changes.
struct ExaminedChanges {
    // Changed paths that no longer exist.
    QSet<QString> missing;
    // Visible, supported audio files among the changed paths, in path order.
    std::vector<QString> audioFiles;
    // Of the unavailable songs' files asked about, those that are back.
    QSet<QString> returned;
};

// Runs on a worker. A folder that appears needs no walk: the watcher reports
// what it holds as files of its own. A temporary file of an atomic save is
// reported as added after it was renamed away, so existence is what counts,
// not the kind of change.
ExaminedChanges examineChanges(const QStringList& paths, const QStringList& unavailablePaths)
{
    ExaminedChanges examined;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            examined.missing.insert(path);
        else if (info.isFile() && !info.isHidden() && AudioImportSupport::isSupportedAudioPath(path))
            examined.audioFiles.push_back(path);
    }
    for (const QString& path : unavailablePaths) {
        if (QFileInfo(path).isFile())
            examined.returned.insert(path);
    }
    return examined;
}

} // namespace

// One import operation the user sees. From construction to destruction it
// counts towards the published progress, and cancelImport() cancels it. It
// lives in the operation's coroutine frame, which may outlive the engine.
class OstrelLibraryEngine::ProgressScope {
public:
    explicit ProgressScope(OstrelLibraryEngine* engine)
        : m_engine(engine)
        , m_generation(engine->m_cancelGeneration)
    {
        // The counts start again when nothing else is running; a concurrent
        // operation adds its files to the running total instead.
        if (engine->m_progressScopes++ == 0)
            engine->m_countedProgress = ImportProgress {0, 0, QString(), true};
    }
    ~ProgressScope()
    {
        if (!m_engine || --m_engine->m_progressScopes > 0)
            return;
        m_engine->m_countedProgress.active = false;
        m_engine->m_countedProgress.currentFile.clear();
        // An operation that found nothing to import published nothing, so
        // there is nothing to end either.
        if (m_engine->m_importProgress.active)
            m_engine->publishProgress(true);
        else
            m_engine->m_progressFlush.stop();
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    bool cancelled() const { return !m_engine || m_engine->m_cancelGeneration != m_generation; }

private:
    QPointer<OstrelLibraryEngine> m_engine;
    quint64 m_generation;
};

OstrelLibraryEngine::OstrelLibraryEngine(DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache,
                                         FileWatcher& fileWatcher)
    : m_database(database)
    , m_metadataCache(metadataCache)
    , m_fileWatcher(fileWatcher)
    , m_importProcessor(metadataEngine)
{
    m_enumerationPool.setObjectName(QStringLiteral("LibraryEnumeration"));
    m_enumerationPool.setMaxThreadCount(1);
    m_progressFlush.setSingleShot(true);
    connect(&m_progressFlush, &QTimer::timeout, this, [this] { publishProgress(true); });
    m_changeQuietTimer.setSingleShot(true);
    m_changeQuietTimer.setInterval(kChangeQuietPeriodMs);
    connect(&m_changeQuietTimer, &QTimer::timeout, this, &OstrelLibraryEngine::processPendingChanges);
    // Changes are emitted on the watcher's thread; queued, they are handled
    // here on the main thread like every other change of the list.
    connect(&m_fileWatcher, &FileWatcher::changeOccurred, this, &OstrelLibraryEngine::noteChange, Qt::QueuedConnection);
    loadLibraryFromDisk();
}

OstrelLibraryEngine::~OstrelLibraryEngine()
{
    m_enumerationPool.waitForDone();
}

void OstrelLibraryEngine::setTracks(TrackList tracks, const TrackListChange& change)
{
    m_tracks = std::move(tracks);
    emit tracksChanged(change);
}

QHash<FileURL, SharedTrack> OstrelLibraryEngine::songsAt(const QSet<FileURL>& urls) const
{
    QHash<FileURL, SharedTrack> found;
    if (urls.isEmpty())
        return found;
    for (const SharedTrack& song : m_tracks.sharedSongs()) {
        if (urls.contains(song->fileURL) && !found.contains(song->fileURL))
            found.insert(song->fileURL, song);
    }
    return found;
}

// ---------------------------------------------------------------------------
// Loading

QCoro::Task<> OstrelLibraryEngine::loadLibraryFromDisk()
{
    if (!m_loadInFlight || m_loadInFlight->isReady())
        m_loadInFlight = std::make_shared<QCoro::Task<>>(load());
    const std::shared_ptr<QCoro::Task<>> inFlight = m_loadInFlight;
    co_await *inFlight;
}

void OstrelLibraryEngine::watchRememberedFolders()
{
    if (m_watchingRemembered)
        return;
    m_watchingRemembered = true;
    std::vector<FileURL> folders;
    for (const QString& folder : watchedFolders())
        folders.push_back(FileURL::fromLocalFile(folder));
    m_fileWatcher.startWatchingInBackground(folders);
}

QCoro::Task<> OstrelLibraryEngine::load()
{
    QPointer<OstrelLibraryEngine> self(this);
    auto reading = readLibrary();
    co_await reading;
    // The remembered folders are watched once the first load is over, loaded
    // or not: watching a large collection walks thousands of folders, which
    // would only delay the songs on their way to the window.
    if (self)
        watchRememberedFolders();
}

QCoro::Task<> OstrelLibraryEngine::readLibrary()
{
    // The load the constructor starts is awaited by nobody; the engine may be
    // gone by the time the file has been read.
    QPointer<OstrelLibraryEngine> self(this);
    try {
        auto loading = m_database.loadAllTracks();
        TrackList tracks = co_await loading;
        if (!self)
            co_return;
        m_loadError.reset();
        if (!m_tracks.empty()) {
            // A reload: taken in at once, so that an operation finishing
            // while the index catches up applies its change to the new list.
            auto adopting = adoptLibrary(std::move(tracks));
            co_await adopting;
            co_return;
        }
        setTracks(tracks, TrackListChange::reset());
        // The index is built on its own worker while the library is already
        // in use: it shares the same songs, and every read of it is queued
        // behind this insert, so nobody sees it half built.
        m_metadataCache.insertLater(std::move(tracks));
    } catch (const std::exception& error) {
        if (!self)
            co_return;
        m_loadError = describe(error);
        printDiagnostic(QStringLiteral("LibraryEngine failed to load tracks: ") + *m_loadError);
    }
}

QCoro::Task<> OstrelLibraryEngine::adoptLibrary(TrackList library)
{
    QSet<QUuid> kept;
    kept.reserve(static_cast<qsizetype>(library.size()));
    for (const Track& track : library)
        kept.insert(track.id);
    std::vector<Track> gone;
    for (const Track& track : m_tracks) {
        if (!kept.contains(track.id))
            gone.push_back(track);
    }
    QSet<QUuid> unavailable = m_unavailableTrackIDs;
    unavailable.intersect(kept);
    setUnavailable(std::move(unavailable));
    setTracks(library, TrackListChange::reset());

    QPointer<OstrelLibraryEngine> self(this);
    for (Track& track : gone) {
        auto evicting = m_metadataCache.evict(std::move(track));
        co_await evicting;
        if (!self)
            co_return;
    }
    auto indexing = m_metadataCache.insert(std::move(library));
    co_await indexing;
}

QCoro::Task<bool> OstrelLibraryEngine::saveAndAdopt(TrackList tracks)
{
    auto saving = m_database.saveTracks(std::move(tracks));
    const TracksFileUpdate update = co_await saving;
    if (!update.library)
        co_return false;
    auto adopting = adoptLibrary(*update.library);
    co_await adopting;
    co_return true;
}

QCoro::Task<> OstrelLibraryEngine::refreshIfChangedElsewhere()
{
    QPointer<OstrelLibraryEngine> self(this);
    bool changed = false;
    try {
        auto checking = m_database.tracksFileChangedElsewhere();
        changed = co_await checking;
    } catch (const std::exception& error) {
        if (self)
            qCWarning(lcLibrary).noquote() << "The library file could not be checked for changes:" << describe(error);
        co_return;
    }
    if (!self || !changed)
        co_return;
    qCInfo(lcLibrary) << "The library file was changed by another process; loading it again.";
    auto loading = loadLibraryFromDisk();
    co_await loading;
}

// ---------------------------------------------------------------------------
// Adding files

QCoro::Task<> OstrelLibraryEngine::importFiles(std::vector<FileURL> urls)
{
    const ProgressScope progress(this);
    auto importing = importGivenFiles(std::move(urls), &progress);
    const ImportOutcome outcome = co_await importing;
    throwIfFailed(outcome);
}

QCoro::Task<OstrelLibraryEngine::ImportOutcome> OstrelLibraryEngine::importGivenFiles(std::vector<FileURL> urls, const ProgressScope* progress)
{
    // Files of other types are left out without a failure; the caller that
    // wants to say so finds them in the outcome.
    QStringList unsupported;
    std::erase_if(urls, [&](const FileURL& url) {
        if (AudioImportSupport::isSupportedAudioURL(url))
            return false;
        unsupported.push_back(url.toLocalFile());
        return true;
    });
    auto reconnecting = reconnect(urls);
    co_await reconnecting;

    QSet<FileURL> given(urls.begin(), urls.end());
    const QHash<FileURL, SharedTrack> listed = songsAt(given);
    std::vector<std::pair<QString, FileURL>> fresh;
    for (const FileURL& url : urls) {
        if (listed.contains(url) || m_importing.contains(url) || !given.remove(url))
            continue;
        fresh.emplace_back(url.toLocalFile(), url);
    }
    std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ImportOutcome outcome;
    if (!fresh.empty()) {
        std::vector<FileURL> ordered;
        ordered.reserve(fresh.size());
        for (auto& [path, url] : fresh)
            ordered.push_back(std::move(url));
        auto importing = importNew(std::move(ordered), progress);
        outcome = co_await importing;
    }
    outcome.unsupported = std::move(unsupported);
    co_return outcome;
}

QCoro::Task<> OstrelLibraryEngine::addFolders(std::vector<FileURL> folders)
{
    // The walk counts as part of the operation, so a cancel during it
    // imports nothing.
    const ProgressScope progress(this);
    auto importing = importFolders(std::move(folders), &progress);
    const ImportOutcome outcome = co_await importing;
    throwIfFailed(outcome);
}

QCoro::Task<OstrelLibraryEngine::ImportOutcome> OstrelLibraryEngine::importFolders(std::vector<FileURL> folders, const ProgressScope* progress)
{
    std::vector<QString> paths;
    for (const FileURL& folder : folders) {
        m_fileWatcher.startWatching(folder);
        paths.push_back(folder.toLocalFile());
    }
    rememberWatchedFolders(folders);

    auto enumerating = runOn(&m_enumerationPool, [paths] { return enumerateAudioFiles(paths); });
    FolderScan scan = co_await enumerating;
    ImportOutcome outcome;
    auto importing = importFound(std::move(scan.audioFiles), &outcome, progress);
    co_await importing;
    outcome.failures = scan.failures + outcome.failures;
    outcome.unsupported = std::move(scan.unsupported);
    co_return outcome;
}

QCoro::Task<ImportSummary> OstrelLibraryEngine::importPaths(std::vector<FileURL> folders, std::vector<FileURL> files)
{
    const ProgressScope progress(this);
    ImportSummary summary;
    const auto take = [&summary](const ImportOutcome& outcome) {
        summary.added += outcome.added;
        summary.failures += outcome.failures;
        summary.unsupported += outcome.unsupported;
    };
    if (!folders.empty()) {
        auto adding = importFolders(std::move(folders), &progress);
        take(co_await adding);
    }
    if (!files.empty()) {
        auto importing = importGivenFiles(std::move(files), &progress);
        take(co_await importing);
    }
    co_return summary;
}

// Files found by a walk: known files without a bookmark are reconnected, the
// others are imported in the order found.
QCoro::Task<> OstrelLibraryEngine::importFound(std::vector<FileURL> urls, ImportOutcome* outcome, const ProgressScope* progress)
{
    // The library as it is now, after the walk: the first song of each URL.
    const QHash<FileURL, SharedTrack> known = songsAt(QSet<FileURL>(urls.begin(), urls.end()));
    std::vector<FileURL> toReconnect;
    std::vector<FileURL> fresh;
    QSet<FileURL> freshSet;
    for (FileURL& url : urls) {
        if (const SharedTrack song = known.value(url)) {
            if (!song->securityScopedBookmark)
                toReconnect.push_back(std::move(url));
        } else if (!freshSet.contains(url) && !m_importing.contains(url)) {
            freshSet.insert(url);
            fresh.push_back(std::move(url));
        }
    }

    auto reconnecting = reconnect(std::move(toReconnect));
    co_await reconnecting;
    if (fresh.empty())
        co_return;
    auto importing = importNew(std::move(fresh), progress);
    *outcome = co_await importing;
}

void OstrelLibraryEngine::rememberWatchedFolders(const std::vector<FileURL>& folders)
{
    QStringList watched = watchedFolders();
    const qsizetype before = watched.size();
    for (const FileURL& folder : folders) {
        const QString path = folder.toLocalFile();
        if (!watched.contains(path))
            watched.push_back(path);
    }
    if (watched.size() == before)
        return;
    try {
        m_database.setPreference(watched, kWatchedFoldersKey);
    } catch (const std::exception& error) {
        printDiagnostic(QStringLiteral("LibraryEngine could not remember the watched folders: ") + describe(error));
    }
}

QStringList OstrelLibraryEngine::watchedFolders() const
{
    return m_database.getPreference<QStringList>(kWatchedFoldersKey).value_or(QStringList());
}

QCoro::Task<> OstrelLibraryEngine::reconnect(std::vector<FileURL> urls)
{
    QSet<FileURL> wanted(urls.begin(), urls.end());
    if (wanted.isEmpty())
        co_return;
    TrackList changed;
    TrackList tracks = m_tracks;
    std::vector<std::size_t> positions;
    QSet<FileURL> done;
    const auto publish = [&] {
        if (!positions.empty())
            setTracks(tracks, TrackListChange::updated(positions));
    };
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& track = tracks[i];
        if (!wanted.contains(track.fileURL) || done.contains(track.fileURL))
            continue;
        done.insert(track.fileURL);
        // A failure stops the step; songs given a new bookmark before it keep
        // it in memory (published here) but are not written.
        auto song = std::make_shared<Track>(track);
        try {
            song->securityScopedBookmark = SecurityScopedResource::makeBookmark(track.fileURL);
        } catch (...) {
            publish();
            throw;
        }
        tracks.replace(i, song);
        changed.append(std::move(song));
        positions.push_back(i);
    }
    if (changed.empty())
        co_return;
    publish();
    auto saving = saveAndAdopt(std::move(changed));
    co_await saving;
}

QString OstrelLibraryEngine::failureMessage(const QStringList& failures)
{
    QString message = QStringLiteral("Some files could not be imported:\n") + failures.mid(0, 3).join(QLatin1Char('\n'));
    if (failures.size() > 3)
        message += QStringLiteral("\nAnd %1 more.").arg(failures.size() - 3);
    return message;
}

void OstrelLibraryEngine::throwIfFailed(const ImportOutcome& outcome)
{
    if (!outcome.failures.isEmpty())
        throw DatabaseError::writeFailed(failureMessage(outcome.failures));
}

// Imports new files; the songs that imported stay imported whatever failed.
// Throws only when the new songs cannot be written.
QCoro::Task<OstrelLibraryEngine::ImportOutcome> OstrelLibraryEngine::importNew(std::vector<FileURL> urls, const ProgressScope* progress)
{
    if (urls.empty() || (progress && progress->cancelled()))
        co_return ImportOutcome {};
    // Quiet imports run unawaited, started by changes in the watched folders:
    // the engine may be gone by the time a file has been read.
    QPointer<OstrelLibraryEngine> self(this);
    for (const FileURL& url : urls)
        m_importing.insert(url);
    // The files stay marked until their songs are in the list, so a change
    // reported meanwhile cannot import them a second time.
    const auto forget = qScopeGuard([this, self, &urls] {
        if (self) {
            for (const FileURL& url : urls)
                m_importing.remove(url);
        }
    });
    if (progress)
        addProgressTotal(static_cast<int>(urls.size()), fileNameOf(urls.front()));
    // The library file is copied into its next version while the files are
    // read, so the write at the end costs only the new songs. A few files
    // read in no time; the copy would only be in their way.
    if (urls.size() >= static_cast<std::size_t>(kImportWindow))
        m_database.prepareToAppend();

    TrackList imported;
    QStringList failures;
    std::deque<QCoro::Task<TrackImportResult>> inFlight;
    std::size_t next = 0;
    std::size_t received = 0;
    while (next < urls.size() || !inFlight.empty()) {
        // After a cancel no further file is started; the ones being read are
        // waited for, so that no read outlives the import.
        const bool cancelled = progress && progress->cancelled();
        while (!cancelled && next < urls.size() && inFlight.size() < static_cast<std::size_t>(kImportWindow))
            inFlight.push_back(m_importProcessor.importTrack(urls[next++], kFallbackTitle));
        if (inFlight.empty())
            break;
        TrackImportResult result = co_await inFlight.front();
        inFlight.pop_front();
        ++received;
        if (!self)
            co_return ImportOutcome {};
        // A file that finishes after the cancel is dropped: the import keeps
        // exactly the songs it had counted as done when it was cancelled.
        if (progress && progress->cancelled())
            continue;
        if (result.track)
            imported.append(std::make_shared<const Track>(std::move(*result.track)));
        else if (result.failureDescription)
            failures.push_back(*result.failureDescription);
        if (progress)
            advanceProgress(fileNameOf(urls[std::min(received, urls.size() - 1)]));
    }

    int added = 0;
    if (!imported.empty()) {
        auto saving = m_database.appendNewTracks(imported);
        const TracksFileUpdate update = co_await saving;
        if (!self)
            co_return ImportOutcome {};
        if (update.library) {
            // Another process wrote the library meanwhile, perhaps adding
            // some of the same files: the file says which songs are ours.
            QSet<QUuid> ours;
            for (const Track& track : imported)
                ours.insert(track.id);
            added = static_cast<int>(std::count_if(update.library->begin(), update.library->end(), [&](const Track& t) { return ours.contains(t.id); }));
            auto adopting = adoptLibrary(*update.library);
            co_await adopting;
        } else {
            added = static_cast<int>(imported.size());
            auto indexing = m_metadataCache.insert(imported);
            co_await indexing;
            if (!self)
                co_return ImportOutcome {};
            // Appended to the list as it is now: other operations may have
            // changed it while the files were read, and a reload may already
            // have brought these songs in from the file.
            QSet<QUuid> fresh;
            for (const Track& track : imported)
                fresh.insert(track.id);
            for (const Track& track : m_tracks)
                fresh.remove(track.id);
            TrackList tracks = m_tracks;
            std::vector<std::size_t> positions;
            for (std::size_t i = 0; i < imported.size(); ++i) {
                if (fresh.contains(imported[i].id)) {
                    positions.push_back(tracks.size());
                    tracks.append(imported.shared(i));
                }
            }
            if (!positions.empty())
                setTracks(std::move(tracks), TrackListChange::inserted(std::move(positions)));
        }
    }

    co_return ImportOutcome {added, failures, {}};
}

// ---------------------------------------------------------------------------
// Progress

void OstrelLibraryEngine::cancelImport()
{
    // Operations remember the generation they started in; one started after
    // this call is not affected.
    ++m_cancelGeneration;
}

void OstrelLibraryEngine::addProgressTotal(int files, const QString& firstFile)
{
    m_countedProgress.total += files;
    m_countedProgress.currentFile = firstFile;
    publishProgress(true);
}

void OstrelLibraryEngine::advanceProgress(const QString& currentFile)
{
    ++m_countedProgress.done;
    m_countedProgress.currentFile = currentFile;
    publishProgress(m_countedProgress.done == m_countedProgress.total);
}

// Ten thousand files read in a few seconds would otherwise mean ten thousand
// signals, each redrawing whatever shows the progress. Between updates the
// count goes on; what was held back is published when the interval ends.
void OstrelLibraryEngine::publishProgress(bool force)
{
    if (!force && m_sinceProgressPublished.isValid() && m_sinceProgressPublished.elapsed() < kProgressIntervalMs) {
        if (!m_progressFlush.isActive())
            m_progressFlush.start(static_cast<int>(kProgressIntervalMs - m_sinceProgressPublished.elapsed()));
        return;
    }
    m_progressFlush.stop();
    if (m_countedProgress == m_importProgress)
        return;
    m_sinceProgressPublished.start();
    m_importProgress = m_countedProgress;
    emit importProgressChanged();
}

// ---------------------------------------------------------------------------
// Changes in the watched folders

void OstrelLibraryEngine::noteChange(const FileSystemChange& change)
{
    for (const FileURL* url : {&change.url(), &change.previousURL()}) {
        if (!url->isEmpty() && url->isLocalFile())
            m_pendingChangePaths.insert(QDir::cleanPath(url->toLocalFile()));
    }
    m_changeQuietTimer.start();
}

void OstrelLibraryEngine::processPendingChanges()
{
    // A batch still being handled takes what arrived meanwhile when it ends.
    if (m_processingChanges)
        return;
    processChangeBatches();
}

QCoro::Task<> OstrelLibraryEngine::processChangeBatches()
{
    // Nobody awaits this; the engine may be destroyed while a batch runs.
    QPointer<OstrelLibraryEngine> self(this);
    m_processingChanges = true;
    // Changes that arrived during a batch and have been quiet since are
    // handled next; ones still arriving wait for their own quiet period.
    while (!m_pendingChangePaths.isEmpty() && !m_changeQuietTimer.isActive()) {
        QStringList paths(m_pendingChangePaths.begin(), m_pendingChangePaths.end());
        m_pendingChangePaths.clear();
        paths.sort();
        try {
            auto processing = processChangeBatch(std::move(paths));
            co_await processing;
        } catch (const std::exception& error) {
            if (self)
                qCWarning(lcLibrary).noquote() << "Changes in the watched folders could not be applied:" << describe(error);
        }
        if (!self)
            co_return;
    }
    m_processingChanges = false;
}

QCoro::Task<> OstrelLibraryEngine::processChangeBatch(QStringList paths)
{
    QPointer<OstrelLibraryEngine> self(this);
    // Only unavailable songs at or below a changed path can have come back.
    const QSet<QString> changed(paths.begin(), paths.end());
    QStringList unavailablePaths;
    for (const Track& track : m_tracks) {
        if (!m_unavailableTrackIDs.contains(track.id))
            continue;
        const QString path = track.fileURL.toLocalFile();
        if (isAtOrBelow(path, changed))
            unavailablePaths.push_back(path);
    }
    auto examining = runOn(&m_enumerationPool, [paths, unavailablePaths] { return examineChanges(paths, unavailablePaths); });
    const ExaminedChanges examined = co_await examining;
    if (!self)
        co_return;

    // Songs are only marked, never removed: a drive that was unplugged or a
    // folder moved away for a moment must not cost the user their edits.
    // Paths are worked out for every song only when something vanished or
    // came back: most batches just bring new files.
    if (!examined.returned.isEmpty() || !examined.missing.isEmpty()) {
        QSet<QUuid> unavailable = m_unavailableTrackIDs;
        for (const Track& track : m_tracks) {
            const QString path = track.fileURL.toLocalFile();
            if (examined.returned.contains(path))
                unavailable.remove(track.id);
            else if (isAtOrBelow(path, examined.missing))
                unavailable.insert(track.id);
        }
        setUnavailable(std::move(unavailable));
    }

    QSet<FileURL> found;
    for (const QString& path : examined.audioFiles)
        found.insert(FileURL::fromLocalFile(path));
    const QHash<FileURL, SharedTrack> listed = songsAt(found);
    std::vector<FileURL> fresh;
    for (const QString& path : examined.audioFiles) {
        FileURL url = FileURL::fromLocalFile(path);
        if (listed.contains(url) || m_importing.contains(url) || !found.remove(url))
            continue;
        fresh.push_back(std::move(url));
    }
    if (fresh.empty())
        co_return;
    // Nobody asked for these files, so nobody is shown their failures.
    auto importing = importNew(std::move(fresh), nullptr);
    const ImportOutcome outcome = co_await importing;
    for (const QString& failure : outcome.failures)
        qCWarning(lcLibrary).noquote() << "A new file in a watched folder could not be imported:" << failure;
}

void OstrelLibraryEngine::setUnavailable(QSet<QUuid> ids)
{
    if (ids == m_unavailableTrackIDs)
        return;
    m_unavailableTrackIDs = std::move(ids);
    emit unavailableTracksChanged();
}

QCoro::Task<> OstrelLibraryEngine::rescanLibrary()
{
    auto rescanning = rescan();
    co_await rescanning;
}

QCoro::Task<RescanSummary> OstrelLibraryEngine::rescan()
{
    const ProgressScope progress(this);
    std::vector<QString> folders;
    for (const QString& folder : watchedFolders())
        folders.push_back(folder);
    auto enumerating = runOn(&m_enumerationPool, [folders] { return enumerateAudioFiles(folders); });
    FolderScan scan = co_await enumerating;

    ImportOutcome outcome;
    auto importing = importFound(std::move(scan.audioFiles), &outcome, &progress);
    co_await importing;
    outcome.failures = scan.failures + outcome.failures;

    std::vector<QString> paths;
    paths.reserve(m_tracks.size());
    for (const Track& track : m_tracks)
        paths.push_back(track.fileURL.toLocalFile());
    auto counting = runOn(&m_enumerationPool, [paths = std::move(paths)] {
        return static_cast<int>(std::count_if(paths.begin(), paths.end(), [](const QString& path) { return !QFileInfo::exists(path); }));
    });
    RescanSummary summary;
    summary.added = outcome.added;
    summary.missing = co_await counting;
    if (!outcome.failures.isEmpty())
        summary.failures = failureMessage(outcome.failures);
    co_return summary;
}

// ---------------------------------------------------------------------------
// Queries

TrackList OstrelLibraryEngine::search(const QString& query) const
{
    TrackList found;
    if (query.isEmpty())
        return found;
    for (const SharedTrack& song : m_tracks.sharedSongs()) {
        if (song->title.contains(query, Qt::CaseInsensitive))
            found.append(song);
    }
    return found;
}

TrackList OstrelLibraryEngine::getRecentlyAdded(int limit) const
{
    Q_ASSERT(limit >= 0);
    return m_tracks.mid(0, std::min<std::size_t>(m_tracks.size(), static_cast<std::size_t>(std::max(0, limit))));
}

TrackList OstrelLibraryEngine::getMostPlayed(int limit) const
{
    return getRecentlyAdded(limit);
}

TrackList OstrelLibraryEngine::getFavorites() const
{
    TrackList favorites;
    for (const SharedTrack& song : m_tracks.sharedSongs()) {
        if (isFavorite(song->rating))
            favorites.append(song);
    }
    return favorites;
}

// ---------------------------------------------------------------------------
// Edits

QCoro::Task<> OstrelLibraryEngine::updateTrack(Track track)
{
    std::vector<Track> one;
    one.push_back(std::move(track));
    auto updating = updateTracks(std::move(one));
    co_await updating;
}

QCoro::Task<> OstrelLibraryEngine::updateTracks(std::vector<Track> tracks)
{
    // Every check comes before anything is written.
    QSet<QUuid> ids;
    for (const Track& track : tracks) {
        if (ids.contains(track.id))
            throw DatabaseError::writeFailed(QStringLiteral("The metadata update contains duplicate tracks."));
        ids.insert(track.id);
    }
    for (const Track& track : tracks) {
        if (track.title.trimmed().isEmpty())
            throw DatabaseError::writeFailed(QStringLiteral("Track title cannot be empty."));
        if (!(track.duration >= 0))
            throw DatabaseError::writeFailed(QStringLiteral("Track duration cannot be negative."));
    }
    // One pass over the library, however many songs the edit carries.
    QSet<QUuid> missing = ids;
    for (const Track& track : m_tracks) {
        missing.remove(track.id);
        if (missing.isEmpty())
            break;
    }
    if (!missing.isEmpty())
        throw DatabaseError::entityNotFound(QStringLiteral("One or more tracks are no longer in the local library."));

    // The edited records become the library's own: the file, the list and
    // the index all hold these same records.
    TrackList edited;
    edited.reserve(tracks.size());
    for (Track& track : tracks)
        edited.append(std::make_shared<const Track>(std::move(track)));
    auto saving = saveAndAdopt(edited);
    if (co_await saving)
        co_return;
    auto indexing = m_metadataCache.insert(edited);
    co_await indexing;

    // Applied to the list as it is now, which may have changed meanwhile.
    QHash<QUuid, std::size_t> byID;
    for (std::size_t i = 0; i < edited.size(); ++i)
        byID.insert(edited[i].id, i);
    TrackList updated = m_tracks;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < updated.size(); ++i) {
        const auto found = byID.constFind(updated[i].id);
        if (found == byID.constEnd())
            continue;
        updated.replace(i, edited.shared(*found));
        positions.push_back(i);
    }
    setTracks(std::move(updated), TrackListChange::updated(std::move(positions)));
}

// ---------------------------------------------------------------------------

std::vector<Track> sampleTracks()
{
    struct Sample {
        const char* filename;
        const char* title;
        double duration;
    };
    static constexpr Sample samples[] = {
        {"Morning Light.mp3", "Morning Light", 243}, {"Paper Boats.mp3", "Paper Boats", 322}, {"Northbound.mp3", "Northbound", 343},
        {"Low Tide.mp3", "Low Tide", 235},           {"Long Way Home.mp3", "Long Way Home", 607},
    };
    std::vector<Track> tracks;
    try {
        for (const Sample& sample : samples) {
            Track track(QUuid::createUuid(), FileURL::fromLocalFile(QStringLiteral("/music/track.mp3")), QString::fromUtf8(sample.filename),
                        QString::fromUtf8(sample.title), sample.duration, Timestamp::now(), std::nullopt);
            track.artist = QStringLiteral("The Quiet Hours");
            track.album = QStringLiteral("Harbour Songs");
            tracks.push_back(std::move(track));
        }
    } catch (const std::exception& error) {
        printDiagnostic(QStringLiteral("Error parsing mock tracks: ") + describe(error));
        return {};
    }
    return tracks;
}

} // namespace varno
