#include "LibraryTrackSource.h"

#include "library/LibraryEngine.h"

namespace varno {

LibraryTrackSource::LibraryTrackSource(LibraryEngine& library, QObject* parent)
    : TrackListSource(parent)
    , m_library(library)
{
    connect(&m_library, &LibraryEngine::tracksChanged, this, &TrackListSource::tracksChanged);
}

const TrackList& LibraryTrackSource::tracks() const
{
    return m_library.allTracks();
}

} // namespace varno
