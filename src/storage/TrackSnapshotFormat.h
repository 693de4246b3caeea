#pragma once

// The layout of the library snapshot, shared by its writer and its reader
// and by nobody else.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace varno::snapshot::format {

inline constexpr char kMagic[8] = {'V', 'A', 'R', 'N', 'O', 'L', 'I', 'B'};
// Written as a number and compared as one: a file from a machine of the
// other byte order reads as another value and is refused.
inline constexpr std::uint32_t kByteOrderMark = 0x01020304;
inline constexpr std::uint32_t kNoText = std::numeric_limits<std::uint32_t>::max();
inline constexpr std::uint64_t kNoBlob = std::numeric_limits<std::uint64_t>::max();
// The body is checked in pieces of this size, each as it is first read: a
// search that reads a tenth of the file checks a tenth of it.
inline constexpr std::uint64_t kChunkBytes = 64 << 10;

enum Section : std::uint32_t {
    kTextIndex, // an 8-byte offset into kTexts per text
    kTexts, // per text: a 4-byte length in code units, then UTF-16
    kBlobs, // per blob: a 4-byte length, then the bytes
    kRecords, // one Record per song
    // The song search table (storage/SongSearchTable.h): for the titles and
    // for each name field the search-form column (code units, the end of
    // each text, how often each unit class occurs); for the names, the
    // number of each name's text; one SongSearchSlots per song.
    kTitleKeys,
    kTitleEnds,
    kTitleCounts,
    kArtistNames,
    kArtistKeys,
    kArtistEnds,
    kArtistCounts,
    kAlbumNames,
    kAlbumKeys,
    kAlbumEnds,
    kAlbumCounts,
    kGenreNames,
    kGenreKeys,
    kGenreEnds,
    kGenreCounts,
    kSearchSlots,
    kSectionCount
};

// Where a section lies, in bytes from the start of the body.
struct SectionPlace {
    std::uint64_t offset;
    std::uint64_t bytes;
};

// The header, then the checksum of every chunk of the body, then the body
// from `bodyOffset` on. `headerChecksum` covers everything before the body
// with itself taken as zero.
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
    std::uint64_t recordSize;
    std::uint64_t chunkBytes;
    std::uint64_t chunkCount;
    std::uint64_t bodyOffset;
    std::uint64_t fileSize;
    SectionPlace sections[kSectionCount];
    std::uint64_t headerChecksum;
};
static_assert(sizeof(Header) % 8 == 0);
inline constexpr std::size_t kHeaderChecksumAt = offsetof(Header, headerChecksum);

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
// gigabytes a second, and any flipped or missing byte changes the result.
// It guards against damage, not against someone forging a file.
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

inline std::uint64_t checksumOf(std::string_view bytes)
{
    Checksum sum;
    sum.add(bytes.data(), bytes.size());
    return sum.result();
}

// Over everything before the body, with the header's own checksum as zero.
inline std::uint64_t headerChecksumOf(std::string_view beforeBody)
{
    Checksum sum;
    sum.add(beforeBody.data(), kHeaderChecksumAt);
    static constexpr char kZero[8] = {};
    sum.add(kZero, 8);
    sum.add(beforeBody.data() + kHeaderChecksumAt + 8, beforeBody.size() - kHeaderChecksumAt - 8);
    return sum.result();
}

} // namespace varno::snapshot::format
