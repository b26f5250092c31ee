// The row windows of a file-located bitmap, and the file store's byte copies they use.
#include "iebitmap_windows.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <new>

#include "iebitmap.h"

void TIEBitmapFileStore::ReadBytes(int64_t Position, void* Data, size_t Size) {
    if (!FMapping) throw EFileMappingError(L"The image has no file store");
    FMapping->Read(Position, Data, Size);
}

void TIEBitmapFileStore::WriteBytes(int64_t Position, const void* Data, size_t Size) {
    if (!FMapping) throw EFileMappingError(L"The image has no file store");
    FMapping->Write(Position, Data, Size);
}

namespace {

enum : uint8_t { kRead = 1, kWriteBack = 2 };

// Window buffers of WindowBytes given back by any bitmap, kept for the next window of any bitmap:
// a fresh buffer costs a page fault for each of its pages on first touch, a used one nothing.
// Bitmaps on different threads share them, hence the lock.
constexpr size_t kSpareBuffers = TIEFileRowWindows::CachedWindows;
std::mutex SpareLock;
std::vector<std::unique_ptr<uint8_t[]>>& SpareBuffers() {
    // Never destroyed: bitmaps that outlive the statics still give their buffers back.
    static auto* spare = new std::vector<std::unique_ptr<uint8_t[]>>;
    return *spare;
}

std::unique_ptr<uint8_t[]> TakeBuffer(size_t& Capacity) {
    if (Capacity <= TIEFileRowWindows::WindowBytes) {
        Capacity = TIEFileRowWindows::WindowBytes;
        std::lock_guard<std::mutex> lock(SpareLock);
        auto& spare = SpareBuffers();
        if (!spare.empty()) {
            std::unique_ptr<uint8_t[]> buffer = std::move(spare.back());
            spare.pop_back();
            return buffer;
        }
    }
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[Capacity]);
}

void GiveBack(std::unique_ptr<uint8_t[]> Buffer, size_t Capacity) noexcept {
    if (!Buffer || Capacity != TIEFileRowWindows::WindowBytes) return;
    std::lock_guard<std::mutex> lock(SpareLock);
    auto& spare = SpareBuffers();
    if (spare.size() < kSpareBuffers) spare.push_back(std::move(Buffer));
}

}  // namespace

TIEFileRowWindows& TIEFileRowWindows::operator=(TIEFileRowWindows&& AOther) noexcept {
    if (this == &AOther) return *this;
    Discard();
    FStore = AOther.FStore;
    FRowLen = AOther.FRowLen;
    FHeight = AOther.FHeight;
    FWindows = std::move(AOther.FWindows);
    FLocks = std::move(AOther.FLocks);
    FClock = AOther.FClock;
    FLast = AOther.FLast;
    AOther.FWindows.clear();
    AOther.FLocks.clear();
    AOther.FStore = nullptr;
    AOther.FLast = 0;
    return *this;
}

uint8_t* TIEFileRowWindows::Row(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height,
                                TIEDataAccess Access) {
    if (Row < 0 || Row >= Height || RowLen <= 0)
        throw EFileMappingError(Format(L"Row %d is outside the %d rows of the image", Row, Height));
    // Windows of another file or shape (the bitmap was re-allocated) are written back first.
    if (&Store != FStore || RowLen != FRowLen || Height != FHeight) {
        Flush();
        FStore = &Store;
        FRowLen = RowLen;
        FHeight = Height;
    }
    return HandOut(Find(Row), Row, Access);
}

uint8_t* TIEFileRowWindows::Lock(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height,
                                 TIEDataAccess Access) {
    uint8_t* row = this->Row(Store, Row, RowLen, Height, Access);
    TWindow& window = FWindows[FLast];
    FLocks.push_back(TLock{Row, window.Id});
    ++window.Locks;
    return row;
}

void TIEFileRowWindows::Unlock(int32_t Row) {
    for (size_t i = FLocks.size(); i-- > 0;) {
        if (FLocks[i].Row != Row) continue;
        const uint64_t id = FLocks[i].Window;
        FLocks.erase(FLocks.begin() + (std::ptrdiff_t)i);
        for (TWindow& window : FWindows) {
            if (window.Id == id) --window.Locks;
        }
        // A window no longer locked stays as a cached one; the cache shrinks back to its size.
        // Unlocking raises nothing (holders unlock in destructors): a window that cannot be
        // written back now stays until the next write-back raises.
        try {
            Evict(CachedWindows);
        } catch (const Exception&) {
        }
        return;
    }
}

