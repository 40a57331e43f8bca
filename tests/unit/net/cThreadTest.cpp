// The thread record's life from both ends. Built twice: in the normal test
// build and on its own with ThreadSanitizer (test_thread_tsan), which checks
// that creator and worker never race on the record.

#include "net/cThread.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Polls cond every millisecond for at most 5 s.
template <typename Condition> bool WaitFor(Condition cond)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!cond() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return cond();
}

// Holds its routine until the test unlocks the mutex passed as argument 0;
// returns the sum of the other arguments, each weighted by its place, so
// that their order shows.
int32_t Routine(const std::intptr_t* args, int32_t count)
{
    std::lock_guard hold(*reinterpret_cast<std::mutex*>(args[0]));
    int32_t sum = 0;
    for (int32_t i = 1; i < count; ++i)
        sum += static_cast<int32_t>(args[i]) * i;
    return sum;
}

class ThreadRecordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WaitFor([] { return cThread::LiveRecords() == 0; }));
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitFor([] { return cThread::LiveRecords() == 0; }))
            << cThread::LiveRecords() << " thread records left alive";
    }
    cThread thread_;
    std::mutex gate_;
};

TEST_F(ThreadRecordTest, CreatorReleasesFirst_259AndTheWorkerFreesTheRecord)
{
    gate_.lock();
    const std::intptr_t args[] = {reinterpret_cast<std::intptr_t>(&gate_), 5};
    ThreadRecord* record = thread_.BeginThreadEx(&Routine, args, 2);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(cThread::Dereference(record), kThreadStillActive);
    EXPECT_EQ(cThread::LiveRecords(), 1) << "the record must live on while the routine runs";
    gate_.unlock();
}

TEST_F(ThreadRecordTest, WorkerReleasesFirst_ExitCodeAndFreedByDereference)
{
    // Four arguments after the gate: 1*10 + 2*-20 + 3*30 + 4*7 = 88.
    const std::intptr_t args[] = {reinterpret_cast<std::intptr_t>(&gate_), 10, -20, 30, 7};
    ThreadRecord* record = thread_.BeginThreadEx(&Routine, args, 5);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(WaitFor([&] { return record->referenceCount.load() == 1; }));
    EXPECT_EQ(cThread::LiveRecords(), 1);
    EXPECT_EQ(cThread::Dereference(record), 88);
    EXPECT_EQ(cThread::LiveRecords(), 0);
    EXPECT_EQ(thread_.LastProcAddress(), &Routine);
}

TEST_F(ThreadRecordTest, ManyReleasedAtOnce_EveryRecordFreedOnce)
{
    const std::intptr_t args[] = {reinterpret_cast<std::intptr_t>(&gate_), 7};
    std::vector<ThreadRecord*> records;
    for (int i = 0; i < 50; ++i)
        records.push_back(thread_.BeginThreadEx(&Routine, args, 2));
    for (ThreadRecord* record : records) {
        ASSERT_NE(record, nullptr);
        const int32_t code = cThread::Dereference(record);
        EXPECT_TRUE(code == 7 || code == kThreadStillActive) << code;
    }
}

TEST_F(ThreadRecordTest, NoThread_NullAndTheAllocatedRecordFreed)
{
    const std::intptr_t args[] = {reinterpret_cast<std::intptr_t>(&gate_)};
    cThread::FailNextStartForTests();
    EXPECT_EQ(thread_.BeginThreadEx(&Routine, args, 1), nullptr);
    EXPECT_EQ(cThread::LiveRecords(), 0);
    EXPECT_EQ(thread_.LastProcAddress(), nullptr);
    EXPECT_EQ(thread_.BeginThreadEx(nullptr, args, 1), nullptr);
    EXPECT_EQ(cThread::Dereference(nullptr), 0);
}

} // namespace
