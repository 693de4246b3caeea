#pragma once

#include <QString>
#include <QUuid>

#include <vector>

class QMimeData;

namespace varno {

// Songs dragged out of a song list (to a playlist in the sidebar, say) travel
// as their ids, in the order they were listed, so a drop never depends on a
// row that may have moved or gone while the drag was under way.
extern const QString kSongDragMimeType;

QMimeData* songDragData(const std::vector<QUuid>& songIds);

// The dragged songs' ids, or none when the data did not come from a song list.
std::vector<QUuid> draggedSongIds(const QMimeData* data);

} // namespace varno
