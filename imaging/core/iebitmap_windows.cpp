// The row windows of a file-located bitmap.
#include "iebitmap_windows.h"

#include <algorithm>

#include "iebitmap.h"

uint8_t* TIEFileRowWindows::Row(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height) {
    TWindow& window = Find(Store, Row, RowLen, Height);
    return window.View.Data() + (size_t)(Row - window.First) * (size_t)RowLen;
}

uint8_t* TIEFileRowWindows::Lock(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height) {
    TWindow& window = Find(Store, Row, RowLen, Height);
    FLocks.push_back(TLock{Row, window.Id});
    ++window.Locks;
    return window.View.Data() + (size_t)(Row - window.First) * (size_t)RowLen;
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
        Evict(CachedWindows);
        return;
    }
}

void TIEFileRowWindows::Clear() {
    FWindows.clear();
    FLocks.clear();
    FLast = 0;
}

TIEFileRowWindows::TWindow& TIEFileRowWindows::Find(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen,
                                                    int32_t Height) {
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
    // A row outside the image is refused as the file store would refuse it, before any sum.
    if (Row < 0 || Row >= Height || RowLen <= 0)
        throw EFileMappingError(Format(L"Row %d is outside the %d rows of the image", Row, Height));
    // Windows sit on a fixed grid of rows, so that a pass up or down the image meets each once.
    const int32_t perWindow = (int32_t)std::max<size_t>(1, WindowBytes / (size_t)RowLen);
    const int32_t first = Row / perWindow * perWindow;
    const int32_t count = std::min(perWindow, Height - first);
    Evict(CachedWindows - 1);
    try {
        return MapWindow(Store, first, count, RowLen);
    } catch (const Exception&) {
        // The address space may be too full for a whole window (many rows locked in a 32-bit
        // process): the cached windows go and, when that is not enough, the row alone is mapped.
        Evict(0);
        if (count == 1) throw;
        return MapWindow(Store, Row, 1, RowLen);
    }
}

TIEFileRowWindows::TWindow& TIEFileRowWindows::MapWindow(TIEBitmapFileStore& Store, int32_t First, int32_t Count,
                                                         int32_t RowLen) {
    TWindow window;
    window.View = Store.MapView((int64_t)First * RowLen, (size_t)Count * (size_t)RowLen);
    window.First = First;
    window.Count = Count;
    window.Id = FClock;
    window.Used = FClock;
    FWindows.push_back(std::move(window));
    FLast = FWindows.size() - 1;
    return FWindows.back();
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
        FWindows.erase(FWindows.begin() + (std::ptrdiff_t)oldest);
        FLast = 0;
    }
}
