#include <cfloat>
#include <random>

#include <gtest/gtest.h>

#include "ExtendedRatio.h"

using orvelle::ExtendedRatio;
using orvelle::RatioTable;
using orvelle::ShareTolerated;

TEST(ExtendedRatio, RoundsTheQuotientBeforeMultiplying)
{
    EXPECT_EQ(ExtendedRatio(21, 20), 104); // not 105
    EXPECT_EQ(ExtendedRatio(53, 100), 52);
    EXPECT_EQ(ExtendedRatio(100, 140), 71);
    EXPECT_EQ(ExtendedRatio(140, 100), 140);
    EXPECT_EQ(ExtendedRatio(100, 100), 100);
    EXPECT_EQ(ExtendedRatio(0, 5), 0);
    EXPECT_EQ(ExtendedRatio(5, 0), 0);
    EXPECT_EQ(ExtendedRatio(765, 1), 76500);
    EXPECT_EQ(ExtendedRatio(1, 765), 0);
    const RatioTable& table = RatioTable::Instance();
    EXPECT_EQ(table(21, 20), 104);
    EXPECT_EQ(table(765, 765), 100);
}

TEST(ExtendedRatio, ShareAtTheEdges)
{
    EXPECT_FALSE(ShareTolerated(3, 20, 15)); // just above 15
    EXPECT_TRUE(ShareTolerated(3, 20, 16));
    EXPECT_TRUE(ShareTolerated(1, 4, 25)); // exactly 25
    EXPECT_FALSE(ShareTolerated(1, 4, 24));
    EXPECT_TRUE(ShareTolerated(7, 7, 100)); // never above 100
    EXPECT_FALSE(ShareTolerated(1, 1000000, 0));
    EXPECT_FALSE(ShareTolerated(1, 3, -1));
    EXPECT_TRUE(ShareTolerated(1, 2147483647, 1));
    EXPECT_TRUE(ShareTolerated(2147483647, 2147483647, 2147483647));
}

#if LDBL_MANT_DIG == 64
// Where long double is the x87 extended type, it is an independent oracle.
TEST(ExtendedRatio, AgreesWithExtendedPrecisionEverywhere)
{
    const RatioTable& table = RatioTable::Instance();
    for (int s = 0; s < RatioTable::kSums; ++s) {
        for (int t = 1; t < RatioTable::kSums; ++t) {
            const volatile long double q = static_cast<long double>(s) / t;
            const volatile long double p = q * 100.0L;
            ASSERT_EQ(table(s, t), static_cast<int>(p)) << s << "/" << t;
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t area = 1 + random() % (i % 2 ? 5000u : 2147483647u);
        const std::uint32_t count = 1 + random() % area;
        const volatile long double share = static_cast<long double>(count) / area;
        const volatile long double percent = share * 100.0L;
        for (int e : {int(percent) - 1, int(percent), int(percent) + 1}) {
            ASSERT_EQ(ShareTolerated(count, area, e), static_cast<long double>(e) >= percent)
                << count << "/" << area << " vs " << e;
        }
    }
}
#endif
