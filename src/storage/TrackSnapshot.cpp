#include "storage/TrackSnapshot.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>

#include <bit>
#include <cstring>
#include <limits>

namespace varno::snapshot {

Q_LOGGING_CATEGORY(lcSnapshot, "varno.database.snapshot")

namespace {

constexpr char kMagic[8] = {'V', 'A', 'R', 'N', 'O', 'L', 'I', 'B'};
// Written as a number and compared as one: a file from a machine of the
// other byte order reads as another value and is refused.
constexpr std::uint32_t kByteOrderMark = 0x01020304;
constexpr std::uint32_t kNoText = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kNoBlob = std::numeric_limits<std::uint64_t>::max();

struct Header {
    char magic[8];
    std::uint32_t formatVersion;
    std::uint32_t byteOrder;
    std::uint64_t device;
    std::uint64_t inode;
    std::int64_t size;
    std::int64_t modifiedNanoseconds;
    std::uint64_t songCount;
    std::uint64_t textCount;
    // Byte offsets from the start of the file; every section starts at a
    // multiple of eight.
    std::uint64_t textIndexOffset;
    std::uint64_t textsOffset;
    std::uint64_t textsBytes;
    std::uint64_t blobsOffset;
    std::uint64_t blobsBytes;
    std::uint64_t recordsOffset;
    std::uint64_t recordSize;
    std::uint64_t fileSize;
    // Over the whole file with this field taken as zero.
    std::uint64_t checksum;
};
static_assert(sizeof(Header) % 8 == 0);
constexpr std::size_t kChecksumAt = offsetof(Header, checksum);

enum Flag : std::uint32_t {
    kHasYear = 1u << 0,
    kHasTrackNumber = 1u << 1,
    kHasDiscNumber = 1u << 2,
    kHasBpm = 1u << 3,
    kHasBitrate = 1u << 4,
    kHasSampleRate = 1u << 5,
    kHasDateAdded = 1u << 6,
    kTagFieldsRead = 1u << 7,
};

// Texts by number into the text index; the file URL and the bookmark by byte
// offset into the blob section (each is one song's own).
struct Record {
    unsigned char id[16];
    std::uint64_t fileURL;
    std::uint64_t bookmark;
    double duration;
    double dateAdded;
    std::int64_t year;
    std::int64_t trackNumber;
    std::int64_t discNumber;
    std::int64_t bpm;
    std::int64_t rating;
    std::int64_t bitrate;
    std::int64_t sampleRate;
    std::uint32_t filename;
    std::uint32_t title;
    std::uint32_t artist;
    std::uint32_t album;
    std::uint32_t genre;
    std::uint32_t composer;
    std::uint32_t albumArtist;
    std::uint32_t comments;
    std::uint32_t lyrics;
    std::uint32_t flags;
};
static_assert(sizeof(Record) % 8 == 0);

// Four independent lanes of multiply-rotate over 64-bit words: several
// gigabytes a second, so checking a snapshot costs a few milliseconds, and
// any flipped or missing byte changes the result. It guards against damage,
// not against someone forging a file.
class Checksum {
public:
    void add(const char* data, std::size_t size)
    {
        std::size_t words = size / 8;
        const char* at = data;
        while (words >= 4) {
            for (std::uint64_t& lane : m_lanes)
                lane = mix(lane, load(at)), at += 8;
            words -= 4;
        }
        for (; words > 0; --words, at += 8) {
            std::uint64_t& lane = m_lanes[m_next++ % 4];
            lane = mix(lane, load(at));
        }
        m_length += size;
    }

    std::uint64_t result() const
    {
        std::uint64_t h = m_length * kPrime;
        for (const std::uint64_t lane : m_lanes)
            h = std::rotl(h ^ lane, 27) * kPrime + 0x52dce729u;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return h;
    }

private:
    static constexpr std::uint64_t kPrime = 0x9e3779b185ebca87ull;

    static std::uint64_t load(const char* at)
    {
        std::uint64_t word;
        std::memcpy(&word, at, 8);
        return word;
    }
    static std::uint64_t mix(std::uint64_t lane, std::uint64_t word) { return std::rotl(lane + word * 0xc2b2ae3d27d4eb4full, 31) * kPrime; }

