// The platform-neutral half of Classes: the stream base, memory streams, string lists, pointer
// lists and components. File, resource and thread classes live in Classes_win.cpp.
#include "Classes.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstdlib>
#include <cstring>

void TPersistent::Assign(const TPersistent* Source) {
    throw EConvertError(Format(SAssignError, Source ? Source->ClassName() : L"nil", ClassName()));
}

// ---------------------------------------------------------------------------------------------
// TStream
// ---------------------------------------------------------------------------------------------

int64_t TStream::GetSize() {
    const int64_t pos = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* Buffer, int32_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* Buffer, int32_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError(SWriteError);
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
    if (Count <= 0) {
        Source->SetPosition(0);
        Count = Source->GetSize();
    }
    constexpr int32_t MaxBufSize = 0xF000;
    std::vector<uint8_t> buffer((size_t)std::min<int64_t>(Count > 0 ? Count : 1, MaxBufSize));
    int64_t left = Count;
    while (left > 0) {
        const int32_t n = (int32_t)std::min<int64_t>(left, MaxBufSize);
        Source->ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return Count;
}

// ---------------------------------------------------------------------------------------------
// Memory streams
// ---------------------------------------------------------------------------------------------

int32_t TCustomMemoryStream::Read(void* Buffer, int32_t Count) {
    if (FPosition < 0 || Count <= 0 || FPosition >= FSize) return 0;
    const int32_t n = (int32_t)std::min<int64_t>(FSize - FPosition, Count);
    std::memcpy(Buffer, static_cast<const uint8_t*>(FMemory) + FPosition, (size_t)n);
    FPosition += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = FSize + Offset; break;
    }
    return FPosition;
}

int32_t TReadOnlyMemoryStream::Write(const void*, int32_t) { throw EStreamError(SCantWriteReadOnlyStream); }

// ---------------------------------------------------------------------------------------------
// TRangeStream
// ---------------------------------------------------------------------------------------------

namespace {

const wchar_t* const kRangeOutsideBase = L"Stream range outside its base stream";
const wchar_t* const kRangeReadOnly = L"Can't write to a read-only stream range";

}  // namespace

TRangeStream::TRangeStream(TStream* ABase, int64_t AStart, int64_t ASize, int32_t ABufferSize)
    : FBase(ABase), FStart(AStart), FSize(ASize), FBuffer((size_t)std::max<int32_t>(ABufferSize, 1)) {
    int64_t end = 0;
    if (!ABase || AStart < 0 || ASize < 0 || __builtin_add_overflow(AStart, ASize, &end) || end > ABase->GetSize())
        throw EStreamError(kRangeOutsideBase);
}

int32_t TRangeStream::ReadBase(int64_t At, void* Buffer, int32_t Count) {
    if (FBase->Seek(FStart + At, soBeginning) != FStart + At) return 0;
    const int32_t got = FBase->Read(Buffer, Count);
    return got > 0 ? got : 0;
}

int32_t TRangeStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    Count = (int32_t)std::min<int64_t>(Count, FSize - FPosition);
    auto* out = static_cast<uint8_t*>(Buffer);
    int32_t done = 0;
    while (done < Count) {
        const int64_t inBuffer = FPosition - FBufferAt;
        if (inBuffer >= 0 && inBuffer < FBufferCount) {
            const int32_t n = (int32_t)std::min<int64_t>(Count - done, FBufferCount - inBuffer);
            std::memcpy(out + done, FBuffer.data() + inBuffer, (size_t)n);
            done += n;
            FPosition += n;
            continue;
        }
        const int32_t want = Count - done;
        if (want >= (int32_t)FBuffer.size()) {
            const int32_t got = ReadBase(FPosition, out + done, want);
            done += got;
            FPosition += got;
            break;
        }
        FBufferAt = FPosition;
        FBufferCount = ReadBase(FPosition, FBuffer.data(),
                                (int32_t)std::min<int64_t>((int64_t)FBuffer.size(), FSize - FPosition));
        if (FBufferCount == 0) break;
    }
    return done;
}

int32_t TRangeStream::Write(const void*, int32_t) { throw EStreamError(kRangeReadOnly); }

