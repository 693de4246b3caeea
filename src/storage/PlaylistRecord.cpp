#include "PlaylistRecord.h"

namespace varno {

Playlist PlaylistRecord::toPlaylist() const
{
    Playlist playlist;
    playlist.id = id;
    playlist.name = name;
    playlist.description = description;
    playlist.tags = tags;
    playlist.isFavorite = isFavorite;
    if (isFolder)
        playlist.type = PlaylistType::folder();
    else if (isSmart)
        playlist.type = PlaylistType::smart(smartCriteria.value_or(QString()),
                                            smartRules ? smartRules : parseSmartCriteria(smartCriteria.value_or(QString())));
    else
        playlist.type = PlaylistType::standard();
    playlist.trackIDs = trackIDs;
    return playlist;
}

PlaylistRecord PlaylistRecord::from(const Playlist& playlist, const std::optional<QUuid>& parentFolderID, std::int64_t displayOrderIndex)
{
    PlaylistRecord record;
    record.id = playlist.id;
    record.name = playlist.name;
    record.parentFolderID = parentFolderID;
    record.isFolder = playlist.type.kind() == PlaylistType::Kind::Folder;
    record.isSmart = playlist.type.kind() == PlaylistType::Kind::Smart;
    if (record.isSmart) {
        record.smartCriteria = playlist.type.criteria();
        record.smartRules = playlist.type.rules();
    }
    record.isFavorite = playlist.isFavorite;
    record.description = playlist.description;
    record.tags = playlist.tags;
    record.trackIDs = playlist.trackIDs;
    record.displayOrderIndex = displayOrderIndex;
    return record;
}

} // namespace varno
