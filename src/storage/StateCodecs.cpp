#include "StateCodecs.h"

#include "storage/JsonLimits.h"
#include "storage/JsonReader.h"

#include <cstring>

namespace varno::json {

namespace {

void encodeOptionalInteger(Writer& writer, std::string_view key, const std::optional<std::int64_t>& value)
{
    if (value)
        writer.key(key).integer(*value);
}

} // namespace

// ---------------------------------------------------------------------------
// Track

void encode(Writer& w, const Track& t)
{
    w.beginObject();
    w.key("id").uuid(t.id);
    w.key("fileURL").url(t.fileURL);
    w.key("filename").string(QStringView(t.filename));
    w.key("title").string(QStringView(t.title));
    w.key("duration").number(t.duration);
    if (t.securityScopedBookmark)
        w.key("securityScopedBookmark").bytes(*t.securityScopedBookmark);
    encodeOptionalString(w, "artist", t.artist);
    encodeOptionalString(w, "album", t.album);
    encodeOptionalString(w, "genre", t.genre);
    encodeOptionalInteger(w, "year", t.year);
    encodeOptionalInteger(w, "trackNumber", t.trackNumber);
    encodeOptionalInteger(w, "discNumber", t.discNumber);
    encodeOptionalString(w, "composer", t.composer);
    encodeOptionalString(w, "albumArtist", t.albumArtist);
    encodeOptionalString(w, "comments", t.comments);
    encodeOptionalInteger(w, "bpm", t.bpm);
    encodeOptionalString(w, "lyrics", t.lyrics);
    w.key("rating").integer(t.rating);
    encodeOptionalInteger(w, "bitrate", t.bitrate);
    encodeOptionalInteger(w, "sampleRate", t.sampleRate);
    if (t.dateAdded)
        w.key("dateAdded").timestamp(*t.dateAdded);
    // Written only when set, after every older key, so that the files of
    // libraries imported before it existed read exactly as they did.
    if (t.tagFieldsRead)
        w.key("tagFieldsRead").boolean(true);
    w.endObject();
}

namespace {

enum TrackKey : std::size_t {
    kId, kFileURL, kFilename, kTitle, kDuration, kBookmark, kArtist, kAlbum, kGenre, kYear, kTrackNumber,
    kDiscNumber, kComposer, kAlbumArtist, kComments, kBpm, kLyrics, kRating, kBitrate, kSampleRate, kDateAdded,
    kTagFieldsRead, kTrackKeyCount
};

constexpr std::string_view kTrackKeyNames[] = {
    "id", "fileURL", "filename", "title", "duration", "securityScopedBookmark", "artist", "album", "genre", "year",
    "trackNumber", "discNumber", "composer", "albumArtist", "comments", "bpm", "lyrics", "rating", "bitrate",
    "sampleRate", "dateAdded", "tagFieldsRead",
};
static_assert(std::size(kTrackKeyNames) == kTrackKeyCount);

const KeyTable kTrackKeys(kTrackKeyNames);
constexpr std::uint32_t kTrackRequired = (1u << kId) | (1u << kFileURL) | (1u << kFilename) | (1u << kTitle) | (1u << kDuration);

} // namespace

QString StringPool::intern(std::string_view utf8, std::size_t slot)
{
    Q_ASSERT(slot < kSlots);
    // An empty text is not worth sharing, and a null string marks a free
    // entry of the table.
    if (utf8.empty())
        return stringFromUtf8(utf8);
    if (!m_lastString[slot].isNull() && m_lastText[slot] == utf8)
        return m_lastString[slot];
    const std::size_t hash = qHash(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())), 0);
    const std::size_t mask = m_table.size() - 1;
    std::size_t i = hash & mask;
    while (!m_table[i].string.isNull() && !m_table[i].holds(hash, utf8))
        i = (i + 1) & mask;
    if (m_table[i].string.isNull()) {
        Entry& entry = m_table[i];
        entry.hash = hash;
        entry.size = static_cast<std::uint32_t>(utf8.size());
        if (utf8.size() <= Entry::kInline)
            std::memcpy(entry.inlineText, utf8.data(), utf8.size());
        else
            entry.text = QByteArray(utf8.data(), static_cast<qsizetype>(utf8.size()));
        entry.string = stringFromUtf8(utf8);
        // Half full at most, so probes stay short.
        if (++m_count * 2 > m_table.size()) {
            const QString string = m_table[i].string;
            grow();
            m_lastText[slot] = utf8;
            m_lastString[slot] = string;
            return string;
        }
    }
    m_lastText[slot] = utf8;
    m_lastString[slot] = m_table[i].string;
    return m_table[i].string;
}

bool StringPool::Entry::holds(std::size_t textHash, std::string_view utf8) const
{
    if (hash != textHash || size != utf8.size())
        return false;
    if (size <= kInline)
        return std::memcmp(inlineText, utf8.data(), size) == 0;
    return std::string_view(text.constData(), size) == utf8;
}