void TRangeStream::SetSize(int64_t) { throw EStreamError(kRangeReadOnly); }

int64_t TRangeStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int64_t from = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : FSize;
    int64_t to = 0;
    if (__builtin_add_overflow(from, Offset, &to)) to = Offset < 0 ? 0 : INT64_MAX;
    FPosition = std::max<int64_t>(to, 0);
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
    const uint8_t* p = static_cast<const uint8_t*>(FMemory);
    for (int64_t left = FSize; left > 0;) {
        const int32_t n = (int32_t)std::min<int64_t>(left, 0x40000000);
        Stream->WriteBuffer(p, n);
        p += n;
        left -= n;
    }
}

void TCustomMemoryStream::SaveToFile(const std::wstring& FileName) {
    TFileStream stream(FileName, fmCreate);
    SaveToStream(&stream);
}

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
    if (NewCapacity == FCapacity) return;
    if (NewCapacity <= 0) {
        std::free(FMemory);
        SetPointer(nullptr, FSize);
        FCapacity = 0;
        return;
    }
    void* p = NewCapacity > 0x7FFFFFFF ? nullptr : std::realloc(FMemory, (size_t)NewCapacity);
    if (!p) throw EStreamError(SMemoryStreamError);
    FMemory = p;
    FCapacity = NewCapacity;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) NewSize = 0;
    const int64_t oldPosition = FPosition;
    SetCapacity(NewSize);
    if (NewSize > FSize) std::memset(static_cast<uint8_t*>(FMemory) + FSize, 0, (size_t)(NewSize - FSize));
    FSize = NewSize;
    if (oldPosition > NewSize) FPosition = NewSize;
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
    if (FPosition < 0 || Count <= 0) return 0;
    const int64_t end = FPosition + Count;
    if (end > FCapacity) {
        // Grow by half again, in steps of 8 KB, so that many small writes stay linear.
        int64_t want = std::max<int64_t>(end, FCapacity + FCapacity / 2);
        want = (want + 0x1FFF) & ~(int64_t)0x1FFF;
        if (want > 0x7FFFFFFF) want = end;
        SetCapacity(want);
    }
    uint8_t* base = static_cast<uint8_t*>(FMemory);
    if (FPosition > FSize) std::memset(base + FSize, 0, (size_t)(FPosition - FSize));
    std::memcpy(base + FPosition, Buffer, (size_t)Count);
    FPosition = end;
    if (end > FSize) FSize = end;
    return Count;
}

void TMemoryStream::Clear() {
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
    Stream->SetPosition(0);
    const int64_t count = Stream->GetSize();
    SetSize(count);
    if (count > 0) Stream->ReadBuffer(FMemory, (int32_t)count);
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::wstring& FileName) {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&stream);
}

// ---------------------------------------------------------------------------------------------
// TStrings
// ---------------------------------------------------------------------------------------------

void TStrings::Error(const wchar_t* Msg, int32_t Data) { throw EStringListError(Format(Msg, Data)); }

int32_t TStrings::Add(const std::wstring& S) {
    const int32_t index = GetCount();
    Insert(index, S);
    return index;
}

int32_t TStrings::AddObject(const std::wstring& S, TObject* AObject) {
    const int32_t index = Add(S);
    SetObjects(index, AObject);
    return index;
}

void TStrings::InsertObject(int32_t Index, const std::wstring& S, TObject* AObject) {
    Insert(Index, S);
    SetObjects(Index, AObject);
}

void TStrings::AddStrings(const TStrings* Strings) {
    for (int32_t i = 0; i < Strings->GetCount(); ++i) AddObject(Strings->GetStrings(i), Strings->GetObjects(i));
}

int32_t TStrings::IndexOf(const std::wstring& S) const {
    for (int32_t i = 0; i < GetCount(); ++i)
        if (CompareStrings(GetStrings(i), S) == 0) return i;
    return -1;
}

int32_t TStrings::IndexOfObject(const TObject* AObject) const {
    for (int32_t i = 0; i < GetCount(); ++i)
        if (GetObjects(i) == AObject) return i;
    return -1;
}

