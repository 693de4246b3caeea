#pragma once

#include "storage/Track.h"
#include "ui/inspector/InspectorText.h"

#include <QWidget>

class QGridLayout;

namespace varno {

// The "AUDIO" rows of the now-playing panel: label and value for each value
// the song has. Main thread only.
class NowPlayingMetadataDetailsView final : public QWidget {
    Q_OBJECT

public:
    explicit NowPlayingMetadataDetailsView(QWidget* parent = nullptr);

    void setTrack(const Track& track);
    const QList<inspector::DetailRow>& rows() const { return m_rows; }

private:
    QGridLayout* m_grid;
    QList<inspector::DetailRow> m_rows;
};

} // namespace varno
