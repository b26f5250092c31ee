// The system queries of the image library over Win32.
#include "iecoreutils_threads.h"

#include <vector>

#include "WinApi.h"

int32_t IEGetCoreCount() {
    if (IECachedCoreCount != -1) return IECachedCoreCount;
    IECachedCoreCount = 1;
    // Looked up at run time: systems before XP SP3 lack it.
    HMODULE kernel = LoadLibraryW(L"Kernel32.dll");
    if (!kernel) return IECachedCoreCount;
    using TGetInfo = BOOL(WINAPI*)(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION, PDWORD);
    const auto getInfo = reinterpret_cast<TGetInfo>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetLogicalProcessorInformation")));
    DWORD bytes = 0;
    if (getInfo && !getInfo(nullptr, &bytes) && GetLastError() == ERROR_INSUFFICIENT_BUFFER && bytes > 0) {
        const size_t count = bytes / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION);
        std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> info(count + 1);
        if (getInfo(info.data(), &bytes)) {
            int32_t cores = 0;
            for (size_t i = 0; i < bytes / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION); ++i)
                if (info[i].Relationship == RelationProcessorCore) ++cores;
            if (cores > 0) IECachedCoreCount = cores;
        }
    }
    FreeLibrary(kernel);
    return IECachedCoreCount;
}

int64_t IEGetMemorySize(bool Available) {
    using TStatusEx = BOOL(WINAPI*)(LPMEMORYSTATUSEX);
    const auto statusEx = reinterpret_cast<TStatusEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"Kernel32.dll"), "GlobalMemoryStatusEx")));
    if (statusEx) {
        MEMORYSTATUSEX status = {};
        status.dwLength = sizeof(status);
        if (statusEx(&status)) return (int64_t)(Available ? status.ullAvailPhys : status.ullTotalPhys);
    }
    MEMORYSTATUS status = {};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    return (int64_t)(Available ? status.dwAvailPhys : status.dwTotalPhys);
}

void* IEGlobalAllocZero(size_t Size) {
    return GlobalAlloc(GPTR, Size);
}

void IEGlobalFree(void*& P) {
    if (P) GlobalFree(P);
    P = nullptr;
}

bool IEIsRemoteSession() {
    return GetSystemMetrics(SM_REMOTESESSION) != 0;
}

bool IEIsLeftButtonDown() {
    const int key = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

bool IEOpenClipboard() {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(20);
    }
    return false;
}

uint32_t IERegisterClipboardFormat(const std::wstring& Name) {
    return RegisterClipboardFormatW(Name.c_str());
}

void IEFreeLibrary(void*& Module) {
    if (Module) FreeLibrary(static_cast<HMODULE>(Module));
    Module = nullptr;
}