    std::uint64_t m_lanes[4] = {0x243f6a8885a308d3ull, 0x13198a2e03707344ull, 0xa4093822299f31d0ull, 0x082efa98ec4e6c89ull};
    std::uint64_t m_length = 0;
    std::size_t m_next = 0;
};

std::uint64_t checksumOf(std::string_view file)
{
    Checksum sum;
    sum.add(file.data(), kChecksumAt);
    static constexpr char kZero[8] = {};
    sum.add(kZero, 8);
    sum.add(file.data() + kChecksumAt + 8, file.size() - kChecksumAt - 8);
    return sum.result();
}

void padTo8(std::string& bytes)
{
    bytes.resize((bytes.size() + 7) & ~std::size_t(7), '\0');
}

template<typename T>
void append(std::string& bytes, const T& value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

class Writer {
public:
    std::uint32_t text(const QString& text)
    {
        if (const auto known = m_numbers.constFind(text); known != m_numbers.constEnd())
            return *known;
        const auto number = std::uint32_t(m_offsets.size());
        m_numbers.insert(text, number);
        m_offsets.push_back(m_texts.size());
        append(m_texts, std::uint32_t(text.size()));
        m_texts.append(reinterpret_cast<const char*>(text.utf16()), std::size_t(text.size()) * 2);
        m_texts.resize((m_texts.size() + 3) & ~std::size_t(3), '\0');
        return number;
    }
    std::uint32_t text(const std::optional<QString>& value) { return value ? text(*value) : kNoText; }

    std::uint64_t blob(const QByteArray& bytes)
    {
        const std::uint64_t at = m_blobs.size();
        append(m_blobs, std::uint32_t(bytes.size()));
        m_blobs.append(bytes.constData(), std::size_t(bytes.size()));
        m_blobs.resize((m_blobs.size() + 3) & ~std::size_t(3), '\0');
        return at;
    }

    std::string finish(const std::string& records, std::size_t songCount, const fileio::FileVersion& madeFrom)
    {
        Header header {};
        std::memcpy(header.magic, kMagic, sizeof kMagic);
        header.formatVersion = kFormatVersion;
        header.byteOrder = kByteOrderMark;
        header.device = madeFrom.device;
        header.inode = madeFrom.inode;
        header.size = madeFrom.size;
        header.modifiedNanoseconds = madeFrom.modifiedNanoseconds;
        header.songCount = songCount;
        header.textCount = m_offsets.size();
        header.recordSize = sizeof(Record);

        std::string file(sizeof(Header), '\0');
        header.textIndexOffset = file.size();
        for (const std::size_t offset : m_offsets)
            append(file, std::uint64_t(offset));
        padTo8(m_texts);
        header.textsOffset = file.size();
        header.textsBytes = m_texts.size();
        file += m_texts;
        padTo8(m_blobs);
        header.blobsOffset = file.size();
        header.blobsBytes = m_blobs.size();
        file += m_blobs;
        header.recordsOffset = file.size();
        file += records;
        header.fileSize = file.size();
        std::memcpy(file.data(), &header, sizeof header);
        header.checksum = checksumOf(file);
        std::memcpy(file.data() + kChecksumAt, &header.checksum, sizeof header.checksum);
        return file;
    }

private:
    QHash<QString, std::uint32_t> m_numbers;
    std::vector<std::size_t> m_offsets;
    std::string m_texts;
    std::string m_blobs;
};

// Reads a snapshot's sections with every offset and length checked against
// the file, so that even a file that passes the checksum by accident cannot
// make the reader step outside it.
class Reader {
public:
    Reader(std::string_view file, const Header& header)
        : m_file(file)
        , m_header(header)
    {
    }

    bool loadTexts()
    {
        m_texts.resize(m_header.textCount);
        const char* index = m_file.data() + m_header.textIndexOffset;
        for (std::size_t i = 0; i < m_texts.size(); ++i) {
            std::uint64_t offset;
            std::memcpy(&offset, index + i * 8, 8);
            std::uint32_t length;
            if (offset % 4 != 0 || !fits(m_header.textsBytes, offset, 4))
                return false;
            const char* at = m_file.data() + m_header.textsOffset + offset;
            std::memcpy(&length, at, 4);
            if (!fits(m_header.textsBytes, offset + 4, std::uint64_t(length) * 2))
                return false;
            m_texts[i] = QString(reinterpret_cast<const QChar*>(at + 4), qsizetype(length));
        }
        return true;
    }

    bool text(std::uint32_t number, QString& into) const
    {
        if (number >= m_texts.size())
            return false;
        into = m_texts[number];
        return true;
    }
    bool text(std::uint32_t number, std::optional<QString>& into) const
    {
        if (number == kNoText)
            return true;
        into.emplace();
        return text(number, *into);
    }

    std::optional<QByteArrayView> blob(std::uint64_t offset) const
    {
        std::uint32_t length;
        if (!fits(m_header.blobsBytes, offset, 4))
            return std::nullopt;
        const char* at = m_file.data() + m_header.blobsOffset + offset;
        std::memcpy(&length, at, 4);
        if (!fits(m_header.blobsBytes, offset + 4, length))
            return std::nullopt;
        return QByteArrayView(at + 4, qsizetype(length));
    }

    bool song(std::size_t i, Track& t) const
    {
        Record r;
        std::memcpy(&r, m_file.data() + m_header.recordsOffset + i * sizeof(Record), sizeof r);
        t.id = QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(r.id), 16));
        const std::optional<QByteArrayView> url = blob(r.fileURL);
        if (!url)
            return false;
        std::optional<FileURL> fileURL = FileURL::fromEncoded(*url);
        if (!fileURL)
            return false;
        t.fileURL = std::move(*fileURL);
        if (r.bookmark != kNoBlob) {
            const std::optional<QByteArrayView> bookmark = blob(r.bookmark);
            if (!bookmark)
                return false;
            t.securityScopedBookmark = bookmark->toByteArray();
        }
        if (!text(r.filename, t.filename) || !text(r.title, t.title) || !text(r.artist, t.artist) || !text(r.album, t.album)
            || !text(r.genre, t.genre) || !text(r.composer, t.composer) || !text(r.albumArtist, t.albumArtist)
            || !text(r.comments, t.comments) || !text(r.lyrics, t.lyrics))
            return false;
        t.duration = r.duration;
        t.rating = r.rating;
        const auto number = [&](Flag flag, std::int64_t value, std::optional<std::int64_t>& into) {
            if (r.flags & flag)
                into = value;
        };
        number(kHasYear, r.year, t.year);
        number(kHasTrackNumber, r.trackNumber, t.trackNumber);
        number(kHasDiscNumber, r.discNumber, t.discNumber);
        number(kHasBpm, r.bpm, t.bpm);
        number(kHasBitrate, r.bitrate, t.bitrate);
        number(kHasSampleRate, r.sampleRate, t.sampleRate);
        if (r.flags & kHasDateAdded)
            t.dateAdded = Timestamp::fromSecondsSinceReferenceDate(r.dateAdded);
        t.tagFieldsRead = (r.flags & kTagFieldsRead) != 0;
        return true;
    }

private:
    static bool fits(std::uint64_t sectionBytes, std::uint64_t offset, std::uint64_t length)
    {
        return offset <= sectionBytes && length <= sectionBytes - offset;
    }

