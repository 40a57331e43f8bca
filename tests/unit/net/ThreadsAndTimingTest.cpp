// The thread record's life from both ends, and the speed meter. Built twice:
// in the normal test build and on its own with ThreadSanitizer
// (test_thread_tsan), which checks that creator and worker never race on the
// record.

#include "net/cThread.h"
#include "net/cTimeCount.h"

#include <array>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

bool NoRecordLeft() // within 5 s
{
    for (int ms = 0; cThread::LiveRecords() != 0 && ms < 5000; ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return cThread::LiveRecords() == 0;
}

// Waits for the mutex of argument 0; returns the sum of the other arguments,
// each weighted by its place, so that their order shows.
int32_t Routine(const std::intptr_t* args, int32_t count)
{
    std::lock_guard hold(*reinterpret_cast<std::mutex*>(args[0]));
    int32_t sum = 0;
    for (int32_t i = 1; i < count; ++i)
        sum += static_cast<int32_t>(args[i]) * i;
    return sum;
}

TEST(ThreadRecord, EitherSideReleasesFirst_ExitCodeAndFreedOnce)
{
    std::mutex gate;
    // 1*10 + 2*-20 + 3*30 + 4*7 = 88
    const std::intptr_t args[] = {reinterpret_cast<std::intptr_t>(&gate), 10, -20, 30, 7};
    for (const bool creatorFirst : {true, false}) {
        cThread thread;
        if (creatorFirst)
            gate.lock(); // the routine still runs when the creator lets go
        ThreadRecord* record = thread.BeginThreadEx(&Routine, args, 5);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(thread.LastProcAddress(), &Routine);
        while (!creatorFirst && record->referenceCount.load() != 1)
            std::this_thread::yield();
        EXPECT_EQ(cThread::Dereference(record), creatorFirst ? kThreadStillActive : 88);
        EXPECT_EQ(cThread::LiveRecords(), creatorFirst ? 1 : 0) << "freed by the last side only";
        if (creatorFirst)
            gate.unlock();
        EXPECT_TRUE(NoRecordLeft()) << "the worker frees the record it holds last";
    }
    std::vector<ThreadRecord*> records(50); // released at once from both sides
    for (ThreadRecord*& record : records)
        record = cThread().BeginThreadEx(&Routine, args, 2);
    for (ThreadRecord* record : records) {
        const int32_t code = cThread::Dereference(record);
        EXPECT_TRUE(code == 10 || code == kThreadStillActive) << code;
    }
    EXPECT_TRUE(NoRecordLeft());

    cThread thread; // no thread: nothing started, the allocated record freed
    cThread::FailNextStartForTests();
    EXPECT_EQ(thread.BeginThreadEx(&Routine, args, 1), nullptr);
    EXPECT_EQ(cThread::LiveRecords(), 0);
    EXPECT_EQ(thread.LastProcAddress(), nullptr);
    EXPECT_EQ(thread.BeginThreadEx(nullptr, args, 1), nullptr);
    EXPECT_EQ(cThread::Dereference(nullptr), 0);
}

uint32_t now = 0; // the speed meter's clock, set by hand

// Each step {at, bytes, Speed, TotalSpeed} sets the clock, calls Clear (bytes
// < 0) or count(bytes), and reads both speeds: bytes per second, differences
// modulo 2^32, halves rounded to even.
TEST(TimeCount, Readings_SpeedSinceTheLastReadingAndTotal)
{
    // clang-format off
    const std::vector<std::vector<std::array<int64_t, 4>>> rows = {
        {{0, -1, 0, 0}, {500, 2048, 4096, 4096}, {500, 0, 4096, 4096}}, // read again: the same
        {{0, -1, 0, 0}, {2000, 5, 2, 2}, {2000, 2, 2, 4}}, // 2.5 -> 2, 3.5 -> 4
        {{0xFFFFFF00, -1, 0, 0}, {0x100, 1024, 2000, 2000}}, // the clock wraps
        {{0, -1, 0, 0}, {1000, 0x7FFFFF00, 0x7FFFFF00, 0x7FFFFF00}, {2000, 0x200, 0x200, 0x40000080}},
        {{0, -1, 0, 0}, {100, 100, 1000, 1000}, {7000, -1, 0, 0}}, // Clear after use
    };
    // clang-format on
    for (size_t row = 0; row < rows.size(); ++row) {
        cTimeCount meter([] { return now; });
        for (const auto& [at, bytes, speed, total] : rows[row]) {
            now = static_cast<uint32_t>(at);
            bytes < 0 ? meter.Clear() : meter.count(static_cast<int32_t>(bytes));
            EXPECT_EQ(meter.Speed(), speed) << "row " << row << " at " << at;
            EXPECT_EQ(meter.TotalSpeed(), total) << "row " << row << " at " << at;
        }
    }
}

} // namespace
