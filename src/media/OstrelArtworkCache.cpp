#include "OstrelArtworkCache.h"

#include "library/SecurityScopedResource.h"
#include "media/FolderCoverFinder.h"
#include "media/HiddenCovers.h"
#include "platform/ApplicationFolder.h"
#include "platform/Error.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>

namespace varno {

Q_LOGGING_CATEGORY(lcArtwork, "varno.artwork")

namespace {

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Deletes the files of `folder` whose names `match` says so. With
// `stopAtFirstFailure` the first failure is thrown and the rest are left;
// otherwise failures are passed over.
template<typename Match>
void deleteFiles(const QString& folder, Match&& match, bool stopAtFirstFailure)
{
    QDir dir(folder);
    if (!dir.exists()) {
        if (stopAtFirstFailure)
            throw FileError(FileError::Operation::Read, folder, ENOENT);
        return;
    }
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!match(name))
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        if (std::remove(QFile::encodeName(path).constData()) != 0 && stopAtFirstFailure)
            throw FileError(FileError::Operation::Remove, path, errno);
    }
}

// The folder a song's file lies in; empty when it is not a local file.
QString folderOf(const Track& track)
{
    const QString path = track.fileURL.toLocalFile();
    return path.isEmpty() ? QString() : QFileInfo(path).path();
}

} // namespace

struct OstrelArtworkCache::DiskSide {
    FolderCoverFinder folders;
    HiddenCovers hidden;
};

OstrelArtworkCache::OstrelArtworkCache(CacheMetrics metrics, const std::optional<QString>& cacheDirectory, MetadataEngine* metadataEngine,
                                       FileWatcher* fileWatcher, QObject* parent)
    : ArtworkCache(parent)
    , m_metrics(metrics)
    , m_folder(cacheDirectory ? *cacheDirectory : applicationFolderPath() + QStringLiteral("/ArtworkCache"))
    , m_metadataEngine(metadataEngine)
    , m_cacheVersion(QUuid::createUuid())
{
    m_memory.setMaxCost(static_cast<qsizetype>(m_metrics.maxMemoryBytes));
    if (!fileio::exists(m_folder))
        fileio::createFolder(m_folder);
    // The marks are the user's wishes, not a cache of anything: they live
    // beside the cache folder with the other state files, under their lock.
    const QString stateFolder = QFileInfo(m_folder).absolutePath();
    m_diskSide = std::make_shared<DiskSide>(
        DiskSide {{}, HiddenCovers(stateFolder + QStringLiteral("/hidden_covers.json"), stateFolder + QStringLiteral("/.state.lock"))});

    m_folderQuiet.setSingleShot(true);
    m_folderQuiet.setInterval(kFolderQuietPeriod);
    connect(&m_folderQuiet, &QTimer::timeout, this, &OstrelArtworkCache::forgetChangedFolders);
    // The watcher reports on its own thread; the context object brings each
    // change here.
    if (fileWatcher)
        connect(fileWatcher, &FileWatcher::changeOccurred, this, &OstrelArtworkCache::noteFileChange, Qt::QueuedConnection);
}

OstrelArtworkCache::~OstrelArtworkCache()
{
    *m_alive = false;
}

QString OstrelArtworkCache::originalKey(const QUuid& id)
{
    return QStringLiteral("original_") + idText(id);
}

QString OstrelArtworkCache::thumbnailKey(const QUuid& id, QSizeF size)
{
    return QStringLiteral("thumb_%1x%2_%3").arg(qint64(size.width())).arg(qint64(size.height())).arg(idText(id));
}

void OstrelArtworkCache::remember(const QString& key, const QByteArray& data)
{
    // A cover larger than the whole budget is not kept; QCache drops it.
    m_memory.insert(key, new QByteArray(data), data.size());
}

std::optional<QByteArray> OstrelArtworkCache::inMemory(const QString& key)
{
    if (const QByteArray* data = m_memory.object(key))
        return *data;
    return std::nullopt;
}

