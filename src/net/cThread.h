#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// The exit code a thread record reports while its routine still runs (the
// platform's "still active").
constexpr int32_t kThreadStillActive = 259;

// The record shared by the thread that starts a routine and the worker that
// runs it. Two references exist when the worker starts, one for each side;
// whichever side drops the last one frees the record.
struct ThreadRecord
{
    using Routine = int32_t (*)(const std::intptr_t* args, int32_t count);

    std::atomic<int32_t> referenceCount{2};
    std::atomic<int32_t> exitCode{kThreadStillActive};
    Routine routine = nullptr;
    std::vector<std::intptr_t> arguments;
};

// Starts routines on worker threads. Only BeginThreadEx and Dereference exist:
// the program never calls the other members of the original facility.
// Arguments are pointer-sized, so a routine may receive addresses.
class cThread
{
public:
    // Starts pAddress on a new thread with nParamCount arguments copied from
    // pParamList. std::thread always uses the platform's default stack, so
    // nStackSize is accepted and not used. Result: the thread reference, or
    // nullptr when no thread was started (nothing is left allocated then).
    ThreadRecord* BeginThreadEx(ThreadRecord::Routine pAddress, const std::intptr_t* pParamList,
                                int32_t nParamCount, std::size_t nStackSize = 0);

    // Gives up the creator's reference. Result: the exit code at the moment
    // of the call, kThreadStillActive while the routine runs. A null reference
    // gives 0.
    static int32_t Dereference(ThreadRecord* DelegatePtr);

    ThreadRecord::Routine LastProcAddress() const { return lastProcAddress_; }

    // Records not yet freed in this process; tests watch it to see who freed
    // a record and that none is leaked.
    static int32_t LiveRecords();

    // Makes the next BeginThreadEx fail as if the system could not create a
    // thread, after its record was allocated (tests of both failure paths).
    static void FailNextStartForTests();

private:
    ThreadRecord::Routine lastProcAddress_ = nullptr;
};
