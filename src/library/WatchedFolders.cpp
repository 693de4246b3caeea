#include "WatchedFolders.h"

#include "library/AudioImportSupport.h"
#include "platform/Diagnostics.h"
#include "platform/Worker.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>

namespace varno {

// Defined with the library engine: one category for the whole library.
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

namespace {

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

WatchedFolders::WatchedFolders(LibraryTracks& library, LibraryImporter& importer, DatabaseManager& database, FileWatcher& fileWatcher,
                               QThreadPool& examinePool)
    : m_library(library)
    , m_importer(importer)
    , m_database(database)
    , m_fileWatcher(fileWatcher)
    , m_examinePool(examinePool)
{
    m_changeQuietTimer.setSingleShot(true);
    m_changeQuietTimer.setInterval(kChangeQuietPeriodMs);
    connect(&m_changeQuietTimer, &QTimer::timeout, this, &WatchedFolders::processPendingChanges);
    // Changes are emitted on the watcher's thread; queued, they are handled
    // here on the main thread like every other change of the list.
    connect(&m_fileWatcher, &FileWatcher::changeOccurred, this, &WatchedFolders::noteChange, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// The remembered folders

QCoro::Task<QStringList> WatchedFolders::readFolders()
{
    QPointer<WatchedFolders> self(this);
    try {
        auto loading = m_database.loadWatchedFolders();
        QStringList folders = co_await loading;
        co_return folders;
    } catch (const std::exception& error) {
        printDiagnostic(QStringLiteral("LibraryEngine could not read the watched folders: ") + describe(error));
    }
    co_return self ? m_folders : QStringList();
}

void WatchedFolders::takeIn(const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (!m_folders.contains(folder))
            m_folders.push_back(folder);
    }
    if (!m_watchingRemembered)
        return;
    std::vector<FileURL> fresh;
    for (const QString& folder : std::as_const(m_folders)) {
        if (!m_watched.contains(folder)) {
            m_watched.insert(folder);
            fresh.push_back(FileURL::fromLocalFile(folder));
        }
    }
    if (!fresh.empty())
        m_fileWatcher.startWatchingInBackground(fresh);
}

QCoro::Task<QStringList> WatchedFolders::current()
{
    QPointer<WatchedFolders> self(this);
    auto reading = readFolders();
    const QStringList folders = co_await reading;
    if (!self)
        co_return folders;
    takeIn(folders);
    co_return m_folders;
}

QCoro::Task<> WatchedFolders::add(std::vector<FileURL> folders)
{
    if (folders.empty())
        co_return;
    QStringList paths;
    for (const FileURL& folder : folders) {
        m_fileWatcher.startWatching(folder);
        m_watched.insert(folder.toLocalFile());
        paths.push_back(folder.toLocalFile());
    }
    // Written as a change of the list on disk, under the state lock: another
    // process adding its own folder at the same moment keeps it.
    QPointer<WatchedFolders> self(this);
    QStringList watched;
    try {
        auto adding = m_database.addWatchedFolders(paths);
        watched = co_await adding;
    } catch (const std::exception& error) {
        if (self)
            printDiagnostic(QStringLiteral("LibraryEngine could not remember the watched folders: ") + describe(error));
    }
    if (!self)
        co_return;
    takeIn(paths);
    takeIn(watched);
}

QCoro::Task<> WatchedFolders::watchRemembered()
{
    if (m_rememberedAskedFor)
        co_return;
    m_rememberedAskedFor = true;
    QPointer<WatchedFolders> self(this);
    auto reading = readFolders();
    const QStringList remembered = co_await reading;
    if (!self)
        co_return;
    // Folders added while the list was read are watched already and are
    // not asked for twice.
    m_watchingRemembered = true;
    takeIn(remembered);
}

// ---------------------------------------------------------------------------
// Changes in the watched folders

void WatchedFolders::noteChange(const FileSystemChange& change)
{
    for (const FileURL* url : {&change.url(), &change.previousURL()}) {
        if (!url->isEmpty() && url->isLocalFile())
            m_pendingChangePaths.insert(QDir::cleanPath(url->toLocalFile()));
    }
    m_changeQuietTimer.start();
}

void WatchedFolders::processPendingChanges()
{
    // A batch still being handled takes what arrived meanwhile when it ends.
    if (m_processingChanges)
        return;
    processChangeBatches();
}

QCoro::Task<> WatchedFolders::processChangeBatches()
{
    // Nobody awaits this; the engine, and with it this object, may be
    // destroyed while a batch runs.
    QPointer<WatchedFolders> self(this);
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

QCoro::Task<> WatchedFolders::processChangeBatch(QStringList paths)
{
    QPointer<WatchedFolders> self(this);
    // Only unavailable songs at or below a changed path can have come back.
    const QSet<QString> changed(paths.begin(), paths.end());
    QStringList unavailablePaths;
    for (const Track& track : m_library.tracks()) {
        if (!m_unavailableTrackIDs.contains(track.id))
            continue;
        const QString path = track.fileURL.toLocalFile();
        if (isAtOrBelow(path, changed))
            unavailablePaths.push_back(path);
    }
    auto examining = runOn(&m_examinePool, [paths, unavailablePaths] { return examineChanges(paths, unavailablePaths); });
    const ExaminedChanges examined = co_await examining;
    if (!self)
        co_return;

    // Songs are only marked, never removed: a drive that was unplugged or a
    // folder moved away for a moment must not cost the user their edits.
    // Paths are worked out for every song only when something vanished or
    // came back: most batches just bring new files.
    if (!examined.returned.isEmpty() || !examined.missing.isEmpty()) {
        QSet<QUuid> unavailable = m_unavailableTrackIDs;
        for (const Track& track : m_library.tracks()) {
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
    const QHash<FileURL, SharedTrack> listed = songsAt(m_library.tracks(), found);
    std::vector<FileURL> fresh;
    for (const QString& path : examined.audioFiles) {
        FileURL url = FileURL::fromLocalFile(path);
        if (listed.contains(url) || m_importer.isImporting(url) || !found.remove(url))
            continue;
        fresh.push_back(std::move(url));
    }
    if (fresh.empty())
        co_return;
    // Nobody asked for these files, so nobody is shown their failures.
    auto importing = m_importer.importQuietly(std::move(fresh));
    const ImportSummary summary = co_await importing;
    for (const QString& failure : summary.failures)
        qCWarning(lcLibrary).noquote() << "A new file in a watched folder could not be imported:" << failure;
}

void WatchedFolders::keepOnly(const QSet<QUuid>& ids)
{
    QSet<QUuid> unavailable = m_unavailableTrackIDs;
    unavailable.intersect(ids);
    setUnavailable(std::move(unavailable));
}

void WatchedFolders::setUnavailable(QSet<QUuid> ids)
{
    if (ids == m_unavailableTrackIDs)
        return;
    m_unavailableTrackIDs = std::move(ids);
    emit unavailableTracksChanged();
}

} // namespace varno
