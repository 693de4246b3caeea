#pragma once

#include "storage/Json.h"
#include "storage/Playlist.h"
#include "storage/PlaylistRecord.h"

#include <string>
#include <vector>

namespace varno::json {

// The playlist model's JSON form; "type" is an object with exactly one key
// naming the case ("standard", "smart" with its "criteria", or "folder").
void encode(Writer& writer, const Playlist& playlist);

std::string encodePlaylists(const std::vector<Playlist>& playlists);
// Both decoders refuse a file above json::kMaximumStateFileBytes unread.
std::vector<Playlist> decodePlaylists(const fileio::FileBytes& bytes, std::string_view fileName);

// The stored rows of "playlist_records.json". Optional keys may be missing
// or null when read and are omitted when absent on writing.
void encode(Writer& writer, const PlaylistRecord& record);
std::vector<PlaylistRecord> decodePlaylistRecords(const fileio::FileBytes& bytes, std::string_view fileName);

} // namespace varno::json
