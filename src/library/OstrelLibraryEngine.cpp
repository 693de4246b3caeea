#include "OstrelLibraryEngine.h"

#include "library/ImportError.h"
#include "platform/Diagnostics.h"
#include "storage/DatabaseError.h"

#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <memory>

namespace varno {

// The whole library logs under one category; WatchedFolders declares it too.
Q_LOGGING_CATEGORY(lcLibrary, "varno.library")

namespace {

// The interface promises DatabaseError::writeFailed, with the combined text,
// when files of an import or a folder addition fail, and its callers (the
// add-folder command, the opening of files from the desktop) catch that type;
// the importer reports the same failures as an ImportError. Both operations
// turn the one into the other here, and nowhere else.
DatabaseError asWriteFailed(const ImportError& error)
{
    return DatabaseError::writeFailed(error.description());
}

} // namespace

OstrelLibraryEngine::OstrelLibraryEngine(DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache,
                                         FileWatcher& fileWatcher)
    : m_database(database)
    , m_metadataCache(metadataCache)
    , m_importer(*this, database, metadataEngine, metadataCache, m_walkPool)
    , m_watchedFolders(*this, m_importer, database, fileWatcher, m_walkPool)
{
    m_walkPool.setObjectName(QStringLiteral("LibraryEnumeration"));
    m_walkPool.setMaxThreadCount(1);
    connect(&m_importer, &LibraryImporter::progressChanged, this, &LibraryEngine::importProgressChanged);
    connect(&m_watchedFolders, &WatchedFolders::unavailableTracksChanged, this, &LibraryEngine::unavailableTracksChanged);
    loadLibraryFromDisk();
}

OstrelLibraryEngine::~OstrelLibraryEngine()
{
    m_walkPool.waitForDone();
}

void OstrelLibraryEngine::setTracks(TrackList tracks, const TrackListChange& change)
{
    m_tracks = std::move(tracks);
    emit tracksChanged(change);
}

QHash<FileURL, SharedTrack> OstrelLibraryEngine::songsAt(const QSet<FileURL>& urls) const
{
    return varno::songsAt(m_tracks, urls);
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

QCoro::Task<> OstrelLibraryEngine::load()
{
    QPointer<OstrelLibraryEngine> self(this);
    auto reading = readLibrary();
    co_await reading;
    // The remembered folders are watched once the first load is over, loaded
    // or not: watching a large collection walks thousands of folders, which
    // would only delay the songs on their way to the window. The list is read
    // before the load counts as done, so that it is known to whoever awaited
    // the load; the watch itself is set up in the background.
    if (!self)
        co_return;
    auto watching = m_watchedFolders.watchRemembered();
    co_await watching;
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
    m_watchedFolders.keepOnly(kept);
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

QCoro::Task<TracksFileUpdate> OstrelLibraryEngine::saveEdits(TrackList tracks)
{
    auto saving = m_database.updateTracks(std::move(tracks));
    TracksFileUpdate update = co_await saving;
    if (update.library) {
        auto adopting = adoptLibrary(*update.library);
        co_await adopting;
    }
    co_return update;
}

QCoro::Task<> OstrelLibraryEngine::refreshIfChangedElsewhere()
{
    QPointer<OstrelLibraryEngine> self(this);
    // Folders another process added are watched here too.
    auto watching = m_watchedFolders.current();
    co_await watching;
    if (!self)
        co_return;
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
    auto importing = m_importer.importFiles(std::move(urls));
    try {
        co_await importing;
    } catch (const ImportError& error) {
        throw asWriteFailed(error);
    }
}

QCoro::Task<> OstrelLibraryEngine::addFolders(std::vector<FileURL> folders)
{
    auto remembering = m_watchedFolders.add(folders);
    co_await remembering;
    auto importing = m_importer.importFolders(std::move(folders));
    try {
        co_await importing;
    } catch (const ImportError& error) {
        throw asWriteFailed(error);
    }
}

QCoro::Task<ImportSummary> OstrelLibraryEngine::importPaths(std::vector<FileURL> folders, std::vector<FileURL> files)
{
    auto remembering = m_watchedFolders.add(folders);
    co_await remembering;
    auto importing = m_importer.importPaths(std::move(folders), std::move(files));
    co_return co_await importing;
}

QCoro::Task<> OstrelLibraryEngine::rescanLibrary()
{
    auto rescanning = rescan();
    co_await rescanning;
}

QCoro::Task<RescanSummary> OstrelLibraryEngine::rescan()
{
    // Read again: another process may have added folders since the start.
    auto reading = m_watchedFolders.current();
    const QStringList folders = co_await reading;
    auto rescanning = m_importer.rescan(std::vector<QString>(folders.begin(), folders.end()));
    co_return co_await rescanning;
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
    auto saving = saveEdits(edited);
    const TracksFileUpdate update = co_await saving;
    // Another process removed some of the songs after this one read the
    // library: the edit is refused whole rather than bringing them back, and
    // the list is now the file's, without them.
    if (!update.notStored.empty()) {
        QStringList titles;
        for (const Track& track : update.notStored)
            titles.push_back(track.title);
        throw DatabaseError::noLongerInLibrary(titles);
    }
    if (update.library)
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
