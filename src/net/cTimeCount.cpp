#include "cTimeCount.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace {

uint32_t Difference(int32_t later, int32_t earlier)
{
    return static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier);
}

// bytes ÷ (milliseconds ÷ 1000), rounded to the nearest whole number with
// halves to even, clamped into the signed 32-bit range.
int32_t BytesPerSecond(uint32_t bytes, uint32_t milliseconds)
{
    const double value = std::nearbyint(static_cast<double>(bytes) / (milliseconds / 1000.0));
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

} // namespace

uint32_t GetTickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void cTimeCount::CountStart(int32_t lStart)
{
    countStart_ = lStart;
    countEnd_ = lStart;
}

int32_t cTimeCount::TotalSpeed() const
{
    if (countTime_ == startTime_)
        return 0;
    return BytesPerSecond(Difference(countEnd_, countStart_), Difference(countTime_, startTime_));
}

int32_t cTimeCount::TotalTickCount() const
{
    return static_cast<int32_t>(Difference(countTime_, startTime_));
}

void cTimeCount::Clear()
{
    countStart_ = 0;
    countEnd_ = 0;
    countAtReading_ = 0;
    lastSpeed_ = 0;
    const auto now = static_cast<int32_t>(clock_());
    startTime_ = now;
    countTime_ = now;
    readingTime_ = now;
}

void cTimeCount::count(int32_t lCount)
{
    countEnd_ =
        static_cast<int32_t>(static_cast<uint32_t>(countEnd_) + static_cast<uint32_t>(lCount));
    countTime_ = static_cast<int32_t>(clock_());
}

int32_t cTimeCount::Speed()
{
    if (countTime_ == readingTime_)
        return lastSpeed_;
    lastSpeed_ = BytesPerSecond(Difference(countEnd_, countAtReading_),
                                Difference(countTime_, readingTime_));
    readingTime_ = countTime_;
    countAtReading_ = countEnd_;
    return lastSpeed_;
}

bool cTimeCount::NewSpeed() const
{
    return Difference(countTime_, readingTime_) > 1000;
}
