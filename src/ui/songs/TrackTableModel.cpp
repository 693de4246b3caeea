#include "TrackTableModel.h"

#include "library/LibraryEngine.h"
#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "ui/songs/TrackListSource.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackThumbnailCache.h"
#include "workspace/TrackTableLayoutState.h"

#include <QApplication>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <span>
#include <utility>

namespace varno {

namespace {

bool isNumericColumn(TrackTableColumnID id)
{
    switch (id) {
    case TrackTableColumnID::Year:
    case TrackTableColumnID::TrackNumber:
    case TrackTableColumnID::Duration:
    case TrackTableColumnID::Bitrate:
    case TrackTableColumnID::SampleRate:
        return true;
    default:
        return false;
    }
}

} // namespace

TrackTableModel::TrackTableModel(TrackListSource& source, ViewEnvironment environment, QObject* parent, TrackSortOrder sortOrder)
    : QAbstractTableModel(parent)
    , m_source(source)
    , m_environment(environment)
    , m_collator(trackCollator())
    , m_sortOrder(sortOrder)
    , m_shownOrder(sortOrder)
    , m_thumbnails(new TrackThumbnailCache(environment.thumbnailGenerator, environment.artworkCache, this))
    , m_sourceTracks(source.tracks())
    , m_shown(sortForDisplay(m_sourceTracks, m_sortOrder, m_collator))
    , m_columns(environment.trackTableLayout.visibleColumnIDs())
    , m_unavailable(environment.libraryEngine.unavailableTrackIDs())
{
    connect(&m_source, &TrackListSource::tracksChanged, this, &TrackTableModel::applySourceChange);
    connect(&m_environment.trackTableLayout, &TrackTableLayoutState::columnsChanged, this, &TrackTableModel::updateColumns);
    connect(&m_environment.queueEngine, &QueueEngine::currentTrackChanged, this, &TrackTableModel::updatePlayback);
    connect(&m_environment.audioEngine, &AudioEngine::playbackStateChanged, this, &TrackTableModel::updatePlayback);
    connect(&m_environment.libraryEngine, &LibraryEngine::unavailableTracksChanged, this, &TrackTableModel::updateUnavailable);
    connect(m_thumbnails, &TrackThumbnailCache::thumbnailReady, this, [this](const SharedTrack& track) {
        int row = rowOfRecord(track);
        if (row < 0)
            row = rowOfID(track->id);
        if (row >= 0)
            emit dataChanged(index(row, kLeadingColumn), index(row, kLeadingColumn), {ThumbnailRole});
    });
    connect(m_thumbnails, &TrackThumbnailCache::thumbnailsOutdated, this, [this] { emitAllRowsChanged({ThumbnailRole}); });
    updatePlayback();
}

TrackTableModel::~TrackTableModel() = default;

int TrackTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.tracks.size());
}

int TrackTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1 + static_cast<int>(m_columns.size());
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int row = index.row();
    const Track& track = trackAt(row);
    switch (role) {
    case TrackIDRole:
        return QVariant::fromValue(track.id);
    case IsActiveRole:
        return isActive(row);
    case IsPlayingRole:
        return isPlaying(row);
    case IsSelectedRole:
        return isSelected(row);
    case IsFavoriteRole:
        return isFavorite(row);
    case IsUnavailableRole:
        return isUnavailable(row);
    case Qt::ToolTipRole:
        return isUnavailable(row) ? QVariant(songs::kMissingFileTooltip) : QVariant();
    default:
        break;
    }
    const std::optional<TrackTableColumnID> column = columnID(index.column());
    if (!column) {
        switch (role) {
        case ThumbnailRole:
            return m_thumbnails->thumbnail(sharedTrackAt(row));
        case Qt::AccessibleTextRole:
            return isPlaying(row) ? songs::pauseButtonLabel(track.title) : songs::playButtonLabel(track.title);
        case Qt::AccessibleDescriptionRole:
            // The heart is drawn in this cell; a screen reader hears it here.
            return songs::rowStateDescription(isFavorite(row), isActive(row), isSelected(row));
        default:
            return {};
        }
    }
    switch (role) {
    case Qt::DisplayRole:
        return m_formatter.text(track, *column);
    case Qt::AccessibleTextRole: {
        // The dash drawn for a value the song lacks would be read aloud as
        // punctuation.
        const QString text = m_formatter.text(track, *column);
        return text == songs::kMissingValue ? songs::kMissingValueSpoken : text;
    }
    case Qt::TextAlignmentRole:
        return static_cast<int>(Qt::AlignVCenter | (isNumericColumn(*column) ? Qt::AlignRight : Qt::AlignLeft));
    default:
        return {};
    }
}

