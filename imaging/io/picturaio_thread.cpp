#include "picturaio_thread.h"

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, uint8_t AKind) : MethodKind(AKind), Owner(AOwner) {
    // Set before the thread can run: the thread's own entry reads it first.
    FreeOnTerminate = true;
}

// The last step of every constructor: from here on the component knows the thread, so a
// WaitThreads that starts before the thread runs waits for it too.
void TIEIOThread::Register() { Owner->RegisterIOThread(this); }

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod0 AMethod, const std::wstring& FileName)
    : TIEIOThread(AOwner, AMethod == &TPicturaIO::LoadFromURL ? 11 : 0) {
    if (MethodKind == 11) {
        Method11 = AMethod;
        URLArg = FileName;
    } else {
        Method0 = AMethod;
        FileNameArg = FileName;
    }
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod1 AMethod, const std::wstring& FileName, int32_t Value)
    : TIEIOThread(AOwner, AMethod == &TPicturaIO::LoadFromFileFormat ? 6 : 1) {
    FileNameArg = FileName;
    if (MethodKind == 6) {
        Method6 = AMethod;
        IntArg2 = Value;
    } else {
        Method1 = AMethod;
        IntArg1 = Value;
    }
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod2 AMethod, TStream* Stream) : TIEIOThread(AOwner, 2) {
    Method2 = AMethod;
    StreamArg = Stream;
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod3 AMethod, const std::wstring& FileName)
    : TIEIOThread(AOwner, 3) {
    Method3 = AMethod;
    FileNameArg = FileName;
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod5 AMethod, TStream* Stream) : TIEIOThread(AOwner, 5) {
    Method5 = AMethod;
    StreamArg = Stream;
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod7 AMethod, TStream* Stream, int32_t Value)
    : TIEIOThread(AOwner, 7) {
    Method7 = AMethod;
    StreamArg = Stream;
    IntArg2 = Value;
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod9 AMethod, int32_t Frame) : TIEIOThread(AOwner, 9) {
    Method9 = AMethod;
    FrameArg = Frame;
    Register();
}

TIEIOThread::TIEIOThread(TPicturaIO* AOwner, TIEIOMethod10 AMethod, const std::wstring& FileName, int32_t A,
                         int32_t B, bool C)
    : TIEIOThread(AOwner, 10) {
    Method10 = AMethod;
    FileNameArg = FileName;
    IntArg3 = A;
    IntArg4 = B;
    BoolArg = C;
    Register();
}

void TIEIOThread::Execute() {
    // First of all, so that the method called next finds itself inside the component's threads
    // and runs in place.
    ThreadIdent = std::this_thread::get_id();
    TPicturaIO& io = *Owner;
    try {
        switch (MethodKind) {
            case 0: (io.*Method0)(FileNameArg); break;
            case 1: (io.*Method1)(FileNameArg, IntArg1); break;
            case 2: (io.*Method2)(StreamArg); break;
            case 3: (io.*Method3)(FileNameArg); break;   // the count is the caller's no more
            case 5: (io.*Method5)(StreamArg); break;
            case 6: (io.*Method6)(FileNameArg, IntArg2); break;
            case 7: (io.*Method7)(StreamArg, IntArg2); break;
            case 9: (io.*Method9)(FrameArg); break;
            case 10: (io.*Method10)(FileNameArg, IntArg3, IntArg4, BoolArg); break;
            case 11: (io.*Method11)(URLArg); break;
            default: break;
        }
    } catch (...) {
        // Nobody is there to take the exception: the work ends as failed.
        io.SetAborting(true);
    }
    OwnedStream.reset();
    // The component may be destroyed as soon as this returns: nothing of it is touched after.
    io.UnregisterIOThread(this);
}