void StringPool::grow()
{
    std::vector<Entry> old(m_table.size() * 2);
    old.swap(m_table);
    const std::size_t mask = m_table.size() - 1;
    for (Entry& entry : old) {
        if (entry.string.isNull())
            continue;
        std::size_t i = entry.hash & mask;
        while (!m_table[i].string.isNull())
            i = (i + 1) & mask;
        m_table[i] = std::move(entry);
    }
}

namespace {

// With a pool, the artist, album, genre, composer and album artist of every
// song decoded through it share their text.
Track decodeTrack(od::value& value, const Path& path, StringPool* pool = nullptr)
{
    Track t;
    const auto shared = [&](od::value& v, const Path& at, std::size_t slot) {
        return pool ? pool->intern(readRawString(v, at), slot) : readString(v, at);
    };
    decodeFields(value, path, kTrackKeys, kTrackRequired, [&](std::size_t i, od::value& v, const Path& at) {
        switch (i) {
        case kId: t.id = readUuid(v, at); break;
        case kFileURL: t.fileURL = readFileURL(v, at); break;
        case kFilename: t.filename = readString(v, at); break;
        case kTitle: t.title = readString(v, at); break;
        case kDuration: t.duration = readDouble(v, at); break;
        case kBookmark: readOptional(v, t.securityScopedBookmark, [&] { return readBytes(v, at); }); break;
        case kArtist: readOptional(v, t.artist, [&] { return shared(v, at, 0); }); break;
        case kAlbum: readOptional(v, t.album, [&] { return shared(v, at, 1); }); break;
        case kGenre: readOptional(v, t.genre, [&] { return shared(v, at, 2); }); break;
        case kYear: readOptional(v, t.year, [&] { return readInteger(v, at); }); break;
        case kTrackNumber: readOptional(v, t.trackNumber, [&] { return readInteger(v, at); }); break;
        case kDiscNumber: readOptional(v, t.discNumber, [&] { return readInteger(v, at); }); break;
        case kComposer: readOptional(v, t.composer, [&] { return shared(v, at, 3); }); break;
        case kAlbumArtist: readOptional(v, t.albumArtist, [&] { return shared(v, at, 4); }); break;
        case kComments: readOptional(v, t.comments, [&] { return readString(v, at); }); break;
        case kBpm: readOptional(v, t.bpm, [&] { return readInteger(v, at); }); break;
        case kLyrics: readOptional(v, t.lyrics, [&] { return readString(v, at); }); break;
        case kRating: t.rating = isNull(v) ? 0 : readInteger(v, at); break;
        case kBitrate: readOptional(v, t.bitrate, [&] { return readInteger(v, at); }); break;
        case kSampleRate: readOptional(v, t.sampleRate, [&] { return readInteger(v, at); }); break;
        case kDateAdded: readOptional(v, t.dateAdded, [&] { return readTimestamp(v, at); }); break;
        case kTagFieldsRead: t.tagFieldsRead = !isNull(v) && readBool(v, at); break;
        }
    });
    // A record without a date gets the moment it was read, so every decoded
    // song has one.
    if (!t.dateAdded)
        t.dateAdded = Timestamp::now();
    return t;
}

} // namespace

std::string encodeTracks(const TrackList& tracks)
{
    std::string out;
    out.reserve(tracks.size() * 640 + 2);
    Writer w(out);
    w.beginArray();
    for (const Track& t : tracks)
        encode(w, t);
    w.endArray();
    return out;
}

fileio::FileVersion writeTracksFile(const QString& path, const TrackList& tracks, const std::function<void()>& beforeReplacing)
{
    return writeArrayFile(path, tracks, [](Writer& w, const Track& t) { encode(w, t); }, beforeReplacing);
}

TrackList decodeTrackList(const fileio::FileBytes& bytes, std::string_view fileName)
{
    StringPool pool;
    QList<SharedTrack> songs;
    decodeArrayItems(bytes, fileName, [&](std::size_t count) { songs.reserve(static_cast<qsizetype>(count)); },
                     [&](od::value& v, const Path& at) { songs.append(std::make_shared<const Track>(decodeTrack(v, at, &pool))); });
    return TrackList(std::move(songs));
}

std::vector<Track> decodeTracks(const fileio::FileBytes& bytes, std::string_view fileName)
{
    return decodeArray<Track>(bytes, fileName, [](od::value& v, const Path& at) { return decodeTrack(v, at); });
}

// ---------------------------------------------------------------------------
// PlaybackHistory

void encode(Writer& w, const PlaybackHistory& entry)
{
    w.beginObject();
    w.key("trackID").uuid(entry.trackID);
    w.key("timestamp").timestamp(entry.timestamp);
    w.endObject();
}

namespace {

PlaybackHistory decodePlaybackHistory(od::value& value, const Path& path)
{
    static constexpr std::string_view names[] = {"trackID", "timestamp"};
    static const KeyTable table(names);
    PlaybackHistory entry;
    decodeFields(value, path, table, 0b11, [&](std::size_t i, od::value& v, const Path& at) {
        if (i == 0)
            entry.trackID = readUuid(v, at);
        else
            entry.timestamp = readTimestamp(v, at);
    });
    return entry;
}

} // namespace