void TStrings::Assign(const TPersistent* Source) {
    if (auto strings = dynamic_cast<const TStrings*>(Source)) {
        if (strings == this) return;
        Clear();
        AddStrings(strings);
        return;
    }
    TPersistent::Assign(Source);
}

std::wstring TStrings::GetText() const {
    std::wstring text;
    for (int32_t i = 0; i < GetCount(); ++i) {
        text += GetStrings(i);
        text += L"\r\n";
    }
    return text;
}

void TStrings::SetText(const std::wstring& Text) {
    Clear();
    size_t start = 0;
    while (start < Text.size()) {
        size_t end = Text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = Text.size();
        Add(Text.substr(start, end - start));
        if (end < Text.size() && Text[end] == L'\r') ++end;
        if (end < Text.size() && Text[end] == L'\n') ++end;
        start = end;
    }
}

void TStrings::LoadFromStream(TStream* Stream) {
    const int64_t size = Stream->GetSize() - Stream->GetPosition();
    std::string bytes(size > 0 ? (size_t)size : 0, '\0');
    if (!bytes.empty()) Stream->ReadBuffer(&bytes[0], (int32_t)bytes.size());

    auto utf16 = [&](size_t from, bool bigEndian) {
        std::wstring w((bytes.size() - from) / 2, L'\0');
        for (size_t i = 0; i < w.size(); ++i) {
            const uint8_t a = (uint8_t)bytes[from + 2 * i], b = (uint8_t)bytes[from + 2 * i + 1];
            w[i] = (wchar_t)(bigEndian ? (a << 8 | b) : (b << 8 | a));
        }
        return w;
    };
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) SetText(Utf8ToWide(bytes.substr(3)));
    else if (bytes.compare(0, 2, "\xFF\xFE") == 0) SetText(utf16(2, false));
    else if (bytes.compare(0, 2, "\xFE\xFF") == 0) SetText(utf16(2, true));
    else SetText(AnsiToWide(bytes));
}

void TStrings::LoadFromFile(const std::wstring& FileName) {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&stream);
}

void TStrings::SaveToStream(TStream* Stream, TTextEncoding Encoding) const {
    const std::wstring text = GetText();
    std::string bytes;
    switch (Encoding) {
    case TTextEncoding::Ansi: bytes = WideToAnsi(text); break;
    case TTextEncoding::UTF8: bytes = "\xEF\xBB\xBF" + WideToUtf8(text); break;
    case TTextEncoding::Unicode:
    case TTextEncoding::BigEndianUnicode: {
        const bool big = Encoding == TTextEncoding::BigEndianUnicode;
        bytes = big ? "\xFE\xFF" : "\xFF\xFE";
        for (wchar_t c : text) {
            const char hi = (char)((uint16_t)c >> 8), lo = (char)(c & 0xFF);
            bytes += big ? hi : lo;
            bytes += big ? lo : hi;
        }
        break;
    }
    }
    Stream->WriteBuffer(bytes.data(), (int32_t)bytes.size());
}

void TStrings::SaveToFile(const std::wstring& FileName, TTextEncoding Encoding) const {
    TFileStream stream(FileName, fmCreate);
    SaveToStream(&stream, Encoding);
}

// ---------------------------------------------------------------------------------------------
// TStringList
// ---------------------------------------------------------------------------------------------

void TStringList::CheckIndex(int32_t Index, bool AllowEnd) const {
    if (Index < 0 || Index > GetCount() || (!AllowEnd && Index == GetCount())) Error(SListIndexError, Index);
}

void TStringList::Changed() {
    if (OnChange) OnChange(this);
}

std::wstring TStringList::GetStrings(int32_t Index) const {
    CheckIndex(Index);
    return FList[(size_t)Index].S;
}

void TStringList::SetStrings(int32_t Index, const std::wstring& S) {
    if (FSorted) throw EStringListError(SSortedListError);
    CheckIndex(Index);
    FList[(size_t)Index].S = S;
    Changed();
}

TObject* TStringList::GetObjects(int32_t Index) const {
    CheckIndex(Index);
    return FList[(size_t)Index].Obj;
}

void TStringList::SetObjects(int32_t Index, TObject* AObject) {
    CheckIndex(Index);
    FList[(size_t)Index].Obj = AObject;
    Changed();
}

