#include "FixedTrackSource.h"

namespace varno {

FixedTrackSource::FixedTrackSource(QObject* parent)
    : TrackListSource(parent)
{
}

FixedTrackSource::FixedTrackSource(TrackList tracks, QObject* parent)
    : TrackListSource(parent)
    , m_tracks(std::move(tracks))
{
}

void FixedTrackSource::setTracks(TrackList tracks)
{
    publishReplacement(m_tracks, std::move(tracks));
}

} // namespace varno
