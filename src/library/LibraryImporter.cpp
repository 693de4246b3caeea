#include "LibraryImporter.h"

#include "library/AudioImportSupport.h"
#include "library/ImportError.h"
#include "library/SecurityScopedResource.h"
#include "platform/FolderWalk.h"
#include "platform/Worker.h"

#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QScopeGuard>

#include <algorithm>
#include <deque>
#include <memory>
#include <utility>

namespace varno {

namespace {

const QString kFallbackTitle = QStringLiteral("Unknown Title");

// What a walk of folders found, as the library takes it.
struct FolderScan {
    // Supported audio files, in enumeration order.
    std::vector<FileURL> audioFiles;
    // "name: reason" for items that cannot be imported at all.
    QStringList failures;
    // Audio files of types the library does not take.
    QStringList unsupported;
    // The paths of `audioFiles`, for telling which songs' files are there.
    std::vector<QString> paths;
};

// Supported audio files under `folders`, in enumeration order, with the
// items that cannot be imported and why. Runs on a worker.
FolderScan scanFolders(const std::vector<QString>& folders)
{
    FolderWalk walk = walkFolders(folders, [](const QString& path) {
        if (AudioImportSupport::isSupportedAudioPath(path))
            return FolderWalk::Choice::Take;
        return AudioImportSupport::isOtherAudioPath(path) ? FolderWalk::Choice::Mention : FolderWalk::Choice::Skip;
    });
    // URLs are made here, on the worker: for a large folder that is thousands
    // of them the main thread need not build.
    FolderScan scan;
    scan.audioFiles.reserve(walk.files.size());
    for (const QString& path : walk.files)
        scan.audioFiles.push_back(FileURL::fromLocalFile(path));
    scan.failures = std::move(walk.failures);
    scan.unsupported = std::move(walk.mentioned);
    scan.paths = std::move(walk.files);
    return scan;
}

QString fileNameOf(const FileURL& url)
{
    return QFileInfo(url.toLocalFile()).fileName();
}

void throwIfFailed(const ImportSummary& summary)
{
    if (!summary.failures.isEmpty())
        throw ImportError(summary.failures);
}

} // namespace

// One import operation the user sees. From construction to destruction it
// counts towards the published progress, and cancel() cancels it. It lives
// in the operation's coroutine frame, which may outlive the importer.
class LibraryImporter::ProgressScope {
public:
    enum class Work { Importing, ReadingTags };

