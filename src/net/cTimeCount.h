#pragma once

#include <cstdint>

// Milliseconds of a monotonic clock as an unsigned 32-bit value that wraps
// after about 49.7 days, like the system's tick count.
uint32_t GetTickCount();

// Byte counter and speed meter of a download. Differences of counts and of
// times are taken modulo 2^32, so the tick count may wrap in the middle of a
// measurement. Used by one thread only.
class cTimeCount
{
public:
    using Clock = uint32_t (*)();

    // clock is the millisecond source; tests inject their own.
    explicit cTimeCount(Clock clock = &GetTickCount) : clock_(clock) {}

    int32_t CountStart() const { return countStart_; }
    // Sets the start count and the running count to lStart.
    void CountStart(int32_t lStart);
    int32_t CountEnd() const { return countEnd_; }

    // Average bytes per second from the start to the last count(); 0 while no
    // time has passed.
    int32_t TotalSpeed() const;
    // Milliseconds from the start to the last count().
    int32_t TotalTickCount() const;

    // Resets the counts and sets the start, last-count and last-reading times
    // to now.
    void Clear();
    // Adds lCount bytes and notes the time.
    void count(int32_t lCount = 0);

    // Bytes per second since the previous reading; when no count() happened
    // since then, the previous value again.
    int32_t Speed();
    // Whether more than 1000 ms lie between the last count() and the last
    // Speed reading.
    bool NewSpeed() const;

private:
    Clock clock_;
    int32_t countStart_ = 0;
    int32_t countEnd_ = 0;
    int32_t countAtReading_ = 0;
    int32_t lastSpeed_ = 0;
    int32_t startTime_ = 0;
    int32_t countTime_ = 0;
    int32_t readingTime_ = 0;
};
