#pragma once

#include "workspace/AlbumCatalog.h"

#include <QAbstractListModel>
#include <QCache>
#include <QCoroTask>
#include <QHash>
#include <QPixmap>

#include <cstdint>
#include <stop_token>

namespace varno {

class ArtworkCache;
class ThumbnailGenerator;

// The library's albums, one row each, in the order of the window's album
// catalog, which it reads and follows album by album: an edited song
// changes its album's row (dataChanged), an album's last song gone removes
// its row, never a reset but for the library's own (or the catalog's first
// grouping landing). Covers are asked for only when a tile is
// painted (the decoration role), from the thumbnail generator at tile size,
// and kept for the tiles painted most recently. Main thread only.
class AlbumGridModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { ArtistRole = Qt::UserRole + 1, YearRole, ArtistKeyRole, SongCountRole };
    // Edge of a cover as drawn, in pixels at scale 1.
    static constexpr int kCoverEdge = 160;

    AlbumGridModel(const AlbumCatalog& catalog, ThumbnailGenerator& thumbnails, ArtworkCache& artworkCache, QObject* parent = nullptr);
    ~AlbumGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const AlbumIndex& albumIndex() const { return m_catalog.index(); }
    const Album& album(int row) const { return albumIndex().albums()[static_cast<std::size_t>(row)]; }
    // Requests still running for covers.
    qsizetype pendingCoverCount() const { return m_running; }
    // Cancels the cover requests of every album outside rows [first, last]
    // (the tiles on screen), so a fast scroll makes only the covers that
    // stay in view.
    void keepCoversFor(int first, int last);

signals:
    // After the rows have changed.
    void albumsChanged(const varno::AlbumIndexChange& change);

private:
    struct Cover {
        QPixmap pixmap;
        std::uint64_t generation = 0;
    };

    void follow(const AlbumIndexChange& change);
    struct Request {
        std::uint64_t generation = 0;
        std::stop_source stop;
    };

    void requestCover(const Album& album) const;
    QCoro::Task<> fetchCover(SharedTrack track, QString key, std::uint64_t generation, std::stop_token stop);
    static QString keyOf(const Album& album);

    const AlbumCatalog& m_catalog;
    ThumbnailGenerator& m_thumbnails;
    // The rows announced so far; it lags the catalog's index only while a
    // change's steps are being announced.
    int m_rows = 0;
    mutable QCache<QString, Cover> m_covers;
    mutable QHash<QString, Request> m_requests;
    mutable qsizetype m_running = 0;
    std::uint64_t m_generation = 1;
};

} // namespace varno