void TIEFileRowWindows::Flush() {
    // Every window goes even when one cannot be written: the first failure is raised at the end.
    std::exception_ptr failure;
    for (TWindow& window : FWindows) {
        try {
            WriteBack(window);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    Discard();
    if (failure) std::rethrow_exception(failure);
}

void TIEFileRowWindows::Discard() noexcept {
    for (TWindow& window : FWindows) GiveBack(std::move(window.Rows), window.Capacity);
    FWindows.clear();
    FLocks.clear();
    FLast = 0;
}

TIEFileRowWindows::TWindow& TIEFileRowWindows::Find(int32_t Row) {
    ++FClock;
    if (FLast < FWindows.size() && FWindows[FLast].Holds(Row)) {
        FWindows[FLast].Used = FClock;
        return FWindows[FLast];
    }
    for (size_t i = 0; i < FWindows.size(); ++i) {
        if (FWindows[i].Holds(Row)) {
            FLast = i;
            FWindows[i].Used = FClock;
            return FWindows[i];
        }
    }
    // Windows sit on a fixed grid of rows, so that they never overlap and a pass up or down the
    // image meets each once.
    const int32_t perWindow = (int32_t)std::max<size_t>(1, WindowBytes / (size_t)FRowLen);
    TWindow window;
    window.First = Row / perWindow * perWindow;
    window.Count = std::min(perWindow, FHeight - window.First);
    window.Capacity = (size_t)window.Count * (size_t)FRowLen;
    Evict(CachedWindows - 1);
    window.Rows = TakeBuffer(window.Capacity);
    if (!window.Rows) {
        Evict(0);
        window.Rows = TakeBuffer(window.Capacity);
        if (!window.Rows) throw EOutOfMemory(L"Not enough memory for the rows of a file-located image");
    }
    window.State.assign((size_t)window.Count, 0);
    window.Id = FClock;
    window.Used = FClock;
    FWindows.push_back(std::move(window));
    FLast = FWindows.size() - 1;
    return FWindows.back();
}

uint8_t* TIEFileRowWindows::HandOut(TWindow& Window, int32_t Row, TIEDataAccess Access) {
    const size_t index = (size_t)(Row - Window.First), rowLen = (size_t)FRowLen;
    uint8_t* row = Window.Rows.get() + index * rowLen;
    if ((Access & iedRead) && !(Window.State[index] & kRead)) {
        // The row and those after it up to the read-ahead, the window's end or a row already read.
        size_t end = index + 1;
        const size_t limit = std::min<size_t>((size_t)Window.Count, index + std::max<size_t>(1, ReadAheadBytes / rowLen));
        while (end < limit && !(Window.State[end] & kRead)) ++end;
        FStore->ReadBytes((int64_t)Row * FRowLen, row, (end - index) * rowLen);
        for (size_t i = index; i < end; ++i) Window.State[i] |= kRead;
    }
    // A row handed out only for writing is its user's to fill: it counts as read from now on.
    Window.State[index] |= kRead;
    if (Access & iedWrite) Window.State[index] |= kWriteBack;
    return row;
}

void TIEFileRowWindows::WriteBack(TWindow& Window) {
    const size_t rowLen = (size_t)FRowLen;
    size_t i = 0;
    while (i < (size_t)Window.Count) {
        if (!(Window.State[i] & kWriteBack)) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < (size_t)Window.Count && (Window.State[end] & kWriteBack)) ++end;
        FStore->WriteBytes((int64_t)(Window.First + (int32_t)i) * FRowLen, Window.Rows.get() + i * rowLen,
                           (end - i) * rowLen);
        for (size_t k = i; k < end; ++k) Window.State[k] &= (uint8_t)~kWriteBack;
        i = end;
    }
}

void TIEFileRowWindows::Evict(size_t Max) {
    for (;;) {
        size_t unlocked = 0, oldest = FWindows.size();
        for (size_t i = 0; i < FWindows.size(); ++i) {
            if (FWindows[i].Locks > 0) continue;
            ++unlocked;
            if (oldest == FWindows.size() || FWindows[i].Used < FWindows[oldest].Used) oldest = i;
        }
        if (unlocked <= Max) return;
        Drop(oldest);
    }
}

void TIEFileRowWindows::Drop(size_t Index) {
    // When the rows cannot be written the window stays, so that nothing is lost: the failure is
    // raised, and the next write-back tries again.
    WriteBack(FWindows[Index]);
    GiveBack(std::move(FWindows[Index].Rows), FWindows[Index].Capacity);
    FWindows.erase(FWindows.begin() + (std::ptrdiff_t)Index);
    FLast = 0;
}