QVariant TrackTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    const std::optional<TrackTableColumnID> column = columnID(section);
    if (!column) {
        if (section != kLeadingColumn)
            return {};
        switch (role) {
        case Qt::AccessibleTextRole:
            return songs::kCustomizeColumns;
        case Qt::ToolTipRole:
            return songs::kCustomizeColumnsHelp;
        default:
            return {};
        }
    }
    const QString title = headerTitle(*column);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return title;
    case Qt::AccessibleDescriptionRole:
        return songs::sortDescription(title, !m_sortOrder.asListed && sortFieldOf(*column) == m_sortOrder.field, m_sortOrder.ascending);
    case Qt::ToolTipRole:
        return songs::kColumnHeaderHelp;
    case Qt::TextAlignmentRole:
        return static_cast<int>(Qt::AlignVCenter | (isNumericColumn(*column) ? Qt::AlignRight : Qt::AlignLeft));
    default:
        return {};
    }
}

int TrackTableModel::rowOfID(const QUuid& id) const
{
    const auto found = std::find(m_shown.ids.begin(), m_shown.ids.end(), id);
    return found == m_shown.ids.end() ? -1 : static_cast<int>(found - m_shown.ids.begin());
}

std::optional<TrackTableColumnID> TrackTableModel::columnID(int column) const
{
    if (column < 1 || column > m_columns.size())
        return std::nullopt;
    return m_columns[column - 1];
}

int TrackTableModel::columnOf(TrackTableColumnID id) const
{
    const qsizetype at = m_columns.indexOf(id);
    return at < 0 ? -1 : static_cast<int>(at) + 1;
}

// --- Sorting ---------------------------------------------------------------

void TrackTableModel::setSortOrder(const TrackSortOrder& order)
{
    if (order == m_sortOrder)
        return;
    m_sortOrder = order;
    sortAgain();
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    emit sortOrderChanged();
}

void TrackTableModel::sortByColumn(TrackTableColumnID column)
{
    TrackSortOrder order = m_sortOrder;
    order.sortByColumn(column);
    setSortOrder(order);
}

void TrackTableModel::sortAgain()
{
    if (!m_sortOrder.asListed && m_sourceTracks.size() > kLargestSortOnTheSpot) {
        sortInBackground();
        return;
    }
    dropBackgroundSort();
    showSorted(sortForDisplay(m_sourceTracks, m_sortOrder, m_collator), m_sortOrder);
}

QThreadPool* TrackTableModel::sortingPool()
{
    // One thread for every list: a sort already takes a core, and a click on
    // another header makes the running one obsolete anyway.
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool(qApp);
        made->setMaxThreadCount(1);
        made->setObjectName(QStringLiteral("Sorting"));
        return made;
    }();
    return pool;
}

void TrackTableModel::sortInBackground()
{
    dropBackgroundSort();
    auto* watcher = new QFutureWatcher<ShownTracks>(this);
    m_sortWatcher = watcher;
    const TrackSortOrder order = m_sortOrder;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, order] {
        watcher->deleteLater();
        if (watcher != m_sortWatcher)
            return;
        m_sortWatcher = nullptr;
        showSorted(watcher->result(), order);
        emit sortingChanged();
    });
    // The worker gets its own collator: one is not to be shared between threads.
    watcher->setFuture(QtConcurrent::run(sortingPool(), [tracks = m_sourceTracks, order] { return sortForDisplay(tracks, order, trackCollator()); }));
    emit sortingChanged();
}

void TrackTableModel::dropBackgroundSort()
{
    if (!m_sortWatcher)
        return;
    // The sort runs to its end on the worker; its result goes nowhere.
    m_sortWatcher->disconnect(this);
    m_sortWatcher->deleteLater();
    m_sortWatcher = nullptr;
    emit sortingChanged();
}

