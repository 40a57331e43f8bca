// The thread record's life from both ends. Built twice: in the normal test
// build and on its own with ThreadSanitizer (test_thread_tsan), which checks
// that creator and worker never race on the record.

#include "net/cThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Polls cond every millisecond for at most 5 s.
template <typename Condition> bool WaitFor(Condition cond)
{
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A gate the routine waits at until the test opens it.
struct Gate
{
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool reached = false;
};

int32_t WaitAtGate(const std::intptr_t* args, int32_t count)
{
    if (count != 1)
        return -100;
    auto* gate = reinterpret_cast<Gate*>(args[0]);
    std::unique_lock lock(gate->mutex);
    gate->reached = true;
    gate->changed.notify_all();
    gate->changed.wait(lock, [gate] { return gate->open; });
    return 11;
}

int32_t ReturnSeven(const std::intptr_t*, int32_t)
{
    return 7;
}

std::atomic<int32_t> returnedSeven{0};
int32_t ReturnSevenAndCount(const std::intptr_t*, int32_t)
{
    returnedSeven.fetch_add(1);
    return 7;
}

std::vector<std::intptr_t> received;
int32_t RecordArguments(const std::intptr_t* args, int32_t count)
{
    received.assign(args, args + count);
    return count;
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
};

TEST_F(ThreadRecordTest, CreatorReleasesFirst_Returns259AndWorkerFreesRecord)
{
    Gate gate;
    const std::intptr_t args[] = {reinterpret_cast<std::intptr_t>(&gate)};
    ThreadRecord* record = thread_.BeginThreadEx(&WaitAtGate, args, 1, 0);
    ASSERT_NE(record, nullptr);
    {
        std::unique_lock lock(gate.mutex);
        ASSERT_TRUE(gate.changed.wait_for(lock, 5s, [&] { return gate.reached; }));
    }
    EXPECT_EQ(cThread::Dereference(record), kThreadStillActive);
    EXPECT_EQ(cThread::LiveRecords(), 1) << "the record must live on while the routine runs";
    {
        std::lock_guard lock(gate.mutex);
        gate.open = true;
    }
    gate.changed.notify_all();
    EXPECT_TRUE(WaitFor([] { return cThread::LiveRecords() == 0; }));
}

TEST_F(ThreadRecordTest, WorkerReleasesFirst_DereferenceReturnsExitCodeAndFreesRecord)
{
    ThreadRecord* record = thread_.BeginThreadEx(&ReturnSeven, nullptr, 0, 0);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(
        WaitFor([&] { return record->referenceCount.load(std::memory_order_acquire) == 1; }));
    EXPECT_EQ(cThread::LiveRecords(), 1);
    EXPECT_EQ(cThread::Dereference(record), 7);
    EXPECT_EQ(cThread::LiveRecords(), 0);
}

TEST_F(ThreadRecordTest, FourArguments_ArriveInOrder)
{
    const std::intptr_t args[] = {10, -20, 30, static_cast<std::intptr_t>(0x7FFFFFFF)};
    ThreadRecord* record = thread_.BeginThreadEx(&RecordArguments, args, 4, 0);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(WaitFor(
        [&] { return record->exitCode.load(std::memory_order_acquire) != kThreadStillActive; }));
    EXPECT_EQ(cThread::Dereference(record), 4);
    EXPECT_EQ(received, (std::vector<std::intptr_t>{10, -20, 30, 0x7FFFFFFF}));
    EXPECT_EQ(thread_.LastProcAddress(), &RecordArguments);
}

TEST_F(ThreadRecordTest, ManyThreadsReleasedAtOnce_EveryRecordFreedOnce)
{
    returnedSeven = 0;
    std::vector<ThreadRecord*> records;
    for (int i = 0; i < 50; ++i) {
        ThreadRecord* record = thread_.BeginThreadEx(&ReturnSevenAndCount, nullptr, 0, 0);
        ASSERT_NE(record, nullptr);
        records.push_back(record);
    }
    for (ThreadRecord* record : records) {
        const int32_t code = cThread::Dereference(record);
        EXPECT_TRUE(code == 7 || code == kThreadStillActive) << code;
    }
    EXPECT_TRUE(WaitFor([] { return returnedSeven.load() == 50; }));
}

TEST_F(ThreadRecordTest, StartFails_NullAndNothingAllocated)
{
    cThread::FailNextStartForTests();
    EXPECT_EQ(thread_.BeginThreadEx(&ReturnSeven, nullptr, 0, 0), nullptr);
    EXPECT_EQ(cThread::LiveRecords(), 0);
    EXPECT_EQ(thread_.BeginThreadEx(nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(cThread::Dereference(nullptr), 0);
}

} // namespace
