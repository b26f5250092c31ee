// Without the system's global memory the blocks are ordinary heap memory with their size in front;
// there is no video drawing service.
#include <cstdlib>
#include <cstring>

#include "picturaproc_dib.h"

namespace {
constexpr size_t kHeader = 16;   // the block's size, padded to keep the heap's alignment
}

TIEGlobalHandle IEDIBGlobalAlloc(size_t Size) {
    uint8_t* p = (uint8_t*)std::calloc(1, Size + kHeader);
    if (!p) return nullptr;
    std::memcpy(p, &Size, sizeof(Size));
    return p;
}

uint8_t* IEDIBGlobalLock(TIEGlobalHandle Handle) { return Handle ? (uint8_t*)Handle + kHeader : nullptr; }

void IEDIBGlobalUnlock(TIEGlobalHandle) {}

size_t IEDIBGlobalSize(TIEGlobalHandle Handle) {
    size_t size = 0;
    if (Handle) std::memcpy(&size, Handle, sizeof(size));
    return size;
}

void IEDIBGlobalFree(TIEGlobalHandle Handle) { std::free(Handle); }

bool IEDIBDraw(void*, const void*, const void*, int32_t, int32_t) { return false; }
