#include "ui/songs/SongDragData.h"

#include <QMimeData>

namespace varno {

const QString kSongDragMimeType = QStringLiteral("application/x-varno-songs");

QMimeData* songDragData(const std::vector<QUuid>& songIds)
{
    QByteArray payload;
    payload.reserve(qsizetype(songIds.size()) * 37);
    for (const QUuid& id : songIds) {
        payload += id.toByteArray(QUuid::WithoutBraces).toUpper();
        payload += '\n';
    }
    auto* data = new QMimeData;
    data->setData(kSongDragMimeType, payload);
    return data;
}

std::vector<QUuid> draggedSongIds(const QMimeData* data)
{
    std::vector<QUuid> ids;
    if (!data || !data->hasFormat(kSongDragMimeType))
        return ids;
    const QByteArray payload = data->data(kSongDragMimeType);
    for (const QByteArray& line : payload.split('\n')) {
        const QUuid id = QUuid::fromString(QLatin1String(line));
        if (!id.isNull())
            ids.push_back(id);
    }
    return ids;
}

} // namespace varno
