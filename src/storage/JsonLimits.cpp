#include "JsonLimits.h"

#include "storage/Json.h"

#include <bit>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace varno::json {

namespace {

// Where the characters that matter to nesting are in one 64-byte block, one
// bit per byte.
struct Block {
    std::uint64_t quotes = 0;
    std::uint64_t backslashes = 0;
    std::uint64_t opens = 0;
    std::uint64_t closes = 0;
};

// '[' and '{' differ only in the bit 0x20, and so do ']' and '}': one
// comparison after setting that bit finds both.
Block classify(const char* p)
{
    Block block;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i open = _mm_set1_epi8('{');
    const __m128i close = _mm_set1_epi8('}');
    for (int part = 0; part < 4; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        const __m128i folded = _mm_or_si128(bytes, caseBit);
        const int shift = 16 * part;
        block.quotes |= std::uint64_t(std::uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)))) << shift;
        block.backslashes |= std::uint64_t(std::uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash)))) << shift;
        block.opens |= std::uint64_t(std::uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, open)))) << shift;
        block.closes |= std::uint64_t(std::uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, close)))) << shift;
    }
#else
    for (int i = 0; i < 64; ++i) {
        const char c = p[i];
        const std::uint64_t bit = std::uint64_t(1) << i;
        if (c == '"')
            block.quotes |= bit;
        else if (c == '\\')
            block.backslashes |= bit;
        else if ((c | 0x20) == '{')
            block.opens |= bit;
        else if ((c | 0x20) == '}')
            block.closes |= bit;
    }
#endif
    return block;
}

#if defined(__x86_64__)
// The same with one 64-byte load and four comparisons straight into masks,
// for processors that have AVX-512BW; about twice as fast, which matters on
// a library file of hundreds of megabytes read at every start.
__attribute__((target("avx512bw"))) Block classifyWide(const char* p)
{
    const __m512i bytes = _mm512_loadu_si512(p);
    const __m512i folded = _mm512_or_si512(bytes, _mm512_set1_epi8(0x20));
    Block block;
    block.quotes = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('"'));
    block.backslashes = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\\'));
    block.opens = _mm512_cmpeq_epi8_mask(folded, _mm512_set1_epi8('{'));
    block.closes = _mm512_cmpeq_epi8_mask(folded, _mm512_set1_epi8('}'));
    return block;
}

bool hasWideKernel()
{
    static const bool supported = __builtin_cpu_supports("avx512bw");
    return supported;
}
#endif

// Bit i of the result is the parity of the bits 0..i of `bits`: for quotes,
// whether byte i lies inside a string that began in this block.
std::uint64_t prefixParity(std::uint64_t bits)
{
    bits ^= bits << 1;
    bits ^= bits << 2;
    bits ^= bits << 4;
    bits ^= bits << 8;
    bits ^= bits << 16;
    bits ^= bits << 32;
    return bits;
}

class NestingScan {
public:
    explicit NestingScan(int limit)
        : m_limit(limit)
    {
    }

    // Blocks with escapes are rare (our writer escapes only quotes,
    // backslashes and control characters) and are read byte by byte; the
    // others by their bits.
    bool block(const char* p, const Block& block)
    {
        if (block.backslashes || m_escaped)
            return bytes(p, 64);
        if (!(block.opens | block.closes)) {
            if (std::popcount(block.quotes) & 1)
                m_inString = !m_inString;
            return true;
        }
        const std::uint64_t inside = prefixParity(block.quotes) ^ (m_inString ? ~std::uint64_t(0) : 0);
        m_inString = (inside >> 63) != 0;
        const std::uint64_t opens = block.opens & ~inside;
        const std::uint64_t closes = block.closes & ~inside;
        // Most blocks can neither pass the limit (even if every opening came
        // first) nor close more than is open: their order does not matter,
        // and the depth moves by the counts alone.
        const int opened = std::popcount(opens);
        const int closed = std::popcount(closes);
        if (m_depth + opened <= m_limit && m_depth >= closed) {
            m_depth += opened - closed;
            return true;
        }
        for (std::uint64_t brackets = opens | closes; brackets; brackets &= brackets - 1) {
            const std::uint64_t first = brackets & (~brackets + 1);
            if (!bracket((opens & first) != 0))
                return false;
        }
        return true;
    }

    bool bytes(const char* p, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = p[i];
            if (m_inString) {
                if (m_escaped)
                    m_escaped = false;
                else if (c == '\\')
                    m_escaped = true;
                else if (c == '"')
                    m_inString = false;
            } else if (c == '"') {
                m_inString = true;
            } else if ((c | 0x20) == '{' || (c | 0x20) == '}') {
                if (!bracket((c | 0x20) == '{'))
                    return false;
            }
        }
        return true;
    }

private:
    // A closing bracket with nothing open is broken JSON for the parser to
    // report; it must not buy room for deeper nesting later.
    bool bracket(bool opens)
    {
        if (opens)
            return ++m_depth <= m_limit;
        if (m_depth > 0)
            --m_depth;
        return true;
    }

    const int m_limit;
    int m_depth = 0;
    bool m_inString = false;
    bool m_escaped = false;
};

#if defined(__x86_64__)
__attribute__((target("avx512bw"))) bool scanWide(NestingScan& scan, const char* text, std::size_t size)
{
    std::size_t at = 0;
    for (; at + 64 <= size; at += 64) {
        if (!scan.block(text + at, classifyWide(text + at)))
            return false;
    }
    return scan.bytes(text + at, size - at);
}
#endif

} // namespace

bool nestsWithin(const char* text, std::size_t size, int limit)
{
#if defined(__x86_64__)
    if (hasWideKernel()) {
        NestingScan scan(limit);
        return scanWide(scan, text, size);
    }
#endif
    return nestsWithinPortably(text, size, limit);
}

bool nestsWithinPortably(const char* text, std::size_t size, int limit)
{
    NestingScan scan(limit);
    std::size_t at = 0;
    for (; at + 64 <= size; at += 64) {
        if (!scan.block(text + at, classify(text + at)))
            return false;
    }
    return scan.bytes(text + at, size - at);
}

void refuseOversizedStateFile(const fileio::FileBytes& bytes, std::string_view fileName)
{
    if (bytes.size() <= kMaximumStateFileBytes)
        return;
    const std::size_t megabytes = (bytes.size() + (std::size_t(1) << 19)) >> 20;
    throw DecodingError(QStringLiteral("%1 is too large to be a state file (%2 MB)")
                            .arg(QString::fromUtf8(fileName.data(), static_cast<qsizetype>(fileName.size())))
                            .arg(megabytes));
}

} // namespace varno::json
