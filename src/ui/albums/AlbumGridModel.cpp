#include "AlbumGridModel.h"

#include "media/ArtworkCache.h"
#include "media/ThumbnailGenerator.h"

#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QSet>

#include <algorithm>

namespace varno {

namespace {

// A few screens of tiles scrolled back and forth: about 100 KiB each at
// the normal scale.
constexpr qsizetype kHeldCovers = 400;

} // namespace

AlbumGridModel::AlbumGridModel(const AlbumCatalog& catalog, ThumbnailGenerator& thumbnails, ArtworkCache& artworkCache, QObject* parent)
    : QAbstractListModel(parent)
    , m_catalog(catalog)
    , m_thumbnails(thumbnails)
    , m_covers(kHeldCovers)
{
    m_rows = static_cast<int>(catalog.index().albums().size());
    connect(&catalog, &AlbumCatalog::changed, this, &AlbumGridModel::follow);
    // The cache says only that some cover changed: every cover held is drawn
    // on and asked for again when its tile is next painted.
    connect(&artworkCache, &ArtworkCache::cacheVersionChanged, this, [this] {
        ++m_generation;
        if (rowCount() > 0)
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::DecorationRole});
    });
}

AlbumGridModel::~AlbumGridModel() = default;

int AlbumGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant AlbumGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)
        || static_cast<std::size_t>(index.row()) >= albumIndex().albums().size())
        return {};
    const Album& shown = album(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return shown.title();
    case ArtistRole:
        return shown.artist();
    case YearRole:
        return shown.year ? QString::number(*shown.year) : QString();
    case ArtistKeyRole:
        return shown.artistKey;
    case SongCountRole:
        return static_cast<int>(shown.tracks.size());
    case Qt::ToolTipRole:
        return shown.title() + QStringLiteral(" — ") + shown.artist();
    case Qt::DecorationRole: {
        const Cover* held = m_covers.object(keyOf(shown));
        // Taken before asking: a cover the thumbnail generator holds in
        // memory comes back at once and replaces the entry held.
        const QVariant pixmap = held ? QVariant(held->pixmap) : QVariant();
        if (!held || held->generation != m_generation)
            requestCover(shown);
        return pixmap;
    }
    default:
        return {};
    }
}

QString AlbumGridModel::keyOf(const Album& album)
{
    return album.artistKey + QChar(0x1f) + album.titleKey;
}

void AlbumGridModel::requestCover(const Album& album) const
{
    const QString key = keyOf(album);
    if (album.tracks.empty())
        return;
    if (const auto pending = m_requests.constFind(key); pending != m_requests.cend() && pending->generation == m_generation)
        return;
    Request& request = m_requests[key];
    request.stop.request_stop();
    request.stop = std::stop_source();
    request.generation = m_generation;
    // Runs on by itself; it finds this model gone or the album changed when
    // it ends.
    auto fetching = const_cast<AlbumGridModel*>(this)->fetchCover(album.tracks.shared(0), key, m_generation, request.stop.get_token());
}

void AlbumGridModel::keepCoversFor(int first, int last)
{
    const std::vector<Album>& albums = albumIndex().albums();
    QSet<QString> shown;
    for (int row = std::max(first, 0); row <= last && static_cast<std::size_t>(row) < albums.size(); ++row)
        shown.insert(keyOf(albums[static_cast<std::size_t>(row)]));
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if (shown.contains(it.key())) {
            ++it;
            continue;
        }
        it->stop.request_stop();
        it = m_requests.erase(it);
    }
}

QCoro::Task<> AlbumGridModel::fetchCover(SharedTrack track, QString key, std::uint64_t generation, std::stop_token stop)
{
    const QPointer<AlbumGridModel> self(this);
    const qreal scale = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const int edge = qRound(kCoverEdge * scale);
    ++m_running;
    auto making = m_thumbnails.thumbnail(*track, QSize(edge, edge), stop);
    const std::optional<QByteArray> bytes = co_await making;
    if (!self)
        co_return;
    --m_running;
    const auto pending = m_requests.find(key);
    const bool current = pending != m_requests.end() && pending->generation == generation;
    if (current)
        m_requests.erase(pending);
    // A cancelled request that brought nothing says nothing about the cover.
    if (!bytes && (stop.stop_requested() || !current))
        co_return;
    QPixmap pixmap;
    if (bytes) {
        QImage image = QImage::fromData(*bytes);
        if (!image.isNull() && (image.width() != edge || image.height() != edge))
            image = image.scaled(edge, edge, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        pixmap = QPixmap::fromImage(std::move(image));
        pixmap.setDevicePixelRatio(scale);
    }
    m_covers.insert(key, new Cover {pixmap, generation});
    const int separator = static_cast<int>(key.indexOf(QChar(0x1f)));
    if (const auto at = albumIndex().find(key.left(separator), key.mid(separator + 1))) {
        const QModelIndex changed = index(static_cast<int>(*at));
        emit dataChanged(changed, changed, {Qt::DecorationRole});
    }
}

void AlbumGridModel::follow(const AlbumIndexChange& change)
{
    if (change.reset) {
        beginResetModel();
        m_rows = static_cast<int>(albumIndex().albums().size());
        endResetModel();
        emit albumsChanged(change);
        return;
    }
    // The catalog's index has changed whole already; the rows follow its
    // steps one by one, each step's positions being those the earlier steps
    // left, and the count shown moves with them so that each announcement
    // holds.
    for (const AlbumIndexChange::Step& step : change.steps) {
        const int row = static_cast<int>(step.at);
        switch (step.op) {
        case AlbumIndexChange::Op::Remove:
            beginRemoveRows({}, row, row);
            --m_rows;
            endRemoveRows();
            break;
        case AlbumIndexChange::Op::Insert:
            beginInsertRows({}, row, row);
            ++m_rows;
            endInsertRows();
            break;
        case AlbumIndexChange::Op::Update:
            emit dataChanged(index(row), index(row));
            break;
        }
    }
    emit albumsChanged(change);
}

} // namespace varno
