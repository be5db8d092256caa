// The per-seat line rate: a burst of three seconds' worth, then N a second.
#include "linerate.h"

#include <gtest/gtest.h>

TEST(LineRate, BurstThenSteadyRateAndOffAtZero)
{
    TLineRate rate(50);
    int taken = 0;
    while (rate.Take(1000))
        ++taken;
    EXPECT_EQ(taken, 150);
    EXPECT_EQ(rate.Wait(1000), 20);
    EXPECT_FALSE(rate.Take(1019));
    EXPECT_TRUE(rate.Take(1020));
    // A second later: 50 more, never more than the burst after a long pause.
    taken = 0;
    while (rate.Take(2020))
        ++taken;
    EXPECT_EQ(taken, 50);
    taken = 0;
    while (rate.Take(100000))
        ++taken;
    EXPECT_EQ(taken, 150);

    TLineRate off(0);
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(off.Take(0));
    EXPECT_EQ(off.Wait(0), 0);
}
