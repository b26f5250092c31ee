// The image library's services from the operating system outside files and drawing: a pool that
// runs worker threads and waits for them, the number of processor cores, the physical memory, an
// allocator that moves large blocks to the system's global memory, and one-line queries (remote
// session, MMX, the logical left mouse button, opening the clipboard).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

// Runs threads created suspended and waits for them. One controlling thread adds workers and then
// waits for all; the workers never touch the pool. Work still running when the pool is freed is
// waited for; to cancel it, the controller terminates its threads (TThread::Terminate) first.
class TIEThreadPool : public TObject {
public:
    KW_CLASS_NAME(TIEThreadPool)
    TIEThreadPool() = default;
    ~TIEThreadPool() override;   // WaitAll
    TIEThreadPool(const TIEThreadPool&) = delete;
    TIEThreadPool& operator=(const TIEThreadPool&) = delete;

    // Takes the thread and starts it (a null thread is ignored).
    void Add(std::unique_ptr<TThread> Thread);
    // In the order they were added, waits for each thread to end and frees it; the pool is then
    // empty. Returns at once when it is empty.
    void WaitAll();
    int32_t GetCount() const { return (int32_t)FList.size(); }

private:
    std::vector<std::unique_ptr<TThread>> FList;
};

// The number of processor cores, asked of the system once (at least 1) and kept in
// IECachedCoreCount, which is -1 until then (the library's start-up sets it back to -1).
int32_t IEGetCoreCount();
extern int32_t IECachedCoreCount;

// Physical memory in bytes: the total, or with Available the amount free now.
int64_t IEGetMemorySize(bool Available);

// Zero-filled global memory of the system, or null; IEGlobalFree releases it and sets P to null.
void* IEGlobalAllocZero(size_t Size);
void IEGlobalFree(void*& P);

// Blocks below 1 MiB come from the heap (or, when it has none, from zero-filled global memory);
// from 1 MiB up from zero-filled global memory. A header in front of the block records which, so
// IEAutoFree releases it with the right allocator; the block keeps the heap's alignment. Null when
// no memory is left. IEAutoFree of null does nothing; it sets P to null.
constexpr uint32_t kIEAutoAllocGlobalFrom = 1048576;
constexpr size_t kIEAutoAllocHeader = 16;   // the tag byte (0 heap, 1 global), padded to alignment
void* IEAutoAlloc(uint32_t Size);
void IEAutoFree(void*& P);

// Heap memory of Size bytes (std::malloc; release it with std::free), null instead of an
// exception when there is none or Size is negative.
void IETryGetMem(void*& P, int32_t Size);

bool IEIsRemoteSession();
// The processor has the identification instruction and reports MMX.
bool IEHasMMX();
// The physical button that acts as the logical left one (the right one when the system swaps
// them) is down now.
bool IEIsLeftButtonDown();
// Opens the clipboard without an owner window, trying 10 times 20 ms apart; True when it opened
// (the caller closes it).
bool IEOpenClipboard();

// Registers a clipboard format by name and returns its identifier (0 without a clipboard).
uint32_t IERegisterClipboardFormat(const std::wstring& Name);
// Unloads a library loaded at run time and sets Module to null (errors ignored).
void IEFreeLibrary(void*& Module);
