// The background I/O thread: one load or save of a TPicturaIO run on a worker thread, so that a
// caller that lent the component its bitmap (a viewer's, or its own) gets control back at once.
//
// Each load and save with a background branch opens with IEStartIOThread: when the component
// does not own its bitmap, AsyncMode is set and the caller is not already one of the
// component's threads, a new TIEIOThread takes the method and a copy of its arguments, and the
// method returns (a counting loader returns -1). The thread calls the same method again, which
// now runs in place because it finds itself inside the component's threads.
//
// A thread is registered with its component before it starts, and removes itself when its work
// has ended; the removal that leaves none signals the component's IOThreadsDone, which
// WaitThreads (and the component's destruction) waits for. An exception of the work sets the
// component's abort state and goes no further. Stream arguments are borrowed: the caller keeps
// the stream alive and untouched until the finish notification.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "Classes.h"
#include "picturaio.h"

class TIEIOThread : public TThread {
public:
    KW_CLASS_NAME(TIEIOThread)
    // The shapes of the methods a thread runs, by kind. Kinds 0 and 11 (a file name or a URL) and
    // kinds 1 and 6 (a file name and a number) have one C++ shape each: the constructor of the
    // shape gives LoadFromURL kind 11 and LoadFromFileFormat kind 6.
    using TIEIOMethod0 = void (TPicturaIO::*)(const std::wstring&);
    using TIEIOMethod1 = void (TPicturaIO::*)(const std::wstring&, int32_t);
    using TIEIOMethod6 = TIEIOMethod1;
    using TIEIOMethod11 = TIEIOMethod0;
    using TIEIOMethod2 = void (TPicturaIO::*)(TStream*);
    using TIEIOMethod3 = int32_t (TPicturaIO::*)(const std::wstring&);
    using TIEIOMethod5 = int32_t (TPicturaIO::*)(TStream*);
    using TIEIOMethod7 = void (TPicturaIO::*)(TStream*, int32_t);
    using TIEIOMethod9 = void (TPicturaIO::*)(int32_t);
    using TIEIOMethod10 = void (TPicturaIO::*)(const std::wstring&, int32_t, int32_t, bool);

    // Each stores the method and its arguments (strings copied, streams borrowed) and registers
    // the thread with AOwner. The thread is created suspended and frees itself when it ends:
    // Start it, and touch it no more.
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod0 AMethod, const std::wstring& FileName);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod1 AMethod, const std::wstring& FileName, int32_t Value);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod2 AMethod, TStream* Stream);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod3 AMethod, const std::wstring& FileName);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod5 AMethod, TStream* Stream);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod7 AMethod, TStream* Stream, int32_t Value);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod9 AMethod, int32_t Frame);
    TIEIOThread(TPicturaIO* AOwner, TIEIOMethod10 AMethod, const std::wstring& FileName, int32_t A, int32_t B,
                bool C);

    // The stream of an asynchronous LoadFromBuffer, which holds a copy of the caller's bytes: the
    // thread keeps it until its work has ended (set before Start).
    std::unique_ptr<TStream> OwnedStream;

    TPicturaIO* GetOwner() const { return Owner; }
    uint8_t GetMethodKind() const { return MethodKind; }
    // The identifier of the thread that runs the work (set as Execute's first step).
    std::thread::id GetThreadIdent() const { return ThreadIdent.load(); }

protected:
    void Execute() override;

private:
    explicit TIEIOThread(TPicturaIO* AOwner, uint8_t AKind);
    void Register();

    uint8_t MethodKind = 0;
    TIEIOMethod0 Method0 = nullptr;
    TIEIOMethod1 Method1 = nullptr;
    TIEIOMethod2 Method2 = nullptr;
    TIEIOMethod3 Method3 = nullptr;
    TIEIOMethod5 Method5 = nullptr;
    TIEIOMethod6 Method6 = nullptr;
    TIEIOMethod7 Method7 = nullptr;
    TIEIOMethod9 Method9 = nullptr;
    TIEIOMethod10 Method10 = nullptr;
    TIEIOMethod11 Method11 = nullptr;
    std::wstring FileNameArg;
    int32_t IntArg1 = 0;
    TStream* StreamArg = nullptr;
    int32_t IntArg2 = 0;
    int32_t FrameArg = 0;
    int32_t IntArg3 = 0;
    int32_t IntArg4 = 0;
    bool BoolArg = false;
    std::wstring URLArg;
    std::atomic<std::thread::id> ThreadIdent{};
    TPicturaIO* Owner;
};

// The asynchronous decision at the top of a load or save: when it holds, a registered and
// started TIEIOThread runs Method with Args and the result is True (the caller returns at once).
template <class TMethod, class... TArgs>
bool IEStartIOThread(TPicturaIO& Owner, TMethod Method, const TArgs&... Args) {
    if (!Owner.AsyncDecision()) return false;
    (new TIEIOThread(&Owner, Method, Args...))->Start();
    return true;
}
