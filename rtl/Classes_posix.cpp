// The operating-system half of Classes for the native build: file streams over POSIX descriptors,
// string comparison and threads over pthreads.
//
// A handle is the descriptor itself (-1 when there is none). Share modes are not enforced: POSIX
// has no mandatory sharing. There are no resources, so a resource stream is never found. The
// comparison of string lists is the order of the case-folded UTF-16 units, lower case first
// between texts that differ only in case; it does not weigh punctuation and kana as the Windows
// sort does.
#include "Classes.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "PosixPlatform.h"

namespace {

int Fd(void* handle) {
    return (int)(intptr_t)handle;
}

void* HandleOf(int fd) {
    return (void*)(intptr_t)fd;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// THandleStream and TFileStream
// ---------------------------------------------------------------------------------------------

int32_t THandleStream::Read(void* Buffer, int32_t Count) {
    int32_t done = 0;
    while (done < Count) {
        const ssize_t n = read(Fd(FHandle), static_cast<char*>(Buffer) + done, (size_t)(Count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (int32_t)n;
    }
    return done;
}

int32_t THandleStream::Write(const void* Buffer, int32_t Count) {
    int32_t done = 0;
    while (done < Count) {
        const ssize_t n = write(Fd(FHandle), static_cast<const char*>(Buffer) + done, (size_t)(Count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (int32_t)n;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t result = lseek(Fd(FHandle), (off_t)Offset, whence);
    return result < 0 ? -1 : (int64_t)result;
}

void THandleStream::SetSize(int64_t NewSize) {
    const int64_t pos = GetPosition();
    Seek(NewSize, soBeginning);
    if (ftruncate(Fd(FHandle), (off_t)NewSize) != 0) RaiseLastOSError();
    if (pos < NewSize) Seek(pos, soBeginning);
}

TFileStream::TFileStream(const std::wstring& AFileName, uint32_t Mode)
    : THandleStream(HandleOf(-1)), FFileName(AFileName) {
    static const int accessModes[3] = {O_RDONLY, O_WRONLY, O_RDWR};
    const bool create = (Mode & fmCreate) == fmCreate;
    const int flags = create ? O_RDWR | O_CREAT | O_TRUNC : accessModes[(Mode & 3) < 3 ? Mode & 3 : 0];
    const std::string path = kwposix::PosixPath(AFileName);
    int fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd >= 0) {
        // Windows opens no folder as a file.
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        const int error = errno;
        const std::wstring text = Format(create ? SFCreateErrorEx : SFOpenErrorEx, kwposix::FullPath(AFileName),
                                         SysErrorMessage((uint32_t)error));
        if (create) throw EFCreateError(text);
        throw EFOpenError(text);
    }
    FHandle = HandleOf(fd);
}

TFileStream::~TFileStream() {
    if (Fd(FHandle) >= 0) close(Fd(FHandle));
}

// ---------------------------------------------------------------------------------------------
// TResourceStream
// ---------------------------------------------------------------------------------------------

TResourceStream::TResourceStream(void* Instance, const wchar_t* ResName, const wchar_t* ResType) {
    const bool isId = ((uintptr_t)ResName >> 16) == 0;
    const std::wstring name = isId ? L"#" + IntToStr((uintptr_t)ResName) : std::wstring(ResName);
    throw EResNotFound(Format(SResNotFound, name));
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

// What the handle of a thread points at: the system thread and the gate that holds it back until
// Start.
struct TPosixThread {
    pthread_t Thread{};
    std::mutex Lock;
    std::mutex JoinLock;   // held while a waiter joins, so that only one does
    std::condition_variable Gate;
    bool Open = false;
    bool Joined = false;
    unsigned ExitCode = 0;
    TThreadPriority Priority = tpNormal;
};

TPosixThread& ThreadOf(void* handle) {
    return *static_cast<TPosixThread*>(handle);
}

uint32_t NextThreadId() {
    static std::atomic<uint32_t> next{2};   // 1 is the main thread
    return next++;
}

struct TThreadStart {
    TThread* Self;
    TPosixThread* Thread;
    unsigned (*Proc)(void*);
};

pthread_t MainThreadHandle() {
    static const pthread_t main = pthread_self();
    return main;
}
const pthread_t gMainThreadAtStart = MainThreadHandle();   // static set-up runs on the first thread

void* ThreadEntry(void* param) {
    const TThreadStart start = *static_cast<TThreadStart*>(param);
    delete static_cast<TThreadStart*>(param);
    {
        std::unique_lock<std::mutex> lock(start.Thread->Lock);
        start.Thread->Gate.wait(lock, [&] { return start.Thread->Open; });
    }
    const bool freeSelf = start.Self->FreeOnTerminate;
    const unsigned code = start.Proc(start.Self);
    if (freeSelf) {
        delete start.Self;   // detaches the thread and frees its record
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(start.Thread->Lock);
    start.Thread->ExitCode = code;
    return nullptr;
}

}  // namespace

uint32_t MainThreadID() { return 1; }   // the first number threads are given here
bool IsMainThread() { return pthread_equal(pthread_self(), MainThreadHandle()) != 0; }

// Without a message loop, the main thread runs the waiting calls when it calls CheckSynchronize
// (and while it waits for a thread): nothing to prepare, nobody to wake but the signal.
void PlatformPrepareSynchronize() {}
void PlatformWakeMainThread() {}

TThread::TThread() {
    auto thread = std::make_unique<TPosixThread>();
    auto start = std::make_unique<TThreadStart>(TThreadStart{this, thread.get(), &TThread::ThreadProc});
    const int error = pthread_create(&thread->Thread, nullptr, ThreadEntry, start.get());
    if (error != 0) RaiseLastOSError((uint32_t)error);
    start.release();   // the thread frees it
    FHandle = thread.release();
    FThreadID = NextThreadId();
}

TThread::~TThread() {
    if (!FHandle) return;
    if (OnOwnThread()) {   // a thread freeing itself: nobody joins it
        pthread_detach(ThreadOf(FHandle).Thread);
        delete &ThreadOf(FHandle);
        return;
    }
    if (!FFinished) {
        Terminate();
        // A thread that never ran is let go; it sees Terminated and skips Execute.
        if (!FStarted) Start();
    }
    WaitFor();
    delete &ThreadOf(FHandle);
}

bool TThread::OnOwnThread() const { return pthread_equal(pthread_self(), ThreadOf(FHandle).Thread) != 0; }

unsigned TThread::ThreadProc(void* Param) {
    return static_cast<TThread*>(Param)->RunBody();
}

void TThread::Start() {
    if (FStarted.exchange(true)) return;
    TPosixThread& thread = ThreadOf(FHandle);
    {
        std::lock_guard<std::mutex> lock(thread.Lock);
        thread.Open = true;
    }
    thread.Gate.notify_all();
}

uint32_t TThread::WaitFor() {
    // A thread never waits for itself (a self-freeing thread's destructor asks for that).
    if (!FStarted || OnOwnThread()) return (uint32_t)ReturnValue;
    // On the main thread the worker may be waiting in Synchronize for this very thread.
    if (IsMainThread())
        while (!FFinished) CheckSynchronize(5);
    TPosixThread& thread = ThreadOf(FHandle);
    std::lock_guard<std::mutex> join(thread.JoinLock);
    if (!thread.Joined) {
        pthread_join(thread.Thread, nullptr);
        thread.Joined = true;
    }
    std::lock_guard<std::mutex> lock(thread.Lock);
    return thread.ExitCode;
}

TThreadPriority TThread::GetPriority() const { return ThreadOf(FHandle).Priority; }

// Priorities are kept but not applied: normal users may not raise them on POSIX systems.
void TThread::SetPriority(TThreadPriority Value) { ThreadOf(FHandle).Priority = Value; }
