#pragma once

#include <cstdint>

namespace orvelle {

// The ternary raster operations of the block transfers. A 32-bit operation
// code carries the operation's index in bits 16 … 23 (the low word only
// helped old drivers); bit P·4 + S·2 + D of the index is the result for
// pattern bit P, source bit S and destination bit D.
constexpr std::uint8_t RopIndex(std::uint32_t code)
{
    return std::uint8_t((code >> 16) & 0xFF);
}

// The operation on every bit of three words at once: the OR of the index's
// minterms, each the AND of the three inputs or their complements.
constexpr std::uint32_t ApplyRop(std::uint8_t index, std::uint32_t pattern, std::uint32_t source,
                                 std::uint32_t destination)
{
    std::uint32_t result = 0;
    for (int minterm = 0; minterm < 8; ++minterm) {
        if (((index >> minterm) & 1) == 0)
            continue;
        result |= ((minterm & 4) != 0 ? pattern : ~pattern) &
                  ((minterm & 2) != 0 ? source : ~source) &
                  ((minterm & 1) != 0 ? destination : ~destination);
    }
    return result;
}

// Whether the result depends on the pattern, the source or the destination
// at all: whether flipping that input's bit changes some entry of the table.
constexpr bool RopUsesPattern(std::uint8_t index)
{
    return (((index >> 4) ^ index) & 0x0F) != 0;
}
constexpr bool RopUsesSource(std::uint8_t index)
{
    return (((index >> 2) ^ index) & 0x33) != 0;
}
constexpr bool RopUsesDestination(std::uint8_t index)
{
    return (((index >> 1) ^ index) & 0x55) != 0;
}

// With pattern and source fixed, every operation is a function of the
// destination alone, and each bit of it is one of 0, 1, D and NOT D: so it
// is (D AND keep) XOR flip, with flip the result for D = 0 and keep where
// the results for D = 0 and D = 1 differ. Two plain raster operations of a
// painter (AND, then XOR) thus draw any of the 256 on a device whose pixels
// cannot be read.
struct RopSteps {
    std::uint32_t keep = ~0U;
    std::uint32_t flip = 0;
};

constexpr RopSteps RopStepsFor(std::uint8_t index, std::uint32_t pattern, std::uint32_t source)
{
    const std::uint32_t atZero = ApplyRop(index, pattern, source, 0);
    const std::uint32_t atOnes = ApplyRop(index, pattern, source, ~0U);
    return {atZero ^ atOnes, atZero};
}

} // namespace orvelle
