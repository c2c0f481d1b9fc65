// platform_test.cpp -- the Windows clocks and the pacer's wait, for real:
// a wait never returns before its moment, the nanosecond clock agrees with
// the millisecond one, and --fps paces real frames of nothing at 200 a
// second, so 40 of them take at least 39/200 s.
#include <gtest/gtest.h>

#include "pacer.h"
#include "platform.h"

TEST(WindowsPlatform, TheClocksAgree)
{
    for (int i = 0; i < 100; ++i) {
        unsigned before = sysMilliseconds();
        unsigned long long ns = sysNanoseconds();
        unsigned after = sysMilliseconds();
        EXPECT_LE(before, ns / 1000000);
        EXPECT_LE(ns / 1000000, after);
    }
}

TEST(WindowsPlatform, AWaitEndsNoSoonerThanItsMoment)
{
    unsigned long long start = sysNanoseconds();
    unsigned long long last = start;
    // 1/60 s apart and a few odd moments in between, and one already past.
    const unsigned long long after[] = {16666666, 33333333, 34000000, 34000001, 50000000, 60500000, 0};
    for (unsigned long long d : after) {
        unsigned long long moment = d ? start + d : start;
        sysSleepUntil(moment);
        unsigned long long now = sysNanoseconds();
        EXPECT_GE(now, moment) << d;
        EXPECT_GE(now, last);
        last = now;
    }
}

TEST(WindowsPlatform, ThePacerHoldsFramesToTheirMoments)
{
    pacerStart(200);
    unsigned long long first = sysNanoseconds();    // no later than the first frame's moment
    for (int k = 0; k < 40; ++k)
        pacerWait();
    EXPECT_GE(sysNanoseconds() - first, 39ull * 1000000000ull / 200);
    pacerStart(0);
}