void TStringList::Insert(int32_t Index, const std::wstring& S) {
    if (FSorted) throw EStringListError(SSortedListError);
    CheckIndex(Index, true);
    FList.insert(FList.begin() + Index, TItem{S, nullptr});
    Changed();
}

void TStringList::Delete(int32_t Index) {
    CheckIndex(Index);
    FList.erase(FList.begin() + Index);
    Changed();
}

int32_t TStringList::Add(const std::wstring& S) {
    if (!FSorted) return TStrings::Add(S);
    int32_t index;
    if (Find(S, index)) {
        if (Duplicates == dupIgnore) return index;
        if (Duplicates == dupError) throw EStringListError(SDuplicateString);
    }
    FList.insert(FList.begin() + index, TItem{S, nullptr});
    Changed();
    return index;
}

int32_t TStringList::IndexOf(const std::wstring& S) const {
    if (!FSorted) return TStrings::IndexOf(S);
    int32_t index;
    return Find(S, index) ? index : -1;
}

bool TStringList::Find(const std::wstring& S, int32_t& Index) const {
    int32_t lo = 0, hi = GetCount() - 1;
    bool found = false;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int32_t c = CompareStrings(FList[(size_t)mid].S, S);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept) lo = mid;
            }
        }
    }
    Index = lo;
    return found;
}

void TStringList::Exchange(int32_t Index1, int32_t Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(FList[(size_t)Index1], FList[(size_t)Index2]);
    Changed();
}

void TStringList::Sort() {
    std::stable_sort(FList.begin(), FList.end(),
                     [this](const TItem& a, const TItem& b) { return CompareStrings(a.S, b.S) < 0; });
    Changed();
}

void TStringList::SetSorted(bool Value) {
    if (Value && !FSorted) Sort();
    FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
    if (Value == FCaseSensitive) return;
    FCaseSensitive = Value;
    if (FSorted) Sort();
}

// ---------------------------------------------------------------------------------------------
// TList
// ---------------------------------------------------------------------------------------------

void TList::CheckIndex(int32_t Index) const {
    if (Index < 0 || Index >= GetCount()) throw EListError(Format(SListIndexError, Index));
}

void* TList::GetItems(int32_t Index) const {
    CheckIndex(Index);
    return FItems[(size_t)Index];
}

void TList::SetItems(int32_t Index, void* Item) {
    CheckIndex(Index);
    FItems[(size_t)Index] = Item;
}

int32_t TList::Add(void* Item) {
    FItems.push_back(Item);
    return GetCount() - 1;
}

void TList::Insert(int32_t Index, void* Item) {
    if (Index < 0 || Index > GetCount()) throw EListError(Format(SListIndexError, Index));
    FItems.insert(FItems.begin() + Index, Item);
}

void TList::Delete(int32_t Index) {
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

int32_t TList::Remove(void* Item) {
    const int32_t index = IndexOf(Item);
    if (index >= 0) Delete(index);
    return index;
}

int32_t TList::IndexOf(const void* Item) const {
    auto it = std::find(FItems.begin(), FItems.end(), Item);
    return it == FItems.end() ? -1 : (int32_t)(it - FItems.begin());
}

void TList::Exchange(int32_t Index1, int32_t Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(FItems[(size_t)Index1], FItems[(size_t)Index2]);
}

void TList::Move(int32_t CurIndex, int32_t NewIndex) {
    if (CurIndex == NewIndex) return;
    CheckIndex(NewIndex);
    void* item = GetItems(CurIndex);
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, item);
}

void TList::Sort(const std::function<int(void*, void*)>& Compare) {
    std::stable_sort(FItems.begin(), FItems.end(), [&](void* a, void* b) { return Compare(a, b) < 0; });
}

