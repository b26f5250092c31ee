// The non-visual classes the code takes for granted: the object root, streams, string lists,
// pointer lists, components with owners and notifications, and threads.
#pragma once
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SysUtils.h"

// ---------------------------------------------------------------------------------------------
// Objects and events
// ---------------------------------------------------------------------------------------------

// The root of the class tree: a virtual destructor and the class's own name at run time.
class TObject {
public:
    virtual ~TObject() = default;
    virtual const wchar_t* ClassName() const { return L"TObject"; }
};

// Every class that derives from TObject names itself with this, inside its public section.
#define KW_CLASS_NAME(Name) \
    const wchar_t* ClassName() const override { return L## #Name; }

using TNotifyEvent = std::function<void(TObject* Sender)>;

// An object whose contents can be copied from another of a compatible class.
class TPersistent : public TObject {
public:
    KW_CLASS_NAME(TPersistent)
    // Copies Source into this object; the base raises EConvertError ("Cannot assign a X to a Y").
    virtual void Assign(const TPersistent* Source);
};

// ---------------------------------------------------------------------------------------------
// Streams
// ---------------------------------------------------------------------------------------------

enum TSeekOrigin { soBeginning, soCurrent, soEnd };
constexpr TSeekOrigin soFromBeginning = soBeginning;
constexpr TSeekOrigin soFromCurrent = soCurrent;
constexpr TSeekOrigin soFromEnd = soEnd;

class TStream : public TObject {
public:
    KW_CLASS_NAME(TStream)
    // Return the number of bytes moved (0 on failure or at the end).
    virtual int32_t Read(void* Buffer, int32_t Count) = 0;
    virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
    virtual int64_t GetSize();
    virtual void SetSize(int64_t NewSize);

    // All or nothing: a short transfer raises EReadError / EWriteError.
    void ReadBuffer(void* Buffer, int32_t Count);
    void WriteBuffer(const void* Buffer, int32_t Count);
    // Copies Count bytes from Source's position; Count 0 copies the whole of Source from its start.
    // Returns the number of bytes copied.
    int64_t CopyFrom(TStream* Source, int64_t Count);
};

// A stream over an operating-system file handle, which it does not own.
class THandleStream : public TStream {
public:
    KW_CLASS_NAME(THandleStream)
    explicit THandleStream(void* AHandle) : FHandle(AHandle) {}
    void* GetHandle() const { return FHandle; }
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;   // raises EOSError when the file cannot change size

protected:
    void* FHandle;
};

// Open modes: one access mode, or fmCreate (create or truncate, read and write), combined with
// one share mode.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;   // as exclusive
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TFileStream : public THandleStream {
public:
    KW_CLASS_NAME(TFileStream)
    // Raises EFCreateError ("Cannot create file "%s". %s") or EFOpenError ("Cannot open file
    // "%s". %s") with the full path and the system's reason.
    TFileStream(const std::wstring& AFileName, uint32_t Mode);
    ~TFileStream() override;
    const std::wstring& GetFileName() const { return FFileName; }

private:
    std::wstring FFileName;
};

// A stream over a block of memory that it reads from; the descendants decide who owns it.
class TCustomMemoryStream : public TStream {
public:
    KW_CLASS_NAME(TCustomMemoryStream)
    int32_t Read(void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t GetSize() override { return FSize; }
    void* GetMemory() const { return FMemory; }
    void SaveToStream(TStream* Stream);
    void SaveToFile(const std::wstring& FileName);

protected:
    void SetPointer(void* Ptr, int64_t Size) {
        FMemory = Ptr;
        FSize = Size;
    }
    void* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

// A growable stream in memory. Writing past the end extends it; a gap left by seeking past the
// end before writing is zero-filled.
class TMemoryStream : public TCustomMemoryStream {
public:
    KW_CLASS_NAME(TMemoryStream)
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int32_t Write(const void* Buffer, int32_t Count) override;
    void SetSize(int64_t NewSize) override;   // raises EStreamError when memory runs out
    void Clear();
    // Replace the contents with the whole of Stream (from its start) or of the file.
    void LoadFromStream(TStream* Stream);
    void LoadFromFile(const std::wstring& FileName);
    int64_t GetCapacity() const { return FCapacity; }

protected:
    void SetCapacity(int64_t NewCapacity);

private:
    int64_t FCapacity = 0;
};

// A read-only stream over bytes that the caller owns and keeps alive for the stream's life:
// parsers and fuzz targets read a buffer in place, without a copy. Writing raises EStreamError.
class TReadOnlyMemoryStream : public TCustomMemoryStream {
public:
    KW_CLASS_NAME(TReadOnlyMemoryStream)
    TReadOnlyMemoryStream(const void* AData, int64_t ASize) { SetPointer(const_cast<void*>(AData), ASize); }
    int32_t Write(const void* Buffer, int32_t Count) override;
};

// A read-only view of the bytes [AStart, AStart + ASize) of another stream (typically a file the
// caller holds open so that nobody can change it meanwhile), which stays the caller's, must outlive
// this one and is not moved by anyone else while this one reads. Position 0 is AStart; reads stop
// at the end of the range; a seek before the start stops at 0, one past the end reads nothing. Reads are buffered in ABufferSize
// bytes, so that a parser's many small header reads do not each cost a call to the base stream; a
// read of at least the buffer's size goes straight to the base. Raises EStreamError for a negative
// start or size, a range beyond the base's end, or a write or size change.
class TRangeStream : public TStream {
public:
    KW_CLASS_NAME(TRangeStream)
    TRangeStream(TStream* ABase, int64_t AStart, int64_t ASize, int32_t ABufferSize = 65536);
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t GetSize() override { return FSize; }
    void SetSize(int64_t NewSize) override;

private:
    // Reads Count bytes at range offset At from the base; returns the count read.
    int32_t ReadBase(int64_t At, void* Buffer, int32_t Count);

    TStream* FBase;
    int64_t FStart;
    int64_t FSize;
    int64_t FPosition = 0;
    std::vector<uint8_t> FBuffer;
    int64_t FBufferAt = 0;      // range offset of FBuffer[0]
    int32_t FBufferCount = 0;   // valid bytes in FBuffer
};

// The bytes of a resource of a module (the program's own when Instance is null), read-only. Name
// and ResType may be integer identifiers made with MAKEINTRESOURCE. Raises EResNotFound.
class TResourceStream : public TCustomMemoryStream {
public:
    KW_CLASS_NAME(TResourceStream)
    TResourceStream(void* Instance, const wchar_t* ResName, const wchar_t* ResType);
    int32_t Write(const void* Buffer, int32_t Count) override;   // raises EStreamError
};

// ---------------------------------------------------------------------------------------------
// String lists
// ---------------------------------------------------------------------------------------------

// The encodings string lists save in (loading detects them by their byte-order mark).
enum class TTextEncoding { Ansi, UTF8, Unicode, BigEndianUnicode };

class TStrings : public TPersistent {
public:
    KW_CLASS_NAME(TStrings)
    virtual int32_t GetCount() const = 0;
    virtual std::wstring GetStrings(int32_t Index) const = 0;
    virtual void SetStrings(int32_t Index, const std::wstring& S) = 0;
    virtual TObject* GetObjects(int32_t Index) const = 0;
    virtual void SetObjects(int32_t Index, TObject* AObject) = 0;
    virtual void Insert(int32_t Index, const std::wstring& S) = 0;
    virtual void Delete(int32_t Index) = 0;
    virtual void Clear() = 0;

    virtual int32_t Add(const std::wstring& S);   // returns the new line's index
    int32_t AddObject(const std::wstring& S, TObject* AObject);
    void InsertObject(int32_t Index, const std::wstring& S, TObject* AObject);
    void AddStrings(const TStrings* Strings);
    virtual int32_t IndexOf(const std::wstring& S) const;   // -1 when absent
    int32_t IndexOfObject(const TObject* AObject) const;
    void Assign(const TPersistent* Source) override;

    // Every line followed by CR LF; setting splits at CR LF, CR or LF.
    std::wstring GetText() const;
    void SetText(const std::wstring& Text);

    // Loads the rest of the stream: a byte-order mark selects UTF-8, UTF-16LE or UTF-16BE,
    // otherwise the bytes are ANSI text. Replaces the contents.
    void LoadFromStream(TStream* Stream);
    void LoadFromFile(const std::wstring& FileName);
    // ANSI without a mark by default; the Unicode encodings write their byte-order mark.
    void SaveToStream(TStream* Stream, TTextEncoding Encoding = TTextEncoding::Ansi) const;
    void SaveToFile(const std::wstring& FileName, TTextEncoding Encoding = TTextEncoding::Ansi) const;

    // Text comparison of the list (locale order, case-insensitive unless CaseSensitive).
    virtual int32_t CompareStrings(const std::wstring& S1, const std::wstring& S2) const;

protected:
    [[noreturn]] static void Error(const wchar_t* Msg, int32_t Data);
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

KW_DECLARE_EXCEPTION(EStringListError, EListError);

// Lines with an object each. With Sorted the lines are kept in order by CompareStrings and Add
// places them; Duplicates says what Add does with a line already present.
class TStringList : public TStrings {
public:
    KW_CLASS_NAME(TStringList)
    int32_t GetCount() const override { return (int32_t)FList.size(); }
    std::wstring GetStrings(int32_t Index) const override;
    void SetStrings(int32_t Index, const std::wstring& S) override;   // EListError when sorted
    TObject* GetObjects(int32_t Index) const override;
    void SetObjects(int32_t Index, TObject* AObject) override;
    void Insert(int32_t Index, const std::wstring& S) override;      // EListError when sorted
    void Delete(int32_t Index) override;
    void Clear() override { FList.clear(); }
    int32_t Add(const std::wstring& S) override;
    int32_t IndexOf(const std::wstring& S) const override;
    void Exchange(int32_t Index1, int32_t Index2);
    void Sort();
    // Binary search of a sorted list: True when found; Index is the match or the insert position.
    bool Find(const std::wstring& S, int32_t& Index) const;

    bool GetSorted() const { return FSorted; }
    void SetSorted(bool Value);
    bool GetCaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool Value);
    int32_t CompareStrings(const std::wstring& S1, const std::wstring& S2) const override;

    TDuplicates Duplicates = dupIgnore;
    TNotifyEvent OnChange;

private:
    struct TItem {
        std::wstring S;
        TObject* Obj;
    };
    void CheckIndex(int32_t Index, bool AllowEnd = false) const;
    void Changed();
    std::vector<TItem> FList;
    bool FSorted = false;
    bool FCaseSensitive = false;
};

// ---------------------------------------------------------------------------------------------
// Pointer lists
// ---------------------------------------------------------------------------------------------

// A list of untyped pointers; a bad index raises EListError ("List index out of bounds (%d)").
class TList : public TObject {
public:
    KW_CLASS_NAME(TList)
    int32_t GetCount() const { return (int32_t)FItems.size(); }
    void* GetItems(int32_t Index) const;
    void SetItems(int32_t Index, void* Item);
    int32_t Add(void* Item);
    void Insert(int32_t Index, void* Item);
    void Delete(int32_t Index);
    int32_t Remove(void* Item);   // the removed index, or -1
    int32_t IndexOf(const void* Item) const;
    void Exchange(int32_t Index1, int32_t Index2);
    void Move(int32_t CurIndex, int32_t NewIndex);
    void* First() const { return GetItems(0); }
    void* Last() const { return GetItems(GetCount() - 1); }
    void Clear() { FItems.clear(); }
    // Stable order by Compare (negative, zero, positive).
    void Sort(const std::function<int(void*, void*)>& Compare);
    void** List() { return FItems.data(); }

private:
    void CheckIndex(int32_t Index) const;
    std::vector<void*> FItems;
};

// ---------------------------------------------------------------------------------------------
// Components
// ---------------------------------------------------------------------------------------------

enum TOperation { opInsert, opRemove };

// A component belongs to its owner, which frees it (the owned components in reverse order of
// insertion) when it is freed itself. A component can ask another for a notification when that
// one is freed (FreeNotification); owners hear of every component inserted into or removed from
// them. Components are made with new and handed to their owner, or held by a unique_ptr when
// they have none; freeing one removes it from its owner.
class TComponent : public TPersistent {
public:
    KW_CLASS_NAME(TComponent)
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* GetOwner() const { return FOwner; }
    const std::wstring& GetName() const { return FName; }
    virtual void SetName(const std::wstring& NewName) { FName = NewName; }
    int32_t GetComponentCount() const { return (int32_t)FComponents.size(); }
    TComponent* GetComponents(int32_t Index) const;
    TComponent* FindComponent(const std::wstring& AName) const;   // case-insensitive; nullptr

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    // Frees the owned components, the last inserted first. Derived classes whose owned
    // components need the derived parts call it from their own destructor.
    void DestroyComponents();
    // AComponent's Notification(this, opRemove) runs when this component is freed (both ways).
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);
    bool Destroying() const { return FDestroying; }

    int32_t Tag = 0;

protected:
    // Runs on an owner for every component inserted into or removed from it (and is passed on to
    // its owned components), and on every component that asked for a free notification.
    // Overrides clear their references to AComponent on opRemove and call the base.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
    void Insert(TComponent* AComponent);
    void Remove(TComponent* AComponent);
    TComponent* FOwner = nullptr;
    std::wstring FName;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    bool FDestroying = false;
};

// ---------------------------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------------------------

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A thread of the operating system that runs Execute. It is created suspended: Start (or Resume)
// lets it run. (C++ builds the derived parts after the base, so a thread may not run before the
// whole object exists; NewThread builds one and starts it when asked, as a class library that
// starts threads after construction does.) Destroying a thread asks it to stop and waits for it;
// a class whose Execute uses its own members does the same in its destructor (Terminate, then
// WaitFor), before those members go. An exception that escapes Execute ends the thread and is
// kept in GetFatalException.
//
// After Execute, OnTerminate runs on the main thread (through Synchronize); then a thread with
// FreeOnTerminate frees itself on its own thread: nobody else may free it or touch it once it has
// been started.
//
// Synchronize runs a call on the main thread (the thread that started the program) and waits
// for it: on Windows a message to a hidden window of the main thread makes it run there, inside
// whatever message loop the main thread is in; elsewhere the main thread runs the waiting calls
// when it calls CheckSynchronize. A thread waiting in WaitFor on the main thread keeps running
// them, so a worker that synchronizes while the main thread waits for it cannot dead-lock.
class TThread : public TObject {
public:
    KW_CLASS_NAME(TThread)
    TThread();
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    void Resume() { Start(); }
    // Sets Terminated; Execute is expected to check it and return.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    // Waits until the thread has ended (at once when it never ran) and returns ReturnValue. On the
    // main thread the waiting calls of Synchronize keep running meanwhile.
    uint32_t WaitFor();
    bool Finished() const { return FFinished; }
    bool Started() const { return FStarted; }

    TThreadPriority GetPriority() const;
    void SetPriority(TThreadPriority Value);
    void* GetHandle() const { return FHandle; }
    uint32_t GetThreadID() const { return FThreadID; }
    std::exception_ptr GetFatalException() const { return FFatalException; }

    // Runs AMethod on the main thread and returns once it has run (at once on the main thread
    // itself). An exception AMethod raises is raised again in the calling thread.
    void Synchronize(const std::function<void()>& AMethod) { Synchronize(this, AMethod); }
    // The same for any thread, a TThread or not (AThread may be nullptr).
    static void Synchronize(TThread* AThread, const std::function<void()>& AMethod);

    // Set before Start: the thread frees itself once Execute and OnTerminate are done.
    bool FreeOnTerminate = false;
    // Runs on the main thread after Execute, with the thread as Sender.
    TNotifyEvent OnTerminate;

protected:
    virtual void Execute() = 0;
    // Runs OnTerminate through Synchronize; called on the thread after Execute.
    virtual void DoTerminate();
    int32_t ReturnValue = 0;

private:
    static unsigned __stdcall ThreadProc(void* Param);
    // The thread's body, shared by both platforms' entry points: Execute unless terminated
    // before it ran, an escaping exception kept, OnTerminate, then Finished.
    unsigned RunBody();
    // True when called on this thread itself (a self-freeing thread's destructor).
    bool OnOwnThread() const;
    void* FHandle = nullptr;
    uint32_t FThreadID = 0;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FStarted{false};
    std::exception_ptr FFatalException;
};

// The thread that started the program; IsMainThread tells whether the caller is it.
uint32_t MainThreadID();
bool IsMainThread();

// On the main thread: runs every call waiting in Synchronize, after waiting up to ATimeoutMs for
// one to arrive when none waits. True when it ran any. Elsewhere it does nothing and gives false.
bool CheckSynchronize(uint32_t ATimeoutMs = 0);

// Makes the main thread call CheckSynchronize soon (Synchronize calls it for every request). On
// Windows it posts a message to the hidden window; a program may add its own wake-up.
extern std::function<void()> WakeMainThread;

// Builds a T (a TThread) and, unless CreateSuspended, starts it once it is complete.
template <class T, class... A>
std::unique_ptr<T> NewThread(bool CreateSuspended, A&&... Args) {
    auto thread = std::make_unique<T>(std::forward<A>(Args)...);
    if (!CreateSuspended) thread->Start();
    return thread;
}
