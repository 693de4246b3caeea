#pragma once

#include "playlists/Playlist.h"
#include "storage/Json.h"

#include <string>
#include <vector>

namespace varno::json {

// The playlist model's JSON form; "type" is an object with exactly one key
// naming the case ("standard", "smart" with its "criteria", or "folder").
void encode(Writer& writer, const Playlist& playlist);
Playlist decodePlaylist(od::value& value, const Path& path);

std::string encodePlaylists(const std::vector<Playlist>& playlists);
std::vector<Playlist> decodePlaylists(const fileio::FileBytes& bytes, std::string_view fileName);

} // namespace varno::json
