// Reading the library snapshot in place: the header checked on opening, the
// body a 64 KiB piece at a time as it is first read. The writer is in
// TrackSnapshot.cpp.

#include "storage/TrackSnapshot.h"

#include "platform/Error.h"
#include "storage/TrackSnapshotFormat.h"

#include <QLoggingCategory>

namespace varno::snapshot {

Q_DECLARE_LOGGING_CATEGORY(lcSnapshot)

using namespace format;

namespace {

bool fits(std::uint64_t sectionBytes, std::uint64_t offset, std::uint64_t length)
{
    return offset <= sectionBytes && length <= sectionBytes - offset;
}

} // namespace

// Every read of the body goes through here, checked against the section it
// belongs to and against the checksum of the pieces it covers, so that even
// a file that passes the checksums by accident cannot make the reader step
// outside it.
class Mapping::Reader {
public:
    Reader(std::optional<fileio::FileBytes> owned, std::string_view file, const Header& header)
        : m_owned(std::move(owned))
        , m_file(file)
        , m_header(header)
        , m_body(file.substr(header.bodyOffset))
        , m_checked((header.chunkCount + 63) / 64, 0)
    {
    }

    const Header& header() const { return m_header; }

    // The bytes [offset, offset + length) of a section, checked; null when
    // they lie outside it or the piece they lie in is damaged.
    const char* bytes(Section section, std::uint64_t offset, std::uint64_t length)
    {
        const SectionPlace& place = m_header.sections[section];
        if (!fits(place.bytes, offset, length) || !checked(place.offset + offset, length))
            return nullptr;
        return m_body.data() + place.offset + offset;
    }

    template<typename T>
    std::optional<std::span<const T>> array(Section section)
    {
        const std::uint64_t count = m_header.sections[section].bytes / sizeof(T);
        const char* at = bytes(section, 0, count * sizeof(T));
        if (!at)
            return std::nullopt;
        return std::span<const T>(reinterpret_cast<const T*>(at), count);
    }

    // Checks the whole body at once, for a reader of all of it; every read
    // after is then only held to its section.
    bool checkAll()
    {
        m_allChecked = m_allChecked || checked(0, m_body.size());
        return m_allChecked;
    }

    std::optional<QStringView> text(std::uint32_t number)
    {
        if (number >= m_header.textCount)
            return std::nullopt;
        std::uint64_t offset;
        std::uint32_t length;
        const char* entry = bytes(kTextIndex, std::uint64_t(number) * 8, 8);
        if (!entry)
            return std::nullopt;
        std::memcpy(&offset, entry, 8);
        const char* at = offset % 4 == 0 ? bytes(kTexts, offset, 4) : nullptr;
        if (!at)
            return std::nullopt;
        std::memcpy(&length, at, 4);
        const char* units = bytes(kTexts, offset + 4, std::uint64_t(length) * 2);
        if (!units)
            return std::nullopt;
        return QStringView(reinterpret_cast<const QChar*>(units), qsizetype(length));
    }

    std::optional<QByteArrayView> blob(std::uint64_t offset)
    {
        std::uint32_t length;
        const char* at = bytes(kBlobs, offset, 4);
        if (!at)
            return std::nullopt;
        std::memcpy(&length, at, 4);
        const char* data = bytes(kBlobs, offset + 4, length);
        if (!data)
            return std::nullopt;
        return QByteArrayView(data, qsizetype(length));
    }