std::string encodePlaybackHistory(const std::vector<PlaybackHistory>& history)
{
    std::string out;
    out.reserve(history.size() * 72 + 2);
    Writer w(out);
    w.beginArray();
    for (const PlaybackHistory& entry : history)
        encode(w, entry);
    w.endArray();
    return out;
}

fileio::FileVersion writePlaybackHistoryFile(const QString& path, const std::vector<PlaybackHistory>& history)
{
    return writeArrayFile(path, history, [](Writer& w, const PlaybackHistory& entry) { encode(w, entry); });
}

std::vector<PlaybackHistory> decodePlaybackHistory(const fileio::FileBytes& bytes, std::string_view fileName)
{
    refuseOversizedStateFile(bytes, fileName);
    return decodeArray<PlaybackHistory>(bytes, fileName, [](od::value& v, const Path& at) { return decodePlaybackHistory(v, at); });
}

void forEachPlaybackHistory(const fileio::FileBytes& bytes, std::string_view fileName, FunctionRef<void(const PlaybackHistory&)> visit)
{
    refuseOversizedStateFile(bytes, fileName);
    Document document(bytes, fileName);
    forEachItem(onDemandRoot(document), document.path(), [&](std::int64_t, od::value& item, const Path& at) { visit(decodePlaybackHistory(item, at)); });
    document.expectEnd();
}

// ---------------------------------------------------------------------------
// PlaybackStateSnapshot

void encode(Writer& w, const PlaybackStateSnapshot& s)
{
    w.beginObject();
    if (s.currentTrackID)
        w.key("currentTrackID").uuid(*s.currentTrackID);
    w.key("upcomingTrackIDs");
    w.uuidArray(s.upcomingTrackIDs);
    w.key("historyTrackIDs");
    w.uuidArray(s.historyTrackIDs);
    if (s.playbackOrderTrackIDs) {
        w.key("playbackOrderTrackIDs");
        w.uuidArray(*s.playbackOrderTrackIDs);
    }
    w.key("repeatMode").string(QStringView(s.repeatMode));
    w.key("shuffleMode").string(QStringView(s.shuffleMode));
    w.key("currentTime").number(s.currentTime);
    w.key("isPlaying").boolean(s.isPlaying);
    if (s.volume)
        w.key("volume").number(*s.volume);
    if (s.savedAt)
        w.key("savedAt").timestamp(*s.savedAt);
    w.endObject();
}

namespace {

PlaybackStateSnapshot decodePlaybackStateSnapshot(od::document& document, const Path& path)
{
    enum : std::size_t { kCurrent, kUpcoming, kHistory, kOrder, kRepeat, kShuffle, kTime, kPlaying, kVolume, kSavedAt, };
    static constexpr std::string_view names[] = {"currentTrackID", "upcomingTrackIDs", "historyTrackIDs", "playbackOrderTrackIDs",
                                                 "repeatMode", "shuffleMode", "currentTime", "isPlaying", "volume", "savedAt"};
    static const KeyTable table(names);
    constexpr std::uint32_t required = (1u << kUpcoming) | (1u << kHistory) | (1u << kRepeat) | (1u << kShuffle) | (1u << kTime) | (1u << kPlaying);

    PlaybackStateSnapshot s;
    decodeFields(document, path, table, required, [&](std::size_t i, od::value& v, const Path& at) {
        switch (i) {
        case kCurrent: readOptional(v, s.currentTrackID, [&] { return readUuid(v, at); }); break;
        case kUpcoming: s.upcomingTrackIDs = readUuidArray(v, at); break;
        case kHistory: s.historyTrackIDs = readUuidArray(v, at); break;
        case kOrder: readOptional(v, s.playbackOrderTrackIDs, [&] { return readUuidArray(v, at); }); break;
        case kRepeat: s.repeatMode = readString(v, at); break;
        case kShuffle: s.shuffleMode = readString(v, at); break;
        case kTime: s.currentTime = readDouble(v, at); break;
        case kPlaying: s.isPlaying = readBool(v, at); break;
        case kVolume: readOptional(v, s.volume, [&] { return static_cast<float>(readDouble(v, at)); }); break;
        case kSavedAt: readOptional(v, s.savedAt, [&] { return readTimestamp(v, at); }); break;
        }
    });
    return s;
}

} // namespace

std::string encodePlaybackStateSnapshot(const PlaybackStateSnapshot& snapshot)
{
    std::string out;
    Writer w(out);
    encode(w, snapshot);
    return out;
}

PlaybackStateSnapshot decodePlaybackStateSnapshot(const fileio::FileBytes& bytes, std::string_view fileName)
{
    refuseOversizedStateFile(bytes, fileName);
    Document document(bytes, fileName);
    PlaybackStateSnapshot snapshot = decodePlaybackStateSnapshot(onDemandRoot(document), document.path());
    document.expectEnd();
    return snapshot;
}

} // namespace varno::json
