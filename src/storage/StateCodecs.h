#pragma once

#include "storage/Json.h"
#include "storage/PlaybackHistory.h"
#include "storage/PlaybackStateSnapshot.h"
#include "storage/Track.h"

#include <string>
#include <vector>

// JSON forms of the library's own state records. Writers emit keys in the
// fixed order and omit absent optional fields; readers take keys in any order.
namespace varno::json {

void encode(Writer& writer, const Track& track);
Track decodeTrack(od::value& value, const Path& path);

void encode(Writer& writer, const PlaybackHistory& entry);
PlaybackHistory decodePlaybackHistory(od::value& value, const Path& path);

void encode(Writer& writer, const PlaybackStateSnapshot& snapshot);
PlaybackStateSnapshot decodePlaybackStateSnapshot(od::document& document, const Path& path);

// Whole-file forms.
std::string encodeTracks(const std::vector<Track>& tracks);
std::vector<Track> decodeTracks(const fileio::FileBytes& bytes, std::string_view fileName);

// Atomic whole-file writes of the same forms, streamed; each returns the
// version of the file it wrote.
fileio::FileVersion writeTracksFile(const QString& path, const std::vector<Track>& tracks, const std::function<void()>& beforeReplacing = {});
fileio::FileVersion writePlaybackHistoryFile(const QString& path, const std::vector<PlaybackHistory>& history);

std::string encodePlaybackHistory(const std::vector<PlaybackHistory>& history);
std::vector<PlaybackHistory> decodePlaybackHistory(const fileio::FileBytes& bytes, std::string_view fileName);

std::string encodePlaybackStateSnapshot(const PlaybackStateSnapshot& snapshot);
PlaybackStateSnapshot decodePlaybackStateSnapshot(const fileio::FileBytes& bytes, std::string_view fileName);

template<typename T>
void encodeOptionalString(Writer& writer, std::string_view key, const std::optional<T>& value)
{
    if (value)
        writer.key(key).string(QStringView(*value));
}

} // namespace varno::json
