#include "net/cTimeCount.h"

#include <gtest/gtest.h>

namespace {

uint32_t now = 0;
uint32_t HandClock()
{
    return now;
}

// Each step sets the clock, then calls Clear (bytes < 0) or count(bytes), and
// reads Speed and TotalSpeed.
struct Step
{
    uint32_t at;
    int32_t bytes, speed, total;
};

TEST(TimeCount, Readings_BytesPerSecondModulo2To32HalvesToEven)
{
    const std::vector<std::pair<const char*, std::vector<Step>>> rows = {
        {"after Clear: 0", {{1000, -1, 0, 0}}},
        {"2048 after 500 ms; again without a count",
         {{0, -1, 0, 0}, {500, 2048, 4096, 4096}, {500, 0, 4096, 4096}}},
        {"since the last reading, not the start",
         {{0, -1, 0, 0}, {1000, 1000, 1000, 1000}, {1250, 1000, 4000, 1600}}},
        {"2.5 -> 2 and 3.5 -> 4", {{0, -1, 0, 0}, {2000, 5, 2, 2}, {2000, 2, 2, 4}}},
        {"clock wraps", {{0xFFFFFF00u, -1, 0, 0}, {0x100, 1024, 2000, 2000}}},
        {"Clear after use starts over", {{0, -1, 0, 0}, {100, 100, 1000, 1000}, {7000, -1, 0, 0}}},
    };
    for (const auto& [name, steps] : rows) {
        cTimeCount meter(&HandClock);
        for (const Step& step : steps) {
            now = step.at;
            step.bytes < 0 ? meter.Clear() : meter.count(step.bytes);
            EXPECT_EQ(meter.Speed(), step.speed) << name << " at " << step.at;
            EXPECT_EQ(meter.TotalSpeed(), step.total) << name << " at " << step.at;
        }
    }
}

TEST(TimeCount, CountAndTicks_Modulo2To32AndNewSpeedAfterOneSecond)
{
    now = 0xFFFFFF00u;
    cTimeCount meter(&HandClock);
    meter.Clear();
    meter.CountStart(0x7FFFFF00);
    now = 0x2E8;        // 1000 ms later, past the wrap
    meter.count(0x200); // the running count passes 2^31
    EXPECT_EQ(meter.CountEnd(), static_cast<int32_t>(0x80000100u));
    EXPECT_EQ(meter.TotalTickCount(), 1000);
    EXPECT_EQ(meter.TotalSpeed(), 0x200);
    EXPECT_FALSE(meter.NewSpeed());
    now += 1;
    meter.count(0);
    EXPECT_TRUE(meter.NewSpeed());
    meter.Speed();
    EXPECT_FALSE(meter.NewSpeed());
}

} // namespace
