#include "QueueListModel.h"

#include "media/ThumbnailGenerator.h"
#include "playback/QueueEngine.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QPointer>

#include <algorithm>

namespace varno {

const QString QueueListModel::kNowPlayingCaption = QStringLiteral("NOW PLAYING");
const QString QueueListModel::kUpcomingCaption = QStringLiteral("UPCOMING");
const QString QueueListModel::kHistoryCaption = QStringLiteral("HISTORY");
const QString QueueListModel::kUnknownArtist = QStringLiteral("Unknown Artist");
const QString QueueListModel::kRowMimeType = QStringLiteral("application/x-varno-queue-upcoming");

namespace {

// About 16 KB a picture at the size asked for: some 30 MB at most.
constexpr int kThumbnailBudget = 2000;

} // namespace

QueueListModel::QueueListModel(QueueEngine& queueEngine, ThumbnailGenerator& thumbnails, QObject* parent)
    : QAbstractListModel(parent)
    , m_queueEngine(queueEngine)
    , m_thumbnails(thumbnails)
    , m_thumbnailImages(kThumbnailBudget)
{
    connect(&m_queueEngine, &QueueEngine::currentTrackChanged, this, &QueueListModel::scheduleRefresh);
    connect(&m_queueEngine, &QueueEngine::upcomingChanged, this, &QueueListModel::scheduleRefresh);
    connect(&m_queueEngine, &QueueEngine::historyChanged, this, &QueueListModel::scheduleRefresh);
    refresh();
}

QueueListModel::~QueueListModel()
{
    for (PendingThumbnail& pending : m_pending)
        pending.stop.request_stop();
}

void QueueListModel::scheduleRefresh()
{
    if (m_refreshScheduled)
        return;
    m_refreshScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_refreshScheduled)
                refresh();
        },
        Qt::QueuedConnection);
}

void QueueListModel::refresh()
{
    m_refreshScheduled = false;
    beginResetModel();
    const std::optional<Track>& current = m_queueEngine.currentTrack();
    m_current = current ? std::make_shared<const Track>(*current) : nullptr;
    // Copies of the lists share their songs and their storage with the
    // engine's: taking them in costs nothing, whatever their length.
    m_upcoming = m_queueEngine.upcoming();
    m_history = m_queueEngine.history();

    int next = 0;
    const auto section = [&next](std::size_t count) {
        if (count == 0)
            return -1;
        const int header = next;
        next += 1 + int(count);
        return header;
    };
    m_currentHeader = section(m_current ? 1 : 0);
    m_upcomingHeader = section(m_upcoming.size());
    m_historyHeader = section(m_history.size());
    m_rowCount = next;
    endResetModel();
    emit refreshed();
}

int QueueListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

bool QueueListModel::isEmpty() const
{
    return m_rowCount == 0;
}

int QueueListModel::firstUpcomingRow() const
{
    return m_upcomingHeader < 0 ? -1 : m_upcomingHeader + 1;
}

QueueListModel::Row QueueListModel::row(int modelRow) const
{
    if (modelRow == m_currentHeader || modelRow == m_upcomingHeader || modelRow == m_historyHeader)
        return {RowKind::Header, 0};
    if (m_historyHeader >= 0 && modelRow > m_historyHeader) {
        // Newest first.
        const auto offset = std::size_t(modelRow - m_historyHeader - 1);
        return {RowKind::History, m_history.size() - 1 - offset};
    }
    if (m_upcomingHeader >= 0 && modelRow > m_upcomingHeader)
        return {RowKind::Upcoming, std::size_t(modelRow - m_upcomingHeader - 1)};
    return {RowKind::Current, 0};
}

SharedTrack QueueListModel::song(int modelRow) const
{
    if (modelRow < 0 || modelRow >= m_rowCount)
        return nullptr;
    const Row at = row(modelRow);
    switch (at.kind) {
    case RowKind::Header:
        return nullptr;
    case RowKind::Current:
        return m_current;
    case RowKind::Upcoming:
        return m_upcoming.shared(at.index);
    case RowKind::History:
        return m_history.shared(at.index);
    }
    return nullptr;
}

