#include "AddSongsModel.h"

#include "ui/Icons.h"

#include <QApplication>
#include <QPalette>

namespace varno {

const QString AddSongsModel::kUnknownArtist = QStringLiteral("Unknown Artist");

AddSongsModel::AddSongsModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_tickedIcon(symbolIcon(u"checkmark.circle.fill", QApplication::palette().color(QPalette::Highlight)))
    , m_untickedIcon(symbolIcon(u"circle", QApplication::palette().color(QPalette::PlaceholderText)))
{
}

void AddSongsModel::setTracks(TrackList tracks)
{
    beginResetModel();
    m_tracks = std::move(tracks);
    if (!m_ticked.isEmpty()) {
        QSet<QUuid> offered;
        for (const Track& track : m_tracks) {
            if (m_ticked.contains(track.id))
                offered.insert(track.id);
        }
        m_ticked = std::move(offered);
    }
    endResetModel();
    emit tickedCountChanged(tickedCount());
}

void AddSongsModel::toggle(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_tracks.size())
        return;
    const QUuid& id = m_tracks[static_cast<std::size_t>(row)].id;
    if (!m_ticked.remove(id))
        m_ticked.insert(id);
    // A song listed twice shows its tick on both rows; the sheet lists each
    // song once, so only this row is repainted.
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole, TickedRole});
    emit tickedCountChanged(tickedCount());
}

TrackList AddSongsModel::tickedTracks() const
{
    TrackList ticked;
    if (m_ticked.isEmpty())
        return ticked;
    for (std::size_t i = 0; i < m_tracks.size(); ++i) {
        if (m_ticked.contains(m_tracks[i].id))
            ticked.append(m_tracks.shared(i));
    }
    return ticked;
}

void AddSongsModel::clearTicks()
{
    if (m_ticked.isEmpty())
        return;
    m_ticked.clear();
    if (!m_tracks.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::DecorationRole, TickedRole});
    emit tickedCountChanged(0);
}

int AddSongsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_tracks.size());
}

QVariant AddSongsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_tracks.size())
        return {};
    const Track& track = m_tracks[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return track.title;
    case ArtistRole:
        return track.artist && !track.artist->isEmpty() ? *track.artist : kUnknownArtist;
    case TickedRole:
        return m_ticked.contains(track.id);
    case Qt::DecorationRole:
        return m_ticked.contains(track.id) ? m_tickedIcon : m_untickedIcon;
    default:
        return {};
    }
}

} // namespace varno
