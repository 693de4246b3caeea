#include "InspectedSongState.h"

#include "workspace/WorkspacePanelState.h"

namespace varno {

InspectedSongState::InspectedSongState(WorkspacePanelState& panelState, QObject* parent)
    : QObject(parent)
    , m_panelState(panelState)
{
}

void InspectedSongState::setSelectedTrack(std::optional<Track> track)
{
    if (m_selectedTrack == track)
        return;
    m_selectedTrack = std::move(track);
    emit selectedTrackChanged();
}

bool InspectedSongState::isInspectorVisible() const
{
    return m_panelState.isRightEnabled() && m_panelState.isRightExpanded();
}

void InspectedSongState::setInspectorVisible(bool visible)
{
    m_panelState.setPanelExpanded(WorkspacePanelSide::Right, visible);
}

} // namespace varno