    explicit ProgressScope(LibraryImporter* importer, Work work = Work::Importing)
        : m_importer(importer)
        , m_generation(importer->m_cancelGeneration)
        , m_work(work)
    {
        // The counts start again when nothing else is running; a concurrent
        // operation adds its files to the running total instead.
        if (importer->m_progressScopes++ == 0)
            importer->m_countedProgress = ImportProgress {0, 0, QString(), true};
        if (work == Work::Importing)
            ++importer->m_importScopes;
        importer->m_countedProgress.readingTagsOnly = importer->m_importScopes == 0;
    }
    ~ProgressScope()
    {
        if (!m_importer)
            return;
        if (m_work == Work::Importing)
            --m_importer->m_importScopes;
        if (--m_importer->m_progressScopes > 0) {
            // What the operations left running do may have changed kind.
            m_importer->m_countedProgress.readingTagsOnly = m_importer->m_importScopes == 0;
            m_importer->publishProgress(true);
            return;
        }
        m_importer->m_countedProgress.readingTagsOnly = false;
        m_importer->m_countedProgress.active = false;
        m_importer->m_countedProgress.currentFile.clear();
        // An operation that found nothing to import published nothing, so
        // there is nothing to end either.
        if (m_importer->m_progress.active)
            m_importer->publishProgress(true);
        else
            m_importer->m_progressFlush.stop();
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    bool cancelled() const { return !m_importer || m_importer->m_cancelGeneration != m_generation; }

private:
    QPointer<LibraryImporter> m_importer;
    quint64 m_generation;
    Work m_work;
};

LibraryImporter::LibraryImporter(LibraryTracks& library, DatabaseManager& database, MetadataEngine& metadataEngine, MetadataCache& metadataCache,
                                 QThreadPool& walkPool)
    : m_library(library)
    , m_database(database)
    , m_metadataCache(metadataCache)
    , m_walkPool(walkPool)
    , m_metadataEngine(metadataEngine)
    , m_importProcessor(metadataEngine)
{
    m_progressFlush.setSingleShot(true);
    connect(&m_progressFlush, &QTimer::timeout, this, [this] { publishProgress(true); });
}

// ---------------------------------------------------------------------------
// Operations

QCoro::Task<> LibraryImporter::importFiles(std::vector<FileURL> urls)
{
    const ProgressScope progress(this);
    auto importing = importGiven(std::move(urls), &progress);
    const ImportSummary summary = co_await importing;
    throwIfFailed(summary);
}

QCoro::Task<> LibraryImporter::importFolders(std::vector<FileURL> folders)
{
    // The walk counts as part of the operation, so a cancel during it
    // imports nothing.
    const ProgressScope progress(this);
    auto importing = importUnder(std::move(folders), &progress);
    const ImportSummary summary = co_await importing;
    throwIfFailed(summary);
}

QCoro::Task<ImportSummary> LibraryImporter::importPaths(std::vector<FileURL> folders, std::vector<FileURL> files)
{
    const ProgressScope progress(this);
    ImportSummary summary;
    if (!folders.empty()) {
        auto adding = importUnder(std::move(folders), &progress);
        summary += co_await adding;
    }
    if (!files.empty()) {
        auto importing = importGiven(std::move(files), &progress);
        summary += co_await importing;
    }
    co_return summary;
}

QCoro::Task<RescanSummary> LibraryImporter::rescan(std::vector<QString> folders)
{
    const ProgressScope progress(this);
    QPointer<LibraryImporter> self(this);
    auto walking = runOn(&m_walkPool, [folders = std::move(folders)] { return scanFolders(folders); });
    FolderScan scan = co_await walking;

    ImportSummary imported;
    auto importing = importFound(std::move(scan.audioFiles), &imported, &progress);
    co_await importing;
    imported.failures = scan.failures + imported.failures;
    RescanSummary summary;
    if (!self)
        co_return summary;

    // The files the walk found are there; only the others are looked for.
    // The list is read on the pool: its songs never change under whoever
    // holds it.
    auto counting = runOn(&m_walkPool, [library = m_library.tracks(), walked = std::move(scan.paths)] {
        const QSet<QString> found(walked.begin(), walked.end());
        return static_cast<int>(std::count_if(library.begin(), library.end(), [&](const Track& track) {
            const QString path = track.fileURL.toLocalFile();
            return !found.contains(path) && !QFileInfo::exists(path);
        }));
    });
    summary.added = imported.added;
    summary.missing = co_await counting;
    if (!imported.failures.isEmpty())
        summary.failures = ImportError::describeFailures(imported.failures);
    if (self && !progress.cancelled())
        summary.tagsToRead = startTagFill();
    co_return summary;
}

int LibraryImporter::startTagFill()
{
    // The fill running covers every song unmarked when it started; songs
    // imported since were read whole.
    if (m_tagFill && !m_tagFill->isReady())
        return 0;
    m_tagFill.reset();
    std::vector<QUuid> unread;
    std::vector<FileURL> unreadFiles;
    std::vector<TagFieldsFill> complete;
    for (const Track& track : m_library.tracks()) {
        if (track.tagFieldsRead)
            continue;
        // A record that holds all five has nothing to gain from its file.
        if (track.year && track.trackNumber && track.discNumber && track.comments && track.bpm) {
            complete.push_back({track.id, {}});
            continue;
        }
        unread.push_back(track.id);
        unreadFiles.push_back(track.fileURL);
    }
    if (unread.empty() && complete.empty())
        return 0;
    const int count = static_cast<int>(unread.size() + complete.size());
    m_tagFill = std::make_shared<QCoro::Task<int>>(fillFromTags(std::move(unread), std::move(unreadFiles), std::move(complete)));
    return count;
}

QCoro::Task<int> LibraryImporter::waitForTagFill()
{
    if (!m_tagFill)
        co_return 0;
    const std::shared_ptr<QCoro::Task<int>> running = m_tagFill;
    co_return co_await *running;
}

QCoro::Task<int> LibraryImporter::fillFromTags(std::vector<QUuid> ids, std::vector<FileURL> files, std::vector<TagFieldsFill> fills)
{
    QPointer<LibraryImporter> self(this);
    const ProgressScope progress(this, ProgressScope::Work::ReadingTags);
    if (!files.empty())
        addProgressTotal(static_cast<int>(files.size()), files.front().toLocalFile());
    int filled = 0;
    QElapsedTimer sinceSaved;
    sinceSaved.start();
    for (std::size_t from = 0; from < files.size(); from += kTagFillBatch) {
        const std::size_t count = std::min(kTagFillBatch, files.size() - from);
        const auto first = files.begin() + static_cast<std::ptrdiff_t>(from);
        auto reading = m_metadataEngine.readTagFields(std::vector<FileURL>(first, first + static_cast<std::ptrdiff_t>(count)));
        std::vector<std::optional<TagFields>> read = co_await reading;
        if (!self)
            co_return filled;
        // A file that cannot be read now leaves its song unmarked, to be
        // read at a later rescan, when it may be back.
        for (std::size_t i = 0; i < read.size(); ++i) {
            if (read[i])
                fills.push_back({ids[from + i], std::move(*read[i])});
        }
        advanceProgressBy(static_cast<int>(count), from + count < files.size() ? files[from + count].toLocalFile() : QString());
        if (progress.cancelled())
            break;
        const bool last = from + count >= files.size();
        if (!last && sinceSaved.elapsed() < kTagFillSaveIntervalMs)
            continue;
        auto saving = fillTagFields(std::exchange(fills, {}));
        filled += co_await saving;
        if (!self)
            co_return filled;
        sinceSaved.restart();
    }
    // What was read before a cancel is kept, like the songs of a cancelled
    // import.
    if (!fills.empty()) {
        auto saving = fillTagFields(std::move(fills));
        filled += co_await saving;
    }
    co_return filled;
}

QCoro::Task<int> LibraryImporter::fillTagFields(std::vector<TagFieldsFill> fills)
{
    QPointer<LibraryImporter> self(this);
    QHash<QUuid, TagFields> fieldsOf;
    fieldsOf.reserve(static_cast<qsizetype>(fills.size()));
    for (const TagFieldsFill& fill : fills)
        fieldsOf.insert(fill.id, fill.fields);
    auto filling = m_database.fillTagFields(std::move(fills));
    const TracksFileUpdate update = co_await filling;
    if (!self)
        co_return 0;
    if (update.library) {
        auto adopting = m_library.adoptLibrary(*update.library);
        co_await adopting;
        co_return static_cast<int>(update.filled.size());
    }
    if (update.filled.empty())
        co_return 0;
    auto indexing = m_metadataCache.insert(update.filled);
    co_await indexing;
    if (!self)
        co_return 0;
    // Applied to each record as the list holds it now, to the fields it
    // still lacks: an edit published since the write (its own write came
    // after this one) keeps every value it set.
    QHash<QUuid, SharedTrack> written;
    for (std::size_t i = 0; i < update.filled.size(); ++i)
        written.insert(update.filled[i].id, update.filled.shared(i));
    TrackList tracks = m_library.tracks();
    TrackList editedMeanwhile;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto found = written.constFind(tracks[i].id);
        if (found == written.constEnd() || tracks[i].tagFieldsRead)
            continue;
        Track record = tracks[i];
        varno::fillTagFields(record, fieldsOf.value(record.id));
        if (record == **found) {
            tracks.replace(i, *found);
        } else {
            auto merged = std::make_shared<const Track>(std::move(record));
            tracks.replace(i, merged);
            editedMeanwhile.append(std::move(merged));
        }
        positions.push_back(i);
    }
    if (!positions.empty())
        m_library.setTracks(std::move(tracks), TrackListChange::updated(std::move(positions)));
    if (!editedMeanwhile.empty()) {
        auto reindexing = m_metadataCache.insert(std::move(editedMeanwhile));
        co_await reindexing;
    }
    co_return static_cast<int>(update.filled.size());
}

QCoro::Task<ImportSummary> LibraryImporter::importQuietly(std::vector<FileURL> urls)
{
    return importNew(std::move(urls), nullptr);
}

// ---------------------------------------------------------------------------
// Steps

QCoro::Task<ImportSummary> LibraryImporter::importGiven(std::vector<FileURL> urls, const ProgressScope* progress)
{
    // Files of other types are left out without a failure; the caller that
    // wants to say so finds them in the summary.
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
    const QHash<FileURL, SharedTrack> listed = songsAt(m_library.tracks(), given);
    std::vector<std::pair<QString, FileURL>> fresh;
    for (const FileURL& url : urls) {
        if (listed.contains(url) || m_importing.contains(url) || !given.remove(url))
            continue;
        fresh.emplace_back(url.toLocalFile(), url);
    }
    std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ImportSummary summary;
    if (!fresh.empty()) {
        std::vector<FileURL> ordered;
        ordered.reserve(fresh.size());
        for (auto& [path, url] : fresh)
            ordered.push_back(std::move(url));
        auto importing = importNew(std::move(ordered), progress);
        summary = co_await importing;
    }
    summary.unsupported = std::move(unsupported);
    co_return summary;
}

QCoro::Task<ImportSummary> LibraryImporter::importUnder(std::vector<FileURL> folders, const ProgressScope* progress)
{
    std::vector<QString> paths;
    paths.reserve(folders.size());
    for (const FileURL& folder : folders)
        paths.push_back(folder.toLocalFile());
    auto walking = runOn(&m_walkPool, [paths = std::move(paths)] { return scanFolders(paths); });
    FolderScan scan = co_await walking;
    ImportSummary summary;
    auto importing = importFound(std::move(scan.audioFiles), &summary, progress);
    co_await importing;
    summary.failures = scan.failures + summary.failures;
    summary.unsupported = std::move(scan.unsupported);
    co_return summary;
}

// Files found by a walk: known files without a bookmark are reconnected, the
// others are imported in the order found.
QCoro::Task<> LibraryImporter::importFound(std::vector<FileURL> urls, ImportSummary* summary, const ProgressScope* progress)
{
    // The library as it is now, after the walk: the first song of each URL.
    const QHash<FileURL, SharedTrack> known = songsAt(m_library.tracks(), QSet<FileURL>(urls.begin(), urls.end()));
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
    *summary = co_await importing;
}

QCoro::Task<> LibraryImporter::reconnect(std::vector<FileURL> urls)
{
    QSet<FileURL> wanted(urls.begin(), urls.end());
    if (wanted.isEmpty())
        co_return;
    TrackList changed;
    TrackList tracks = m_library.tracks();
    std::vector<std::size_t> positions;
    QSet<FileURL> done;
    const auto publish = [&] {
        if (!positions.empty())
            m_library.setTracks(tracks, TrackListChange::updated(positions));
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
    // A song another process removed meanwhile is not brought back by its
    // new bookmark: the library takes in the file without it.
    auto saving = m_library.saveEdits(std::move(changed));
    co_await saving;
}

// Imports new files; the songs that imported stay imported whatever failed.
// Throws only when the new songs cannot be written.
QCoro::Task<ImportSummary> LibraryImporter::importNew(std::vector<FileURL> urls, const ProgressScope* progress)
{
    if (urls.empty() || (progress && progress->cancelled()))
        co_return ImportSummary {};
    // Quiet imports run unawaited, started by changes in the watched folders:
    // the importer, and the engine that owns it, may be gone by the time a
    // file has been read.
    QPointer<LibraryImporter> self(this);
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
            co_return ImportSummary {};
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
            co_return ImportSummary {};
        if (update.library) {
            // Another process wrote the library meanwhile, perhaps adding
            // some of the same files: the file says which songs are ours.
            QSet<QUuid> ours;
            for (const Track& track : imported)
                ours.insert(track.id);
            added = static_cast<int>(std::count_if(update.library->begin(), update.library->end(), [&](const Track& t) { return ours.contains(t.id); }));
            auto adopting = m_library.adoptLibrary(*update.library);
            co_await adopting;
        } else {
            added = static_cast<int>(imported.size());
            auto indexing = m_metadataCache.insert(imported);
            co_await indexing;
            if (!self)
                co_return ImportSummary {};
            // Appended to the list as it is now: other operations may have
            // changed it while the files were read, and a reload may already
            // have brought these songs in from the file.
            QSet<QUuid> fresh;
            for (const Track& track : imported)
                fresh.insert(track.id);
            for (const Track& track : m_library.tracks())
                fresh.remove(track.id);
            TrackList tracks = m_library.tracks();
            std::vector<std::size_t> positions;
            for (std::size_t i = 0; i < imported.size(); ++i) {
                if (fresh.contains(imported[i].id)) {
                    positions.push_back(tracks.size());
                    tracks.append(imported.shared(i));
                }
            }
            if (!positions.empty())
                m_library.setTracks(std::move(tracks), TrackListChange::inserted(std::move(positions)));
        }
    }

    co_return ImportSummary {added, failures, {}};
}

// ---------------------------------------------------------------------------
// Progress

void LibraryImporter::cancel()
{
    // Operations remember the generation they started in; one started after
    // this call is not affected.
    ++m_cancelGeneration;
}

void LibraryImporter::addProgressTotal(int files, const QString& firstFile)
{
    m_countedProgress.total += files;
    m_countedProgress.currentFile = firstFile;
    publishProgress(true);
}

void LibraryImporter::advanceProgress(const QString& currentFile)
{
    advanceProgressBy(1, currentFile);
}

void LibraryImporter::advanceProgressBy(int files, const QString& currentFile)
{
    m_countedProgress.done += files;
    m_countedProgress.currentFile = currentFile;
    publishProgress(m_countedProgress.done == m_countedProgress.total);
}

// Ten thousand files read in a few seconds would otherwise mean ten thousand
// signals, each redrawing whatever shows the progress. Between updates the
// count goes on; what was held back is published when the interval ends.
void LibraryImporter::publishProgress(bool force)
{
    if (!force && m_sinceProgressPublished.isValid() && m_sinceProgressPublished.elapsed() < kProgressIntervalMs) {
        if (!m_progressFlush.isActive())
            m_progressFlush.start(static_cast<int>(kProgressIntervalMs - m_sinceProgressPublished.elapsed()));
        return;
    }
    m_progressFlush.stop();
    if (m_countedProgress == m_progress)
        return;
    m_sinceProgressPublished.start();
    m_progress = m_countedProgress;
    emit progressChanged();
}

} // namespace varno
