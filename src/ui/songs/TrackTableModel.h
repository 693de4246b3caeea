#pragma once

#include "storage/TrackList.h"
#include "ui/ViewEnvironment.h"
#include "ui/songs/TrackCellFormatter.h"
#include "workspace/TrackSelectionState.h"
#include "workspace/TrackSortOrder.h"
#include "workspace/TrackSorting.h"
#include "workspace/TrackTableColumnID.h"

#include <QAbstractTableModel>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QCollator>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

namespace varno {

class TrackListSource;
class TrackThumbnailCache;

// One song list's rows: the source's songs in the list's sort order, one
// column for the leading controls and then the shown columns of the table
// layout. It also holds what the list draws over the songs: the selection,
// the favourite states waiting to be saved, the current song and the songs
// whose file is missing.
//
// The rows share the source's song records and are never rebuilt for a
// change of a few songs: an edited song is one dataChanged (or one row move
// when its place in the order changed), new and removed songs are row
// insertions and removals. Changes of many songs at once, a new sort order
// and a reset of the source sort the whole list again.
//
// Main thread only.
class TrackTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        // The song's id (QUuid).
        TrackIDRole = Qt::UserRole + 1,
        // The row's song is the queue's current song.
        IsActiveRole,
        // ... and the player is playing it.
        IsPlayingRole,
        IsSelectedRole,
        // The heart: the favourite state being saved, else isFavorite() of its rating.
        IsFavoriteRole,
        // The song's file went missing.
        IsUnavailableRole,
        // The small cover (QPixmap, null while there is none), leading column.
        ThumbnailRole,
    };

    // The column of the play button, the heart and the cover.
    static constexpr int kLeadingColumn = 0;
    // Rows change in place or one by one up to this many songs per change;
    // larger changes sort the list again and reset it.
    static constexpr std::size_t kLargestStepwiseChange = 256;

    // A new order for a list longer than this is sorted on a worker, the
    // rows keeping their order until it is ready: a column sort of a million
    // songs takes a second or more, which the window must not freeze for.
    static constexpr std::size_t kLargestSortOnTheSpot = 20'000;

    // The rows start sorted by `sortOrder`, so a list that remembers its
    // order is sorted once.
    TrackTableModel(TrackListSource& source, ViewEnvironment environment, QObject* parent = nullptr, TrackSortOrder sortOrder = {});
    ~TrackTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The shown order: songs and their ids side by side.
    const ShownTracks& shownTracks() const { return m_shown; }
    const Track& trackAt(int row) const { return m_shown.tracks[static_cast<std::size_t>(row)]; }
    const SharedTrack& sharedTrackAt(int row) const { return m_shown.tracks.shared(static_cast<std::size_t>(row)); }
    // The row of the first song with this id, or -1.
    int rowOfID(const QUuid& id) const;

    // The data column of a model column; none for the leading column.
    std::optional<TrackTableColumnID> columnID(int column) const;
    int columnOf(TrackTableColumnID id) const;

    // The order asked for, which the header shows at once; the rows follow
    // when a background sort is done (isSorting()).
    const TrackSortOrder& sortOrder() const { return m_sortOrder; }
    bool isSorting() const { return m_sortWatcher != nullptr; }
    void setSortOrder(const TrackSortOrder& order);
    // A header click: the sort column again reverses, another sorts by it.
    void sortByColumn(TrackTableColumnID column);

    const TrackSelectionState& selection() const { return m_selection; }
    qsizetype selectionCount() const { return m_selection.selectedIDs.size(); }
    bool isSelected(int row) const { return m_selection.isSelected(m_shown.ids[static_cast<std::size_t>(row)]); }
    // A click on a row with the keys held.
    void clickRow(int row, SelectionClicks clicks);
    // Exactly this row, and the anchor on it.
    void selectOnly(int row);
    void selectAll();
    void clearSelection();
    // The selected songs in the shown order.
    std::vector<Track> selectedTracks() const;

    bool isFavorite(int row) const;
    // The state a heart shows while its save runs; none to show the stored one.
    void setPendingFavorite(const QUuid& id, std::optional<bool> favorite);

    bool isActive(int row) const;
    bool isPlaying(int row) const;
    bool isUnavailable(int row) const { return m_unavailable.contains(m_shown.ids[static_cast<std::size_t>(row)]); }

    TrackThumbnailCache& thumbnails() { return *m_thumbnails; }

signals:
    void sortOrderChanged();
    // A background sort started or ended.
    void sortingChanged();
    void selectionChanged();
    // The number of rows changed.
    void trackCountChanged();

private:
    void applySourceChange(const TrackListChange& change);
    void applySourceChangeToRows(const TrackListChange& change);
    void applyUpdates(const TrackList& next, const std::vector<std::size_t>& positions);
    void applyInsertions(const TrackList& next, const std::vector<std::size_t>& positions);
    void applyRemovals(const std::vector<std::size_t>& positions);
    void resetRows();
    void sortAgain();
    void sortInBackground();
    void dropBackgroundSort();
    // Shows `sorted`, the list in `order`, keeping the view's places on
    // their songs.
    void showSorted(ShownTracks sorted, const TrackSortOrder& order);
    static QThreadPool* sortingPool();
    void pruneSelection();

    // Where `track` is, or would go, in the shown order.
    std::size_t lowerBound(const Track& track, std::size_t skip = static_cast<std::size_t>(-1)) const;
    // The row holding exactly this record, or -1.
    int rowOfRecord(const SharedTrack& record) const;
    void insertRow(std::size_t row, const SharedTrack& song);
    void removeRow(std::size_t row);

    void updateColumns();
    void updatePlayback();
    void updateUnavailable();
    void emitRowChanged(int row);
    void emitAllRowsChanged(const QList<int>& roles);

    TrackListSource& m_source;
    ViewEnvironment m_environment;
    TrackCellFormatter m_formatter;
    QCollator m_collator;
    TrackSortOrder m_sortOrder;
    // The order the rows are in: the one asked for, except while a
    // background sort runs. Rows are placed and found by it.
    TrackSortOrder m_shownOrder;
    QFutureWatcher<ShownTracks>* m_sortWatcher = nullptr;
    TrackThumbnailCache* m_thumbnails;

    // The source's list as the rows were last brought up to date with it:
    // changes name positions in it.
    TrackList m_sourceTracks;
    ShownTracks m_shown;
    QList<TrackTableColumnID> m_columns;
    TrackSelectionState m_selection;
    QHash<QUuid, bool> m_pendingFavorites;
    QSet<QUuid> m_unavailable;
    std::optional<QUuid> m_currentID;
    bool m_isPlaying = false;
};

} // namespace varno
