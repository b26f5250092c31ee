// The operating-system side of the framework's small routines: the clock and the system's
// cryptographic generator.
#include "ZFDecUtil.h"

#include "WinApi.h"

// RtlGenRandom, exported by advapi32 as SystemFunction036.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

uint32_t RndTimeSeed() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    const uint32_t ms = ((t.wHour * 60u + t.wMinute) * 60u + t.wSecond) * 1000u + t.wMilliseconds;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return ms ^ (uint32_t)counter.LowPart ^ (uint32_t)counter.HighPart;
}

void RandomBuffer(void* buffer, size_t size) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ULONG piece = size > 0x10000 ? 0x10000 : (ULONG)size;
        if (!SystemFunction036(p, piece)) RaiseLastOSError();
        p += piece;
        size -= piece;
    }
}