    std::string_view m_file;
    const Header& m_header;
    std::vector<QString> m_texts;
};

bool sectionsAreSound(const Header& h, std::size_t fileSize)
{
    const auto within = [&](std::uint64_t offset, std::uint64_t bytes) { return offset % 8 == 0 && offset <= fileSize && bytes <= fileSize - offset; };
    return h.fileSize == fileSize && fileSize % 8 == 0 && h.recordSize == sizeof(Record) && h.textCount <= fileSize / 8 && h.songCount <= fileSize / sizeof(Record)
        && within(h.textIndexOffset, h.textCount * 8) && within(h.textsOffset, h.textsBytes) && within(h.blobsOffset, h.blobsBytes)
        && within(h.recordsOffset, h.songCount * sizeof(Record));
}

} // namespace

std::string encode(const TrackList& tracks, const fileio::FileVersion& madeFrom)
{
    Writer writer;
    std::string records;
    records.reserve(tracks.size() * sizeof(Record));
    for (const Track& t : tracks) {
        Record r {};
        const QByteArray id = t.id.toRfc4122();
        std::memcpy(r.id, id.constData(), 16);
        r.fileURL = writer.blob(t.fileURL.encoded());
        r.bookmark = t.securityScopedBookmark ? writer.blob(*t.securityScopedBookmark) : kNoBlob;
        r.duration = t.duration;
        r.rating = t.rating;
        r.filename = writer.text(t.filename);
        r.title = writer.text(t.title);
        r.artist = writer.text(t.artist);
        r.album = writer.text(t.album);
        r.genre = writer.text(t.genre);
        r.composer = writer.text(t.composer);
        r.albumArtist = writer.text(t.albumArtist);
        r.comments = writer.text(t.comments);
        r.lyrics = writer.text(t.lyrics);
        const auto number = [&](Flag flag, const std::optional<std::int64_t>& value, std::int64_t& into) {
            if (value) {
                r.flags |= flag;
                into = *value;
            }
        };
        number(kHasYear, t.year, r.year);
        number(kHasTrackNumber, t.trackNumber, r.trackNumber);
        number(kHasDiscNumber, t.discNumber, r.discNumber);
        number(kHasBpm, t.bpm, r.bpm);
        number(kHasBitrate, t.bitrate, r.bitrate);
        number(kHasSampleRate, t.sampleRate, r.sampleRate);
        if (t.dateAdded) {
            r.flags |= kHasDateAdded;
            r.dateAdded = t.dateAdded->secondsSinceReferenceDate;
        }
        if (t.tagFieldsRead)
            r.flags |= kTagFieldsRead;
        append(records, r);
    }
    return writer.finish(records, tracks.size(), madeFrom);
}

