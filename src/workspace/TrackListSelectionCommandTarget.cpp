#include "TrackListSelectionCommandTarget.h"

namespace varno {

void TrackListSelectionCommandTarget::setTrackCount(qsizetype count)
{
    m_trackCount = count;
    emit trackCountChanged();
}

void TrackListSelectionCommandTarget::setSelectionCount(qsizetype count)
{
    m_selectionCount = count;
    emit selectionCountChanged();
}

} // namespace varno