// ---------------------------------------------------------------------------------------------
// TComponent
// ---------------------------------------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FDestroying = true;
    for (TComponent* c : FComponents) c->FDestroying = true;
    while (!FFreeNotifies.empty()) {
        TComponent* c = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        c->FFreeNotifies.erase(std::remove(c->FFreeNotifies.begin(), c->FFreeNotifies.end(), this),
                               c->FFreeNotifies.end());
        c->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::GetComponents(int32_t Index) const {
    if (Index < 0 || Index >= GetComponentCount()) throw EListError(Format(SListIndexError, Index));
    return FComponents[(size_t)Index];
}

TComponent* TComponent::FindComponent(const std::wstring& AName) const {
    if (AName.empty()) return nullptr;
    const std::wstring upper = UpperCase(AName);
    for (TComponent* c : FComponents)
        if (UpperCase(c->FName) == upper) return c;
    return nullptr;
}

void TComponent::Insert(TComponent* AComponent) {
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
    AComponent->FOwner = nullptr;
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent), FComponents.end());
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
    Insert(AComponent);
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    Notification(AComponent, opRemove);
    Remove(AComponent);
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        Remove(c);
        delete c;
    }
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this) return;
    // Components of the same owner hear of one another through the owner already.
    if (FOwner && AComponent->FOwner == FOwner) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(AComponent);
        AComponent->FreeNotification(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (!AComponent) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
    auto& theirs = AComponent->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
    // Passed on to the owned components, last first; a handler may remove components.
    int32_t i = GetComponentCount() - 1;
    while (i >= 0) {
        FComponents[(size_t)i]->Notification(AComponent, Operation);
        --i;
        if (i >= GetComponentCount()) i = GetComponentCount() - 1;
    }
}

unsigned TThread::RunBody() {
    if (!FTerminated) {
        try {
            Execute();
        } catch (...) {
            FFatalException = std::current_exception();
        }
    }
    try {
        DoTerminate();
    } catch (...) {
        if (!FFatalException) FFatalException = std::current_exception();
    }
    const unsigned result = (unsigned)ReturnValue;
    FFinished = true;
    return result;
}

void TThread::DoTerminate() {
    if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

// ---- Synchronize: calls handed to the main thread -----------------------------------------------

// The platform's half (Classes_win.cpp, Classes_posix.cpp): makes the main thread look at the
// queue soon, and readies what that needs (on the main thread).
void PlatformWakeMainThread();
void PlatformPrepareSynchronize();

std::function<void()> WakeMainThread;

namespace {

struct TSyncRequest {
    const std::function<void()>* Method;
    std::exception_ptr Error;
    bool Done = false;
};

// One lock and one signal for the queue and for the requests' completion.
struct TSyncQueue {
    std::mutex Lock;
    std::condition_variable Signal;
    std::deque<TSyncRequest*> Waiting;
};

TSyncQueue& SyncQueue() {
    static TSyncQueue* queue = new TSyncQueue();   // never freed: threads may outlive static destruction
    return *queue;
}

}  // namespace

void TThread::Synchronize(TThread* AThread, const std::function<void()>& AMethod) {
    (void)AThread;
    if (IsMainThread()) {
        AMethod();
        return;
    }
    TSyncQueue& q = SyncQueue();
    TSyncRequest request{&AMethod};
    {
        std::lock_guard<std::mutex> lock(q.Lock);
        q.Waiting.push_back(&request);
    }
    q.Signal.notify_all();
    PlatformWakeMainThread();
    if (WakeMainThread) WakeMainThread();
    {
        std::unique_lock<std::mutex> lock(q.Lock);
        q.Signal.wait(lock, [&] { return request.Done; });
    }
    if (request.Error) std::rethrow_exception(request.Error);
}

bool CheckSynchronize(uint32_t ATimeoutMs) {
    if (!IsMainThread()) return false;
    PlatformPrepareSynchronize();
    TSyncQueue& q = SyncQueue();
    std::deque<TSyncRequest*> batch;
    {
        std::unique_lock<std::mutex> lock(q.Lock);
        if (q.Waiting.empty() && ATimeoutMs > 0)
            q.Signal.wait_for(lock, std::chrono::milliseconds(ATimeoutMs), [&] { return !q.Waiting.empty(); });
        batch.swap(q.Waiting);
    }
    if (batch.empty()) return false;
    for (TSyncRequest* request : batch) {
        try {
            (*request->Method)();
        } catch (...) {
            request->Error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(q.Lock);
        request->Done = true;
    }
    q.Signal.notify_all();
    return true;
}
