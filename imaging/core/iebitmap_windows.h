// The rows of a file-located bitmap seen through windows of many rows: a window maps a run of
// consecutive rows of the temporary file at once, and a few recently used windows stay mapped, so
// that a pass over the rows costs one mapping per window instead of one per row. Windows holding
// a locked row stay mapped until the lock ends, whatever the cache's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FileMapping.h"

class TIEBitmapFileStore;

class TIEFileRowWindows {
public:
    // Bytes a window maps at most (a window always holds at least one row), and the windows
    // without locks kept mapped after use. Together they bound the address space a pass takes.
    static constexpr size_t WindowBytes = (size_t)4 << 20;
    static constexpr size_t CachedWindows = 4;

    TIEFileRowWindows() = default;
    TIEFileRowWindows(TIEFileRowWindows&&) noexcept = default;
    TIEFileRowWindows& operator=(TIEFileRowWindows&&) noexcept = default;
    TIEFileRowWindows(const TIEFileRowWindows&) = delete;
    TIEFileRowWindows& operator=(const TIEFileRowWindows&) = delete;

    // The first byte of stored row Row of Height rows of RowLen bytes in Store, mapping its
    // window when needed. The pointer stays valid at least until the next Row or Lock call.
    // Raises what mapping raises (EFileMappingError, EOSError).
    uint8_t* Row(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height);
    // Like Row, and the row's window stays mapped until Unlock(Row) or Clear. A row may be
    // locked more than once; each lock has its own unlock.
    uint8_t* Lock(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height);
    // Ends the latest lock of Row; a row without a lock is ignored.
    void Unlock(int32_t Row);
    // Unmaps every window and forgets every lock.
    void Clear();

    size_t MappedWindows() const { return FWindows.size(); }
    size_t LockCount() const { return FLocks.size(); }

private:
    struct TWindow {
        int32_t First = 0;    // the first stored row it holds
        int32_t Count = 0;    // rows it holds
        int32_t Locks = 0;
        uint64_t Id = 0;      // unique while the cache lives: what a lock names
        uint64_t Used = 0;    // the cache's clock at its last use
        TFileRegion View;
        bool Holds(int32_t Row) const { return Row >= First && Row - First < Count; }
    };
    struct TLock {
        int32_t Row;
        uint64_t Window;
    };
    TWindow& Find(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height);
    TWindow& MapWindow(TIEBitmapFileStore& Store, int32_t First, int32_t Count, int32_t RowLen);
    // Unmaps the least recently used windows without locks until at most Max of them are left.
    void Evict(size_t Max);

    std::vector<TWindow> FWindows;
    std::vector<TLock> FLocks;
    uint64_t FClock = 0;
    size_t FLast = 0;   // the window of the last call: the next row is most often there
};
