#include "ExtendedRatio.h"

#include <bit>

namespace orvelle {

namespace {

// Just enough unsigned 128-bit arithmetic, without compiler extensions.
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    static U128 Shifted(std::uint64_t v, int k) // v · 2^k, k < 128
    {
        if (k == 0)
            return {0, v};
        if (k >= 64)
            return {v << (k - 64), 0};
        return {v >> (64 - k), v << k};
    }
    int BitLength() const { return hi ? 128 - std::countl_zero(hi) : 64 - std::countl_zero(lo); }
    U128 ShiftedRight(int k) const // k < 128
    {
        if (k == 0)
            return *this;
        if (k >= 64)
            return {0, hi >> (k - 64)};
        return {hi >> k, (lo >> k) | (hi << (64 - k))};
    }
    // The k lowest bits, compared with 2^(k − 1): −1 below, 0 equal, 1 above.
    int LowBitsAgainstHalf(int k) const
    {
        const U128 low = Masked(k);
        const U128 half = Shifted(1, k - 1);
        if (low.hi != half.hi)
            return low.hi < half.hi ? -1 : 1;
        if (low.lo != half.lo)
            return low.lo < half.lo ? -1 : 1;
        return 0;
    }
    U128 Masked(int k) const
    {
        if (k >= 128)
            return *this;
        if (k >= 64)
            return {hi & ((std::uint64_t(1) << (k - 64)) - 1), lo};
        return {0, k == 0 ? 0 : lo & (k == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << k) - 1)};
    }
    friend bool operator>=(const U128& a, const U128& b)
    {
        return a.hi != b.hi ? a.hi > b.hi : a.lo >= b.lo;
    }
};

// a / d for a 32-bit divisor: quotient and remainder.
U128 Divide(const U128& a, std::uint32_t d, std::uint32_t& remainder)
{
    const std::uint32_t limbs[4] = {std::uint32_t(a.hi >> 32), std::uint32_t(a.hi),
                                    std::uint32_t(a.lo >> 32), std::uint32_t(a.lo)};
    std::uint32_t q[4];
    std::uint64_t r = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t cur = (r << 32) | limbs[i];
        q[i] = std::uint32_t(cur / d);
        r = cur % d;
    }
    remainder = std::uint32_t(r);
    return {(std::uint64_t(q[0]) << 32) | q[1], (std::uint64_t(q[2]) << 32) | q[3]};
}

U128 Times100(std::uint64_t m)
{
    const std::uint64_t low = (m & 0xFFFFFFFFu) * 100;
    const std::uint64_t high = (m >> 32) * 100; // below 2^39
    const std::uint64_t lo = low + (high << 32);
    const std::uint64_t carry = lo < low ? 1 : 0;
    return {(high >> 32) + carry, lo};
}

// A positive extended-precision value: significand · 2^exponent, the
// significand in [2^63, 2^64).
struct Extended {
    std::uint64_t significand = 0;
    int exponent = 0;
};

Extended Normalise(std::uint64_t m, int e, bool roundUp)
{
    if (roundUp && ++m == 0)
        return {std::uint64_t(1) << 63, e + 1};
    return {m, e};
}

// n ÷ d rounded to nearest even, n, d ≥ 1.
Extended Quotient(std::uint32_t n, std::uint32_t d)
{
    int k = 63 + std::bit_width(d) - std::bit_width(n);
    for (;;) {
        std::uint32_t rem = 0;
        const U128 q = Divide(U128::Shifted(n, k), d, rem);
        if (q.hi != 0) {
            --k;
            continue;
        }
        if (q.lo < (std::uint64_t(1) << 63)) {
            ++k;
            continue;
        }
        const std::uint64_t twice = std::uint64_t(rem) * 2;
        const bool up = twice > d || (twice == d && (q.lo & 1));
        return Normalise(q.lo, -k, up);
    }
}

// v · 100 rounded to nearest even.
Extended Hundredfold(const Extended& v)
{
    const U128 p = Times100(v.significand);
    const int drop = p.BitLength() - 64;
    const U128 kept = p.ShiftedRight(drop);
    const int half = p.LowBitsAgainstHalf(drop);
    const bool up = half > 0 || (half == 0 && (kept.lo & 1));
    return Normalise(kept.lo, v.exponent + drop, up);
}

} // namespace

int ExtendedRatio(std::uint32_t s, std::uint32_t t)
{
    if (t == 0 || s == 0)
        return 0;
    const Extended p = Hundredfold(Quotient(s, t));
    // Truncation toward zero of significand · 2^exponent.
    if (p.exponent >= 0)
        return static_cast<int>(p.significand << p.exponent);
    if (p.exponent <= -64)
        return 0;
    return static_cast<int>(p.significand >> -p.exponent);
}

bool ShareTolerated(std::uint32_t count, std::uint32_t area, std::int32_t errCount)
{
    if (errCount < 0)
        return false; // the share of at least one deviating pixel is above 0
    const Extended share = Hundredfold(Quotient(count, area));
    // errCount ≥ significand · 2^exponent ⟺ errCount · 2^−exponent ≥ significand.
    if (share.exponent >= 0)
        return false; // share ≥ 2^63
    const int shift = -share.exponent;
    if (shift + std::bit_width(std::uint32_t(errCount)) > 127)
        return errCount > 0;
    return U128::Shifted(std::uint32_t(errCount), shift) >= U128{0, share.significand};
}

RatioTable::RatioTable()
{
    for (int s = 0; s < kSums; ++s) {
        for (int t = 0; t < kSums; ++t)
            ratios_[s * kSums + t] = ExtendedRatio(std::uint32_t(s), std::uint32_t(t));
    }
}

const RatioTable& RatioTable::Instance()
{
    // Made once, then shared read-only by every comparison on every thread.
    static const RatioTable table;
    return table;
}

} // namespace orvelle
