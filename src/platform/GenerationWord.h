#pragma once

#include <cstdint>

namespace varno::generation_word {

// Generations travel with a position in one 64-bit word: the low 16 bits of
// the generation above 48 bits of position (samples or frames; 48 bits hold
// centuries of audio). 65,536 seeks between two looks of the callback do not
// happen.
inline constexpr int kPositionBits = 48;
inline constexpr std::uint64_t kPositionMask = (std::uint64_t(1) << kPositionBits) - 1;

inline std::uint64_t tagged(std::uint32_t generation, std::uint64_t position)
{
    return (std::uint64_t(generation & 0xFFFF) << kPositionBits) | (position & kPositionMask);
}

inline bool sameGeneration(std::uint64_t word, std::uint32_t generation)
{
    return (word >> kPositionBits) == (generation & 0xFFFF);
}

inline std::uint64_t positionOf(std::uint64_t word)
{
    return word & kPositionMask;
}

} // namespace varno::generation_word
