#include "net/cTimeCount.h"

#include <gtest/gtest.h>

namespace {

// The meter's clock in these tests: set by hand.
uint32_t now = 0;
uint32_t FakeClock()
{
    return now;
}

TEST(TimeCount, AfterClear_TotalSpeedIsZero)
{
    now = 1000;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    EXPECT_EQ(meter.TotalSpeed(), 0);
    EXPECT_EQ(meter.TotalTickCount(), 0);
    EXPECT_EQ(meter.CountEnd(), 0);
    EXPECT_EQ(meter.Speed(), 0);
}

TEST(TimeCount, Chunk2048After500ms_Speed4096AndRepeatedWithoutCount)
{
    now = 5000;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    now += 500;
    meter.count(2048);
    EXPECT_EQ(meter.Speed(), 4096);
    EXPECT_EQ(meter.Speed(), 4096); // no count() in between: the same value
    EXPECT_EQ(meter.TotalSpeed(), 4096);
    EXPECT_EQ(meter.TotalTickCount(), 500);
    EXPECT_EQ(meter.CountEnd(), 2048);
}

TEST(TimeCount, SpeedSinceLastReading_NotSinceStart)
{
    now = 0;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    now = 1000;
    meter.count(1000);
    EXPECT_EQ(meter.Speed(), 1000);
    now = 1250;
    meter.count(1000);
    EXPECT_EQ(meter.Speed(), 4000);      // 1000 bytes in 250 ms
    EXPECT_EQ(meter.TotalSpeed(), 1600); // 2000 bytes in 1250 ms
}

TEST(TimeCount, Rounding_HalvesToEven)
{
    now = 0;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    now = 2000;
    meter.count(5); // 2.5 bytes/s
    EXPECT_EQ(meter.TotalSpeed(), 2);
    meter.count(2); // 3.5 bytes/s
    EXPECT_EQ(meter.TotalSpeed(), 4);
}

TEST(TimeCount, ClockWrapsBetweenReadings_DifferenceModulo2To32)
{
    now = 0xFFFFFF00u; // 256 ms before the wrap
    cTimeCount meter(&FakeClock);
    meter.Clear();
    now = 0x00000100u; // 512 ms later
    meter.count(1024);
    EXPECT_EQ(meter.TotalTickCount(), 512);
    EXPECT_EQ(meter.TotalSpeed(), 2000);
    EXPECT_EQ(meter.Speed(), 2000);
}

TEST(TimeCount, CountWrapsPast2To31_DifferenceStillRight)
{
    now = 0;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    meter.CountStart(0x7FFFFF00);
    EXPECT_EQ(meter.CountStart(), 0x7FFFFF00);
    EXPECT_EQ(meter.CountEnd(), 0x7FFFFF00);
    now = 1000;
    meter.count(0x200); // the running count passes 2^31
    EXPECT_EQ(meter.TotalSpeed(), 0x200);
}

TEST(TimeCount, NewSpeed_OnlyAfterMoreThanOneSecond)
{
    now = 0;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    now = 1000;
    meter.count(1);
    EXPECT_FALSE(meter.NewSpeed());
    now = 1001;
    meter.count(1);
    EXPECT_TRUE(meter.NewSpeed());
    meter.Speed();
    EXPECT_FALSE(meter.NewSpeed());
}

TEST(TimeCount, ClearAfterUse_StartsOver)
{
    now = 0;
    cTimeCount meter(&FakeClock);
    meter.Clear();
    now = 100;
    meter.count(100);
    ASSERT_EQ(meter.Speed(), 1000);
    now = 7000;
    meter.Clear();
    EXPECT_EQ(meter.CountEnd(), 0);
    EXPECT_EQ(meter.Speed(), 0);
    EXPECT_EQ(meter.TotalSpeed(), 0);
}

TEST(TickCount, RealClock_Advances)
{
    const uint32_t before = GetTickCount();
    cTimeCount meter;
    meter.Clear();
    EXPECT_LT(GetTickCount() - before, 1000u);
}

} // namespace
