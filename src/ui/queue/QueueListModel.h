#pragma once

#include "storage/TrackList.h"

#include <QAbstractListModel>
#include <QCache>
#include <QCoroTask>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QUuid>

#include <optional>
#include <stop_token>

namespace varno {

class QueueEngine;
class ThumbnailGenerator;

// The play queue as one flat list: a caption row before each section that
// has songs ("NOW PLAYING", "UPCOMING", "HISTORY", the history newest
// first), then its songs. Rows are made on demand from the queue's lists, so
// a queue of 100,000 songs costs no more than the rows on screen.
//
// The model shows a copy of the queue's lists taken when they last changed;
// changes that arrive together (a step changes the current song, the
// upcoming songs and the history at once) are taken in once, on the next
// turn of the event loop. Upcoming rows can be dragged to another place
// among the upcoming songs, which moves the song in the queue engine.
//
// Thumbnails come through the thumbnail generator (which keeps them in the
// artwork cache), asked for only for rows that are painted, and kept here
// once loaded. Main thread only.
class QueueListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum class RowKind { Header, Current, Upcoming, History };
    enum Role {
        KindRole = Qt::UserRole + 1,
        ArtistRole,
        IsPlayingRole,
        TrackIDRole,
    };
    struct Row {
        RowKind kind = RowKind::Header;
        // Position in upcoming() or history() of the engine's lists as this
        // model holds them; 0 for the current song and captions.
        std::size_t index = 0;
    };

    static const QString kNowPlayingCaption;
    static const QString kUpcomingCaption;
    static const QString kHistoryCaption;
    static const QString kUnknownArtist;
    // The drag payload of an upcoming row.
    static const QString kRowMimeType;
    // Thumbnails are asked for at this size (twice a row's picture, for
    // high-density screens).
    static constexpr int kThumbnailPixels = 64;

    QueueListModel(QueueEngine& queueEngine, ThumbnailGenerator& thumbnails, QObject* parent = nullptr);
    ~QueueListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Row row(int modelRow) const;
    // The song shown on a song row.
    SharedTrack song(int modelRow) const;
    // The model row of the first upcoming song; -1 without any.
    int firstUpcomingRow() const;
    bool isEmpty() const;

    // Takes in the queue's lists now rather than on the next turn.
    void refresh();

    // Rows painted now; thumbnails asked for rows outside are given up.
    void setVisibleRows(int first, int last);
    bool hasThumbnail(const QUuid& trackID) const;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) override;

signals:
    // After the lists were taken in.
    void refreshed();
    void thumbnailLoaded(const QUuid& trackID);

private:
    struct PendingThumbnail {
        std::stop_source stop;
        int row = 0;
    };

    void scheduleRefresh();
    // The upcoming position a drop at model row `row` inserts at, or none
    // when the row is outside the upcoming songs.
    std::optional<std::size_t> upcomingInsertion(int row, const QModelIndex& parent) const;
    void requestThumbnail(const SharedTrack& song, int modelRow) const;
    QCoro::Task<> loadThumbnail(SharedTrack song, std::stop_token stop);

    QueueEngine& m_queueEngine;
    ThumbnailGenerator& m_thumbnails;

    SharedTrack m_current;
    TrackList m_upcoming;
    TrackList m_history;
    bool m_refreshScheduled = false;

    // Rows of each part; -1 where the section is not shown.
    int m_currentHeader = -1;
    int m_upcomingHeader = -1;
    int m_historyHeader = -1;
    int m_rowCount = 0;

    // Loaded thumbnails (a null image for a song without a cover). A queue
    // scrolled end to end would otherwise keep a picture for every song;
    // the oldest beyond the budget are let go and loaded again if needed.
    mutable QCache<QUuid, QImage> m_thumbnailImages;
    mutable QHash<QUuid, PendingThumbnail> m_pending;
    int m_firstVisible = 0;
    int m_lastVisible = -1;
};

} // namespace varno
