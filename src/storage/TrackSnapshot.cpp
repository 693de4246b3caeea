#include "storage/TrackSnapshot.h"

#include "platform/Error.h"
#include "storage/TrackSnapshotFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>

namespace varno::snapshot {

Q_LOGGING_CATEGORY(lcSnapshot, "varno.database.snapshot")

using namespace format;

namespace {

template<typename T>
void append(std::string& bytes, const T& value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

template<typename T>
void appendAll(std::string& bytes, std::span<const T> values)
{
    bytes.append(reinterpret_cast<const char*>(values.data()), values.size_bytes());
}

void padTo8(std::string& bytes)
{
    bytes.resize((bytes.size() + 7) & ~std::size_t(7), '\0');
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

    // Appends a section to the body.
    void section(Section which, std::string_view bytes)
    {
        padTo8(m_body);
        m_header.sections[which] = {m_body.size(), bytes.size()};
        m_body += bytes;
    }

    void column(Section keys, const SearchColumnView& column)
    {
        std::string bytes;
        appendAll(bytes, column.text);
        section(keys, bytes);
        bytes.clear();
        appendAll(bytes, column.ends);
        section(Section(keys + 1), bytes);
        bytes.clear();
        appendAll(bytes, std::span<const std::uint32_t>(column.counts));
        section(Section(keys + 2), bytes);
    }

    void names(Section section, const SongSearchTable::Names& names)
    {
        std::string numbers;
        for (const QString& name : names.names)
            append(numbers, text(name));
        this->section(section, numbers);
        column(Section(section + 1), names.keys.view());
    }

    std::string finish(const std::string& records, std::size_t songCount, const fileio::FileVersion& madeFrom)
    {
        std::string index;
        for (const std::size_t offset : m_offsets)
            append(index, std::uint64_t(offset));
        section(kTextIndex, index);
        padTo8(m_texts);
        section(kTexts, m_texts);
        padTo8(m_blobs);
        section(kBlobs, m_blobs);
        section(kRecords, records);
        padTo8(m_body);

        Header& header = m_header;
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
        header.chunkBytes = kChunkBytes;
        header.chunkCount = (m_body.size() + kChunkBytes - 1) / kChunkBytes;
        header.bodyOffset = sizeof(Header) + header.chunkCount * 8;
        header.fileSize = header.bodyOffset + m_body.size();

        std::string file(sizeof(Header), '\0');
        file.reserve(header.fileSize);
        for (std::uint64_t chunk = 0; chunk < header.chunkCount; ++chunk) {
            const std::uint64_t from = chunk * kChunkBytes;
            append(file, checksumOf(std::string_view(m_body).substr(from, kChunkBytes)));
        }
        std::memcpy(file.data(), &header, sizeof header);
        header.headerChecksum = headerChecksumOf(file);
        std::memcpy(file.data() + kHeaderChecksumAt, &header.headerChecksum, sizeof header.headerChecksum);
        file += m_body;
        return file;
    }

private:
    QHash<QString, std::uint32_t> m_numbers;
    std::vector<std::size_t> m_offsets;
    std::string m_texts;
    std::string m_blobs;
    std::string m_body;
    Header m_header {};
};

} // namespace

std::string encode(const TrackList& tracks, const fileio::FileVersion& madeFrom)
{
    Writer writer;
    // The search table goes first, so that its names are the first texts and
    // its sections lie together at the start of the body.
    const std::unique_ptr<SongSearchTable> search = SongSearchTable::build(tracks);
    writer.column(kTitleKeys, search->titles().view());
    writer.names(kArtistNames, search->artists());
    writer.names(kAlbumNames, search->albums());
    writer.names(kGenreNames, search->genres());
    std::string songSlots;
    appendAll(songSlots, std::span<const SongSearchSlots>(search->songSlots()));
    writer.section(kSearchSlots, songSlots);

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

std::optional<TrackList> decode(std::string_view bytes, const fileio::FileVersion& tracksFile)
{
    const std::unique_ptr<Mapping> mapping = Mapping::over(bytes, tracksFile);
    return mapping ? mapping->songs() : std::nullopt;
}

std::optional<TrackList> read(const QString& path, const fileio::FileVersion& tracksFile)
{
    const std::unique_ptr<Mapping> mapping = Mapping::open(path, tracksFile);
    return mapping ? mapping->songs() : std::nullopt;
}

} // namespace varno::snapshot