void OstrelArtworkCache::forgetInMemory(const QUuid& id)
{
    m_memory.remove(originalKey(id));
    m_missingArtwork.remove(id);
    m_coverFolders.remove(id);
    for (const QString& key : m_thumbnailKeys.take(id))
        m_memory.remove(key);
}

void OstrelArtworkCache::scheduleCacheChangeNotification()
{
    if (m_isCacheChangePending)
        return;
    m_isCacheChangePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_isCacheChangePending = false;
            m_cacheVersion = QUuid::createUuid();
            emit cacheVersionChanged();
        },
        Qt::QueuedConnection);
}

QCoro::Task<std::optional<QByteArray>> OstrelArtworkCache::readFile(QString name)
{
    auto reading = m_disk.run([path = m_folder + QLatin1Char('/') + name]() -> std::optional<QByteArray> {
        // Any failure counts as not cached.
        try {
            const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path, 0);
            if (bytes && !bytes->isEmpty())
                return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
        } catch (const Error&) {
        }
        return std::nullopt;
    });
    co_return co_await reading;
}

QCoro::Task<OstrelArtworkCache::Found> OstrelArtworkCache::findOnDisk(const Track& track, bool besideFileToo)
{
    return m_disk.run([path = m_folder + QLatin1Char('/') + originalKey(track.id) + QStringLiteral(".raw"), side = m_diskSide, id = track.id,
                       folder = besideFileToo ? folderOf(track) : QString(), besideFileToo]() -> Found {
        try {
            // Any failure counts as not stored.
            const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path, 0);
            if (bytes && !bytes->isEmpty())
                return {Source::Stored, QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size())), {}};
        } catch (const Error&) {
        }
        if (side->hidden.contains(id))
            return {Source::Hidden, std::nullopt, {}};
        if (!besideFileToo)
            return {Source::NotStored, std::nullopt, {}};
        if (!folder.isEmpty()) {
            if (std::optional<QByteArray> picture = side->folders.coverIn(folder))
                return {Source::Folder, std::move(picture), folder};
        }
        return {Source::None, std::nullopt, {}};
    });
}

std::optional<QByteArray> OstrelArtworkCache::take(const Track& track, const Found& found)
{
    switch (found.source) {
    case Source::Stored:
        m_coverFolders.remove(track.id);
        remember(originalKey(track.id), *found.bytes);
        return found.bytes;
    case Source::Folder:
        // Kept under the song's own key, so that the next request is served
        // from memory like any other cover; the bytes are shared between the
        // songs of the folder, though each song counts them in the budget.
        m_coverFolders.insert(track.id, found.folder);
        remember(originalKey(track.id), *found.bytes);
        return found.bytes;
    case Source::Hidden:
    case Source::None:
    case Source::NotStored:
        break;
    }
    return std::nullopt;
}

QCoro::Task<std::optional<QByteArray>> OstrelArtworkCache::retrieveArtwork(Track track)
{
    if (std::optional<QByteArray> cached = inMemory(originalKey(track.id)))
        co_return cached;
    const std::shared_ptr<bool> alive = m_alive;
    // The song's own file comes before the picture beside it, so the folder
    // is looked at in this hop only when the file is known to have none.
    const bool fileHasNone = !m_metadataEngine || m_missingArtwork.contains(track.id);
    auto finding = findOnDisk(track, fileHasNone);
    const Found found = co_await finding;
    if (!*alive)
        co_return std::nullopt;
    if (found.source != Source::NotStored)
        co_return take(track, found);

    try {
        const std::unique_ptr<SecurityScopedResource> access = SecurityScopedResource::access(track);
        auto extracting = m_metadataEngine->extractArtwork(access->url());
        std::optional<QByteArray> artwork = co_await extracting;
        if (!*alive)
            co_return std::nullopt;
        if (artwork && !artwork->isEmpty()) {
            auto storing = storeArtwork(*artwork, track);
            co_await storing;
            co_return artwork;
        }
    } catch (const std::exception& error) {
        // Not marked as missing: the next request tries again.
        qCCritical(lcArtwork).noquote() << QStringLiteral("Unable to load artwork for %1: %2").arg(track.title, describe(error));
        co_return std::nullopt;
    }
    m_missingArtwork.insert(track.id);
    auto besideFile = findOnDisk(track, true);
    const Found beside = co_await besideFile;
    if (!*alive)
        co_return std::nullopt;
    co_return take(track, beside);
}