void TrackTableModel::showSorted(ShownTracks sorted, const TrackSortOrder& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The view's few remembered places (the current and the hovered cell)
    // follow their songs.
    const QModelIndexList before = persistentIndexList();
    QList<QUuid> ids;
    ids.reserve(before.size());
    for (const QModelIndex& index : before)
        ids.append(index.row() < rowCount() ? m_shown.ids[static_cast<std::size_t>(index.row())] : QUuid());
    ShownTracks replaced = std::exchange(m_shown, std::move(sorted));
    m_shownOrder = order;
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = rowOfID(ids[i]);
        after.append(row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    // Letting go of a long list's old order is a release per song: the
    // sorting thread does it.
    if (replaced.tracks.size() > kLargestSortOnTheSpot)
        sortingPool()->start([old = std::move(replaced)] {});
}

// --- Following the source --------------------------------------------------

void TrackTableModel::applySourceChange(const TrackListChange& change)
{
    const QFutureWatcher<ShownTracks>* running = m_sortWatcher;
    applySourceChangeToRows(change);
    // A sort of the list before this change would bring back what the
    // change took away: it starts again over the list as it is now.
    if (running && running == m_sortWatcher)
        sortInBackground();
}

void TrackTableModel::applySourceChangeToRows(const TrackListChange& change)
{
    const TrackList& next = m_source.tracks();
    const bool large = change.positions.size() > kLargestStepwiseChange;
    switch (change.kind) {
    case TrackListChange::Kind::Reset:
        resetRows();
        return;
    case TrackListChange::Kind::Updated:
        if (large || next.size() != m_sourceTracks.size()) {
            m_sourceTracks = next;
            sortAgain();
            emitAllRowsChanged({});
        } else {
            applyUpdates(next, change.positions);
            m_sourceTracks = next;
        }
        return;
    case TrackListChange::Kind::Inserted:
        if (large) {
            resetRows();
            return;
        }
        applyInsertions(next, change.positions);
        m_sourceTracks = next;
        emit trackCountChanged();
        return;
    case TrackListChange::Kind::Removed:
        if (large) {
            resetRows();
            return;
        }
        applyRemovals(change.positions);
        m_sourceTracks = next;
        pruneSelection();
        emit trackCountChanged();
        return;
    }
}

void TrackTableModel::applyUpdates(const TrackList& next, const std::vector<std::size_t>& positions)
{
    const int last = columnCount() - 1;
    for (std::size_t position : positions) {
        if (position >= next.size() || position >= m_sourceTracks.size())
            continue;
        const SharedTrack& before = m_sourceTracks.shared(position);
        const SharedTrack& after = next.shared(position);
        if (before == after)
            continue;
        // In the listed order a song's row is its place in the list.
        if (m_shownOrder.asListed) {
            m_shown.tracks.replace(position, after);
            m_shown.ids[position] = after->id;
            emit dataChanged(index(static_cast<int>(position), 0), index(static_cast<int>(position), last));
            continue;
        }
        const int found = rowOfRecord(before);
        if (found < 0)
            continue;
        const auto row = static_cast<std::size_t>(found);
        const std::size_t count = m_shown.tracks.size();
        const bool staysInPlace = (row == 0 || !sortPrecedes(*after, m_shown.tracks[row - 1], m_shownOrder, m_collator))
                                  && (row + 1 == count || !sortPrecedes(m_shown.tracks[row + 1], *after, m_shownOrder, m_collator));
        if (staysInPlace) {
            m_shown.tracks.replace(row, after);
            m_shown.ids[row] = after->id;
            emit dataChanged(index(found, 0), index(found, last));
            continue;
        }
        // Its place among the other rows, and the row before which it goes
        // as counted before the move.
        const std::size_t target = lowerBound(*after, row);
        const std::size_t destination = target >= row ? target + 1 : target;
        beginMoveRows({}, found, found, {}, static_cast<int>(destination));
        m_shown.tracks.removeAt(row);
        m_shown.ids.erase(m_shown.ids.begin() + static_cast<std::ptrdiff_t>(row));
        m_shown.tracks.insert(target, after);
        m_shown.ids.insert(m_shown.ids.begin() + static_cast<std::ptrdiff_t>(target), after->id);
        endMoveRows();
        emit dataChanged(index(static_cast<int>(target), 0), index(static_cast<int>(target), last));
    }
}

void TrackTableModel::applyInsertions(const TrackList& next, const std::vector<std::size_t>& positions)
{
    for (std::size_t position : positions) {
        if (position >= next.size())
            continue;
        const SharedTrack& song = next.shared(position);
        const std::size_t row = m_shownOrder.asListed ? position : lowerBound(*song);
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
        insertRow(row, song);
        endInsertRows();
    }
}

void TrackTableModel::applyRemovals(const std::vector<std::size_t>& positions)
{
    std::size_t removed = 0;
    for (std::size_t position : positions) {
        if (position >= m_sourceTracks.size())
            continue;
        // The positions are ascending in the list before the change: in the
        // listed order each row is that position less the rows gone before.
        const int row = m_shownOrder.asListed ? static_cast<int>(position - removed++) : rowOfRecord(m_sourceTracks.shared(position));
        if (row < 0)
            continue;
        beginRemoveRows({}, row, row);
        removeRow(static_cast<std::size_t>(row));
        endRemoveRows();
    }
}

void TrackTableModel::resetRows()
{
    beginResetModel();
    m_sourceTracks = m_source.tracks();
    dropBackgroundSort();
    m_shown = sortForDisplay(m_sourceTracks, m_sortOrder, m_collator);
    m_shownOrder = m_sortOrder;
    endResetModel();
    pruneSelection();
    emit trackCountChanged();
}

void TrackTableModel::pruneSelection()
{
    if (m_selection.selectedIDs.isEmpty() && !m_selection.anchorID)
        return;
    const qsizetype before = m_selection.selectedIDs.size();
    const std::optional<QUuid> anchor = m_selection.anchorID;
    m_selection.pruneSelection(std::span<const QUuid>(m_shown.ids));
    if (m_selection.selectedIDs.size() != before || m_selection.anchorID != anchor)
        emit selectionChanged();
}

std::size_t TrackTableModel::lowerBound(const Track& track, std::size_t skip) const
{
    const std::size_t count = m_shown.tracks.size();
    const bool skipping = skip < count;
    std::size_t low = 0;
    std::size_t high = skipping ? count - 1 : count;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const std::size_t at = skipping && middle >= skip ? middle + 1 : middle;
        if (sortPrecedes(m_shown.tracks[at], track, m_shownOrder, m_collator))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int TrackTableModel::rowOfRecord(const SharedTrack& record) const
{
    const std::size_t count = m_shown.tracks.size();
    for (std::size_t row = m_shownOrder.asListed ? count : lowerBound(*record); row < count && m_shown.ids[row] == record->id; ++row) {
        if (m_shown.tracks.shared(row) == record)
            return static_cast<int>(row);
    }
    // Not where the order says: look everywhere rather than lose the row.
    const QList<SharedTrack>& songs = m_shown.tracks.sharedSongs();
    const qsizetype at = songs.indexOf(record);
    return at < 0 ? -1 : static_cast<int>(at);
}

void TrackTableModel::insertRow(std::size_t row, const SharedTrack& song)
{
    m_shown.tracks.insert(row, song);
    m_shown.ids.insert(m_shown.ids.begin() + static_cast<std::ptrdiff_t>(row), song->id);
}

void TrackTableModel::removeRow(std::size_t row)
{
    m_shown.tracks.removeAt(row);
    m_shown.ids.erase(m_shown.ids.begin() + static_cast<std::ptrdiff_t>(row));
}

// --- Selection -------------------------------------------------------------

void TrackTableModel::clickRow(int row, SelectionClicks clicks)
{
    if (row < 0 || row >= rowCount())
        return;
    m_selection.selectTrack(m_shown.ids[static_cast<std::size_t>(row)], std::span<const QUuid>(m_shown.ids), clicks);
    emitAllRowsChanged({IsSelectedRole});
    emit selectionChanged();
}

void TrackTableModel::selectOnly(int row)
{
    clickRow(row, {});
}

void TrackTableModel::selectAll()
{
    // From the ids side by side rather than the records, which in sorted
    // order lie all over the heap.
    QSet<QUuid> all;
    all.reserve(static_cast<qsizetype>(m_shown.ids.size()));
    for (const QUuid& id : m_shown.ids)
        all.insert(id);
    m_selection.selectedIDs = std::move(all);
    emitAllRowsChanged({IsSelectedRole});
    emit selectionChanged();
}

void TrackTableModel::clearSelection()
{
    m_selection.clear();
    emitAllRowsChanged({IsSelectedRole});
    emit selectionChanged();
}

std::vector<Track> TrackTableModel::selectedTracks() const
{
    std::vector<Track> selected;
    if (m_selection.selectedIDs.isEmpty())
        return selected;
    selected.reserve(static_cast<std::size_t>(m_selection.selectedIDs.size()));
    for (std::size_t row = 0; row < m_shown.ids.size(); ++row) {
        if (m_selection.isSelected(m_shown.ids[row]))
            selected.push_back(m_shown.tracks[row]);
    }
    return selected;
}

// --- What is drawn over the songs --------------------------------------------

bool TrackTableModel::isFavorite(int row) const
{
    const auto pending = m_pendingFavorites.constFind(m_shown.ids[static_cast<std::size_t>(row)]);
    if (pending != m_pendingFavorites.cend())
        return *pending;
    return varno::isFavorite(trackAt(row).rating);
}

void TrackTableModel::setPendingFavorite(const QUuid& id, std::optional<bool> favorite)
{
    if (favorite)
        m_pendingFavorites.insert(id, *favorite);
    else
        m_pendingFavorites.remove(id);
    emitRowChanged(rowOfID(id));
}

bool TrackTableModel::isActive(int row) const
{
    return m_currentID && m_shown.ids[static_cast<std::size_t>(row)] == *m_currentID;
}

bool TrackTableModel::isPlaying(int row) const
{
    return m_isPlaying && isActive(row);
}

void TrackTableModel::updatePlayback()
{
    const std::optional<Track>& current = m_environment.queueEngine.currentTrack();
    const std::optional<QUuid> currentID = current ? std::optional<QUuid>(current->id) : std::nullopt;
    const bool playing = m_environment.audioEngine.playbackState() == PlaybackState::Playing;
    if (currentID == m_currentID && playing == m_isPlaying)
        return;
    const std::optional<QUuid> previous = m_currentID;
    m_currentID = currentID;
    m_isPlaying = playing;
    if (previous && previous != currentID)
        emitRowChanged(rowOfID(*previous));
    if (currentID)
        emitRowChanged(rowOfID(*currentID));
}

void TrackTableModel::updateUnavailable()
{
    QSet<QUuid> now = m_environment.libraryEngine.unavailableTrackIDs();
    QSet<QUuid> changed = now;
    changed.unite(m_unavailable);
    changed.subtract(QSet<QUuid>(now).intersect(m_unavailable));
    m_unavailable = std::move(now);
    // Each song is looked for through the whole list; a long list of them
    // repaints everything instead.
    if (changed.size() > 16) {
        emitAllRowsChanged({});
        return;
    }
    for (const QUuid& id : changed)
        emitRowChanged(rowOfID(id));
}

void TrackTableModel::updateColumns()
{
    const QList<TrackTableColumnID> columns = m_environment.trackTableLayout.visibleColumnIDs();
    if (columns == m_columns)
        return;
    const auto before = static_cast<int>(m_columns.size());
    const auto after = static_cast<int>(columns.size());
    // Columns come and go at the end; every column's content is then told
    // to have changed, as the survivors may have changed places.
    if (after > before) {
        beginInsertColumns({}, 1 + before, after);
        m_columns = columns;
        endInsertColumns();
    } else if (after < before) {
        beginRemoveColumns({}, 1 + after, before);
        m_columns = columns;
        endRemoveColumns();
    } else {
        m_columns = columns;
    }
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    emitAllRowsChanged({});
}

void TrackTableModel::emitRowChanged(int row)
{
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TrackTableModel::emitAllRowsChanged(const QList<int>& roles)
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), roles);
}

} // namespace varno
