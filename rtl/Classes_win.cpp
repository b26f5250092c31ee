// The operating-system half of Classes: file and resource streams, locale-aware comparison of
// string lists, and threads.
#include "Classes.h"

#include <process.h>

#include "WinApi.h"

// ---------------------------------------------------------------------------------------------
// THandleStream and TFileStream
// ---------------------------------------------------------------------------------------------

int32_t THandleStream::Read(void* Buffer, int32_t Count) {
    DWORD done = 0;
    if (Count <= 0 || !ReadFile(FHandle, Buffer, (DWORD)Count, &done, nullptr)) return 0;
    return (int32_t)done;
}

int32_t THandleStream::Write(const void* Buffer, int32_t Count) {
    DWORD done = 0;
    if (Count <= 0 || !WriteFile(FHandle, Buffer, (DWORD)Count, &done, nullptr)) return 0;
    return (int32_t)done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    LARGE_INTEGER distance, result;
    distance.QuadPart = Offset;
    const DWORD method = Origin == soBeginning ? FILE_BEGIN : Origin == soCurrent ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(FHandle, distance, &result, method)) return -1;
    return result.QuadPart;
}

void THandleStream::SetSize(int64_t NewSize) {
    const int64_t pos = GetPosition();
    Seek(NewSize, soBeginning);
    if (!SetEndOfFile(FHandle)) RaiseLastOSError();
    if (pos < NewSize) Seek(pos, soBeginning);
}

namespace {

std::wstring FullPath(const std::wstring& name) {
    wchar_t buffer[MAX_PATH * 4];
    wchar_t* filePart = nullptr;
    DWORD n = GetFullPathNameW(name.c_str(), ARRAYSIZE(buffer), buffer, &filePart);
    return n > 0 && n < ARRAYSIZE(buffer) ? std::wstring(buffer, n) : name;
}

}  // namespace

TFileStream::TFileStream(const std::wstring& AFileName, uint32_t Mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(AFileName) {
    static const DWORD shareModes[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE};
    static const DWORD accessModes[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    const uint32_t shareIndex = (Mode & 0xF0) >> 4;
    const DWORD share = shareIndex < 5 ? shareModes[shareIndex] : 0;
    const bool create = (Mode & fmCreate) == fmCreate;
    const DWORD access = create ? GENERIC_READ | GENERIC_WRITE : accessModes[(Mode & 3) < 3 ? Mode & 3 : 0];
    FHandle = CreateFileW(AFileName.c_str(), access, share, nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const std::wstring text = Format(create ? SFCreateErrorEx : SFOpenErrorEx, FullPath(AFileName),
                                         SysErrorMessage(error));
        if (create) throw EFCreateError(text);
        throw EFOpenError(text);
    }
}

TFileStream::~TFileStream() {
    if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
}

// ---------------------------------------------------------------------------------------------
// TResourceStream
// ---------------------------------------------------------------------------------------------

TResourceStream::TResourceStream(void* Instance, const wchar_t* ResName, const wchar_t* ResType) {
    HMODULE module = Instance ? static_cast<HMODULE>(Instance) : GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, ResName, ResType);
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    void* p = data ? LockResource(data) : nullptr;
    if (!p) {
        const std::wstring name = IS_INTRESOURCE(ResName) ? L"#" + IntToStr((uintptr_t)ResName) : std::wstring(ResName);
        throw EResNotFound(Format(SResNotFound, name));
    }
    // Resources stay mapped for the life of the module; nothing to release.
    SetPointer(p, SizeofResource(module, info));
}

int32_t TResourceStream::Write(const void*, int32_t) { throw EStreamError(SCantWriteResourceStream); }

// ---------------------------------------------------------------------------------------------
// String comparison
// ---------------------------------------------------------------------------------------------

int32_t TStrings::CompareStrings(const std::wstring& S1, const std::wstring& S2) const {
    return CompareLocaleStrings(S1, S2, false);
}

int32_t TStringList::CompareStrings(const std::wstring& S1, const std::wstring& S2) const {
    return CompareLocaleStrings(S1, S2, FCaseSensitive);
}

// ---------------------------------------------------------------------------------------------
// TThread
// ---------------------------------------------------------------------------------------------

namespace {

const int Priorities[] = {THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
                          THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                          THREAD_PRIORITY_TIME_CRITICAL};

}  // namespace

namespace {

const DWORD gMainThreadId = GetCurrentThreadId();   // static set-up runs on the program's first thread
constexpr UINT kSyncMessage = WM_USER + 1;
HWND gSyncWindow = nullptr;

LRESULT CALLBACK SyncWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == kSyncMessage) {
        CheckSynchronize(0);
        return 0;
    }
    return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

}  // namespace

uint32_t MainThreadID() { return gMainThreadId; }
bool IsMainThread() { return GetCurrentThreadId() == gMainThreadId; }

// The hidden message-only window that the waiting calls of Synchronize are posted to; made on the
// main thread, so that any message loop running there (a modal dialog's included) runs them.
void PlatformPrepareSynchronize() {
    if (gSyncWindow || !IsMainThread()) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW cls{};
    cls.lpfnWndProc = SyncWindowProc;
    cls.hInstance = instance;
    cls.lpszClassName = L"KWThreadSynchronizeWindow";
    RegisterClassW(&cls);   // fails harmlessly when registered already
    gSyncWindow = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

void PlatformWakeMainThread() {
    if (gSyncWindow) PostMessageW(gSyncWindow, kSyncMessage, 0, 0);
    else PostThreadMessageW(gMainThreadId, WM_NULL, 0, 0);
}

TThread::TThread() {
    PlatformPrepareSynchronize();
    unsigned id = 0;
    FHandle = reinterpret_cast<void*>(_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id));
    if (!FHandle) RaiseLastOSError();
    FThreadID = id;
}

TThread::~TThread() {
    if (!FHandle) return;
    if (OnOwnThread()) {   // a thread freeing itself: nothing to wait for
        CloseHandle(FHandle);
        return;
    }
    if (!FFinished) {
        Terminate();
        // A thread that never ran is let go; it sees Terminated and skips Execute.
        if (!FStarted) Start();
        WaitFor();
    }
    CloseHandle(FHandle);
}

bool TThread::OnOwnThread() const { return GetCurrentThreadId() == FThreadID; }

unsigned __stdcall TThread::ThreadProc(void* Param) {
    TThread* self = static_cast<TThread*>(Param);
    const bool freeSelf = self->FreeOnTerminate;
    const unsigned result = self->RunBody();
    if (freeSelf) delete self;
    return result;
}

void TThread::Start() {
    if (FStarted.exchange(true)) return;
    ResumeThread(FHandle);
}

uint32_t TThread::WaitFor() {
    // A thread never waits for itself (a self-freeing thread's destructor asks for that).
    if (!FStarted || OnOwnThread()) return (uint32_t)ReturnValue;
    if (IsMainThread()) {
        // The worker may be waiting in Synchronize for this very thread.
        while (WaitForSingleObject(FHandle, 0) == WAIT_TIMEOUT) CheckSynchronize(5);
    } else {
        WaitForSingleObject(FHandle, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeThread(FHandle, &code);
    return code;
}

TThreadPriority TThread::GetPriority() const {
    const int p = GetThreadPriority(FHandle);
    for (int i = 0; i < 7; ++i)
        if (Priorities[i] == p) return (TThreadPriority)i;
    return tpNormal;
}

void TThread::SetPriority(TThreadPriority Value) { SetThreadPriority(FHandle, Priorities[Value]); }