QCoro::Task<std::optional<QByteArray>> OstrelArtworkCache::retrieveThumbnail(Track track, QSizeF targetSize)
{
    const QString key = thumbnailKey(track.id, targetSize);
    if (std::optional<QByteArray> cached = inMemory(key))
        co_return cached;
    const std::shared_ptr<bool> alive = m_alive;
    auto reading = readFile(key + QStringLiteral(".thumb"));
    std::optional<QByteArray> stored = co_await reading;
    if (!*alive)
        co_return std::nullopt;
    if (stored) {
        remember(key, *stored);
        m_thumbnailKeys[track.id].insert(key);
    }
    co_return stored;
}

QCoro::Task<> OstrelArtworkCache::storeArtwork(QByteArray data, Track track)
{
    const std::shared_ptr<bool> alive = m_alive;
    m_missingArtwork.remove(track.id);
    const QString key = originalKey(track.id);
    // Thumbnails of the old cover go with it.
    auto writing = m_disk.run([folder = m_folder, key, data, id = idText(track.id), song = track.id, title = track.title, side = m_diskSide] {
        fileio::writeFileAtomically(folder + QLatin1Char('/') + key + QStringLiteral(".raw"), std::string_view(data.constData(), size_t(data.size())));
        deleteFiles(folder, [&](const QString& name) { return name.startsWith(QLatin1String("thumb_")) && name.contains(id); }, false);
        // A stored cover is shown whatever the mark says, so a mark that
        // cannot be taken away now is only logged: it matters again only
        // once this cover is removed, which hides the song anyway.
        try {
            side->hidden.reveal(song);
        } catch (const std::exception& error) {
            qCWarning(lcArtwork).noquote() << QStringLiteral("The cover of %1 stays marked as removed: %2").arg(title, describe(error));
        }
    });
    co_await writing;
    if (!*alive)
        co_return;
    m_coverFolders.remove(track.id);
    for (const QString& thumbnail : m_thumbnailKeys.take(track.id))
        m_memory.remove(thumbnail);
    remember(key, data);
    scheduleCacheChangeNotification();
}

QCoro::Task<> OstrelArtworkCache::storeThumbnail(QByteArray data, Track track, QSizeF size)
{
    const std::shared_ptr<bool> alive = m_alive;
    const QString key = thumbnailKey(track.id, size);
    if (m_coverFolders.contains(track.id)) {
        // A picture beside the song's file may change or go while the app
        // is closed; a thumbnail of it on disk would outlive it.
        remember(key, data);
        m_thumbnailKeys[track.id].insert(key);
        co_return;
    }
    auto writing = m_disk.run([path = m_folder + QLatin1Char('/') + key + QStringLiteral(".thumb"), data] {
        fileio::writeFileAtomically(path, std::string_view(data.constData(), size_t(data.size())));
    });
    co_await writing;
    if (!*alive)
        co_return;
    remember(key, data);
    m_thumbnailKeys[track.id].insert(key);
}

void OstrelArtworkCache::evictArtwork(const Track& track)
{
    forgetInMemory(track.id);
    // Queued before any later read of the song's files, so none of them
    // finds what is being deleted.
    m_disk.pool()->start([folder = m_folder, id = idText(track.id), title = track.title] {
        try {
            deleteFiles(folder, [&](const QString& name) { return name.contains(id); }, true);
        } catch (const std::exception& error) {
            qCCritical(lcArtwork).noquote() << QStringLiteral("Unable to remove artwork for %1: %2").arg(title, describe(error));
        }
    });
    scheduleCacheChangeNotification();
}

