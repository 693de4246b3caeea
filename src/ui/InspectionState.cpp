#include "InspectionState.h"

#include "workspace/WorkspacePanelState.h"

namespace varno {

InspectionState::InspectionState(WorkspacePanelState& panelState, QObject* parent)
    : QObject(parent)
    , m_panelState(panelState)
{
}

void InspectionState::setSelectedTrack(std::optional<Track> track)
{
    if (m_selectedTrack == track)
        return;
    m_selectedTrack = std::move(track);
    emit selectedTrackChanged();
}

bool InspectionState::isInspectorVisible() const
{
    return m_panelState.isRightEnabled() && m_panelState.isRightExpanded();
}

void InspectionState::setInspectorVisible(bool visible)
{
    m_panelState.setPanelExpanded(WorkspacePanelSide::Right, visible);
}

} // namespace varno
