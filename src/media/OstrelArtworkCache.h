#pragma once

#include "library/FileSystemChange.h"
#include "library/FileWatcher.h"
#include "library/MetadataEngine.h"
#include "media/ArtworkCache.h"
#include "platform/Worker.h"

#include <memory>
#include <QCache>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace varno {

// The budgets the cache is built with. Only the memory budget is enforced:
// the disk folder is never trimmed by size.
struct CacheMetrics {
    std::int64_t maxMemoryBytes = 536870912;
    std::int64_t maxDiskBytes = 2147483648;
};

// Covers in a byte-budgeted memory cache (least recently used goes first)
// over files in the "ArtworkCache" folder: "original_<ID>.raw" for a song's
// cover and "thumb_<W>x<H>_<ID>.thumb" for its thumbnails, every file named
// with the song's id so that forgetting a song finds them all. Songs known to
// have no cover in their file are remembered for the run, so their files are
// opened once.
//
// A song with no cover stored and none in its file takes the picture beside
// its file (FolderCoverFinder). That cover is kept in memory only, thumbnails
// included, and looked for again each run, so a picture added or taken away
// is seen at the latest on the next start, and at once when the file watcher
// reports it. "Remove Artwork" hides the song's own cover, embedded or beside
// it, in "hidden_covers.json" beside the cache folder (HiddenCovers); storing
// a cover shows it and takes the mark away.
//
// Main thread only. Every disk read, write and deletion, folder listings
// included, runs on the cache's one serial worker ("Artwork"), so a read
// asked for after a deletion never sees the deleted file.
class OstrelArtworkCache final : public ArtworkCache {
    Q_OBJECT

public:
    // Uses `cacheDirectory`, or "ArtworkCache" in the application folder,
    // creating it when missing; throws FileError when it cannot. Without a
    // metadata engine, covers that are not cached are never extracted. With
    // a file watcher, a picture changed beside songs' files replaces their
    // covers from that folder.
    explicit OstrelArtworkCache(CacheMetrics metrics, const std::optional<QString>& cacheDirectory = std::nullopt,
                                MetadataEngine* metadataEngine = nullptr, FileWatcher* fileWatcher = nullptr, QObject* parent = nullptr);
    ~OstrelArtworkCache() override;

    const CacheMetrics& metrics() const { return m_metrics; }
    const QString& diskCacheDirectory() const { return m_folder; }
    // What the memory cache holds now, in bytes; never above the budget.
    std::int64_t memoryBytes() const { return m_memory.totalCost(); }

    QUuid cacheVersion() const override { return m_cacheVersion; }
    QCoro::Task<std::optional<QByteArray>> retrieveArtwork(Track track) override;
    QCoro::Task<std::optional<QByteArray>> retrieveThumbnail(Track track, QSizeF targetSize) override;
    QCoro::Task<> storeArtwork(QByteArray data, Track track) override;
    QCoro::Task<> storeThumbnail(QByteArray data, Track track, QSizeF size) override;
    void evictArtwork(const Track& track) override;
    QCoro::Task<> removeArtwork(Track track) override;
    QCoro::Task<CoverState> coverState(Track track) override;
    QCoro::Task<> restoreCoverState(Track track, CoverState state) override;
    QCoro::Task<> clearCache() override;

    static QString originalKey(const QUuid& id);
    static QString thumbnailKey(const QUuid& id, QSizeF size);

    // How long changes of pictures beside songs are gathered before their
    // folders are looked at again: a picture being copied reports many.
    static constexpr std::chrono::milliseconds kFolderQuietPeriod {500};

    // Blocks until the disk work queued so far has finished.
    void waitForIdle() { m_disk.pool()->waitForDone(); }

private:
    // Where the disk found a song's cover.
    enum class Source {
        Stored,      // "original_<ID>.raw": chosen by the user or taken from the file earlier
        Hidden,      // the user removed it; nothing is shown
        Folder,      // the picture beside the song's file
        None,        // nothing anywhere
        NotStored,   // nothing stored; the song's file has not been asked yet
    };
    struct Found {
        Source source = Source::None;
        std::optional<QByteArray> bytes;
        QString folder;
    };
    // State of the disk side, touched only on the worker.
    struct DiskSide;

    // One hop to the worker: the stored cover, else the hidden mark, else,
    // with `besideFileToo`, the picture beside the song's file.
    QCoro::Task<Found> findOnDisk(const Track& track, bool besideFileToo);
    // Keeps what was found in memory and returns the bytes to show.
    std::optional<QByteArray> take(const Track& track, const Found& found);
    void noteFileChange(const FileSystemChange& change);
    void forgetChangedFolders();

    void remember(const QString& key, const QByteArray& data);
    std::optional<QByteArray> inMemory(const QString& key);
    // Drops the song's cover and thumbnails from memory and forgets that it
    // had none.
    void forgetInMemory(const QUuid& id);
    QCoro::Task<std::optional<QByteArray>> readFile(QString name);
    // Several changes in one turn of the event loop publish one version.
    void scheduleCacheChangeNotification();

    CacheMetrics m_metrics;
    QString m_folder;
    MetadataEngine* m_metadataEngine;
    QCache<QString, QByteArray> m_memory;
    QSet<QUuid> m_missingArtwork;
    // The folder each song's cover in memory was taken from, for covers
    // beside songs' files, so that a change there drops them.
    QHash<QUuid, QString> m_coverFolders;
    QSet<QString> m_changedFolders;
    QTimer m_folderQuiet;
    // The memory keys of each song's thumbnails, so that a new cover drops
    // them; an entry the cache evicted on its own is simply not found.
    QHash<QUuid, QSet<QString>> m_thumbnailKeys;
    QUuid m_cacheVersion;
    bool m_isCacheChangePending = false;
    // Last: destroyed first, finishing the file work already queued.
    // Work finished on the disk thread resumes its coroutine on the main
    // thread later; a cache destroyed meanwhile (a test ends, the app quits)
    // must not be touched then, so each coroutine checks this first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Shared with the work queued on the worker, which alone touches it.
    std::shared_ptr<DiskSide> m_diskSide;
    SerialWorker m_disk {QStringLiteral("Artwork"), std::chrono::seconds(10)};
};

} // namespace varno
