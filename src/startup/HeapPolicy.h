#pragma once

// How the process's heap returns memory to the system, so that a manager left
// open for a day keeps the resident size it had after its first hour.
// Both are no-ops where the C library is not glibc.
namespace HeapPolicy {

// At start, before any thread: blocks of kLargeBlock bytes and more get a
// mapping of their own, unmapped when they are freed. glibc would otherwise
// raise that limit after the first such block is freed and carve all later
// ones out of the heap, where the holes they leave stay resident.
void KeepLargeBlocksApart();

constexpr int kLargeBlock = 128 * 1024; // glibc's own starting value

// The heap's bytes in use by the program (mapped blocks included) and held
// free by the allocator; -1 each where the C library does not tell.
struct Usage
{
    long long inUse = -1;
    long long free = -1;
};
Usage CurrentUsage();

} // namespace HeapPolicy