QVariant QueueListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rowCount)
        return {};
    const Row at = row(index.row());
    if (role == KindRole)
        return int(at.kind);
    if (at.kind == RowKind::Header) {
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
            return {};
        if (index.row() == m_currentHeader)
            return kNowPlayingCaption;
        return index.row() == m_upcomingHeader ? kUpcomingCaption : kHistoryCaption;
    }
    const SharedTrack shown = song(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return shown->title;
    case ArtistRole:
        return shown->artist && !shown->artist->isEmpty() ? *shown->artist : kUnknownArtist;
    case Qt::AccessibleTextRole:
        return shown->title + QStringLiteral(", ")
            + (shown->artist && !shown->artist->isEmpty() ? *shown->artist : kUnknownArtist);
    case IsPlayingRole:
        return at.kind == RowKind::Current;
    case TrackIDRole:
        return shown->id;
    case Qt::DecorationRole:
        if (const QImage* image = m_thumbnailImages.object(shown->id))
            return *image;
        requestThumbnail(shown, index.row());
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags QueueListModel::flags(const QModelIndex& index) const
{
    // Drops land between upcoming rows, never on a row.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    switch (row(index.row()).kind) {
    case RowKind::Header:
        return Qt::ItemIsEnabled;
    case RowKind::Upcoming:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    case RowKind::Current:
    case RowKind::History:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
    return Qt::NoItemFlags;
}

// --- thumbnails ----------------------------------------------------------

bool QueueListModel::hasThumbnail(const QUuid& trackID) const
{
    return m_thumbnailImages.contains(trackID);
}

void QueueListModel::requestThumbnail(const SharedTrack& shown, int modelRow) const
{
    if (m_pending.contains(shown->id))
        return;
    PendingThumbnail& pending = m_pending[shown->id];
    pending.row = modelRow;
    // Asked for while painting, which reads the model as const; the load
    // only ever changes the picture cache and announces the row.
    const_cast<QueueListModel*>(this)->loadThumbnail(shown, pending.stop.get_token());
}

QCoro::Task<> QueueListModel::loadThumbnail(SharedTrack shown, std::stop_token stop)
{
    const QPointer<QueueListModel> self(this);
    auto loading = m_thumbnails.thumbnail(*shown, QSize(kThumbnailPixels, kThumbnailPixels), stop);
    const std::optional<QByteArray> bytes = co_await loading;
    if (!self)
        co_return;
    const auto pending = m_pending.constFind(shown->id);
    const int askedRow = pending != m_pending.cend() ? pending->row : -1;
    m_pending.remove(shown->id);
    // A row that left the screen before its turn got nothing; it asks again
    // when it is painted.
    if (stop.stop_requested())
        co_return;
    m_thumbnailImages.insert(shown->id, new QImage(bytes ? QImage::fromData(*bytes) : QImage()));
    const SharedTrack stillThere = song(askedRow);
    if (stillThere && stillThere->id == shown->id) {
        const QModelIndex changed = index(askedRow);
        emit dataChanged(changed, changed, {Qt::DecorationRole});
    } else if (m_rowCount > 0) {
        emit dataChanged(index(0), index(m_rowCount - 1), {Qt::DecorationRole});
    }
    emit thumbnailLoaded(shown->id);
}

void QueueListModel::setVisibleRows(int first, int last)
{
    m_firstVisible = first;
    m_lastVisible = last;
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->row < first || it->row > last)
            it->stop.request_stop();
    }
}

// --- reordering ----------------------------------------------------------

QStringList QueueListModel::mimeTypes() const
{
    return {kRowMimeType};
}

Qt::DropActions QueueListModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions QueueListModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

QMimeData* QueueListModel::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& index : indexes) {
        const Row at = row(index.row());
        if (at.kind != RowKind::Upcoming)
            continue;
        QByteArray payload;
        QDataStream stream(&payload, QIODevice::WriteOnly);
        stream << quint64(at.index) << m_upcoming[at.index].id;
        auto* data = new QMimeData;
        data->setData(kRowMimeType, payload);
        return data;
    }
    return nullptr;
}

std::optional<std::size_t> QueueListModel::upcomingInsertion(int row, const QModelIndex& parent) const
{
    if (parent.isValid() || m_upcomingHeader < 0)
        return std::nullopt;
    const int first = m_upcomingHeader + 1;
    const int end = first + int(m_upcoming.size());
    if (row < first || row > end)
        return std::nullopt;
    return std::size_t(row - first);
}

bool QueueListModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int, const QModelIndex& parent) const
{
    return data && data->hasFormat(kRowMimeType) && action == Qt::MoveAction && upcomingInsertion(row, parent).has_value();
}

bool QueueListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    QDataStream stream(data->data(kRowMimeType));
    quint64 from = 0;
    QUuid id;
    stream >> from >> id;
    const TrackList& upcoming = m_queueEngine.upcoming();
    // The queue may have moved on since the drag began.
    if (stream.status() != QDataStream::Ok || from >= upcoming.size() || upcoming[from].id != id)
        return false;
    const std::size_t insertion = *upcomingInsertion(row, parent);
    // The engine places the song after taking it out, so a place below it
    // is one less.
    const std::size_t to = insertion > from ? insertion - 1 : insertion;
    if (to == from)
        return false;
    m_queueEngine.move(int(from), int(to));
    return true;
}

} // namespace varno