QCoro::Task<> OstrelArtworkCache::removeArtwork(Track track)
{
    // Nothing stored and the mark set: the state "Remove Artwork" leaves.
    auto removing = restoreCoverState(std::move(track), CoverState {std::nullopt, true});
    co_await removing;
}

QCoro::Task<ArtworkCache::CoverState> OstrelArtworkCache::coverState(Track track)
{
    auto reading = m_disk.run([path = m_folder + QLatin1Char('/') + originalKey(track.id) + QStringLiteral(".raw"), side = m_diskSide,
                               id = track.id]() -> CoverState {
        CoverState state;
        try {
            const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(path, 0);
            if (bytes && !bytes->isEmpty())
                state.stored = QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
        } catch (const Error&) {
        }
        state.hidden = side->hidden.contains(id);
        return state;
    });
    co_return co_await reading;
}

QCoro::Task<> OstrelArtworkCache::restoreCoverState(Track track, CoverState state)
{
    if (state.stored) {
        auto storing = storeArtwork(*state.stored, track);
        co_await storing;
        co_return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    // Forgotten in memory as well, the file's own cover included: it is
    // read again, and looked for beside the file, at the next request.
    forgetInMemory(track.id);
    auto restoring = m_disk.run([folder = m_folder, id = idText(track.id), song = track.id, hidden = state.hidden, side = m_diskSide] {
        // The mark first, so that a failed deletion below still leaves the
        // cover in the song's file or beside it shown or hidden as asked.
        if (hidden)
            side->hidden.hide(song);
        else
            side->hidden.reveal(song);
        deleteFiles(folder, [&](const QString& name) { return name.contains(id); }, true);
    });
    co_await restoring;
    if (!*alive)
        co_return;
    scheduleCacheChangeNotification();
}

QCoro::Task<> OstrelArtworkCache::clearCache()
{
    const std::shared_ptr<bool> alive = m_alive;
    m_memory.clear();
    m_missingArtwork.clear();
    m_thumbnailKeys.clear();
    m_coverFolders.clear();
    auto deleting = m_disk.run([folder = m_folder, side = m_diskSide] {
        side->folders.forgetAll();
        try {
            side->hidden.clear();
        } catch (const std::exception& error) {
            qCWarning(lcArtwork).noquote() << "Removed covers stay hidden after the cache was cleared:" << describe(error);
        }
        deleteFiles(folder, [](const QString&) { return true; }, false);
    });
    co_await deleting;
    if (!*alive)
        co_return;
    scheduleCacheChangeNotification();
}

void OstrelArtworkCache::noteFileChange(const FileSystemChange& change)
{
    for (const FileURL* url : {&change.url(), &change.previousURL()}) {
        const QString path = url->toLocalFile();
        if (!path.isEmpty() && FolderCoverFinder::isPictureName(QFileInfo(path).fileName()))
            m_changedFolders.insert(QFileInfo(path).path());
    }
    if (!m_changedFolders.isEmpty())
        m_folderQuiet.start();
}

void OstrelArtworkCache::forgetChangedFolders()
{
    const QSet<QString> folders = std::exchange(m_changedFolders, {});
    if (folders.isEmpty())
        return;
    // Songs known to have no cover are kept as such: only the folder's
    // answer changes, and the next request asks the worker for it.
    for (auto it = m_coverFolders.begin(); it != m_coverFolders.end();) {
        if (folders.contains(it.value())) {
            m_memory.remove(originalKey(it.key()));
            for (const QString& thumbnail : m_thumbnailKeys.take(it.key()))
                m_memory.remove(thumbnail);
            it = m_coverFolders.erase(it);
        } else {
            ++it;
        }
    }
    // Queued before any later request, which therefore lists the folders
    // again.
    m_disk.pool()->start([side = m_diskSide, folders] {
        for (const QString& folder : folders)
            side->folders.forget(folder);
    });
    scheduleCacheChangeNotification();
}

} // namespace varno