    // Song `i` into `t`, its texts made by `makeText`.
    template<typename MakeText>
    bool song(std::size_t i, Track& t, MakeText&& makeText)
    {
        Record r;
        const char* at = i < m_header.songCount ? bytes(kRecords, i * sizeof(Record), sizeof(Record)) : nullptr;
        if (!at)
            return false;
        std::memcpy(&r, at, sizeof r);
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
        const auto text = [&](std::uint32_t number, QString& into) { return makeText(number, into); };
        const auto optionalText = [&](std::uint32_t number, std::optional<QString>& into) {
            if (number == kNoText)
                return true;
            return makeText(number, into.emplace());
        };
        if (!text(r.filename, t.filename) || !text(r.title, t.title) || !optionalText(r.artist, t.artist)
            || !optionalText(r.album, t.album) || !optionalText(r.genre, t.genre) || !optionalText(r.composer, t.composer)
            || !optionalText(r.albumArtist, t.albumArtist) || !optionalText(r.comments, t.comments)
            || !optionalText(r.lyrics, t.lyrics))
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

    std::optional<SearchColumnView> column(Section keys)
    {
        const std::optional<std::span<const char16_t>> text = array<char16_t>(keys);
        const std::optional<std::span<const std::uint32_t>> ends = array<std::uint32_t>(Section(keys + 1));
        const std::optional<std::span<const std::uint32_t>> counts = array<std::uint32_t>(Section(keys + 2));
        if (!text || !ends || !counts || counts->size() != kSearchUnitClasses)
            return std::nullopt;
        // A search walks the ends as it walks the texts: they must rise and
        // end at the last text's end.
        std::uint32_t before = 0;
        for (const std::uint32_t end : *ends) {
            if (end < before)
                return std::nullopt;
            before = end;
        }
        if (before != text->size())
            return std::nullopt;
        return SearchColumnView {*text, *ends, counts->first<kSearchUnitClasses>()};
    }

private:
    bool checked(std::uint64_t offset, std::uint64_t length)
    {
        if (m_allChecked)
            return true;
        if (m_damaged)
            return false;
        if (length == 0)
            return true;
        const std::uint64_t first = offset / kChunkBytes;
        const std::uint64_t last = (offset + length - 1) / kChunkBytes;
        for (std::uint64_t chunk = first; chunk <= last; ++chunk) {
            std::uint64_t& word = m_checked[chunk / 64];
            const std::uint64_t bit = std::uint64_t(1) << (chunk % 64);
            if (word & bit)
                continue;
            std::uint64_t expected;
            std::memcpy(&expected, m_file.data() + sizeof(Header) + chunk * 8, 8);
            if (checksumOf(m_body.substr(chunk * kChunkBytes, kChunkBytes)) != expected) {
                qCDebug(lcSnapshot) << "library snapshot damaged at piece" << chunk;
                m_damaged = true;
                return false;
            }
            word |= bit;
        }
        return true;
    }

    std::optional<fileio::FileBytes> m_owned;
    std::string_view m_file;
    Header m_header;
    std::string_view m_body;
    std::vector<std::uint64_t> m_checked;
    bool m_damaged = false;
    bool m_allChecked = false;
};

namespace {

bool sectionsAreSound(const Header& h, std::size_t fileSize)
{
    if (h.fileSize != fileSize || fileSize % 8 != 0 || h.recordSize != sizeof(Record) || h.chunkBytes != kChunkBytes
        || h.bodyOffset != sizeof(Header) + h.chunkCount * 8 || h.bodyOffset > fileSize)
        return false;
    const std::uint64_t body = fileSize - h.bodyOffset;
    if (h.chunkCount != (body + kChunkBytes - 1) / kChunkBytes)
        return false;
    for (const SectionPlace& place : h.sections) {
        if (place.offset % 8 != 0 || !fits(body, place.offset, place.bytes))
            return false;
    }
    const auto holds = [&](Section section, std::uint64_t count, std::uint64_t size) {
        return h.sections[section].bytes / size >= count;
    };
    return h.textCount <= body / 8 && h.songCount <= body / sizeof(Record) && holds(kTextIndex, h.textCount, 8)
        && holds(kRecords, h.songCount, sizeof(Record));
}

} // namespace

Mapping::Mapping(std::unique_ptr<Reader> reader)
    : m_reader(std::move(reader))
{
}

Mapping::~Mapping() = default;

namespace {

// The header, when `bytes` begin a snapshot of the tracks file at
// `tracksFile` whose sections fit and whose header is intact.
std::optional<Header> soundHeader(std::string_view bytes, const fileio::FileVersion& tracksFile)
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
    if (!sectionsAreSound(header, bytes.size()) || headerChecksumOf(bytes.substr(0, header.bodyOffset)) != header.headerChecksum)
        return std::nullopt;
    return header;
}

} // namespace

std::unique_ptr<Mapping> Mapping::over(std::string_view bytes, const fileio::FileVersion& tracksFile)
{
    const std::optional<Header> header = soundHeader(bytes, tracksFile);
    if (!header)
        return nullptr;
    return std::unique_ptr<Mapping>(new Mapping(std::make_unique<Reader>(std::nullopt, bytes, *header)));
}

std::unique_ptr<Mapping> Mapping::open(const QString& path, const fileio::FileVersion& tracksFile)
{
    std::optional<fileio::FileBytes> bytes;
    try {
        bytes = fileio::mapWholeFile(path);
    } catch (const Error& error) {
        qCDebug(lcSnapshot).noquote() << "library snapshot not readable:" << error.description();
        return nullptr;
    }
    if (!bytes)
        return nullptr;
    // The view stays where it is when the bytes move into the reader.
    const std::string_view view = bytes->view();
    const std::optional<Header> header = soundHeader(view, tracksFile);
    if (!header)
        return nullptr;
    return std::unique_ptr<Mapping>(new Mapping(std::make_unique<Reader>(std::move(bytes), view, *header)));
}

std::size_t Mapping::songCount() const
{
    return m_reader->header().songCount;
}

std::optional<TrackList> Mapping::songs()
{
    Reader& reader = *m_reader;
    if (!reader.checkAll())
        return std::nullopt;
    const Header& header = reader.header();
    // Each text once, shared by every song that has it.
    std::vector<QString> texts(header.textCount);
    for (std::uint32_t i = 0; i < texts.size(); ++i) {
        const std::optional<QStringView> text = reader.text(i);
        if (!text)
            return std::nullopt;
        texts[i] = text->toString();
    }
    const auto shared = [&](std::uint32_t number, QString& into) {
        if (number >= texts.size())
            return false;
        into = texts[number];
        return true;
    };
    // Every song lives in one block; each shared record keeps the block
    // alive, so a start costs one allocation for all the records instead of
    // one per song.
    auto block = std::make_shared<std::vector<Track>>(header.songCount);
    QList<SharedTrack> songs;
    songs.reserve(qsizetype(header.songCount));
    for (std::size_t i = 0; i < header.songCount; ++i) {
        Track& song = (*block)[i];
        if (!reader.song(i, song, shared))
            return std::nullopt;
        songs.append(SharedTrack(block, &song));
    }
    return TrackList(std::move(songs));
}

std::optional<Track> Mapping::song(std::size_t i)
{
    Track song;
    const auto made = [this](std::uint32_t number, QString& into) {
        const std::optional<QStringView> text = m_reader->text(number);
        if (text)
            into = text->toString();
        return text.has_value();
    };
    if (!m_reader->song(i, song, made))
        return std::nullopt;
    return song;
}

bool Mapping::borrowSong(std::size_t i, Track& into)
{
    into = Track();
    const auto borrowed = [this](std::uint32_t number, QString& text) {
        const std::optional<QStringView> view = m_reader->text(number);
        if (view)
            text = QString::fromRawData(view->data(), view->size());
        return view.has_value();
    };
    return m_reader->song(i, into, borrowed);
}

bool Mapping::checkAll()
{
    return m_reader->checkAll();
}

std::optional<SongSearchView> Mapping::searchView()
{
    Reader& reader = *m_reader;
    const std::optional<SearchColumnView> titles = reader.column(kTitleKeys);
    const std::optional<SearchColumnView> artists = reader.column(kArtistKeys);
    const std::optional<SearchColumnView> albums = reader.column(kAlbumKeys);
    const std::optional<SearchColumnView> genres = reader.column(kGenreKeys);
    const std::optional<std::span<const SongSearchSlots>> songSlots = reader.array<SongSearchSlots>(kSearchSlots);
    if (!titles || !artists || !albums || !genres || !songSlots || titles->ends.size() != songCount() || songSlots->size() != songCount())
        return std::nullopt;
    const auto names = [&](Section section, const SearchColumnView& keys) {
        return reader.header().sections[section].bytes / 4 == keys.ends.size();
    };
    if (!names(kArtistNames, *artists) || !names(kAlbumNames, *albums) || !names(kGenreNames, *genres))
        return std::nullopt;
    for (const SongSearchSlots& song : *songSlots) {
        if (song.artist > artists->ends.size() || song.album > albums->ends.size() || song.genre > genres->ends.size())
            return std::nullopt;
    }
    return SongSearchView {*titles, *artists, *albums, *genres, *songSlots};
}

std::optional<QString> Mapping::name(NameField field, std::uint32_t i)
{
    const Section section = field == NameField::artist ? kArtistNames : field == NameField::album ? kAlbumNames : kGenreNames;
    const char* at = m_reader->bytes(section, std::uint64_t(i) * 4, 4);
    if (!at)
        return std::nullopt;
    std::uint32_t number;
    std::memcpy(&number, at, 4);
    const std::optional<QStringView> text = m_reader->text(number);
    if (!text)
        return std::nullopt;
    return text->toString();
}

} // namespace varno::snapshot
