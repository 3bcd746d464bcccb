#pragma once

#include <cstdint>

namespace orvelle {

// Which pixels of one pair agree, in multiply-compare form, so that a scan
// needs neither the ratio table nor a branch per pixel.
//
// A pixel with sums s (first picture) and t (second) agrees when s = t, or
// when low ≤ r ≤ high for r = ratio(s, t), 0 where t = 0. For 0 ≤ s ≤ 765 and
// 1 ≤ t ≤ 765 the ratio (ExtendedRatio) depends only on the value s ÷ t (both
// of its roundings do), and it is ⌊100 s ÷ t⌋ except where 100 s ÷ t is a
// whole number k; there it is F(k) = ExtendedRatio(k, 100), which is k or
// k − 1 (21/20 gives 104). PixelBandTest checks the three facts on every pair.
// So for a whole number low in 1 … 76500:
//   ratio ≥ low ⟺ 100 s ≥ low · t + (F(low) < low ? 1 : 0)
// (where 100 s > low · t the quotient is above low, its floor at least low,
// and at a whole k > low, k − 1 is still at least low; where 100 s < low · t
// the floor is below low; equality is the case F decides), and for high in
// 0 … 76499, with h = high + 1:
//   ratio ≤ high ⟺ 100 s < h · t + (F(h) ≤ high ? 1 : 0)
// (below h · t the floor is at most high; above it the floor is at least h
// and a whole k > h still gives k − 1 ≥ h). Ratios lie in 0 … 76500, so a
// lower bound ≤ 0 or an upper bound ≥ 76500 holds for every pixel, a lower
// bound > 76500 or an upper bound < 0 for none; the same comparisons say
// that with the slope at 0 or 76501 and nothing added. Pixels with t = 0 get
// ratio 0 from the rule, not from the division: with s ≥ 1 they fail the
// upper comparison (100 s < 0 + at most 1 never holds), so they need their
// own term, zeroAgrees. Every product is below 76501 · 765 < 2^26.
struct PixelBand {
    // The band base ± errClr, as the scan forms it from the base ratio.
    static PixelBand Around(int base, std::int32_t errClr);
    // The band low … high (empty when low > high).
    static PixelBand Between(std::int64_t low, std::int64_t high);

    // A pixel with t ≥ 1 is in the band when
    //   100 s ≥ lowSlope · t + lowExtra  and  100 s < highSlope · t + highExtra.
    std::int32_t lowSlope = 0;
    std::int32_t lowExtra = 0;
    std::int32_t highSlope = 0;
    std::int32_t highExtra = 0;
    bool zeroAgrees = false; // ratio 0 is inside: pixels with t = 0 agree
    bool hundredIn = false;  // ratio 100 is inside: equal sums are band pixels
    // 100, read from here rather than written as a constant: in a vector loop
    // a product with a variable is one multiplication, with the constant the
    // compiler makes five shifts and additions of it.
    std::int32_t hundred = 100;

    // Both comparisons, for t ≥ 1 (and false for t = 0 with s ≥ 1), the
    // extras moved to the left side so that the products stand alone. The
    // operators are & and |, not && and ||: no branch in a vector loop.
    bool InBand(int s, int t) const noexcept
    {
        const int hs = hundred * s;
        return (hs + (1 - lowExtra) > lowSlope * t) & (hs - highExtra < highSlope * t);
    }
    // The rule for one pixel.
    bool Agrees(int s, int t) const noexcept
    {
        return (s == t) | InBand(s, t) | ((t == 0) & zeroAgrees);
    }

    // Bounds for a block whose first-picture sums lie in mnA … mxA and whose
    // second-picture sums lie in mnB … mxB. Both comparisons are monotone (the
    // left side grows with s, the right side with t, the slopes are ≥ 0), so
    // over the box of (s, t) their extremes lie at corners; a box claim holds
    // for whatever pixels the block really has.
    //
    // Every pixel deviates when all three hold:
    //  - no pixel with t ≥ 1 is a band pixel: the most favourable corner
    //    fails the lower comparison (largest s, smallest t ≥ 1) or the upper
    //    one (smallest s, largest t), or there is no t ≥ 1 at all;
    //  - no pixel with t = 0 agrees through ratio 0: there is none
    //    (mnB > 0) or ratio 0 is outside;
    //  - no pixel has equal sums: the ranges do not overlap. When 100 is
    //    inside, every s = t ≥ 1 would be a band pixel, which the first
    //    clause has ruled out, so only s = t = 0 is left to exclude.
    bool AllDeviate(int mnA, int mxA, int mnB, int mxB) const noexcept
    {
        const int mnB1 = mnB > 1 ? mnB : 1;
        const bool noBand = (mxB == 0) | (100 * mxA < lowSlope * mnB1 + lowExtra) |
                            (100 * mnA >= highSlope * mxB + highExtra);
        const bool noZero = (mnB != 0) | !zeroAgrees;
        const bool noEqual = (mxA < mnB) | (mnA > mxB) | (hundredIn & ((mnA | mnB) != 0));
        return noBand & noZero & noEqual;
    }
    // Every pixel agrees when every corner is a band pixel (and t = 0, if
    // present, agrees), or when both blocks hold one and the same sum.
    bool AllAgree(int mnA, int mxA, int mnB, int mxB) const noexcept
    {
        const int mnB1 = mnB > 1 ? mnB : 1;
        const bool zeroOk = (mnB != 0) | zeroAgrees;
        const bool bandOk = (mxB == 0) | ((100 * mnA >= lowSlope * mxB + lowExtra) &
                                          (100 * mxA < highSlope * mnB1 + highExtra));
        const bool flatEqual = (mnA == mxA) & (mnB == mxB) & (mnA == mnB);
        return (zeroOk & bandOk) | flatEqual;
    }
};

} // namespace orvelle
