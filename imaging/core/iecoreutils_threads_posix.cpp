// The system queries of the image library for the native build: cores and memory from sysconf;
// there is no remote session, mouse or clipboard, and global memory is the C heap.
#include "iecoreutils_threads.h"

#include <unistd.h>

#include <cstdlib>

int32_t IEGetCoreCount() {
    if (IECachedCoreCount != -1) return IECachedCoreCount;
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    IECachedCoreCount = n > 0 ? (int32_t)n : 1;
    return IECachedCoreCount;
}

int64_t IEGetMemorySize(bool Available) {
    const long pages = sysconf(Available ? _SC_AVPHYS_PAGES : _SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? (int64_t)pages * pageSize : 0;
}

void* IEGlobalAllocZero(size_t Size) {
    return std::calloc(Size ? Size : 1, 1);
}

void IEGlobalFree(void*& P) {
    std::free(P);
    P = nullptr;
}

bool IEIsRemoteSession() { return false; }
bool IEIsLeftButtonDown() { return false; }
bool IEOpenClipboard() { return false; }

uint32_t IERegisterClipboardFormat(const std::wstring&) { return 0; }

void IEFreeLibrary(void*& Module) {
    Module = nullptr;
}
