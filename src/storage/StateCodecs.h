#pragma once

#include "storage/FunctionRef.h"
#include "storage/Json.h"
#include "storage/PlaybackHistory.h"
#include "storage/PlaybackStateSnapshot.h"
#include "storage/Track.h"
#include "storage/TrackList.h"

#include <QByteArray>
#include <vector>

#include <string>
#include <vector>

// JSON forms of the library's own state records. Writers emit keys in the
// fixed order and omit absent optional fields; readers take keys in any order.
namespace varno::json {

// Hands out one QString per distinct text, so a tag that a thousand songs
// share (an artist, an album, a genre) is kept in memory once.
class StringPool {
public:
    // `slot` names the field: songs of one album come one after another, so
    // the text of the song before is tried first, without hashing.
    QString intern(std::string_view utf8, std::size_t slot);

private:
    // Open addressing with each text's hash beside it, so a probe compares
    // texts only when the hashes agree: a general-purpose hash table
    // compares the text at every probe, which made interning cost more than
    // it saved.
    struct Entry {
        std::size_t hash = 0;
        // Short texts (most tags) are kept in the entry itself, so telling
        // them apart touches no other memory.
        static constexpr std::size_t kInline = 24;
        std::uint32_t size = 0;
        char inlineText[kInline] {};
        QByteArray text;
        QString string;

        bool holds(std::size_t textHash, std::string_view utf8) const;
    };
    void grow();

    static constexpr std::size_t kSlots = 8;
    std::vector<Entry> m_table = std::vector<Entry>(1024);
    std::size_t m_count = 0;
    // Copies: an escaped text is only lent until the next one is read.
    std::string m_lastText[kSlots];
    QString m_lastString[kSlots];
};

void encode(Writer& writer, const Track& track);
void encode(Writer& writer, const PlaybackHistory& entry);
void encode(Writer& writer, const PlaybackStateSnapshot& snapshot);

// Whole-file forms.
std::string encodeTracks(const TrackList& tracks);
// Each song is built once, as the shared record the library keeps, with the
// repeated tags interned.
TrackList decodeTrackList(const fileio::FileBytes& bytes, std::string_view fileName);
std::vector<Track> decodeTracks(const fileio::FileBytes& bytes, std::string_view fileName);

// Atomic whole-file writes of the same forms, streamed; each returns the
// version of the file it wrote.
fileio::FileVersion writeTracksFile(const QString& path, const TrackList& tracks, const std::function<void()>& beforeReplacing = {});
fileio::FileVersion writePlaybackHistoryFile(const QString& path, const std::vector<PlaybackHistory>& history);

// The history, the session and the playlists are refused unread above
// json::kMaximumStateFileBytes ("… is too large to be a state file"); the
// library has no such limit. Every document is refused before parsing when
// it nests deeper than json::kMaximumNesting.
std::string encodePlaybackHistory(const std::vector<PlaybackHistory>& history);
std::vector<PlaybackHistory> decodePlaybackHistory(const fileio::FileBytes& bytes, std::string_view fileName);
// Calls `visit` with each entry in file order, without building the list: the
// history grows with every play.
void forEachPlaybackHistory(const fileio::FileBytes& bytes, std::string_view fileName, FunctionRef<void(const PlaybackHistory&)> visit);

std::string encodePlaybackStateSnapshot(const PlaybackStateSnapshot& snapshot);
PlaybackStateSnapshot decodePlaybackStateSnapshot(const fileio::FileBytes& bytes, std::string_view fileName);

template<typename T>
void encodeOptionalString(Writer& writer, std::string_view key, const std::optional<T>& value)
{
    if (value)
        writer.key(key).string(QStringView(*value));
}

} // namespace varno::json
