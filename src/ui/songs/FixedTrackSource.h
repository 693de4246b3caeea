#pragma once

#include "ui/songs/TrackListSource.h"

namespace varno {

// Songs its owner hands over, such as a playlist's. Each new list is
// compared with the one before, so adding a song to a playlist inserts one
// row and an edit updates one.
class FixedTrackSource final : public TrackListSource {
    Q_OBJECT

public:
    explicit FixedTrackSource(QObject* parent = nullptr);
    explicit FixedTrackSource(TrackList tracks, QObject* parent = nullptr);

    const TrackList& tracks() const override { return m_tracks; }
    void setTracks(TrackList tracks);

private:
    TrackList m_tracks;
};

} // namespace varno
