#include "iecoreutils_threads.h"

#include <cstdlib>
#include <new>

#include <cpuid.h>

int32_t IECachedCoreCount = -1;

TIEThreadPool::~TIEThreadPool() {
    WaitAll();
}

void TIEThreadPool::Add(std::unique_ptr<TThread> Thread) {
    if (!Thread) return;
    FList.push_back(std::move(Thread));
    FList.back()->Start();
}

void TIEThreadPool::WaitAll() {
    for (auto& thread : FList) {
        thread->WaitFor();
        thread.reset();
    }
    FList.clear();
}

void* IEAutoAlloc(uint32_t Size) {
    const size_t total = (size_t)Size + kIEAutoAllocHeader;
    if (total < Size) return nullptr;   // no room for the header in this address space
    uint8_t* block = nullptr;
    if (Size < kIEAutoAllocGlobalFrom) {
        block = static_cast<uint8_t*>(std::malloc(total));
        if (block) block[0] = 0;
    }
    if (!block) {
        block = static_cast<uint8_t*>(IEGlobalAllocZero(total));
        if (!block) return nullptr;
        block[0] = 1;
    }
    return block + kIEAutoAllocHeader;
}

void IEAutoFree(void*& P) {
    if (!P) return;
    void* block = static_cast<uint8_t*>(P) - kIEAutoAllocHeader;
    if (*static_cast<uint8_t*>(block) == 0) std::free(block);
    else IEGlobalFree(block);
    P = nullptr;
}

void IETryGetMem(void*& P, int32_t Size) {
    P = Size >= 0 ? std::malloc(Size > 0 ? (size_t)Size : 1) : nullptr;
}

bool IEHasMMX() {
    unsigned eax, ebx, ecx, edx;
    // __get_cpuid checks first that the instruction exists (the flags register's ID bit).
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (edx & (1u << 23)) != 0;
}
