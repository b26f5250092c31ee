// The operating-system side of the framework's small routines for the native build: the clock
// and the system's cryptographic generator.
#include <sys/random.h>
#include <sys/time.h>

#include <cerrno>
#include <ctime>

#include "ZFDecUtil.h"

uint32_t RndTimeSeed() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const time_t t = tv.tv_sec;
    struct tm local;
    localtime_r(&t, &local);
    const uint32_t ms = ((local.tm_hour * 60u + local.tm_min) * 60u + local.tm_sec) * 1000u + (uint32_t)(tv.tv_usec / 1000);
    struct timespec counter;
    clock_gettime(CLOCK_MONOTONIC, &counter);
    const uint64_t ticks = (uint64_t)counter.tv_sec * 1000000000u + (uint64_t)counter.tv_nsec;
    return ms ^ (uint32_t)ticks ^ (uint32_t)(ticks >> 32);
}

void RandomBuffer(void* buffer, size_t size) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = getrandom(p, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseLastOSError();
        }
        p += n;
        size -= (size_t)n;
    }
}
