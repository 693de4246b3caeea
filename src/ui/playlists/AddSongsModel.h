#pragma once

#include "storage/TrackList.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QSet>
#include <QUuid>

namespace varno {

// The songs offered by the "Add Songs" sheet and which of them are ticked.
// Rows are read from the shared song list as the view asks for them, so a
// library of 100,000 songs costs one list of pointers, not a row object per
// song. Main thread only.
class AddSongsModel final : public QAbstractListModel {
    Q_OBJECT

public:
    static const QString kUnknownArtist;

    enum Role { ArtistRole = Qt::UserRole, TickedRole };

    explicit AddSongsModel(QObject* parent = nullptr);

    // Replaces the songs offered (the sheet does so each time it opens);
    // ticks of songs no longer offered go, so the count shown is what "Add"
    // would add.
    void setTracks(TrackList tracks);
    const TrackList& tracks() const { return m_tracks; }

    void toggle(int row);
    bool isTicked(const QUuid& id) const { return m_ticked.contains(id); }
    int tickedCount() const { return static_cast<int>(m_ticked.size()); }
    // The ticked songs in list order.
    TrackList tickedTracks() const;
    void clearTicks();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    void tickedCountChanged(int count);

private:
    TrackList m_tracks;
    QSet<QUuid> m_ticked;
    QIcon m_tickedIcon;
    QIcon m_untickedIcon;
};

} // namespace varno