std::optional<TrackList> decode(std::string_view bytes, const fileio::FileVersion& tracksFile)
{
    Header header;
    if (bytes.size() < sizeof header)
        return std::nullopt;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.byteOrder != kByteOrderMark || header.formatVersion != kFormatVersion)
        return std::nullopt;
    if (!tracksFile.exists || header.device != tracksFile.device || header.inode != tracksFile.inode || header.size != tracksFile.size
        || header.modifiedNanoseconds != tracksFile.modifiedNanoseconds)
        return std::nullopt;
    if (!sectionsAreSound(header, bytes.size()) || checksumOf(bytes) != header.checksum)
        return std::nullopt;

    Reader reader(bytes, header);
    if (!reader.loadTexts())
        return std::nullopt;
    // Every song lives in one block; each shared record keeps the block
    // alive, so a start costs one allocation for all the records instead of
    // one per song.
    auto block = std::make_shared<std::vector<Track>>(header.songCount);
    QList<SharedTrack> songs;
    songs.reserve(qsizetype(header.songCount));
    for (std::size_t i = 0; i < header.songCount; ++i) {
        Track& song = (*block)[i];
        if (!reader.song(i, song))
            return std::nullopt;
        songs.append(SharedTrack(block, &song));
    }
    return TrackList(std::move(songs));
}

bool write(const QString& path, const TrackList& tracks, const fileio::FileVersion& madeFrom)
{
    try {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            return false;
        fileio::writeFileAtomically(path, encode(tracks, madeFrom));
        return true;
    } catch (const Error& error) {
        qCDebug(lcSnapshot).noquote() << "no library snapshot written:" << error.description();
        return false;
    }
}

std::optional<TrackList> read(const QString& path, const fileio::FileVersion& tracksFile)
{
    std::optional<fileio::FileBytes> bytes;
    try {
        bytes = fileio::readWholeFile(path);
    } catch (const Error& error) {
        qCDebug(lcSnapshot).noquote() << "library snapshot not readable:" << error.description();
        return std::nullopt;
    }
    if (!bytes)
        return std::nullopt;
    return decode(bytes->view(), tracksFile);
}

} // namespace varno::snapshot
