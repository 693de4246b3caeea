#pragma once

#include "storage/Track.h"

#include <QObject>

#include <optional>

namespace varno {

class WorkspacePanelState;

// The song the window inspects, shared by every song list and the inspector,
// and kept across screen changes. Showing the inspector expands the right
// panel through the panel state, so its lock and enabled rules hold.
// Main thread only.
class InspectedSongState final : public QObject {
    Q_OBJECT

public:
    explicit InspectedSongState(WorkspacePanelState& panelState, QObject* parent = nullptr);

    const std::optional<Track>& selectedTrack() const { return m_selectedTrack; }
    void setSelectedTrack(std::optional<Track> track);

    bool isInspectorVisible() const;
    void setInspectorVisible(bool visible);

signals:
    void selectedTrackChanged();

private:
    WorkspacePanelState& m_panelState;
    std::optional<Track> m_selectedTrack;
};

} // namespace varno
