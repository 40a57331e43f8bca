#include "cThread.h"

#include <new>
#include <system_error>
#include <thread>

namespace {

std::atomic<int32_t> liveRecords{0};
std::atomic<bool> failNextStart{false};

void ReleaseRecord(ThreadRecord* record)
{
    // acq_rel: the side that frees the record must see every write the other
    // side made before dropping its reference.
    if (record->referenceCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete record;
        liveRecords.fetch_sub(1, std::memory_order_release);
    }
}

void WorkerMain(ThreadRecord* record)
{
    const int32_t result =
        record->routine(record->arguments.data(), static_cast<int32_t>(record->arguments.size()));
    record->exitCode.store(result, std::memory_order_release);
    ReleaseRecord(record);
}

} // namespace

ThreadRecord* cThread::BeginThreadEx(ThreadRecord::Routine pAddress,
                                     const std::intptr_t* pParamList, int32_t nParamCount,
                                     std::size_t /*nStackSize*/)
{
    if (pAddress == nullptr || nParamCount < 0 || (nParamCount > 0 && pParamList == nullptr))
        return nullptr;
    auto* record = new (std::nothrow) ThreadRecord;
    if (record == nullptr)
        return nullptr;
    try {
        record->arguments.assign(pParamList, pParamList + nParamCount);
    } catch (const std::bad_alloc&) {
        delete record;
        return nullptr;
    }
    record->routine = pAddress;
    liveRecords.fetch_add(1, std::memory_order_relaxed);
    try {
        if (failNextStart.exchange(false))
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        std::thread(WorkerMain, record).detach();
    } catch (const std::system_error&) {
        delete record;
        liveRecords.fetch_sub(1, std::memory_order_release);
        return nullptr;
    }
    lastProcAddress_ = pAddress;
    return record;
}

int32_t cThread::Dereference(ThreadRecord* DelegatePtr)
{
    if (DelegatePtr == nullptr)
        return 0;
    const int32_t exitCode = DelegatePtr->exitCode.load(std::memory_order_acquire);
    ReleaseRecord(DelegatePtr);
    return exitCode;
}

int32_t cThread::LiveRecords()
{
    return liveRecords.load(std::memory_order_acquire);
}

void cThread::FailNextStartForTests()
{
    failNextStart.store(true);
}
