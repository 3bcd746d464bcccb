#pragma once

#include <cstdint>

namespace orvelle {

// The fuzzy comparison's arithmetic, done as an x87 extended-precision
// (64-bit significand, round to nearest even) evaluation would do it, but in
// integers, so every platform gets the same answers.

// (s ÷ t) rounded, × 100 rounded, truncated toward zero; 0 when t is 0.
// For s, t ≥ 0 below 2^32.
int ExtendedRatio(std::uint32_t s, std::uint32_t t);

// Whether errCount ≥ (count ÷ area) × 100, the quotient and the product
// each rounded to 64 bits of significand. count ≥ 1, area ≥ 1.
bool ShareTolerated(std::uint32_t count, std::uint32_t area, std::int32_t errCount);

// ExtendedRatio for every pair of pixel sums 0 … 765, computed once.
class RatioTable {
public:
    static constexpr int kSums = 766;
    static const RatioTable& Instance();
    int operator()(int s, int t) const noexcept { return ratios_[s * kSums + t]; }

private:
    RatioTable();
    std::int32_t ratios_[kSums * kSums];
};

} // namespace orvelle
